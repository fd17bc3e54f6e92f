#include "app/console/contact_verbs.h"

#include <algorithm>
#include <deque>
#include <fstream>

#include "app/progress/headless_progress.h"
#include "contacts/ini_contact_store.h"
#include "platform/memory_settings_store.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

// The console: its events, and one scripted input line per pump ("" for none).
struct Console : ConsoleEventSink, ConsoleInput {
  void Emit(const ConsoleEvent& e) override { lines.push_back(e.Json()); }
  int WaitSourcesOrInput(std::span<const platform::WaitSource>, int) override {
    if (script.empty()) return platform::kWaitTimedOut;
    if (!script.front().empty()) return CooperativeWaiter::kInput;
    script.pop_front();
    return platform::kWaitTimedOut;
  }
  void HandleInput() override {
    verbs.Execute(script.front());
    script.pop_front();
  }
  std::vector<std::string> lines;
  std::deque<std::string> script;
  CommandProcessor verbs;
};

TEST(ContactVerbs, DriveTheAddressBook) {
  testing::TempFolder dir;
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  contacts::IniContactStore book(dir.Sub("contacts.ini"));
  contacts::ContactStore* current = nullptr;
  Console events;
  CommandProcessor& verbs = events.verbs;
  platform::FakeTickClock clock;
  HeadlessProgress progress(events, events, clock);
  RegisterProgressVerbs(verbs, progress);
  RegisterContactVerbs(verbs, {[&] { return current; }, events, settings, progress});
  EXPECT_EQ(verbs.Execute("contacts list"), "error: the phone has not started");
  current = &book;
  const std::pair<std::string, std::string> steps[] = {
      {R"(contacts add {"firstname":"Ann","lastname":"Lee","phone":"100"})", "ok {\"id\":0}"},
      {R"(contacts add {"firstname":"Bo\u00e9", "email":"b@x.org"})", "ok {\"id\":1}"},
      {R"(contacts add {"firstname":"Ann","lastname":"Lee"})",
       "error: There is another contact with the same name already exists. Please use another name."},
      {R"(contacts edit 1 {"firstname":"Bo","email":"b@x.o"})", "error: The email address is invalid. Please correct."},
      {R"(contacts edit 7 {"firstname":"Bo"})", "error: no contact 7"},
      {R"(contacts add {"nick":"x"})", "error: usage: a contact is {\"firstname\":…,\"lastname\":…,\"phone\":…,\"email\":…}"},
      {"contacts delete 0 9", "error: no contact 9"},
      {"contacts list",
       R"(ok {"contacts":[{"id":0,"firstname":"Ann","lastname":"Lee","phone":"100","email":""},)"
       R"({"id":1,"firstname":"Boé","lastname":"","phone":"","email":"b@x.org"}]})"},
      {"contacts export " + dir.Sub("out.csv"), "ok {\"written\":true}"},
      {"contacts export " + dir.Sub("out.csv"), "ok {\"written\":false}"},
      {"contacts delete 0 1", "ok"},
      {"contacts import " + dir.Sub("out.csv"), "ok {\"added\":2}"},
      {"contacts import " + dir.Sub("none.csv"), "error: Cannot read " + dir.Sub("none.csv")},
  };
  for (const auto& [line, answer] : steps) EXPECT_EQ(verbs.Execute(line), answer) << line;
  EXPECT_EQ(book.Count(), 2u);
  EXPECT_EQ(settings.GetSettingString("Settings", "SaveFolder", ""), dir.Path().string());
  ASSERT_GE(events.lines.size(), 3u);
  EXPECT_EQ(events.lines[0],
            R"({"event":"messageBox","title":"Corvina","text":"There is another contact with the same name already exists. Please use another name."})");
  const auto open = std::find(events.lines.begin(), events.lines.end(),
                              R"({"event":"progress","state":"open","title":"Importing Contacts"})");
  ASSERT_LE(open + 8, events.lines.end());
  EXPECT_EQ(std::vector<std::string>(open + 1, open + 8), (std::vector<std::string>{
                                                             R"({"event":"progress","row":0,"text":"Ann Lee"})",
                                                             R"({"event":"progress","percent":0})",
                                                             R"({"event":"progress","row":0,"text":"Boé "})",
                                                             R"({"event":"progress","percent":50})",
                                                             R"({"event":"progress","row":0,"text":""})",
                                                             R"({"event":"progress","percent":100})",
                                                             R"({"event":"progress","state":"closed"})",
                                                         }));
  // `cancel` read while the import runs stops it after the first row, which stays.
  ASSERT_EQ(verbs.Execute("contacts delete 0 1"), "ok");
  events.script = {"", "cancel"};
  EXPECT_EQ(verbs.Execute("contacts import " + dir.Sub("out.csv")), "ok {\"added\":1}");
  EXPECT_EQ(book.Count(), 1u);
  EXPECT_EQ(events.lines.back(), R"({"event":"progress","state":"cancelled"})");
}

}  // namespace
}  // namespace corvina::app

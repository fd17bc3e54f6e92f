#include "app/console/contact_verbs.h"

#include <fstream>

#include "contacts/ini_contact_store.h"
#include "platform/memory_settings_store.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

struct Events : ConsoleEventSink {
  void Emit(const ConsoleEvent& e) override { lines.push_back(e.Json()); }
  std::vector<std::string> lines;
};

TEST(ContactVerbs, DriveTheAddressBook) {
  testing::TempFolder dir;
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  contacts::IniContactStore book(dir.Sub("contacts.ini"));
  contacts::ContactStore* current = nullptr;
  Events events;
  CommandProcessor verbs;
  RegisterContactVerbs(verbs, {[&] { return current; }, events, settings});
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
  EXPECT_EQ(events.lines[events.lines.size() - 3],
            R"({"event":"progress","title":"Importing Contacts","line":"Boé ","percent":50})");
}

}  // namespace
}  // namespace corvina::app

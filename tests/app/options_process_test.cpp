// `corvina options` as a program: a refusal prints its exact box and the store keeps only the
// writes made before it; a confirmed set reaches a phone running on the same home, which
// applies it (its engine moves to the new port) within 10 s; the Record and Hold pages test a
// link being switched on against our Orrin and Lumo servers (a failure is a "Connection Failed"
// note and the link is still stored on) and test nothing when it is already on.
#include <gtest/gtest.h>

#include "media/wav_file.h"
#include "tests/support/phone_under_test.h"
#include "tests/support/poll_until.h"
#include "tests/support/raw_tcp.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

using corvina::testing::ChildProcess;

struct ToolRun {
  int code;
  std::string out;
};

ToolRun Corvina(const std::string& home, std::vector<std::string> args) {
  args.insert(args.begin(), CORVINA_BINARY);
  ChildProcess child(args, {"CORVINA_HOME=" + home, "CORVINA_LOCAL_ADDRESS=127.0.0.1"});
  ToolRun run{0, {}};
  std::string line;
  while (child.ReadLine(&line, 10000)) run.out += line + "\n";
  run.code = WEXITSTATUS(child.Wait(10000));
  return run;
}

TEST(OptionsCommand, RefusalsPrintTheirBoxAndKeepOnlyTheEarlierWrites) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
    std::string sectionAfter;  // `corvina reg list` of the section afterwards
  } cases[] = {
      {{"net1", "Port=5090", "RTPPortBase=8001"},
       "refused {\"title\":\"\",\"text\":\"Rtp ports must be even.\",\"field\":\"RTPPortBase\"}\n", "Port=5090\n"},
      {{"net1", "Port=65536"},
       "refused {\"title\":\"Invalid Local Port Number\",\"text\":\"Please enter a valid local SIP port number.\\r\\n"
       "The default value is 5070\",\"field\":\"Port\"}\n",
       ""},
      {{"net2", "UPNP=1", "STUNServer1="},
       "refused {\"title\":\"Invalid STUN Server\",\"text\":\"Please enter a valid STUN server address.\\r\\n"
       "The default value is stun.sipgate.net\",\"field\":\"STUNServer1\"}\n",
       "STUN=1\nUPNP=1\n"},
  };
  for (const Case& c : cases) {
    corvina::testing::TempFolder home("options");
    std::vector<std::string> args{"options", "set"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ToolRun set = Corvina(home.Path().string(), args);
    EXPECT_EQ(set.code, 3) << c.args[1];
    EXPECT_EQ(set.out, c.out);
    ToolRun listed = Corvina(home.Path().string(), {"reg", "list", "SIP"});
    EXPECT_EQ(listed.out, c.sectionAfter) << c.args[1];
  }
}

// The wizard pages that hold settings, from the command line: the talk mode and quality
// written; the account details trimmed but for the display name, kept when the user name is
// refused, and a serverless account listening on 5060.
TEST(OptionsCommand, TheWizardPagesTakeTheWizardsRules) {
  corvina::testing::TempFolder home("options-wizard");
  const std::pair<std::vector<std::string>, std::string> steps[] = {
      {{"options", "show", "mode"}, "{\"page\":\"mode\",\"values\":{\"TalkMode\":\"speaker\",\"Quality\":\"default\"}}\n"},
      {{"options", "set", "mode", "TalkMode=handset", "Quality=higher"}, "ok\n"},
      {{"reg", "list", "SIP"}, "Quality=70\n"},
      {{"options", "set", "sipdetails", "DisplayName= Ann ", "UserName= "},
       "refused {\"title\":\"User name required\",\"text\":\"You must enter a user name. If you have signed up with "
       "a SIP service, enter the user name provided. If you have not, just make up a name to identify the "
       "line.\",\"field\":\"UserName\"}\n"},
      {{"options", "set", "sipdetails", "UserName= 100 ", "Proxy= ", "ProxyPassword= pw "}, "ok\n"},
      {{"reg", "list", "SIP"}, "Port=5060\nQuality=70\n"},
      {{"options", "show", "sipdetails"},
       "{\"page\":\"sipdetails\",\"values\":{\"DisplayName\":\" Ann \",\"UserName\":\"100\",\"Proxy\":\"\","
       "\"ProxyPassword\":\"********\"}}\n"},
      {{"reg", "get", "DefaultLine", "ProxyPassword"}, "pw\n"},
  };
  for (const auto& [args, out] : steps) EXPECT_EQ(Corvina(home.Path().string(), args).out, out) << args[1];
}

TEST(OptionsCommand, ARunningPhoneAppliesAConfirmedSet) {
  corvina::testing::TempFolder home("options-apply");
  const std::uint16_t first = corvina::testing::FreeUdpPort();
  corvina::testing::PhoneUnderTest phone(home.Path().string(), {{"SIP", "Port", std::to_string(first)}});
  phone.Start();
  ASSERT_EQ(phone.WaitForSipPort(10000), first);
  std::uint16_t second = corvina::testing::FreeUdpPort();
  while (second == first) second = corvina::testing::FreeUdpPort();
  ToolRun set = Corvina(home.Path().string(), {"options", "set", "net1", "Port=" + std::to_string(second)});
  EXPECT_EQ(set.out, "ok\n");
  EXPECT_TRUE(corvina::testing::PollUntil([&] { return phone.WaitForSipPort(1000) == second; }, 10000));
  EXPECT_NE(phone.ActivityLog().find("Restarting so settings take effect."), std::string::npos);
  EXPECT_EQ(phone.Quit(), 0);
}

// Our server `binary` with `args`, listening on 127.0.0.1:`port`.
std::unique_ptr<ChildProcess> StartServer(const char* binary, std::uint16_t port, std::vector<std::string> args) {
  args.insert(args.begin(), {binary, "--listen", "127.0.0.1:" + std::to_string(port)});
  auto server = std::make_unique<ChildProcess>(args, std::vector<std::string>{});
  std::string errors;
  corvina::testing::PollUntil(
      [&] { return (errors += server->ReadAllErrors(50)).find("listening on") != std::string::npos; }, 5000);
  return server;
}

TEST(OptionsCommand, ServerPagesTestALinkOnlyWhenSwitchingItOn) {
  corvina::testing::TempFolder folder("options-links");
  std::uint16_t orrin = 0, lumo = 0, down = 0;
  {
    const corvina::testing::RawListener a, b, c;  // three ports free a moment ago
    orrin = a.port, lumo = b.port, down = c.port;
  }
  media::WavWriter music;
  ASSERT_EQ(music.Create(folder.Sub("music.wav")), media::WavError::kNone);
  music.Write(std::vector<std::int32_t>(800, 0));
  ASSERT_TRUE(music.Flush());
  const auto orrinServer = StartServer(CORVINA_ORRIN_SERVER, orrin, {"--folder", folder.Sub("rec"), "--code", "line1"});
  const auto lumoServer = StartServer(CORVINA_LUMO_SERVER, lumo, {"--file", folder.Sub("music.wav")});
  auto at = [](std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); };
  const std::string orrinNote = "note {\"title\":\"Connection Failed\",\"text\":\"Unable to connect to the Orrin";
  const std::string lumoNote = "note {\"title\":\"Connection Failed\",\"text\":\"Unable to connect to the Lumo";
  struct Case {
    std::vector<std::string> set;  // after "options set"
    std::string alreadyOn;         // "Section Key" stored as "1" before, or empty
    std::string note;              // the start of the note printed before "ok", or empty
  } cases[] = {
      {{"record", "Orrinlink=1", "OrrinHost=" + at(orrin), "OrrinAccessCode=line1"}, "", ""},
      {{"record", "Orrinlink=1", "OrrinHost=" + at(orrin), "OrrinAccessCode=other"}, "", orrinNote},
      {{"record", "Orrinlink=1", "OrrinHost=" + at(down), "OrrinAccessCode=line1"}, "", orrinNote},
      {{"record", "Orrinlink=1", "OrrinHost=" + at(down), "OrrinAccessCode=line1"}, "Recorder Orrinlink", ""},
      {{"hold", "UseLumoServer=1", "LumoServer=" + at(lumo)}, "", ""},
      {{"hold", "UseLumoServer=1", "LumoServer=" + at(down)}, "", lumoNote},
      {{"hold", "UseLumoServer=1", "LumoServer=" + at(down)}, "Settings UseLumoServer", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set.back() + " " + c.alreadyOn);
    corvina::testing::TempFolder home("options-link");
    if (!c.alreadyOn.empty()) {
      const std::size_t space = c.alreadyOn.find(' ');
      Corvina(home.Path().string(), {"reg", "set", c.alreadyOn.substr(0, space), c.alreadyOn.substr(space + 1), "1"});
    }
    std::vector<std::string> args{"options", "set"};
    args.insert(args.end(), c.set.begin(), c.set.end());
    const ToolRun set = Corvina(home.Path().string(), args);
    EXPECT_EQ(set.code, 0);
    ASSERT_GE(set.out.size(), 3u);
    const std::string notes = set.out.substr(0, set.out.size() - 3);
    EXPECT_EQ(set.out.substr(notes.size()), "ok\n");
    EXPECT_EQ(notes.substr(0, c.note.size()), c.note);
    EXPECT_EQ(notes.empty(), c.note.empty()) << notes;
    const bool record = c.set[0] == "record";
    const ToolRun on = Corvina(home.Path().string(), {"reg", "get", record ? "Recorder" : "Settings",
                                                      record ? "Orrinlink" : "UseLumoServer"});
    EXPECT_EQ(on.out, "1\n");
  }
}

}  // namespace
}  // namespace corvina::app

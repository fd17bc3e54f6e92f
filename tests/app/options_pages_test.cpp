// The option pages' rules: what each page shows, the order of its checks and writes, the
// partial writes a refusal keeps, the link tests only when a link is switched on, and the text
// checks that keep control characters and over-long values out of the store.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/options/line_pages.h"
#include "app/options/mail_page.h"
#include "app/options/options_texts.h"
#include "platform/memory_settings_store.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

namespace t = options_texts;

class OptionsPagesTest : public ::testing::Test {
 protected:
  OptionsPagesTest() {
    env_.note = [this](const OptionsMessage& m) { notes_.push_back(m); };
    env_.runTest = [this](std::string_view title, const std::function<bool(platform::Event*)>& test) {
      tests_.emplace_back(title);
      if (testResult_ != WaitResult::kDone) return testResult_;
      return test(nullptr) ? WaitResult::kDone : WaitResult::kFailed;
    };
    env_.testOrrin = [this](const std::string&, const std::string&, platform::Event*) { return serverUp_; };
    env_.testLumo = [this](const std::string&, platform::Event*) { return serverUp_; };
    env_.recordingsFolder = "/data/Corvina";
  }
  std::unique_ptr<OptionsPage> Page(std::string_view name, int entry = 1) {
    auto page = MakeOptionsPage(name, settings_, env_, entry);
    page->Load();
    return page;
  }
  std::string Stored(std::string_view section, std::string_view key) {
    return settings_.GetSettingString(section, key, "<none>");
  }
  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
  OptionsEnvironment env_;
  std::vector<OptionsMessage> notes_;
  std::vector<std::string> tests_;
  WaitResult testResult_ = WaitResult::kDone;
  bool serverUp_ = true;
};

TEST_F(OptionsPagesTest, LinesSwitchingSavesThePreviousEntryAndUseDefaultLivesInLineSectionsOnly) {
  settings_.SetSettingString("Line2", "UserName", "202");
  LinesPage page(settings_, env_, 0);
  page.Load();
  EXPECT_EQ(page.Get("UseDefault"), "0");
  page.Set("UserName", "  100 ");
  page.Set("DisplayName", " Desk ");
  ASSERT_EQ(page.SwitchTo(2), std::nullopt);
  EXPECT_EQ(Stored("DefaultLine", "UserName"), "100");
  EXPECT_EQ(Stored("DefaultLine", "DisplayName"), " Desk ");
  EXPECT_EQ(Stored("DefaultLine", "UseDefault"), "<none>");
  EXPECT_EQ(page.Get("UserName"), "202");
  EXPECT_EQ(page.Get("UseDefault"), "1");  // missing reads as on
  page.Set("UseDefault", "0");
  ASSERT_EQ(page.SwitchTo(1), std::nullopt);
  EXPECT_EQ(Stored("Line2", "UseDefault"), "0");
}

TEST_F(OptionsPagesTest, ChooserEntryAndBoldCaptionFollowTheStore) {
  struct { const char* stored; int entry; } entries[] = {
      {nullptr, 1}, {"-1", 0}, {"0", 1}, {"1", 2}, {"2", 1}, {"-2", 1}, {"x", 1}, {"1x", 1}};
  for (const auto& c : entries) {
    if (c.stored) settings_.SetSettingString("Settings", "LineConfigure", c.stored);
    EXPECT_EQ(OptionsLineEntry(settings_), c.entry) << (c.stored ? c.stored : "missing");
  }
  struct { const char* outbound; const char* auth; bool bold; } captions[] = {
      {"0", "0", false}, {"1", "0", true}, {"2", "0", true}, {"0", "1", true}};
  for (const auto& c : captions) {
    settings_.SetSettingString("Line1", "UseOutboundServer", c.outbound);
    settings_.SetSettingString("Line1", "UseAuthentication", c.auth);
    LinesPage page(settings_, env_, 1);
    auto [text, bold] = page.AdvancedCaption();
    EXPECT_EQ(bold, c.bold);
    EXPECT_EQ(text, c.bold ? t::kAdvancedModified : t::kAdvanced);
  }
}

TEST_F(OptionsPagesTest, AdvancedRequiresTheChosenServerAndIdAndRestoresDefaults) {
  struct { const char* outbound; const char* server; const char* auth; const char* id; std::string_view title; } cases[] = {
      {"1", "", "0", "", t::kInvalidOutboundTitle},
      {"0", "", "1", "", t::kInvalidAuthTitle},
      {"2", "", "1", "u7", ""},
  };
  for (const auto& c : cases) {
    auto page = Page("advanced", 2);
    page->Set("UseOutboundServer", c.outbound);
    page->Set("OutboundServer", c.server);
    page->Set("UseAuthentication", c.auth);
    page->Set("AuthID", c.id);
    auto refusal = page->Confirm();
    EXPECT_EQ(refusal ? refusal->title : "", c.title);
    EXPECT_EQ(Stored("Line2", "UseOutboundServer"), refusal ? "<none>" : c.outbound);
  }
  AdvancedLinePage page(settings_, env_, 2);
  page.Load();
  EXPECT_FALSE(page.Set("UseOutboundServer", "3"));
  page.RestoreDefaults();
  EXPECT_EQ(page.Get("UseOutboundServer") + page.Get("UseAuthentication"), "00");
}

TEST_F(OptionsPagesTest, NetPagesCheckPortsInOrderAndKeepTheWritesBeforeARefusal) {
  struct Case {
    const char* page; const char* portKey; const char* port; const char* rtpKey; const char* rtp;
    std::string_view title; std::string_view text; const char* storedPort; const char* storedRtp; const char* shownRtp;
  } cases[] = {
      {"net1", "Port", "5080", "RTPPortBase", "8001", "", t::kOddRtp, "5080", "<none>", "8000"},
      {"net1", "Port", "0", "RTPPortBase", "9000", t::kInvalidLocalPortTitle, t::kInvalidLocalPort, "<none>", "<none>", "9000"},
      {"net1", "Port", "65536", "RTPPortBase", "9000", t::kInvalidLocalPortTitle, t::kInvalidLocalPort, "<none>", "<none>", "9000"},
      {"net1", "Port", "5x", "RTPPortBase", "9000", t::kInvalidLocalPortTitle, t::kInvalidLocalPort, "<none>", "<none>", "9000"},
      {"net1", "Port", "5080", "RTPPortBase", "65535", t::kInvalidLocalRtpTitle, t::kInvalidLocalRtp, "5080", "<none>", "65535"},
      {"net1", "Port", "5080", "RTPPortBase", "9000", "", "", "5080", "9000", "9000"},
      {"net2", "STATICSIPPort", "70000", "STATICRTPPortBase", "9000", t::kInvalidExternalPortTitle, t::kInvalidExternalPort, "<none>", "<none>", "9000"},
      {"net2", "STATICSIPPort", "5090", "STATICRTPPortBase", "9003", "", t::kOddRtp, "5090", "<none>", "9002"},
      {"net2", "STATICSIPPort", "5090", "STATICRTPPortBase", "1", t::kInvalidExternalRtpTitle, t::kInvalidExternalRtp, "5090", "<none>", "1"},
  };
  for (const Case& c : cases) {
    store_.DeleteKey(platform::Settings::SectionPath("SIP"));
    auto page = Page(c.page);
    page->Set(c.portKey, c.port);
    page->Set(c.rtpKey, c.rtp);
    auto refusal = page->Confirm();
    std::string where = std::string(c.page) + " " + c.port + "/" + c.rtp;
    EXPECT_EQ(refusal ? refusal->title : "", c.title) << where;
    EXPECT_EQ(refusal ? refusal->text : "", c.text) << where;
    EXPECT_EQ(Stored("SIP", c.portKey), c.storedPort) << where;
    EXPECT_EQ(Stored("SIP", c.rtpKey), c.storedRtp) << where;
    EXPECT_EQ(page->Get(c.rtpKey), c.shownRtp) << where;
  }
}

TEST_F(OptionsPagesTest, Net2WritesSwitchesBeforeTheStunCheckAndWantsADottedStaticAddress) {
  auto page = Page("net2");
  EXPECT_EQ(page->Get("STUN") + page->Get("UPNP"), "10");
  page->Set("UPNP", "1");
  page->Set("STUNServer1", "");
  auto refusal = page->Confirm();
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->text, std::string(t::kInvalidStun) + "stun.sipgate.net");
  EXPECT_EQ(Stored("SIP", "UPNP"), "1");
  EXPECT_EQ(Stored("SIP", "STUNServer2"), "<none>");
  page->Set("STUNServer1", "stun.example.net");
  page->Set("STATIC", "1");
  page->Set("STATICPublicIP", "203.0.113");
  refusal = page->Confirm();
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->title, t::kInvalidPublicIpTitle);
  EXPECT_EQ(Stored("SIP", "STATIC"), "1");
  page->Set("STATICPublicIP", "203.0.113.5");
  EXPECT_EQ(page->Confirm(), std::nullopt);
  EXPECT_EQ(Stored("SIP", "STATICPublicIP"), "203.0.113.5");
}

TEST_F(OptionsPagesTest, ServerLinksAreTestedOnlyWhenSwitchedOnAndStayOnAfterAFailure) {
  struct Case {
    const char* page; const char* section; const char* link; const char* testTitle;
    WaitResult run; bool up; const char* stored; std::size_t notes;
  } cases[] = {
      {"record", "Recorder", "Orrinlink", "Testing Orrin Server", WaitResult::kDone, true, "1", 0},
      {"record", "Recorder", "Orrinlink", "Testing Orrin Server", WaitResult::kDone, false, "1", 1},
      {"record", "Recorder", "Orrinlink", "Testing Orrin Server", WaitResult::kCancelled, true, "<none>", 0},
      {"hold", "Settings", "UseLumoServer", "Testing Lumo Server", WaitResult::kDone, false, "1", 1},
      {"hold", "Settings", "UseLumoServer", "Testing Lumo Server", WaitResult::kCancelled, true, "<none>", 0},
  };
  for (const Case& c : cases) {
    store_.DeleteValue(platform::Settings::SectionPath(c.section), c.link);
    notes_.clear();
    tests_.clear();
    testResult_ = c.run;
    serverUp_ = c.up;
    auto page = Page(c.page);
    page->Set(c.link, "1");
    page->Set("OrrinAccessCode", "42");
    auto refusal = page->Confirm();
    EXPECT_EQ(refusal.has_value(), c.run == WaitResult::kCancelled);
    EXPECT_EQ(tests_, std::vector<std::string>{c.testTitle});
    EXPECT_EQ(Stored(c.section, c.link), c.stored);
    ASSERT_EQ(notes_.size(), c.notes);
    if (c.notes) {
      EXPECT_EQ(notes_[0].title, t::kConnectionFailedTitle);
    }
    if (c.run == WaitResult::kCancelled) continue;
    page->Load();
    EXPECT_EQ(page->Confirm(), std::nullopt);  // already on: no second test
    EXPECT_EQ(tests_.size(), 1u);
  }
  EXPECT_EQ(Stored("Recorder", "OrrinHost"), "127.0.0.1:4080");
  EXPECT_EQ(Stored("Settings", "LumoServer"), "127.0.0.1:606");
}

TEST_F(OptionsPagesTest, RecordFolderMustBeGivenAndWritableAndTheTestLeavesUserFilesAlone) {
  testing::TempFolder folder;
  const auto userFile = folder.Path() / "__wt";
  std::ofstream(userFile) << "mine";
  auto page = Page("record");
  EXPECT_EQ(page->Get("Folder"), "/data/Corvina");
  struct { std::string folder; std::string_view text; } cases[] = {
      {"", t::kInvalidFolder},
      {(folder.Path() / "missing").string(), t::kFolderNotWritable},
      {folder.Path().string(), ""},
  };
  for (const auto& c : cases) {
    page->Set("Folder", c.folder);
    auto refusal = page->Confirm();
    EXPECT_EQ(refusal ? refusal->text : "", c.text) << c.folder;
    EXPECT_EQ(Stored("Recorder", "Orrinlink"), "0");
  }
  EXPECT_EQ(Stored("Recorder", "Folder"), folder.Path().string());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
  EXPECT_EQ(std::ifstream(userFile).rdbuf()->sgetc(), 'm');
}

TEST_F(OptionsPagesTest, TextThatWouldBreakAHeaderOrVanishFromTheStoreIsRefused) {
  const std::string longText(260, 'a');
  struct { const char* page; const char* key; std::string value; const char* section; } cases[] = {
      {"lines", "DisplayName", "Bob\r\nVia: x", "Line1"},
      {"lines", "ProxyPassword", longText, "Line1"},
      {"advanced", "AuthID", "a\tb", "Line1"},
      {"net2", "STUNServer2", "stun\n", "SIP"},
      {"record", "OrrinAccessCode", "12\x01", "Recorder"},
      {"hold", "LumoServer", "h\r:606", "Settings"},
      {"email", "SMTPPassword", "pw\n", "Email"},
      {"email", "ReplyToEmail", longText, "Email"},
  };
  for (const auto& c : cases) {
    auto page = Page(c.page);
    page->Set("UseLumoServer", "1");
    page->Set("Orrinlink", "1");
    page->Set("OrrinAccessCode", "1");
    page->Set("UseAuthentication", "1");
    page->Set(c.key, c.value);
    auto refusal = page->Confirm();
    ASSERT_TRUE(refusal) << c.key;
    EXPECT_EQ(refusal->title, t::kInvalidTextTitle);
    EXPECT_EQ(refusal->field, c.key);
    EXPECT_EQ(Stored(c.section, c.key), "<none>") << c.key;
  }
  // 259 UTF-16 units fit, whatever their byte length; one more does not.
  std::string wide;
  for (int i = 0; i < 129; ++i) wide += "\xF0\x9F\x98\x80";  // two units each
  EXPECT_EQ(CheckOptionText(wide + "a", "k", "k"), std::nullopt);
  EXPECT_TRUE(CheckOptionText(wide + "ab", "k", "k"));
}

TEST_F(OptionsPagesTest, EmailWantsAHostWithAPortInRangeAUserWhenAuthIsOnAndAValidReplyTo) {
  struct { const char* host; const char* auth; const char* user; const char* replyTo; std::string_view text; } cases[] = {
      {" mail.example.com:587", "1", "ann", " ann@example.com ", ""},
      {"", "0", "", "", ""},
      {"mail:0", "0", "", "", t::kInvalidMailHost},
      {"mail:65536", "0", "", "", t::kInvalidMailHost},
      {":25", "0", "", "", t::kInvalidMailHost},
      {"mail host", "0", "", "", t::kInvalidMailHost},
      {"mail:25", "1", "", "", t::kInvalidMailUser},
      {"mail:25", "0", "", "ann@example", t::kInvalidReplyTo},
      {"mail:25", "0", "", "<ann@example.com>", t::kInvalidReplyTo},
  };
  for (const auto& c : cases) {
    platform::MemorySettingsStore store;
    platform::Settings settings(store);
    EmailPage page(settings, env_);
    page.Load();
    EXPECT_EQ(page.Get("UseMAPI"), "1");
    page.Set("UseMAPI", "0");
    page.Set("MailSMTPHost", c.host);
    page.Set("SMTPAuthOn", c.auth);
    page.Set("SMTPUserName", c.user);
    page.Set("ReplyToEmail", c.replyTo);
    const auto refusal = page.Confirm();
    EXPECT_EQ(refusal ? refusal->text : "", c.text) << c.host << c.replyTo;
    EXPECT_EQ(settings.GetSettingString("Email", "UseMAPI", ""), "0");  // written before any check
    const bool hostKept = c.text != t::kInvalidMailHost;
    EXPECT_EQ(settings.GetSettingString("Email", "MailSMTPHost", "<none>"),
              hostKept ? std::string(c.host).substr(*c.host == ' ') : "<none>");
    EXPECT_EQ(settings.GetSettingString("Email", "ReplyToEmail", "<none>"),
              c.text.empty() ? std::string(*c.replyTo ? "ann@example.com" : "") : "<none>");
  }
}

}  // namespace
}  // namespace corvina::app

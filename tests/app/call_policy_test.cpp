// Incoming and outgoing call policy:
// - Do Not Disturb reaches the engine's flag and the setting, logs on (level 2) and off, survives a restart;
// - the intercom allow list matches fragments, quoted items, and never matches on an empty item;
// - emergency numbers are mapped only exactly, and a mapping never loses the call;
// - missed calls count unanswered calls only, keep the latest entries and the exact count;
// - a ring announcement rings, lights and records only what it should;
// - a dial-box text dials the address inside its last "<…>".
#include <gtest/gtest.h>

#include "app/controller/dial_text.h"
#include "app/policy/do_not_disturb.h"
#include "app/policy/emergency_map.h"
#include "app/policy/incoming_call.h"
#include "app/policy/intercom_allow.h"
#include "app/logs/missed_calls.h"
#include "platform/memory_settings_store.h"
#include "tests/app/recording_log.h"

namespace corvina::app {
namespace {

class CallPolicyTest : public ::testing::Test {
 protected:
  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
  testing::RecordingLog log_;
};

TEST_F(CallPolicyTest, DoNotDisturbSetsTheEngineFlagStoresItLogsItAndSurvivesARestart) {
  std::vector<bool> engine;
  {
    DoNotDisturb dnd(settings_, log_, [&engine](bool on) { engine.push_back(on); });
    EXPECT_FALSE(dnd.Load());
    EXPECT_TRUE(dnd.SetDoNotDisturb(true));
    EXPECT_TRUE(dnd.IsOn());
    EXPECT_EQ(settings_.GetSettingString("Settings", "DoNotDisturb", ""), "1");
    ASSERT_EQ(log_.entries.size(), 1u);
    EXPECT_EQ(log_.entries[0].first, "DO NOT DISTURB turned on. You will not receive incoming calls.");
    EXPECT_EQ(log_.entries[0].second, 2);
    dnd.Store();
  }
  DoNotDisturb restarted(settings_, log_, [&engine](bool on) { engine.push_back(on); });
  EXPECT_TRUE(restarted.Load());
  EXPECT_FALSE(restarted.SetDoNotDisturb(false));
  EXPECT_EQ(settings_.GetSettingString("Settings", "DoNotDisturb", ""), "0");
  EXPECT_EQ(log_.entries.back(), std::make_pair(std::string("DO NOT DISTURB turned off."), 0));
  EXPECT_EQ(engine, (std::vector<bool>{false, true, true, false}));
}

TEST_F(CallPolicyTest, AllowListMatchesFragmentsAndSkipsEmptyItems) {
  struct Case {
    const char* allowAll;  // nullptr = absent
    const char* allow;
    const char* caller;
    bool allowed;
  };
  const Case cases[] = {
      {nullptr, nullptr, "sip:anyone@example.net", true},
      {"1", "", "sip:anyone@example.net", true},
      {"0", "201, \"ann@10.0.0.5\"", "sip:201@pbx.local", true},
      {"0", "201, \"ann@10.0.0.5\"", "sip:ann@10.0.0.5:5070", true},
      {"0", "201, \"ann@10.0.0.5\"", "sip:bob@10.0.0.6", false},
      {"0", "201, \"ann@10.0.0.5\"", "sip:Ann@10.0.0.5", false},  // case-sensitive
      {"0", "", "sip:anyone@example.net", false},
      {"0", nullptr, "sip:anyone@example.net", false},
      // Empty items would be a substring of every address.
      {"0", "201,", "sip:bob@10.0.0.6", false},
      {"0", "201,,  ,\"\"", "sip:bob@10.0.0.6", false},
      {"0", "\"\"", "sip:bob@10.0.0.6", false},
      {"0", ",201", "sip:201@pbx", true},
  };
  for (const Case& c : cases) {
    store_.DeleteValue(platform::Settings::SectionPath("Intercom"), "AllowAll");
    store_.DeleteValue(platform::Settings::SectionPath("Intercom"), "Allow");
    if (c.allowAll) settings_.SetSettingString("Intercom", "AllowAll", c.allowAll);
    if (c.allow) settings_.SetSettingString("Intercom", "Allow", c.allow);
    EXPECT_EQ(IsIntercomAllowed(settings_, c.caller), c.allowed)
        << (c.allowAll ? c.allowAll : "-") << " [" << (c.allow ? c.allow : "-") << "] " << c.caller;
  }
  EXPECT_EQ(SplitAllowList(" a b , \"c, d\" ,e"), (std::vector<std::string>{"a b", "c, d", "e"}));
}

TEST_F(CallPolicyTest, EmergencyNumbersAreMappedExactlyAndNeverLoseTheCall) {
  struct Case {
    bool enabled;
    const char* map;
    int emergencyLine;
    std::array<bool, 2> busy;
    const char* number;
    int chosenLine;
    DialTarget expected;
    bool logged;
  };
  const Case cases[] = {
      {false, "+3211", 1, {false, false}, "112", 0, {"112", 0}, false},
      {true, " +3211 ", 1, {false, false}, "112", 0, {"+3211", 1}, true},
      {true, "+3211", 1, {false, false}, "1120", 0, {"1120", 0}, false},
      {true, "+3211", 1, {false, false}, "911", 0, {"+3211", 1}, true},
      {true, "+3211", 0, {false, false}, "0800123", 1, {"+3211", 0}, true},  // OtherEmergency
      {true, "+3211", 7, {false, false}, "999", 1, {"+3211", 1}, true},      // no such line
      {true, "+3211", -1, {false, false}, "999", 0, {"+3211", 0}, true},
      {true, "+3211", 1, {false, true}, "000", 0, {"+3211", 0}, true},  // emergency line busy
      {true, "", 1, {false, false}, "119", 0, {"119", 1}, true},        // no map: dial as typed
  };
  settings_.SetSettingString("Settings", "OtherEmergency", "0800123");
  for (const Case& c : cases) {
    settings_.SetSettingBool("Settings", "EnableEmergencyMap", c.enabled);
    settings_.SetSettingString("Settings", "EmergencyMap", c.map);
    settings_.SetSettingInt("Settings", "EmergencyLine", c.emergencyLine);
    log_.entries.clear();
    DialTarget got = MapEmergency(settings_, log_, c.number, c.chosenLine, c.busy);
    EXPECT_EQ(got.number, c.expected.number) << c.number << " line " << c.emergencyLine;
    EXPECT_EQ(got.line, c.expected.line) << c.number << " line " << c.emergencyLine;
    EXPECT_EQ(log_.entries.size(), c.logged ? 1u : 0u);
    if (c.logged && !log_.entries.empty()) {
      EXPECT_EQ(log_.entries[0].first, "Emergency Number Mapped Dial!");
    }
  }
}

TEST_F(CallPolicyTest, OnlyCallsEndingUnansweredAreMissed) {
  platform::FakeWallClock clock(1773532798);  // 23:59:58 UTC
  MissedCalls missed(clock);
  EXPECT_FALSE(missed.AccountMissedCall(settings_, false, "Ann", "sip:ann@10.0.0.5"));  // answered
  EXPECT_EQ(missed.Summary(), "");
  EXPECT_TRUE(missed.AccountMissedCall(settings_, true, "Ann", "sip:ann@10.0.0.5"));
  EXPECT_EQ(missed.Summary(), "You have 1 missed call(s).\r\nAnn <sip:ann@10.0.0.5> at 23:59:58\r\n");
  clock.Advance(3);
  missed.AccountMissedCall(settings_, true, "", "sip:bob@h");
  EXPECT_EQ(missed.Summary(),
            "You have 2 missed call(s).\r\nAnn <sip:ann@10.0.0.5> at 23:59:58\r\n <sip:bob@h> at 00:00:01\r\n");
  settings_.SetSettingBool("Settings", "ShowMissedCalls", false);
  EXPECT_FALSE(missed.AccountMissedCall(settings_, true, "Cy", "sip:cy@h"));
  EXPECT_EQ(missed.Count(), 2);
  missed.Clear();
  EXPECT_EQ(missed.Summary(), "");
}

TEST_F(CallPolicyTest, MissedCallTextKeepsTheLatestEntriesButTheExactCount) {
  platform::FakeWallClock clock(0);
  MissedCalls missed(clock);
  for (int i = 0; i < 250; ++i) missed.AccountMissedCall(settings_, true, "n" + std::to_string(i), "a");
  std::string summary = missed.Summary();
  EXPECT_EQ(summary.rfind("You have 250 missed call(s).\r\nn150 <a> at", 0), 0u) << summary.substr(0, 60);
  EXPECT_EQ(missed.Text().find("n149 "), std::string::npos);
  EXPECT_NE(missed.Text().find("n249 <a> at 00:00:00\r\n"), std::string::npos);
}

TEST_F(CallPolicyTest, RingAnnouncementsRingEveryTimeAndRecordOnlyTheFirst) {
  RingFacts first{.firstNotice = true, .callerName = "Ann", .callerAddress = "sip:ann@h"};
  RingDecision d = DecideRing(settings_, log_, first);
  EXPECT_EQ(d.intercom, IntercomAnswer::kNotIntercom);
  EXPECT_TRUE(d.playRinging);
  EXPECT_TRUE(d.markRinging);
  EXPECT_EQ(d.recentEntry, " Ann <sip:ann@h>");

  RingFacts again = first;
  again.firstNotice = false;
  again.indicatorRinging = true;
  d = DecideRing(settings_, log_, again);
  EXPECT_TRUE(d.playRinging);
  EXPECT_FALSE(d.markRinging);
  EXPECT_FALSE(d.recentEntry.has_value());

  RingFacts duringCall = first;
  duringCall.normalCallCurrent = true;
  EXPECT_FALSE(DecideRing(settings_, log_, duringCall).playRinging);
  RingFacts duringConference = first;
  duringConference.conferenceAudioRunning = true;
  EXPECT_FALSE(DecideRing(settings_, log_, duringConference).playRinging);

  RingFacts intercom = first;
  intercom.intercomCall = true;
  d = DecideRing(settings_, log_, intercom);
  EXPECT_EQ(d.intercom, IntercomAnswer::kAnswer);
  EXPECT_FALSE(d.playRinging || d.markRinging || d.recentEntry);
  settings_.SetSettingBool("Intercom", "AllowAll", false);
  EXPECT_EQ(DecideRing(settings_, log_, intercom).intercom, IntercomAnswer::kRefuse);
  ASSERT_EQ(log_.entries.size(), 1u);
  EXPECT_EQ(log_.entries[0], std::make_pair(std::string("Rejecting intercom call because not on the allow list"), 3));
}

TEST(DialTextTest, DialsTheAddressInsideTheLastAngleBrackets) {
  const std::pair<const char*, const char*> cases[] = {
      {"  201 ", "201"},
      {"Ann <sip:ann@10.0.0.5>", "sip:ann@10.0.0.5"},
      {" Ann <sip:ann@h", "sip:ann@h"},
      {"Evil <sip:attacker@x> <sip:ann@h>", "sip:ann@h"},  // a name holding "<…>" cannot redirect
      {"a<b <201>", "201"},
      {"Ann <>", ""},
      {"Ann <", ""},
  };
  for (const auto& [text, number] : cases) EXPECT_EQ(DialNumberFromText(text), number) << text;
  std::string longText = "x <" + std::string(300, '5') + ">";
  EXPECT_EQ(DialNumberFromText(longText), std::string(259, '5'));
}

TEST(DialTextTest, StoredTextsAreCutOnACharacterBoundary) {
  std::string name;
  for (int i = 0; i < 200; ++i) name += "\xF0\x9F\x93\x9E";  // two UTF-16 units each
  std::string entry = ReceivedCallText(name, "sip:a@h");
  EXPECT_EQ(entry.size(), 1u + 129u * 4u);  // " " then 129 whole characters: 259 units
  EXPECT_EQ(CutToField(std::string(300, 'a')).size(), 259u);
}

}  // namespace
}  // namespace corvina::app

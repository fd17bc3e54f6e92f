// The console protocol's verb table, tokenizer, answer rules, events and the JSON it writes.
#include "app/console/command_processor.h"

#include <gtest/gtest.h>

#include "app/console/command_line.h"
#include "app/console/console_event.h"
#include "app/console/json_writer.h"

namespace corvina::app {
namespace {

TEST(CommandProcessor, EveryCommandGetsExactlyOneAnswerLine) {
  CommandProcessor p;
  std::string seenRaw;
  std::vector<std::string> seenWords;
  p.Register("dial", "dials a number", [&](const CommandArgs& args) {
    seenRaw = std::string(args.Raw());
    seenWords = args.Words();
    return CommandReply::Ok(JsonObject().Add("line", 0).Str());
  });
  p.Register("fail", "always fails", [](const CommandArgs&) { return CommandReply::Error("line 2\nbroken"); });
  p.Register("plain", "answers ok", [](const CommandArgs&) { return CommandReply::Ok(); });

  EXPECT_EQ(p.Execute("dial   sip:200@127.0.0.1  \"Zo\xC3\xAB K\"\r"), "ok {\"line\":0}");
  EXPECT_EQ(seenRaw, "sip:200@127.0.0.1  \"Zo\xC3\xAB K\"");
  EXPECT_EQ(seenWords, (std::vector<std::string>{"sip:200@127.0.0.1", "Zo\xC3\xAB K"}));
  EXPECT_EQ(p.Execute("plain"), "ok");
  EXPECT_EQ(p.Execute("fail"), "error: line 2 broken");  // never two lines
  EXPECT_EQ(p.Execute("   "), "");                        // a blank line is no command
  EXPECT_EQ(p.Execute("dial \"open"), "error: unterminated quote");
}

TEST(CommandProcessor, AnUnknownVerbIsAnErrorThatNamesIt) {
  CommandProcessor p;
  EXPECT_EQ(p.Execute("frobnicate now"), "error: unknown command \"frobnicate\"");
  EXPECT_EQ(p.Execute("QUIT"), "error: unknown command \"QUIT\"");
  EXPECT_EQ(p.Execute("a\"b"), "error: unknown command \"a\\\"b\"");
}

TEST(CommandProcessor, AVerbIsRegisteredOnceAndHelpDescribesAllOrOne) {
  CommandProcessor p;
  EXPECT_TRUE(p.Register("quit", "stops", [](const CommandArgs&) { return CommandReply::Ok(); }));
  EXPECT_TRUE(p.Register("help", "lists", [](const CommandArgs&) { return CommandReply::Ok(); }));
  EXPECT_FALSE(p.Register("quit", "again", [](const CommandArgs&) { return CommandReply::Error("second"); }));
  EXPECT_EQ(p.Execute("quit"), "ok");  // the first registration stays
  EXPECT_EQ(p.HelpJson(),
            "{\"commands\":[{\"verb\":\"quit\",\"help\":\"stops\"},{\"verb\":\"help\",\"help\":\"lists\"}]}");
  EXPECT_EQ(p.HelpJson("quit"), "{\"verb\":\"quit\",\"help\":\"stops\"}");
  EXPECT_EQ(p.HelpJson("dance"), std::nullopt);
}

TEST(CommandLine, SplitsQuotedWordsWithEscapedQuotes) {
  struct Case {
    const char* text;
    std::vector<std::string> words;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"  a\tb  ", {"a", "b"}},
      {R"("two words" x)", {"two words", "x"}},
      {R"("say \"hi\"" "back\\slash")", {"say \"hi\"", "back\\slash"}},
      {R"("" a"b c"d)", {"", "ab cd"}},
      {R"(C:\dir\file "\n")", {"C:\\dir\\file", "\\n"}},  // other backslashes are plain
  };
  for (const Case& c : cases) {
    TokenizedLine t = TokenizeArguments(c.text);
    EXPECT_TRUE(t.ok) << c.text;
    EXPECT_EQ(t.words, c.words) << c.text;
  }
  for (const char* bad : {"\"open", R"("ends in escape\")"}) EXPECT_FALSE(TokenizeArguments(bad).ok) << bad;
}

TEST(ConsoleEvent, NamesItsLineRightAfterItsName) {
  EXPECT_EQ(ConsoleEvent("callState").ForLine(2).Add("state", "Connected").Text(),
            "event {\"event\":\"callState\",\"line\":2,\"state\":\"Connected\"}");
  EXPECT_EQ(ConsoleEvent("front").Text(), "event {\"event\":\"front\"}");
}

TEST(JsonWriter, EscapesWhatJsonRequires) {
  EXPECT_EQ(JsonQuote("a\"b\\c\nd\te\x01"), "\"a\\\"b\\\\c\\nd\\te\\u0001\"");
  EXPECT_EQ(JsonQuote("Zo\xC3\xAB"), "\"Zo\xC3\xAB\"");
  EXPECT_EQ(JsonQuote("\xFF"), "\"\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonObject().Add("n", -3).Add("b", true).Add("s", "x").Str(), "{\"n\":-3,\"b\":true,\"s\":\"x\"}");
}

}  // namespace
}  // namespace corvina::app

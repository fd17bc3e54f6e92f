// The console protocol's answer rules and the JSON it writes.
#include "app/command_processor.h"

#include <gtest/gtest.h>

#include "app/json_writer.h"

namespace corvina::app {
namespace {

TEST(CommandProcessor, EveryCommandGetsExactlyOneAnswerLine) {
  CommandProcessor p;
  std::string seenArgs;
  p.Register("dial", "dials a number", [&](std::string_view args) {
    seenArgs = std::string(args);
    return CommandReply::Ok(JsonObject().Add("line", 0).Str());
  });
  p.Register("fail", "always fails", [](std::string_view) { return CommandReply::Error("line 2\nbroken"); });
  p.Register("plain", "answers ok", [](std::string_view) { return CommandReply::Ok(); });

  EXPECT_EQ(p.Execute("dial   sip:200@127.0.0.1  \r"), "ok {\"line\":0}");
  EXPECT_EQ(seenArgs, "sip:200@127.0.0.1");
  EXPECT_EQ(p.Execute("plain"), "ok");
  EXPECT_EQ(p.Execute("fail"), "error: line 2 broken");  // never two lines
  EXPECT_EQ(p.Execute("   "), "");                        // a blank line is no command
}

TEST(CommandProcessor, AnUnknownVerbIsAnErrorThatNamesIt) {
  CommandProcessor p;
  EXPECT_EQ(p.Execute("frobnicate now"), "error: unknown command \"frobnicate\"");
  EXPECT_EQ(p.Execute("QUIT"), "error: unknown command \"QUIT\"");
  EXPECT_EQ(p.Execute("a\"b"), "error: unknown command \"a\\\"b\"");
}

TEST(CommandProcessor, HelpListsVerbsInRegistrationOrder) {
  CommandProcessor p;
  p.Register("quit", "stops", [](std::string_view) { return CommandReply::Ok(); });
  p.Register("help", "lists", [](std::string_view) { return CommandReply::Ok(); });
  EXPECT_EQ(p.HelpJson(),
            "{\"commands\":[{\"verb\":\"quit\",\"help\":\"stops\"},{\"verb\":\"help\",\"help\":\"lists\"}]}");
}

TEST(JsonWriter, EscapesWhatJsonRequires) {
  EXPECT_EQ(JsonQuote("a\"b\\c\nd\te\x01"), "\"a\\\"b\\\\c\\nd\\te\\u0001\"");
  EXPECT_EQ(JsonQuote("Zo\xC3\xAB"), "\"Zo\xC3\xAB\"");
  EXPECT_EQ(JsonQuote("\xFF"), "\"\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonObject().Add("n", -3).Add("b", true).Add("s", "x").Str(), "{\"n\":-3,\"b\":true,\"s\":\"x\"}");
}

}  // namespace
}  // namespace corvina::app

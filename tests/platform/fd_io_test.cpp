// The descriptor helpers: bounded line splitting, and writes that never block.
#include "platform/fd_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace corvina::platform {
namespace {

TEST(LineSplitter, SplitsChunksIntoBoundedLines) {
  struct Case {
    std::vector<std::string> chunks;
    std::vector<std::string> expected;  // "!" marks a line reported as too long
    std::string rest;
  };
  const std::vector<Case> cases = {
      {{"one\ntw", "o\n\nthr"}, {"one", "two", ""}, "thr"},
      {{"12345\n123456\n7"}, {"12345", "!"}, "7"},
      {{"1234567", "89\nok\n"}, {"!", "ok"}, ""},  // too long before its end arrives
      {{"123456789"}, {"!"}, ""},                   // no rest after a line that was too long
  };
  for (const Case& c : cases) {
    LineSplitter splitter(5);
    std::vector<std::string> got;
    std::string line;
    for (const std::string& chunk : c.chunks) {
      splitter.Append(chunk);
      for (;;) {
        LineSplitter::Result r = splitter.Next(&line);
        if (r == LineSplitter::Result::kNone) break;
        got.push_back(r == LineSplitter::Result::kLine ? line : "!");
      }
    }
    EXPECT_EQ(got, c.expected) << c.chunks[0];
    std::string rest;
    EXPECT_EQ(splitter.TakeRest(&rest), !c.rest.empty());
    EXPECT_EQ(rest, c.rest);
  }
}

TEST(FdIo, WritesToAFullPipeReturnAtOnceAndAPrivateWriterLeavesTheOriginalBlocking) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int writer = OpenNonBlockingWriter(fds[1]);
  ASSERT_GE(writer, 0);
  EXPECT_EQ(fcntl(fds[1], F_GETFL) & O_NONBLOCK, 0);
  const std::string block(4096, 'x');
  long total = 0;
  for (;;) {
    long n = WriteSome(writer, block);
    ASSERT_GE(n, 0);
    if (n == 0) break;
    total += n;
  }
  EXPECT_GT(total, 0);
  close(fds[0]);
  EXPECT_EQ(WriteSome(writer, block), -1);  // the reader has gone: an error, not SIGPIPE
  EXPECT_FALSE(WriteAll(fds[1], block));
  close(writer);
  close(fds[1]);
}

}  // namespace
}  // namespace corvina::platform

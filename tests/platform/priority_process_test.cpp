// Priorities a process may not take: run in a child that has given up its privileges, so the
// fallback to a nice value and its single activity-log notice can be seen.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/thread_priority.h"

namespace corvina::platform {
namespace {

class RecordingSink final : public LogSink {
 public:
  void Log(std::string_view message, std::uint8_t) override { entries.emplace_back(message); }
  std::vector<std::string> entries;
};

// Exit codes of the child: 0 when everything held, otherwise the number of the failed check.
int CheckUnprivilegedFallback() {
  // Root gives up its identity (and with it CAP_SYS_NICE); anyone else has no privilege to lose.
  if (getuid() == 0 && setresuid(65534, 65534, 65534) != 0) return 10;
  RecordingSink sink;
  const PriorityOutcome highest = ApplyThreadPriority(0, ThreadPriority::kHighest, &sink);
  if (!highest.applied || highest.exact) return 1;
  if (highest.niceValue < NiceValueFor(ThreadPriority::kHighest)) return 2;
  const PriorityOutcome critical = ApplyThreadPriority(0, ThreadPriority::kTimeCritical, &sink);
  if (!critical.applied || critical.exact || critical.realTime) return 3;
  if (sink.entries.size() != 1) return 4;  // said once, not per fallback
  if (sink.entries[0].find("highest") == std::string::npos) return 5;
  const PriorityOutcome below = ApplyThreadPriority(0, ThreadPriority::kBelowNormal, &sink);
  if (!below.exact || below.niceValue != 5) return 6;
  return 0;
}

TEST(ThreadPriorityProcess, AnUnprivilegedThreadFallsBackToANiceValueAndSaysSoOnce) {
  pid_t child = fork();
  if (child == 0) _exit(CheckUnprivilegedFallback());
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed check " << WEXITSTATUS(status);
}

}  // namespace
}  // namespace corvina::platform

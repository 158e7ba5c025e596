#include "platform/child_wait.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "platform/process_spawn.h"

namespace zorvik {
namespace {

// Linux reports stops and continues only when asked to; Darwin's waitid reports them to a
// WEXITED wait as well. Asking for them here makes Linux behave as Darwin does.
constexpr int kDarwinLikeFlags = WEXITED | WSTOPPED | WCONTINUED;

TEST(ChildWait, AStoppedThenContinuedChildEndsOnlyAtItsRealExit) {
  const pid_t pid = spawnProcess({"/bin/sh", {"-c", "kill -STOP $$; exit 7"}, {}, -1, -1, -1});
  int stopsSeen = 0;
  const auto end = skipToEnd([&]() -> std::optional<ChildReport> {
    auto report = waitForReport(pid, kDarwinLikeFlags);
    if (report && report->code == CLD_STOPPED && stopsSeen++ == 0) ::kill(pid, SIGCONT);
    return report;
  });
  // Still a zombie: the wait did not reap it.
  const auto status = waitForExit(pid);

  EXPECT_GE(stopsSeen, 1) << "the child's stop was never reported, so nothing was skipped";
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->code, CLD_EXITED) << "a stop or continue was taken for the end";
  EXPECT_EQ(end->status, 7);
  ASSERT_TRUE(status.has_value()) << "the child was reaped by the wait";
  EXPECT_EQ(terminationStatus(*status), 7);
}

TEST(ChildWait, AFailedWaitEndsTheLoop) {
  // This process is not its own child: waitid fails with ECHILD.
  EXPECT_FALSE(skipToEnd([] { return waitForReport(::getpid(), WEXITED); }).has_value());
}

}  // namespace
}  // namespace zorvik

#include "platform/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace zorvik {
namespace {

/// A `sleep` child of the test, ended and reaped by its own pid at the end.
class SleepChild {
 public:
  SleepChild() : pid_(spawnProcess({sleepPath(), {"60"}, std::nullopt, -1, -1, -1})) {}
  ~SleepChild() {
    if (!reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  static std::string sleepPath() { return std::filesystem::canonical("/bin/sleep").string(); }
  pid_t pid() const { return pid_; }
  /// Kills the child if it still runs and returns the signal it died of.
  int endAndReap() {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }

 private:
  pid_t pid_;
  bool reaped_ = false;
};

// Right after the spawn the child may still be the forked test; bounded wait for the exec.
std::optional<std::string> executableOnceExecuted(pid_t pid) {
  std::optional<std::string> path;
  for (int i = 0; i < 500 && path != SleepChild::sleepPath(); ++i) {
    path = processExecutablePath(pid);
    if (path != SleepChild::sleepPath()) ::usleep(10000);
  }
  return path;
}

TEST(ProcessExecutable, NamesTheExecutableOfARunningProcess) {
  SleepChild child;
  EXPECT_EQ(executableOnceExecuted(child.pid()), SleepChild::sleepPath());
  EXPECT_EQ(processExecutablePath(0), std::nullopt);
  EXPECT_EQ(processExecutablePath(-1), std::nullopt);
}

TEST(ProcessExecutable, TerminatesOnlyTheProcessRunningTheRecordedExecutable) {
  SleepChild other, recorded;
  ASSERT_EQ(executableOnceExecuted(recorded.pid()), SleepChild::sleepPath());
  ASSERT_EQ(executableOnceExecuted(other.pid()), SleepChild::sleepPath());

  EXPECT_FALSE(terminateIfRunning(other.pid(), "/usr/lib/zorvik/amneziawg-go"));
  EXPECT_TRUE(terminateIfRunning(recorded.pid(), SleepChild::sleepPath()));

  EXPECT_EQ(other.endAndReap(), SIGKILL) << "the other executable got no SIGTERM";
  EXPECT_EQ(recorded.endAndReap(), SIGTERM);
}

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
  const auto status = reapChild(pid);

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

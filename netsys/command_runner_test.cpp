#include "netsys/command_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/unique_fd.h"
#include "testing/fake_tools.h"

namespace zorvik {
namespace {

using test_support::FakeTools;
using Calls = std::vector<std::vector<std::string>>;

TEST(CommandRunner, ToolThatCannotStartGivesMinusOneOrNothingSilently) {
  FakeTools tools;
  const std::string missing = tools.dir().file("no-such-tool");
  const std::string notExecutable = tools.dir().file("fake_tool_scenario.json");
  const std::string directory = tools.dir().path().string();
  for (const auto& path : {missing, notExecutable, directory}) {
    SCOPED_TRACE(path);
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runTool(path, {"-x"}), -1);
    EXPECT_EQ(runToolCapturingOutput(path, {"-x"}), std::nullopt);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  }
}

TEST(CommandRunner, ExitStatusIsReturnedAndOutputIsKeptWhateverTheStatus) {
  FakeTools tools;
  tools.on("route", {"fail"}, "partial answer\n", 1).on("route", {"seven"}, "", 7);
  EXPECT_EQ(runTool(tools.routePath(), {"fail"}), 1);
  EXPECT_EQ(runTool(tools.routePath(), {"seven"}), 7);
  EXPECT_EQ(runTool(tools.routePath(), {"unmatched"}), 0);
  EXPECT_EQ(runToolCapturingOutput(tools.routePath(), {"fail"}), "partial answer\n");
}

TEST(CommandRunner, SilentToolGivesEmptyTextNotNothing) {
  FakeTools tools;
  std::optional<std::string> output = runToolCapturingOutput(tools.routePath(), {"quiet"});
  ASSERT_TRUE(output.has_value());
  EXPECT_EQ(*output, "");
}

TEST(CommandRunner, ToolOutputNeverReachesTheCallerOrTheHelpersOwnStreams) {
  FakeTools tools;
  FakeTools::Rule noisy;
  noisy.tool = "networksetup";
  noisy.prefix = true;
  noisy.stdoutText = "on stdout\n";
  noisy.stderrText = "on stderr\n";
  tools.add(noisy);

  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  int status = runTool(tools.networksetupPath(), {"-setv6off", "Wi-Fi"});
  std::optional<std::string> captured = runToolCapturingOutput(tools.networksetupPath(), {"-x"});
  std::string ownStdout = ::testing::internal::GetCapturedStdout();
  std::string ownStderr = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(status, 0);
  EXPECT_EQ(captured, "on stdout\n") << "standard error must not be mixed into the capture";
  EXPECT_EQ(ownStdout, "");
  EXPECT_EQ(ownStderr, "");
}

TEST(CommandRunner, MoreOutputThanAPipeHoldsIsReadCompletely) {
  FakeTools tools;
  std::string big;
  for (int i = 0; big.size() < (1u << 20); ++i) big += "line " + std::to_string(i) + "\n";
  tools.on("networksetup", {"-listallnetworkservices"}, big);
  std::optional<std::string> output =
      runToolCapturingOutput(tools.networksetupPath(), {"-listallnetworkservices"});
  ASSERT_TRUE(output.has_value());
  EXPECT_EQ(output->size(), big.size());
  EXPECT_TRUE(*output == big) << "1 MiB of output came back altered";
}

TEST(CommandRunner, InvalidUTF8BecomesReplacementCharacters) {
  FakeTools tools;
  FakeTools::Rule rule;
  rule.tool = "route";
  rule.stdoutText = "gate\xFFway: 10.0.0.1\xC3\n";
  rule.rawStdout = true;
  tools.add(rule);
  EXPECT_EQ(runToolCapturingOutput(tools.routePath(), {}),
            "gate\xEF\xBF\xBDway: 10.0.0.1\xEF\xBF\xBD\n");
}

TEST(CommandRunner, EachArgumentReachesTheToolUnchanged) {
  FakeTools tools;
  const std::vector<std::string> arguments = {"-setdnsservers",
                                              "My \"Home\" Wi-Fi",
                                              "$(touch /tmp/owned)",
                                              "a;b|c&&d",
                                              "`id`",
                                              "*",
                                              "",
                                              "  two  spaces  ",
                                              "Сеть 2",
                                              "'quoted'",
                                              "back\\slash",
                                              "new\nline"};
  EXPECT_EQ(runTool(tools.networksetupPath(), arguments), 0);
  EXPECT_EQ(runToolCapturingOutput(tools.networksetupPath(), arguments), "");
  EXPECT_EQ(tools.callsOf("networksetup"), (Calls{arguments, arguments}));
}

/// Leaves a descriptor open without close-on-exec, ignores SIGPIPE and blocks
/// SIGUSR1 in this thread; puts everything back on destruction.
class LeakyParent {
 public:
  LeakyParent() : leaked_(::open("/dev/null", O_RDONLY)) {
    oldPipe_ = std::signal(SIGPIPE, SIG_IGN);
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &block, &oldMask_);
  }
  ~LeakyParent() {
    pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
    std::signal(SIGPIPE, oldPipe_);
  }
  int leakedFd() const { return leaked_.get(); }

 private:
  UniqueFd leaked_;
  void (*oldPipe_)(int) = SIG_DFL;
  sigset_t oldMask_{};
};

TEST(CommandRunner, ToolStartsWithOnlyStandardDescriptorsAndCleanSignalState) {
  FakeTools tools;
  FakeTools::Rule rule;
  rule.tool = "ifconfig";
  rule.arguments = {"report"};
  rule.report = true;
  tools.add(rule);

  std::optional<std::string> output;
  {
    LeakyParent parent;
    ASSERT_GE(parent.leakedFd(), 3);
    ASSERT_EQ(::fcntl(parent.leakedFd(), F_GETFD) & FD_CLOEXEC, 0);
    output = runToolCapturingOutput(tools.ifconfigPath(), {"report"});
  }
  ASSERT_TRUE(output.has_value());
  std::istringstream lines(*output);
  std::string fds, sigBlk, sigIgn;
  std::getline(lines, fds);
  std::getline(lines, sigBlk);
  std::getline(lines, sigIgn);
  EXPECT_EQ(fds, "fds: 0 1 2");
  EXPECT_EQ(sigBlk, "SigBlk:\t0000000000000000");
  EXPECT_EQ(sigIgn, "SigIgn:\t0000000000000000");
}

// A process of the test's own, by the pid a tool wrote down; ended at scope exit.
class LeftBehind {
 public:
  explicit LeftBehind(std::string pidFile) : pidFile_(std::move(pidFile)) {}
  ~LeftBehind() {
    if (const auto pid = this->pid(); pid && alive()) ::kill(*pid, SIGKILL);
  }
  std::optional<pid_t> pid() const {
    std::ifstream in(pidFile_);
    pid_t pid = 0;
    if (!(in >> pid) || pid <= 1) return std::nullopt;
    return pid;
  }
  /// Still running a while after a SIGKILL, which the kernel delivers asynchronously.
  bool survives() const {
    for (int i = 0; i < 200 && alive(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return alive();
  }
  /// Running, neither gone nor a zombie waiting for its new parent.
  bool alive() const {
    const auto pid = this->pid();
    if (!pid) return false;
    std::ifstream stat("/proc/" + std::to_string(*pid) + "/stat");
    std::string pidText, name, state;
    return static_cast<bool>(stat >> pidText >> name >> state) && state != "Z";
  }

 private:
  std::string pidFile_;
};

class BoundedToolRun : public ::testing::Test {
 protected:
  void SetUp() override {
    setToolRunLimit(std::chrono::milliseconds(300),
                    [this](const std::string& path, const std::vector<std::string>& arguments) {
                      reports.push_back({path});
                      reports.back().insert(reports.back().end(), arguments.begin(),
                                            arguments.end());
                    });
  }
  void TearDown() override { setToolRunLimit(kToolRunLimit, nullptr); }

  test_support::TempDir dir;
  Calls reports;
};

TEST_F(BoundedToolRun, AToolPastTheLimitIsKilledWithItsGroupAndReportedOnce) {
  const std::string pidFile = dir.file("child.pid");
  LeftBehind child(pidFile);
  const std::vector<std::string> script = {"-c", "sleep 30 & echo $! > " + pidFile + "; wait"};

  EXPECT_EQ(runTool("/bin/sh", script), -1);
  EXPECT_FALSE(child.survives()) << "the tool's background child outlived the limit";
  EXPECT_EQ(runToolCapturingOutput("/bin/sh", {"-c", "echo partial; exec sleep 30"}), std::nullopt);

  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], (std::vector<std::string>{"/bin/sh", script[0], script[1]}));
  EXPECT_EQ(reports[1][0], "/bin/sh");
}

TEST_F(BoundedToolRun, CaptureEndsWhenTheToolExitsNotWhenItsChildClosesThePipe) {
  const std::string pidFile = dir.file("child.pid");
  LeftBehind child(pidFile);
  // The background sleep keeps the pipe's write end open after the shell exits.
  EXPECT_EQ(runToolCapturingOutput("/bin/sh", {"-c", "echo out; sleep 30 & echo $! > " + pidFile}),
            "out\n");
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(child.alive()) << "a tool that exited in time has its children left alone";
}

TEST(CommandRunner, AnArgumentWithANulIsRefusedNotCut) {
  test_support::TempDir dir;
  const std::string marker = dir.file("ran");
  const std::string script = "touch " + marker;
  EXPECT_EQ(runTool("/bin/sh", {"-c", script + std::string(1, '\0') + "x"}), -1);
  EXPECT_EQ(runToolCapturingOutput("/bin/sh", {"-c", script, std::string("a\0b", 3)}),
            std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(marker)) << "a refused tool ran anyway";
}

}  // namespace
}  // namespace zorvik

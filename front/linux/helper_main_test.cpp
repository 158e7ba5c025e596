// The real zorvik-helper process, started inside private mount and network
// namespaces with a tmpfs on /var/run, so it touches nothing of the machine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/ctl_connection.h"
#include "front/log_messages.h"
#include "testing/ctl_run.h"
#include "testing/listener_harness.h"
#include "wire/socket_path.h"

namespace zorvik {
namespace {

using namespace test_support;

/// zorvik-helper in namespaces of its own; killed and reaped at the end.
class IsolatedHelper {
 public:
  explicit IsolatedHelper(std::vector<std::string> arguments) {
    auto [readEnd, writeEnd] = makePipe();

    const std::string program = std::string(ZORVIK_BUILD_DIR) + "/zorvik-helper";
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      // Only async-signal-safe calls between fork and exec.
      if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) ::_exit(120);
      if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(121);
      if (::mount("tmpfs", "/var/run", "tmpfs", 0, "mode=0755") != 0) ::_exit(122);
      if (::dup2(writeEnd.get(), STDERR_FILENO) < 0) ::_exit(123);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    stderr_ = std::move(readEnd);
    reader_ = ctl::LineReader(stderr_.get());
  }
  ~IsolatedHelper() {
    if (pid_ < 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

  /// Sends `signal` and reaps the helper: its wait status, or -1 when it is still running
  /// after the patience (then it is killed).
  int signalAndReap(int signal) {
    ::kill(pid_, signal);
    int status = 0;
    const bool ended = eventually([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; });
    if (!ended) return -1;
    pid_ = -1;
    return status;
  }

  /// The helper's socket, reached through its mount namespace. An absolute
  /// symlink on the way (/var/run -> /run) would lead back into ours, so the
  /// path is resolved here first.
  std::string socketPath() const {
    const fs::path socket(kHelperSocketPath);
    return "/proc/" + std::to_string(pid_) + "/root" +
           (fs::canonical(socket.parent_path()) / socket.filename()).string();
  }

  /// The next line the helper writes to standard error.
  std::string nextLogLine() {
    std::string line;
    reader_.readLine(line, kPatience);
    return line;
  }

 private:
  pid_t pid_ = -1;
  UniqueFd stderr_;
  ctl::LineReader reader_{-1};
};

TEST(ZorvikHelperProcess, LogsItsStartFirstIgnoresArgumentsAndServesTheClientBesideIt) {
  IsolatedHelper helper({"zorvik-helper", "--socket", "/tmp/ignored.sock", "extra"});
  EXPECT_EQ(helper.nextLogLine(), std::string("daemon info: ") + kStartingMessage);

  ASSERT_TRUE(eventually([&] { return ::access(helper.socketPath().c_str(), F_OK) == 0; }))
      << "no socket at " << helper.socketPath();
  EXPECT_EQ(runCtl({"--socket", helper.socketPath(), "version"}), (CtlResult{0, "1\n", ""}));
  EXPECT_EQ(helper.nextLogLine(), std::string("daemon info: ") + kConnectionClosed);

  // Anyone else is refused, by the real check.
  TestClient stranger(helper.socketPath());
  EXPECT_TRUE(stranger.closedByHelper());
  EXPECT_EQ(helper.nextLogLine(), std::string("daemon error: ") + kSignatureCheckFailed + "-67050");
  EXPECT_EQ(helper.nextLogLine(), std::string("daemon error: ") + kUntrustedRejected);
}

TEST(ZorvikHelperProcess, SIGTERMAndSIGINTEndItWithStatusZeroAfterTheTeardown) {
  for (int signal : {SIGTERM, SIGINT}) {
    IsolatedHelper helper({"zorvik-helper"});
    ASSERT_EQ(helper.nextLogLine(), std::string("daemon info: ") + kStartingMessage);
    ASSERT_TRUE(eventually([&] { return ::access(helper.socketPath().c_str(), F_OK) == 0; }));

    const int status = helper.signalAndReap(signal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "signal " << signal << ": wait status " << status;
    EXPECT_EQ(helper.nextLogLine(),
              std::string("daemon info: ") + kStopSignalReceived + std::to_string(signal));
    EXPECT_EQ(helper.nextLogLine(), "tunnel info: туннель опущен, конфигурация восстановлена");
  }
}

}  // namespace
}  // namespace zorvik

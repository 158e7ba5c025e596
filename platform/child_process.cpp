#include "platform/child_process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <memory>
#include <system_error>

extern char** environ;

namespace zorvik {
namespace {

class SpawnAttributes {
 public:
  explicit SpawnAttributes(bool ownProcessGroup) {
    if (int rc = posix_spawnattr_init(&attr_); rc != 0) fail(rc);
    // Every bit, not sigfillset: glibc's sigfillset leaves out its two reserved
    // signals, and its posix_spawn then hands them to the child ignored.
    sigset_t all;
    std::memset(&all, 0xff, sizeof all);
    sigset_t none;
    sigemptyset(&none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    check(posix_spawnattr_setsigdefault(&attr_, &all));
    check(posix_spawnattr_setsigmask(&attr_, &none));
    flags |= spawnCloseOthersFlags();
    if (ownProcessGroup) {
      check(posix_spawnattr_setpgroup(&attr_, 0));
      flags |= POSIX_SPAWN_SETPGROUP;
    }
    check(posix_spawnattr_setflags(&attr_, flags));
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attr_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attr_; }

 private:
  [[noreturn]] static void fail(int rc) {
    throw std::system_error(rc, std::generic_category(), "posix_spawnattr");
  }
  static void check(int rc) {
    if (rc != 0) fail(rc);
  }
  posix_spawnattr_t attr_;
};

class SpawnFileActions {
 public:
  SpawnFileActions() {
    if (int rc = posix_spawn_file_actions_init(&actions_); rc != 0) fail(rc);
  }
  ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;

  void redirect(int from, int to) {
    if (from < 0) return;
    if (int rc = posix_spawn_file_actions_adddup2(&actions_, from, to); rc != 0) fail(rc);
  }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  [[noreturn]] static void fail(int rc) {
    throw std::system_error(rc, std::generic_category(), "posix_spawn_file_actions");
  }
  posix_spawn_file_actions_t actions_;
};

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  out.reserve(texts.size() + 1);
  for (auto& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

/// The child's descriptor set-up. It depends on the descriptor numbers alone, and
/// building it asks the C library to check each number against the descriptor
/// limit; the tools of one start use the same few sets of numbers (output to
/// /dev/null, or to a pipe), so the last few built on this thread are used again.
SpawnFileActions& fileActionsFor(const SpawnRequest& request) {
  struct Built {
    Built(int in, int out, int err) : stdinFd(in), stdoutFd(out), stderrFd(err) {}
    int stdinFd, stdoutFd, stderrFd;
    SpawnFileActions actions;
  };
  constexpr std::size_t kKept = 4;
  thread_local std::deque<std::unique_ptr<Built>> recent;
  for (const auto& built : recent) {
    if (built->stdinFd == request.stdinFd && built->stdoutFd == request.stdoutFd &&
        built->stderrFd == request.stderrFd) {
      return built->actions;
    }
  }
  auto built = std::make_unique<Built>(request.stdinFd, request.stdoutFd, request.stderrFd);
  built->actions.redirect(request.stdinFd, STDIN_FILENO);
  built->actions.redirect(request.stdoutFd, STDOUT_FILENO);
  built->actions.redirect(request.stderrFd, STDERR_FILENO);
  // After the redirections, so their sources are closed in the child too.
  if (int rc = spawnCloseOthers(built->actions.get()); rc != 0) {
    throw std::system_error(rc, std::generic_category(), "posix_spawn_file_actions");
  }
  if (recent.size() == kKept) recent.pop_front();
  recent.push_back(std::move(built));
  return recent.back()->actions;
}

}  // namespace

pid_t spawnProcess(const SpawnRequest& request) {
  SpawnAttributes attributes(request.ownProcessGroup);
  SpawnFileActions& actions = fileActionsFor(request);

  std::vector<std::string> argv{request.path};
  argv.insert(argv.end(), request.arguments.begin(), request.arguments.end());
  auto argvPointers = pointers(argv);
  std::vector<std::string> envCopy;
  std::vector<char*> envPointers;
  char** envp = environ;
  if (request.environment) {
    envCopy = *request.environment;
    envPointers = pointers(envCopy);
    envp = envPointers.data();
  }

  pid_t pid = -1;
  int rc = posix_spawn(&pid, request.path.c_str(), actions.get(), attributes.get(),
                       argvPointers.data(), envp);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "posix_spawn " + request.path);
  return pid;
}

std::vector<std::string> environmentWith(const std::vector<std::string>& overrides) {
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::vector<std::string> out;
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string text(*entry);
    bool replaced = false;
    for (const auto& o : overrides) replaced = replaced || nameOf(o) == nameOf(text);
    if (!replaced) out.push_back(std::move(text));
  }
  out.insert(out.end(), overrides.begin(), overrides.end());
  return out;
}

ChildWatch::Event ChildWatch::wait(int fd, Clock::time_point deadline) {
  // Nothing to watch but the end, and no deadline: waitid blocks until then by itself.
  if (fd < 0 && deadline == kNoDeadline) {
    waitForReport(pid_, WEXITED);
    return Event::exited;
  }
  if (!watching_) {
    startWatching();
    watching_ = true;
  }
  return waitWatched(fd, deadline);
}

// WEXITED without WSTOPPED or WCONTINUED reports only ends, on Linux and on macOS alike, so this
// blocks through a stop; skipping is only a guard.
std::optional<ChildReport> ChildWatch::end() const {
  return skipToEnd([pid = pid_] { return waitForReport(pid, WEXITED); });
}

std::optional<ChildReport> waitForReport(pid_t pid, int flags) {
  siginfo_t info{};
  for (;;) {
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, flags | WNOWAIT) == 0) {
      return ChildReport{info.si_code, info.si_status};
    }
    if (errno != EINTR) return std::nullopt;
  }
}

bool childHasEnded(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

std::optional<ChildReport> skipToEnd(
    const std::function<std::optional<ChildReport>()>& nextReport) {
  for (;;) {
    auto report = nextReport();
    if (!report) return std::nullopt;
    if (report->code == CLD_EXITED || report->code == CLD_KILLED || report->code == CLD_DUMPED) {
      return report;
    }
  }
}

std::optional<int> reapChild(pid_t pid) {
  int status = 0;
  for (;;) {
    pid_t rc = waitpid(pid, &status, 0);
    if (rc == pid) return status;
    if (rc < 0 && errno == EINTR) continue;
    return std::nullopt;
  }
}

int terminationStatus(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return WTERMSIG(waitStatus);
  return waitStatus;
}

bool isSameOrDescendant(pid_t pid, pid_t ancestor, int depth) {
  if (ancestor < 2) return false;
  for (int generation = 0; generation <= depth && pid > 1; ++generation) {
    if (pid == ancestor) return true;
    const auto parent = parentProcessId(pid);
    if (!parent) return false;
    pid = *parent;
  }
  return false;
}

}  // namespace zorvik

#pragma once
// A child process of the helper: how it is started, watched until its end, reaped, and how
// another process's executable is checked. The platforms differ in the halves
// child_process_linux.cpp and child_process_darwin.cpp.

#include <spawn.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/unique_fd.h"

namespace zorvik {

// --- Starting a child ---

/// How to start a child process. Descriptors of -1 are inherited from the helper.
struct SpawnRequest {
  std::string path;                    ///< absolute path of the executable; no PATH search
  std::vector<std::string> arguments;  ///< arguments after argument zero, which is `path`
  /// Complete environment as "NAME=value"; absent means the helper's own.
  std::optional<std::vector<std::string>> environment;
  int stdinFd = -1;
  int stdoutFd = -1;
  int stderrFd = -1;
  /// Starts the child as the leader of a process group of its own, so that it
  /// and whatever it starts can be signalled together (killpg with its pid).
  bool ownProcessGroup = false;
};

/// Starts a child without a shell. The child gets default signal dispositions,
/// an empty signal mask and no descriptor of the helper but 0, 1 and 2.
/// Returns its pid; throws std::system_error when it cannot be started.
pid_t spawnProcess(const SpawnRequest& request);

/// The environment of this process with `overrides` ("NAME=value") put in place
/// of any entry of the same name.
std::vector<std::string> environmentWith(const std::vector<std::string>& overrides);

/// Both ends of a pipe, each close-on-exec.
struct PipeEnds {
  UniqueFd readEnd;
  UniqueFd writeEnd;
};

/// Makes a pipe whose ends are close-on-exec; nothing when the system refuses.
std::optional<PipeEnds> makeCloexecPipe();

// --- Waiting for its end ---

/// What waitid reported about a child: `code` is si_code (CLD_EXITED, CLD_KILLED, CLD_DUMPED,
/// CLD_STOPPED, ...), `status` is si_status (the exit code or the signal number).
struct ChildReport {
  int code = 0;
  int status = 0;
};

/// Watches one unreaped child of this process until its end: the one way the helper waits for
/// a child. It never reaps: the caller does (`reapChild`), once it has seen `exited`.
class ChildWatch {
 public:
  enum class Event { exited, readable, timedOut };
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::time_point kNoDeadline = Clock::time_point::max();

  /// Starts watching `pid`, which must be an unreaped child of this process.
  explicit ChildWatch(pid_t pid) : pid_(pid) {}
  ChildWatch(const ChildWatch&) = delete;
  ChildWatch& operator=(const ChildWatch&) = delete;

  /// Waits until the child has exited, `fd` is readable or at end of file
  /// (not watched when negative), or `deadline` passes. Exit wins a tie. Called with
  /// neither, it returns `exited` also when the child cannot be waited for at all.
  Event wait(int fd = -1, Clock::time_point deadline = kNoDeadline);

  /// How the child ended, once `wait` has said `exited`; the child stays unreaped, so its
  /// pid cannot be reused until the caller reaps it. Nothing when the wait fails (no such
  /// child).
  std::optional<ChildReport> end() const;

 private:
  // Each platform half: opens the handle, then waits on it.
  void startWatching();
  Event waitWatched(int fd, Clock::time_point deadline);

  pid_t pid_;
  bool watching_ = false;
  UniqueFd handle_;  ///< a pidfd on Linux, a kqueue on macOS
  int watchedFd_ = -1;
  bool exitPosted_ = false;  ///< macOS: the exit was seen, or the child was already exiting
};

/// One waitid(P_PID, pid, flags | WNOWAIT): the child stays unreaped. Nothing when it fails
/// for another reason than EINTR (no such child).
std::optional<ChildReport> waitForReport(pid_t pid, int flags);

/// True once child `pid` has ended; never waits, and leaves it unreaped.
bool childHasEnded(pid_t pid);

/// Calls `nextReport` until it reports an end (exit, kill or core dump) and returns that one;
/// reports of a stop or a continue are skipped. Nothing as soon as a wait fails.
std::optional<ChildReport> skipToEnd(const std::function<std::optional<ChildReport>()>& nextReport);

/// Reaps child `pid`, first waiting for its end if it has not ended yet (retrying on EINTR),
/// and returns its raw wait status, or nothing when waitpid fails.
std::optional<int> reapChild(pid_t pid);

/// The status as the platform's termination status: the exit code, or the signal number.
int terminationStatus(int waitStatus);

// --- Another process's executable ---

/// The path of the executable that process `pid` runs, or nothing when there
/// is no such process or it cannot be inspected.
std::optional<std::string> processExecutablePath(pid_t pid);

/// Whether any process other than this one runs the executable `executablePath` now. One
/// that cannot be inspected does not count.
bool anyProcessRuns(const std::string& executablePath);
/// The parent of process `pid` as the system records it now, or nothing when there is no such
/// process or it cannot be inspected.
std::optional<pid_t> parentProcessId(pid_t pid);

/// True when process `pid` is `ancestor` or descends from it within `depth` generations.
bool isSameOrDescendant(pid_t pid, pid_t ancestor, int depth = 8);

/// Sends SIGTERM to process `pid` only if it is running and its executable is
/// `executablePath`. Never signals a pid below 2. True when the signal was sent.
bool terminateIfRunning(pid_t pid, const std::string& executablePath);

// --- Each platform half's part of spawning ---

/// How a child is kept from inheriting the helper's descriptors beyond 0, 1 and 2: extra
/// posix_spawn attribute flags (POSIX_SPAWN_CLOEXEC_DEFAULT on Apple).
short spawnCloseOthersFlags();

/// Adds the file action that closes descriptors from 3 up (closefrom on glibc).
/// Returns 0 or an errno value.
int spawnCloseOthers(posix_spawn_file_actions_t* actions);

}  // namespace zorvik

#include <fcntl.h>
#include <libproc.h>
#include <signal.h>
#include <sys/event.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/kernel_wait_time.h"
#include "platform/child_process.h"

namespace zorvik {

// With this flag every descriptor that no file action names is closed in the child.
short spawnCloseOthersFlags() { return POSIX_SPAWN_CLOEXEC_DEFAULT; }

// So 0, 1 and 2 are named explicitly, whether redirected or inherited.
int spawnCloseOthers(posix_spawn_file_actions_t* actions) {
  for (int fd = 0; fd <= 2; ++fd) {
    if (int rc = posix_spawn_file_actions_addinherit_np(actions, fd); rc != 0) return rc;
  }
  return 0;
}

// No pipe2 here. The flag is set right after; children are spawned with
// POSIX_SPAWN_CLOEXEC_DEFAULT, so the short gap cannot leak the ends to them.
std::optional<PipeEnds> makeCloexecPipe() {
  int ends[2];
  if (::pipe(ends) != 0) return std::nullopt;
  PipeEnds pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
  if (::fcntl(pipe.readEnd.get(), F_SETFD, FD_CLOEXEC) != 0 ||
      ::fcntl(pipe.writeEnd.get(), F_SETFD, FD_CLOEXEC) != 0) {
    return std::nullopt;
  }
  return pipe;
}

// The kernel posts NOTE_EXIT before it makes the child a zombie, and a child that is past
// that point can no longer be found, so registering its filter fails with ESRCH and no event
// ever comes. Either way the child is a moment from being waitable: a blocking waitid (WEXITED
// alone, so a stop is never reported) returns as soon as it is, where WNOHANG may still find
// nothing.

void ChildWatch::startWatching() {
  handle_ = UniqueFd(::kqueue());
  if (!handle_) return;
  struct kevent change {};
  EV_SET(&change, pid_, EVFILT_PROC, EV_ADD, NOTE_EXIT, 0, nullptr);
  exitPosted_ = ::kevent(handle_.get(), &change, 1, nullptr, 0, nullptr) != 0 && errno == ESRCH;
}

ChildWatch::Event ChildWatch::waitWatched(int fd, Clock::time_point deadline) {
  if (fd != watchedFd_ && handle_) {
    struct kevent changes[2];
    int count = 0;
    if (watchedFd_ >= 0)
      EV_SET(&changes[count++], watchedFd_, EVFILT_READ, EV_DELETE, 0, 0, nullptr);
    if (fd >= 0) EV_SET(&changes[count++], fd, EVFILT_READ, EV_ADD, 0, 0, nullptr);
    ::kevent(handle_.get(), changes, count, nullptr, 0, nullptr);
    watchedFd_ = fd;
  }
  for (;;) {
    if (exitPosted_) {
      waitForReport(pid_, WEXITED);
      return Event::exited;
    }
    if (!handle_) {
      // No kqueue to sleep on: only an exit that has already happened is seen.
      return childHasEnded(pid_) ? Event::exited : Event::timedOut;
    }
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return Event::timedOut;
    const timespec timeout = timespecOf(std::chrono::duration_cast<std::chrono::nanoseconds>(left));
    struct kevent events[2];
    const int ready = ::kevent(handle_.get(), nullptr, 0, events, 2,
                               deadline == kNoDeadline ? nullptr : &timeout);
    if (ready < 0 && errno != EINTR) return Event::timedOut;
    bool readable = false;
    for (int i = 0; i < ready; ++i) {
      if (events[i].filter == EVFILT_PROC && (events[i].fflags & NOTE_EXIT) != 0)
        exitPosted_ = true;
      if (events[i].filter == EVFILT_READ) readable = true;
    }
    // The exit event is one-shot: seen together with a read event it still wins the tie.
    if (!exitPosted_ && readable) return Event::readable;
  }
}

std::optional<std::string> processExecutablePath(pid_t pid) {
  if (pid < 1) return std::nullopt;
  char path[PROC_PIDPATHINFO_MAXSIZE];
  int length = ::proc_pidpath(pid, path, sizeof path);
  if (length <= 0) return std::nullopt;
  return std::string(path, static_cast<std::size_t>(length));
}

bool anyProcessRuns(const std::string& executablePath) {
  // Asked once with room to spare: processes started meanwhile are not the daemon.
  const int count = ::proc_listallpids(nullptr, 0);
  if (count <= 0) return false;
  std::vector<pid_t> pids(static_cast<std::size_t>(count) + 64);
  const int got = ::proc_listallpids(pids.data(), static_cast<int>(pids.size() * sizeof(pid_t)));
  for (int i = 0; i < got && i < static_cast<int>(pids.size()); ++i) {
    if (pids[i] != ::getpid() && processExecutablePath(pids[i]) == executablePath) return true;
  }
  return false;
}

std::optional<pid_t> parentProcessId(pid_t pid) {
  if (pid < 1) return std::nullopt;
  proc_bsdinfo info{};
  if (::proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, PROC_PIDTBSDINFO_SIZE) !=
      PROC_PIDTBSDINFO_SIZE)
    return std::nullopt;
  return static_cast<pid_t>(info.pbi_ppid);
}

bool terminateIfRunning(pid_t pid, const std::string& executablePath) {
  if (pid < 2) return false;
  // No process descriptor here: the pid could in theory be reused between the
  // check and the signal, a window of microseconds after a helper restart.
  if (processExecutablePath(pid) != executablePath) return false;
  return ::kill(pid, SIGTERM) == 0;
}

}  // namespace zorvik

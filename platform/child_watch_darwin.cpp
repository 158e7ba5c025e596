#include <sys/event.h>
#include <sys/time.h>

#include <cerrno>

#include "platform/child_wait.h"
#include "platform/child_watch.h"

namespace zorvik {

// The kernel posts NOTE_EXIT before it makes the child a zombie, and a child that is past
// that point can no longer be found, so registering its filter fails with ESRCH and no event
// ever comes. Either way the child is a moment from being waitable: a blocking waitid (WEXITED
// alone, so a stop is never reported) returns as soon as it is, where WNOHANG may still find
// nothing.

ChildWatch::ChildWatch(pid_t pid) : pid_(pid), handle_(::kqueue()) {
  if (!handle_) return;
  struct kevent change {};
  EV_SET(&change, pid_, EVFILT_PROC, EV_ADD, NOTE_EXIT, 0, nullptr);
  exitPosted_ = ::kevent(handle_.get(), &change, 1, nullptr, 0, nullptr) != 0 && errno == ESRCH;
}

ChildWatch::~ChildWatch() = default;

ChildWatch::Event ChildWatch::wait(int fd, Clock::time_point deadline) {
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
      siginfo_t info{};
      const bool ended =
          ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == pid_;
      return ended ? Event::exited : Event::timedOut;
    }
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return Event::timedOut;
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(nanoseconds / 1000000000),
                           static_cast<long>(nanoseconds % 1000000000)};
    struct kevent events[2];
    const int ready = ::kevent(handle_.get(), nullptr, 0, events, 2, &timeout);
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

}  // namespace zorvik

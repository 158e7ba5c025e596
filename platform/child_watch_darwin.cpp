#include <sys/event.h>
#include <sys/time.h>

#include <cerrno>

#include "platform/child_watch.h"

namespace zorvik {

ChildWatch::ChildWatch(pid_t pid) : pid_(pid), handle_(::kqueue()) {
  if (!handle_) return;
  struct kevent change {};
  EV_SET(&change, pid_, EVFILT_PROC, EV_ADD, NOTE_EXIT, 0, nullptr);
  // ESRCH: the child exited before the filter was set; wait() reports that.
  ::kevent(handle_.get(), &change, 1, nullptr, 0, nullptr);
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
    // The exit is looked at directly too: a child gone before its filter was set has no event.
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid_ &&
        (info.si_code == CLD_EXITED || info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED)) {
      return Event::exited;
    }
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero() || !handle_) return Event::timedOut;
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(nanoseconds / 1000000000),
                           static_cast<long>(nanoseconds % 1000000000)};
    struct kevent events[2];
    const int ready = ::kevent(handle_.get(), nullptr, 0, events, 2, &timeout);
    if (ready < 0 && errno != EINTR) return Event::timedOut;
    bool readable = false;
    for (int i = 0; i < ready; ++i) readable = readable || events[i].filter == EVFILT_READ;
    // A process event loops back to the waitid above, which tells an exit from a stop.
    if (readable) return Event::readable;
  }
}

}  // namespace zorvik

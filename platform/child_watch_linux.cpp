#include <poll.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>

#include "platform/child_watch.h"
#include "platform/pidfd_linux.h"

namespace zorvik {
namespace {

// Only where the kernel has no pidfd: how often the exit is looked for.
constexpr std::chrono::milliseconds kExitPollInterval{5};

bool hasExited(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

}  // namespace

ChildWatch::ChildWatch(pid_t pid) : pid_(pid), handle_(openPidfd(pid)) {}

ChildWatch::~ChildWatch() = default;

ChildWatch::Event ChildWatch::wait(int fd, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (!handle_ && hasExited(pid_)) return Event::exited;
    if (left.count() <= 0) return hasExited(pid_) ? Event::exited : Event::timedOut;

    pollfd entries[2];
    nfds_t count = 0;
    if (handle_) entries[count++] = {handle_.get(), POLLIN, 0};
    if (fd >= 0) entries[count++] = {fd, POLLIN, 0};
    const auto timeout = handle_ ? left : std::min(left, kExitPollInterval);
    const int ready = ::poll(entries, count, static_cast<int>(timeout.count()));
    if (ready < 0 && errno != EINTR) return hasExited(pid_) ? Event::exited : Event::timedOut;
    if (ready <= 0) continue;
    if (handle_ && entries[0].revents != 0) return Event::exited;
    if (fd >= 0 && entries[count - 1].revents != 0) return Event::readable;
  }
}

}  // namespace zorvik

#include <sys/event.h>
#include <sys/wait.h>

#include <cerrno>

#include "base/unique_fd.h"
#include "platform/child_wait.h"

namespace zorvik {
namespace {

// Blocks until the kernel posts the child's exit; it stays a zombie, unreaped. Returns at once
// when the exit cannot be watched this way (ESRCH: it has already happened).
void waitForExitEvent(pid_t pid) {
  UniqueFd queue(::kqueue());
  if (!queue) return;
  struct kevent change;
  EV_SET(&change, static_cast<uintptr_t>(pid), EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0,
         nullptr);
  if (::kevent(queue.get(), &change, 1, nullptr, 0, nullptr) != 0) return;
  struct kevent event;
  int n;
  do {
    n = ::kevent(queue.get(), nullptr, 0, &event, 1, nullptr);
  } while (n < 0 && errno == EINTR);
}

}  // namespace

// waitid(WEXITED | WNOWAIT) also returns here for a child that is only stopped, and returns
// again at once for as long as it stays stopped. So the exit is awaited with kqueue first; after
// it the child is a zombie and waitid reports its end. Without kqueue, skipping stop reports
// still gives the right answer, only by spinning while the child is stopped.
std::optional<ChildReport> waitForChildEnd(pid_t pid) {
  waitForExitEvent(pid);
  return skipToEnd([pid] { return waitForReport(pid, WEXITED); });
}

}  // namespace zorvik

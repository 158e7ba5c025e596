#include <fcntl.h>
#include <sys/event.h>
#include <sys/time.h>
#include <unistd.h>

#include <utility>

#include "base/fd_io.h"
#include "base/kernel_wait_time.h"
#include "platform/directory_watch.h"

namespace zorvik {
namespace {

constexpr unsigned kChanges =
    NOTE_WRITE | NOTE_EXTEND | NOTE_ATTRIB | NOTE_RENAME | NOTE_DELETE | NOTE_LINK;

// O_EVTONLY: a watch must not keep a volume from being unmounted.
UniqueFd openForEvents(const std::string& path) {
  return UniqueFd(openRetryingEINTR(path.c_str(), O_EVTONLY | O_CLOEXEC));
}

bool addVnodeFilter(int queue, int fd) {
  struct kevent change {};
  EV_SET(&change, fd, EVFILT_VNODE, EV_ADD | EV_CLEAR, kChanges, 0, nullptr);
  return ::kevent(queue, &change, 1, nullptr, 0, nullptr) == 0;
}

}  // namespace

DirectoryWatch::DirectoryWatch(std::string directory) : directoryPath_(std::move(directory)) {}

DirectoryWatch::~DirectoryWatch() = default;

void DirectoryWatch::renew() {
  // Made afresh per round: old events go, and so does the vnode of a directory made again.
  file_.reset();
  directory_ = openForEvents(directoryPath_);
  handle_ = UniqueFd(::kqueue());
  watching_ = handle_ && directory_ && addVnodeFilter(handle_.get(), directory_.get());
}

void DirectoryWatch::watchFileToo(const std::string& path) {
  if (!watching_ || file_) return;
  file_ = openForEvents(path);
  if (file_ && !addVnodeFilter(handle_.get(), file_.get())) file_.reset();
}

int DirectoryWatch::waitOnce(Clock::duration left) {
  const timespec timeout = timespecOf(std::chrono::duration_cast<std::chrono::nanoseconds>(left));
  struct kevent events[2];
  return ::kevent(handle_.get(), nullptr, 0, events, 2, &timeout);
}

}  // namespace zorvik

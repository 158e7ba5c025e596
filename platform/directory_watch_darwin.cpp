#include <fcntl.h>
#include <sys/event.h>
#include <sys/time.h>
#include <unistd.h>

#include "base/fd_io.h"
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

DirectoryWatch::DirectoryWatch(const std::string& directory)
    : handle_(::kqueue()), directory_(openForEvents(directory)) {
  if (!handle_ || !directory_ || !addVnodeFilter(handle_.get(), directory_.get())) {
    handle_.reset();
  }
}

DirectoryWatch::~DirectoryWatch() = default;

void DirectoryWatch::watchFileToo(const std::string& path) {
  if (!handle_ || file_) return;
  file_ = openForEvents(path);
  if (file_ && !addVnodeFilter(handle_.get(), file_.get())) file_.reset();
}

int DirectoryWatch::waitOnce(Clock::duration left) {
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  const timespec timeout{static_cast<time_t>(nanoseconds / 1000000000),
                         static_cast<long>(nanoseconds % 1000000000)};
  struct kevent events[2];
  return ::kevent(handle_.get(), nullptr, 0, events, 2, &timeout);
}

}  // namespace zorvik

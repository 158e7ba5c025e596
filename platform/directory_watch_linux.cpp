#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <utility>

#include "platform/directory_watch.h"

namespace zorvik {
namespace {

constexpr uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_MODIFY |
                              IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

void drain(int fd) {
  alignas(inotify_event) char buffer[4096];
  while (::read(fd, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

DirectoryWatch::DirectoryWatch(std::string directory) : directoryPath_(std::move(directory)) {}

DirectoryWatch::~DirectoryWatch() = default;

void DirectoryWatch::renew() {
  if (!handle_) handle_ = UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  // The same directory keeps its watch; one made again gets a new one, and the old
  // one went with the old directory.
  watching_ = handle_ && ::inotify_add_watch(handle_.get(), directoryPath_.c_str(), kChanges) >= 0;
  if (handle_) drain(handle_.get());
}

void DirectoryWatch::watchFileToo(const std::string&) {}

int DirectoryWatch::waitOnce(Clock::duration left) {
  // Rounded up, so the wait never ends just short of the deadline.
  const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  pollfd entry{handle_.get(), POLLIN, 0};
  const int ready = ::poll(&entry, 1, static_cast<int>(milliseconds));
  if (ready > 0) drain(handle_.get());
  return ready;
}

}  // namespace zorvik

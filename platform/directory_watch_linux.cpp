#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>


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

DirectoryWatch::DirectoryWatch(const std::string& directory)
    : handle_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (handle_ && ::inotify_add_watch(handle_.get(), directory.c_str(), kChanges) < 0) {
    handle_.reset();
  }
}

DirectoryWatch::~DirectoryWatch() = default;

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

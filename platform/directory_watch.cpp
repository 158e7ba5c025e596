#include "platform/directory_watch.h"

#include <cerrno>
#include <thread>

namespace zorvik {

bool DirectoryWatch::waitForChange(Clock::time_point deadline) {
  for (;;) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return false;
    if (!handle_) {
      std::this_thread::sleep_for(left);
      return false;
    }
    const int ready = waitOnce(left);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

}  // namespace zorvik

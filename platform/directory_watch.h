#pragma once

#include <chrono>
#include <string>

#include "base/unique_fd.h"

namespace zorvik {

/// Wakes a waiter when entries of one directory are created, removed, renamed or
/// written, so readiness is noticed when it happens rather than at the next poll.
/// It only shortens waits: a watch that could not be set up waits out every
/// timeout, and callers look again after each wait whatever it returned.
class DirectoryWatch {
 public:
  using Clock = std::chrono::steady_clock;

  explicit DirectoryWatch(const std::string& directory);
  ~DirectoryWatch();
  DirectoryWatch(const DirectoryWatch&) = delete;
  DirectoryWatch& operator=(const DirectoryWatch&) = delete;

  /// Also wakes on writes to `path`, a file in the directory. A directory watch on
  /// Linux already sees them; on macOS only the file's own vnode does.
  void watchFileToo(const std::string& path);

  /// Waits until something changed since the last wait, or `deadline` passes.
  /// True when a change was seen.
  bool waitForChange(Clock::time_point deadline);

 private:
  /// One wait of at most `left` on the handle: above 0 for a change, 0 when the
  /// time passed, below 0 on an error (errno says which).
  int waitOnce(Clock::duration left);

  UniqueFd handle_;  ///< an inotify descriptor on Linux, a kqueue on macOS
  UniqueFd directory_;
  UniqueFd file_;
};

}  // namespace zorvik

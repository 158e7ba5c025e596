#pragma once

#include <sys/types.h>

#include <chrono>

#include "base/unique_fd.h"

namespace zorvik {

/// Waits for a child of this process to exit, or for a descriptor to have
/// something to read, whichever comes first, up to a deadline. It never reaps:
/// the caller does, once it has seen `exited`.
class ChildWatch {
 public:
  enum class Event { exited, readable, timedOut };
  using Clock = std::chrono::steady_clock;

  /// Starts watching `pid`, which must be an unreaped child of this process.
  explicit ChildWatch(pid_t pid);
  ~ChildWatch();
  ChildWatch(const ChildWatch&) = delete;
  ChildWatch& operator=(const ChildWatch&) = delete;

  /// Waits until the child has exited, `fd` is readable or at end of file
  /// (not watched when negative), or `deadline` passes. Exit wins a tie.
  Event wait(int fd, Clock::time_point deadline);

 private:
  pid_t pid_;
  UniqueFd handle_;  ///< a pidfd on Linux, a kqueue on macOS
  int watchedFd_ = -1;
  bool exitPosted_ = false;  ///< macOS: the exit was seen, or the child was already exiting
};

}  // namespace zorvik

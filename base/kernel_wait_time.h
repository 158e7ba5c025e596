#pragma once

#include <chrono>
#include <ctime>

namespace zorvik {

/// `duration` (not negative) as the timespec a kernel wait takes.
inline timespec timespecOf(std::chrono::nanoseconds duration) {
  const auto nanoseconds = duration.count();
  return timespec{static_cast<time_t>(nanoseconds / 1000000000),
                  static_cast<long>(nanoseconds % 1000000000)};
}

}  // namespace zorvik

#pragma once

#include <chrono>
#include <cstdint>

namespace zorvik {

/// What the helper log says about a tunnel's handshakes with its server: a tunnel that has had
/// none `grace` after its start is reported once, and so is its first handshake after that.
/// Fed with each reading of the daemon's counters; a tunnel that had one in time says nothing.
class HandshakeWatch {
 public:
  using Clock = std::chrono::steady_clock;
  enum class News { none, missing, arrived };

  /// A new tunnel, started at `start`; gives its serial.
  std::uint64_t restart(Clock::time_point start, std::chrono::milliseconds grace);
  /// Which tunnel a late reading or check belongs to: counts the restarts.
  std::uint64_t serial() const { return serial_; }
  /// One reading at `now`: whether the daemon reported a handshake. Gives what to log.
  News observe(Clock::time_point now, bool hadHandshake);
  /// True once a handshake was seen: nothing is left to report.
  bool settled() const { return seen_; }

 private:
  std::uint64_t serial_ = 0;
  Clock::time_point deadline_{};
  bool missingReported_ = false;
  bool seen_ = false;
};

}  // namespace zorvik

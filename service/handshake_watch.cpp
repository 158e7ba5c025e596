#include "service/handshake_watch.h"

namespace zorvik {

std::uint64_t HandshakeWatch::restart(Clock::time_point start, std::chrono::milliseconds grace) {
  deadline_ = start + grace;
  missingReported_ = false;
  seen_ = false;
  return ++serial_;
}

HandshakeWatch::News HandshakeWatch::observe(Clock::time_point now, bool hadHandshake) {
  if (seen_) return News::none;
  if (hadHandshake) {
    seen_ = true;
    return missingReported_ ? News::arrived : News::none;
  }
  if (missingReported_ || now < deadline_) return News::none;
  missingReported_ = true;
  return News::missing;
}

}  // namespace zorvik

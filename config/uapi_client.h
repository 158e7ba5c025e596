#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace zorvik {

/// Send and receive time-out of one exchange when none is given.
inline constexpr std::chrono::milliseconds kUAPITimeout{5000};

/// One request and answer on a fresh connection to the daemon's UAPI socket.
/// Throws ServiceError "socket() failed" or "connect(UAPI) failed".
std::string uapiTransact(const std::string& socketPath, std::string_view request,
                         std::chrono::milliseconds timeout = kUAPITimeout);

/// Sums every "rx_bytes=" and "tx_bytes=" line of a get answer: (received, sent).
std::pair<std::uint64_t, std::uint64_t> parseTransferTotals(std::string_view answer);

/// The latest "last_handshake_time_sec=" / "_nsec=" pair of any peer in a get answer, as a
/// time; nothing when no peer has had a handshake (both zero) or the values are out of range.
std::optional<std::chrono::system_clock::time_point> parseLastHandshake(std::string_view answer);

/// What a get answer says about the tunnel's traffic.
struct DaemonCounters {
  bool answered = false;  ///< the daemon answered the get at all
  std::uint64_t received = 0;
  std::uint64_t sent = 0;
  std::optional<std::chrono::system_clock::time_point> lastHandshake;
  bool operator==(const DaemonCounters&) const = default;
};

/// Asks the daemon for its counters and last handshake; not answered, zeros and no handshake,
/// on any failure or without a socket.
DaemonCounters uapiDaemonCounters(const std::optional<std::string>& socketPath,
                                  std::chrono::milliseconds timeout = kUAPITimeout);

/// Whole seconds from the last handshake to `now` (0 for one ahead of the clock); nothing
/// without one.
std::optional<std::uint64_t> handshakeAgeSeconds(const DaemonCounters& counters,
                                                 std::chrono::system_clock::time_point now);

}  // namespace zorvik

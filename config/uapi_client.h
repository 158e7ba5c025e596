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

/// Asks the daemon for its counters; (0, 0) on any failure or without a socket.
std::pair<std::uint64_t, std::uint64_t> uapiTransferTotals(
    const std::optional<std::string>& socketPath, std::chrono::milliseconds timeout = kUAPITimeout);

}  // namespace zorvik

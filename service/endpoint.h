#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zorvik {

/// Looks a host name up: its first IPv4 address as dotted-decimal text, or nothing.
using HostLookup = std::function<std::optional<std::string>(const std::string& host)>;

/// The system resolver's first IPv4 address for `host` (getaddrinfo); it may take as
/// long as the resolver's own time-outs add up to.
std::optional<std::string> lookupIPv4Address(const std::string& host);

/// How long a start waits for the endpoint's name to resolve.
inline constexpr std::chrono::milliseconds kResolveDeadline{5000};

/// The host itself when it is an IPv4 literal, else what `lookup` gives for it
/// within `deadline`; nothing when there is none or none in time. The lookup runs
/// on a thread of its own that owns its inputs, so the caller waits at most
/// `deadline` and a late answer is dropped. Throws std::system_error when no
/// thread can be started.
std::optional<std::string> resolveEndpointHost(
    const std::string& host, std::chrono::milliseconds deadline = kResolveDeadline,
    const HostLookup& lookup = lookupIPv4Address);

}  // namespace zorvik

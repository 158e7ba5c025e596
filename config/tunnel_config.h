#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ip_address.h"

namespace zorvik {

using StringMap = std::map<std::string, std::string>;

/// A parsed tunnel configuration: both sections' key/value pairs, keys lower-cased.
struct TunnelConfig {
  StringMap interface;
  StringMap peer;
};

/// The most AllowedIPs ranges a start takes: each is a tool run.
inline constexpr std::size_t kMaxAllowedIPs = 1024;

/// Parses the INI-style configuration text as editors save it (a BOM, CR line ends,
/// "#" remarks anywhere) and refuses, with a fixed message, before anything is
/// changed: a missing key, a second [Peer], Jmin above Jmax, an AllowedIPs entry that
/// is not a range or too many of them, an IPv6 server address.
TunnelConfig parseTunnelConfig(std::string_view text);

/// The first IPv4 address of the "address" value, without prefix length.
std::optional<std::string> interfaceIPv4Address(const StringMap& interface);
/// The IPv6 addresses of the "address" value with their prefix lengths (128 when none
/// is written), host bits kept.
std::vector<IPPrefix> interfaceIPv6Addresses(const StringMap& interface);
/// The "mtu" value; 1420 when missing or not an integer.
std::int64_t interfaceMTU(const StringMap& interface);
/// The "persistentkeepalive" value; 0 when missing or not an integer.
std::int64_t peerKeepalive(const StringMap& peer);

/// The "allowedips" ranges in order, host bits cleared; 0.0.0.0/0 when the key is
/// missing. Throws ServiceError naming the first entry that is not a range, or giving
/// the count when there are more than kMaxAllowedIPs.
std::vector<IPPrefix> peerAllowedIPs(const StringMap& peer);

/// The host and port of the configured endpoint.
struct EndpointParts {
  std::string host;
  std::string port;
};

/// "[HOST]:PORT" gives HOST whole; otherwise the text is split at every ":" dropping
/// empty pieces, the host is the first piece and the port the last. Nothing is trimmed.
EndpointParts peerEndpoint(const StringMap& peer);

}  // namespace zorvik

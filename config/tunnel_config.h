#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zorvik {

using StringMap = std::map<std::string, std::string>;

/// A parsed tunnel configuration: both sections' key/value pairs, keys lower-cased.
struct TunnelConfig {
  StringMap interface;
  StringMap peer;
};

/// Parses the INI-style configuration text; throws ServiceError with the
/// fixed message when a required key is missing, or when Jmin and Jmax are
/// both decimal numbers and Jmin is the greater.
TunnelConfig parseTunnelConfig(std::string_view text);

/// The first IPv4 address of the "address" value, without prefix length.
std::optional<std::string> interfaceIPv4Address(const StringMap& interface);
/// The "mtu" value; 1420 when missing or not an integer.
std::int64_t interfaceMTU(const StringMap& interface);
/// The "persistentkeepalive" value; 0 when missing or not an integer.
std::int64_t peerKeepalive(const StringMap& peer);

}  // namespace zorvik

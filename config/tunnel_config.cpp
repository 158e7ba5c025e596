#include "config/tunnel_config.h"

#include "base/service_error.h"
#include "base/text.h"
#include "base/unicode_space.h"
#include "base/unicode_text.h"

namespace zorvik {
namespace {

enum class Section { none, interface, peer };

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::int64_t integerValue(const StringMap& map, const std::string& key, std::int64_t fallback) {
  const auto found = map.find(key);
  if (found == map.end()) return fallback;
  return parseInt64(found->second).value_or(fallback);
}

/// A line as wg reads it: without its CR, without what follows a "#", trimmed.
std::string_view meaningfulPart(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (const auto remark = line.find('#'); remark != std::string_view::npos)
    line = line.substr(0, remark);
  return trimSpacesAndTabs(line);
}

/// An IPv6 server address written in the endpoint, bracketed or bare; nothing otherwise.
std::optional<std::string> ipv6EndpointAddress(std::string_view endpoint, const std::string& host) {
  if (const auto address = parseIPAddress(host); address && address->v6) return host;
  // Bare, the address itself has colons: "fd00::1:51820" or "fd00::1".
  if (endpoint.front() == '[') return std::nullopt;
  if (const auto address = parseIPAddress(endpoint); address && address->v6)
    return std::string(endpoint);
  const std::string_view beforePort = endpoint.substr(0, endpoint.rfind(':'));
  if (const auto address = parseIPAddress(beforePort); address && address->v6)
    return std::string(beforePort);
  return std::nullopt;
}

}  // namespace

TunnelConfig parseTunnelConfig(std::string_view text) {
  // A NUL would cut a value wherever it reaches a C string: a tool argument, a
  // UAPI line. Refused before anything is read or started.
  if (text.find('\0') != std::string_view::npos) throw ServiceError("в конфиге есть NUL-байт");
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  TunnelConfig config;
  Section section = Section::none;
  bool peerSeen = false;
  for (const std::string_view rawLine : split(text, '\n')) {
    const std::string_view line = meaningfulPart(rawLine);
    if (line.empty()) continue;
    const std::string lower = lowercased(line);
    if (lower == "[interface]") {
      section = Section::interface;
      continue;
    }
    if (lower == "[peer]") {
      // Merged, a second peer's keys would replace the first's: its AllowedIPs, the
      // routes with them, would silently be lost.
      if (peerSeen) throw ServiceError("поддерживается только одна секция [Peer]");
      peerSeen = true;
      section = Section::peer;
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string key = lowercased(trimSpacesAndTabs(line.substr(0, equals)));
    std::string value(trimSpacesAndTabs(line.substr(equals + 1)));
    if (section == Section::interface) config.interface[std::move(key)] = std::move(value);
    if (section == Section::peer) config.peer[std::move(key)] = std::move(value);
  }

  if (!config.interface.contains("privatekey")) throw ServiceError("нет PrivateKey");
  if (!config.peer.contains("publickey")) throw ServiceError("нет PublicKey");
  const auto endpoint = config.peer.find("endpoint");
  if (endpoint == config.peer.end() || endpoint->second.find(':') == std::string::npos) {
    throw ServiceError("нет корректного Endpoint");
  }
  // The daemon takes Jmin above Jmax and then sizes a junk packet from Jmax - Jmin in
  // unsigned arithmetic: gigabytes, and it dies at the first handshake.
  const auto jmin = config.interface.find("jmin");
  const auto jmax = config.interface.find("jmax");
  if (jmin != config.interface.end() && jmax != config.interface.end()) {
    const auto low = parseInt64(jmin->second);
    const auto high = parseInt64(jmax->second);
    if (low && high && *low > *high) throw ServiceError("Jmin больше Jmax");
  }
  // The host route and the daemon's endpoint are IPv4 only.
  if (const auto address = ipv6EndpointAddress(endpoint->second, peerEndpoint(config.peer).host))
    throw ServiceError("IPv6-адрес сервера не поддерживается: " + *address);
  peerAllowedIPs(config.peer);
  return config;
}

std::optional<std::string> interfaceIPv4Address(const StringMap& interface) {
  const auto found = interface.find("address");
  if (found == interface.end()) return std::nullopt;
  for (const std::string_view piece : splitDroppingEmpty(found->second, ',')) {
    const auto segments = splitDroppingEmpty(piece, '/');
    const std::string_view candidate =
        trimSpacesAndTabs(segments.empty() ? piece : segments.front());
    if (isIPv4Literal(candidate)) return std::string(candidate);
  }
  return std::nullopt;
}

std::vector<IPPrefix> interfaceIPv6Addresses(const StringMap& interface) {
  std::vector<IPPrefix> addresses;
  const auto found = interface.find("address");
  if (found == interface.end()) return addresses;
  for (const std::string_view piece : splitDroppingEmpty(found->second, ',')) {
    const auto prefix = parseIPPrefix(trimSpacesAndTabs(piece));
    if (prefix && prefix->address.v6) addresses.push_back(*prefix);
  }
  return addresses;
}

std::int64_t interfaceMTU(const StringMap& interface) {
  return integerValue(interface, "mtu", 1420);
}

std::int64_t peerKeepalive(const StringMap& peer) {
  return integerValue(peer, "persistentkeepalive", 0);
}

std::vector<IPPrefix> peerAllowedIPs(const StringMap& peer) {
  const auto found = peer.find("allowedips");
  if (found == peer.end()) return {IPPrefix{IPAddress{}, 0}};
  std::vector<IPPrefix> ranges;
  std::vector<std::string_view> entries;
  for (const std::string_view piece : splitDroppingEmpty(found->second, ',')) {
    const std::string_view entry = trimSpacesAndTabs(piece);
    if (!entry.empty()) entries.push_back(entry);
  }
  if (entries.size() > kMaxAllowedIPs)
    throw ServiceError("слишком много диапазонов в AllowedIPs: " + std::to_string(entries.size()) +
                       ", не больше " + std::to_string(kMaxAllowedIPs));
  for (const std::string_view entry : entries) {
    const auto range = parseIPPrefix(entry);
    if (!range) throw ServiceError("не диапазон адресов в AllowedIPs: " + std::string(entry));
    ranges.push_back(range->network());
  }
  return ranges;
}

EndpointParts peerEndpoint(const StringMap& peer) {
  const auto found = peer.find("endpoint");
  const std::string_view endpoint = found == peer.end() ? "" : std::string_view(found->second);
  if (endpoint.starts_with('[')) {
    const auto close = endpoint.find("]:");
    if (close != std::string_view::npos && close > 1)
      return {std::string(endpoint.substr(1, close - 1)), std::string(endpoint.substr(close + 2))};
  }
  const auto pieces = splitDroppingEmpty(endpoint, ':');
  if (pieces.empty()) return {};
  return {std::string(pieces.front()), std::string(pieces.back())};
}

}  // namespace zorvik

#include "config/tunnel_config.h"

#include <arpa/inet.h>

#include "base/service_error.h"
#include "base/text.h"
#include "base/unicode_space.h"
#include "base/unicode_text.h"
#include "config/tunnel_dns.h"

namespace zorvik {
namespace {

enum class Section { none, interface, peer };

std::int64_t integerValue(const StringMap& map, const std::string& key, std::int64_t fallback) {
  const auto found = map.find(key);
  if (found == map.end()) return fallback;
  return parseInt64(found->second).value_or(fallback);
}

}  // namespace

TunnelConfig parseTunnelConfig(std::string_view text) {
  // A NUL would cut a value wherever it reaches a C string: a tool argument, a
  // UAPI line. Refused before anything is read or started.
  if (text.find('\0') != std::string_view::npos) throw ServiceError("в конфиге есть NUL-байт");
  TunnelConfig config;
  Section section = Section::none;
  for (const std::string_view rawLine : split(text, '\n')) {
    const std::string_view line = trimSpacesAndTabs(rawLine);
    if (line.empty() || line.front() == '#') continue;
    const std::string lower = lowercased(line);
    if (lower == "[interface]") {
      section = Section::interface;
      continue;
    }
    if (lower == "[peer]") {
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
  interfaceDNS(config.interface);
  return config;
}

std::optional<std::string> interfaceIPv4Address(const StringMap& interface) {
  const auto found = interface.find("address");
  if (found == interface.end()) return std::nullopt;
  for (const std::string_view piece : splitDroppingEmpty(found->second, ',')) {
    const auto segments = splitDroppingEmpty(piece, '/');
    const std::string candidate(trimSpacesAndTabs(segments.empty() ? piece : segments.front()));
    in_addr parsed{};
    // inet_pton reads up to a NUL; an address with one inside is not an address.
    if (candidate.find('\0') == std::string::npos &&
        inet_pton(AF_INET, candidate.c_str(), &parsed) == 1)
      return candidate;
  }
  return std::nullopt;
}

std::int64_t interfaceMTU(const StringMap& interface) {
  return integerValue(interface, "mtu", 1420);
}

std::int64_t peerKeepalive(const StringMap& peer) {
  return integerValue(peer, "persistentkeepalive", 0);
}

}  // namespace zorvik

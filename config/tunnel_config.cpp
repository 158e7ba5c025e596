#include "config/tunnel_config.h"

#include <arpa/inet.h>

#include <limits>

#include "config/unicode_text.h"
#include "platform/unicode_space.h"
#include "service/helper_service.h"

namespace zorvik {
namespace {

enum class Section { none, interface, peer };

/// Splits at every `separator`; empty pieces are kept.
template <typename Visit>
void forEachPiece(std::string_view text, char separator, Visit visit) {
  for (;;) {
    const auto cut = text.find(separator);
    visit(text.substr(0, cut));
    if (cut == std::string_view::npos) return;
    text.remove_prefix(cut + 1);
  }
}

/// A decimal signed 64-bit number: optional "+" or "-", then ASCII digits only.
std::optional<std::int64_t> parseInt64(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulate towards the negative side, which holds one more value.
  std::int64_t value = 0;
  constexpr auto min = std::numeric_limits<std::int64_t>::min();
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value < (min + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (negative) return value;
  if (value == min) return std::nullopt;
  return -value;
}

std::int64_t integerValue(const StringMap& map, const std::string& key, std::int64_t fallback) {
  const auto found = map.find(key);
  if (found == map.end()) return fallback;
  return parseInt64(found->second).value_or(fallback);
}

}  // namespace

TunnelConfig parseTunnelConfig(std::string_view text) {
  TunnelConfig config;
  Section section = Section::none;
  forEachPiece(text, '\n', [&](std::string_view rawLine) {
    const std::string_view line = trimSpacesAndTabs(rawLine);
    if (line.empty() || line.front() == '#') return;
    const std::string lower = lowercased(line);
    if (lower == "[interface]") {
      section = Section::interface;
      return;
    }
    if (lower == "[peer]") {
      section = Section::peer;
      return;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return;
    std::string key = lowercased(trimSpacesAndTabs(line.substr(0, equals)));
    std::string value(trimSpacesAndTabs(line.substr(equals + 1)));
    if (section == Section::interface) config.interface[std::move(key)] = std::move(value);
    if (section == Section::peer) config.peer[std::move(key)] = std::move(value);
  });

  if (!config.interface.contains("privatekey")) throw HelperService::Err("нет PrivateKey");
  if (!config.peer.contains("publickey")) throw HelperService::Err("нет PublicKey");
  const auto endpoint = config.peer.find("endpoint");
  if (endpoint == config.peer.end() || endpoint->second.find(':') == std::string::npos) {
    throw HelperService::Err("нет корректного Endpoint");
  }
  return config;
}

std::optional<std::string> interfaceIPv4Address(const StringMap& interface) {
  const auto found = interface.find("address");
  if (found == interface.end()) return std::nullopt;
  std::optional<std::string> result;
  forEachPiece(found->second, ',', [&](std::string_view piece) {
    if (result || piece.empty()) return;
    std::string_view address = piece;
    bool taken = false;
    forEachPiece(piece, '/', [&](std::string_view segment) {
      if (taken || segment.empty()) return;
      address = segment;
      taken = true;
    });
    const std::string candidate(trimSpacesAndTabs(address));
    in_addr parsed{};
    // inet_pton reads up to a NUL; an address with one inside is not an address.
    if (candidate.find('\0') == std::string::npos &&
        inet_pton(AF_INET, candidate.c_str(), &parsed) == 1)
      result = candidate;
  });
  return result;
}

std::int64_t interfaceMTU(const StringMap& interface) {
  return integerValue(interface, "mtu", 1420);
}

std::int64_t peerKeepalive(const StringMap& peer) {
  return integerValue(peer, "persistentkeepalive", 0);
}

}  // namespace zorvik

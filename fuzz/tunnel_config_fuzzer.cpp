// parseTunnelConfig and its three accessors over arbitrary text.
#include <arpa/inet.h>

#include <algorithm>
#include <set>
#include <string>

#include "base/service_error.h"
#include "base/text.h"
#include "base/unicode_space.h"
#include "base/unicode_text.h"
#include "config/tunnel_config.h"
#include "config/tunnel_dns.h"
#include "fuzz/fuzz_check.h"
#include "netsys/tunnel_network.h"

using namespace zorvik;
using zorvik::fuzz::require;

namespace {

void checkMap(const StringMap& map) {
  for (const auto& [key, value] : map) {
    // Lines end only at line feeds, and both sides are trimmed.
    require(key.find('\n') == std::string::npos, "a key holds a line feed");
    require(value.find('\n') == std::string::npos, "a value holds a line feed");
    require(trimSpacesAndTabs(key) == key, "a key is not trimmed");
    require(trimSpacesAndTabs(value) == value, "a value is not trimmed");
    require(lowercased(key) == key, "a key is not lower-cased");
  }
}

void checkAccessors(const TunnelConfig& config) {
  if (const auto address = interfaceIPv4Address(config.interface)) {
    in_addr parsed{};
    require(inet_pton(AF_INET, address->c_str(), &parsed) == 1, "address is not IPv4");
    require(config.interface.at("address").find(*address) != std::string::npos,
            "address is not taken from the address value");
  }
  interfaceMTU(config.interface);
  peerKeepalive(config.peer);
  for (const IPPrefix& address : interfaceIPv6Addresses(config.interface)) {
    require(address.address.v6, "an IPv6 address that is not IPv6");
    require(parseIPPrefix(address.text()) == address, "an IPv6 address that does not read back");
  }
}

/// What an accepted configuration hands the tools: never an option, always what it read.
void checkToolArguments(const TunnelConfig& config) {
  const std::vector<IPPrefix> ranges = peerAllowedIPs(config.peer);
  require(ranges.size() <= kMaxAllowedIPs, "accepted more ranges than the limit");
  for (const IPPrefix& range : ranges) {
    require(range == range.network(), "a range with host bits set");
    require(parseIPPrefix(range.text()) == range, "a range that does not read back");
    require(range.text().front() != '-', "a range starts with '-'");
  }
  const IPAddress server = *parseIPAddress("203.0.113.5");
  const TunnelRoutes routes = planTunnelRoutes(ranges, server, true);
  for (const auto* list : {&routes.ipv4, &routes.ipv6, &routes.rejectedIPv6}) {
    for (const IPPrefix& route : *list) {
      require(!route.contains(server), "a route through the tunnel covers the server");
      require(route.text().front() != '-', "a route starts with '-'");
    }
  }
  const TunnelDNS dns = interfaceDNS(config.interface);
  for (const auto* list : {&dns.servers, &dns.searchDomains}) {
    for (const std::string& piece : *list)
      require(!piece.empty() && piece.front() != '-', "a DNS piece is empty or an option");
  }
  const auto host = parseIPAddress(peerEndpoint(config.peer).host);
  require(!host || !host->v6, "accepted an IPv6 server");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view text = fuzz::asText(data, size);
  // The accessors also see values no parse would produce, line feeds included.
  const std::string whole(text);
  checkAccessors({{{"address", whole}, {"mtu", whole}}, {{"persistentkeepalive", whole}}});
  try {
    const TunnelConfig config = parseTunnelConfig(text);
    require(text.find('\0') == std::string_view::npos, "accepted a NUL");
    require(config.interface.contains("privatekey"), "accepted without a private key");
    require(config.peer.contains("publickey"), "accepted without a public key");
    require(config.peer.at("endpoint").find(':') != std::string::npos,
            "accepted an endpoint without ':'");
    if (config.interface.contains("jmin") && config.interface.contains("jmax")) {
      const auto jmin = parseInt64(config.interface.at("jmin"));
      const auto jmax = parseInt64(config.interface.at("jmax"));
      require(!jmin || !jmax || *jmin <= *jmax, "accepted Jmin above Jmax");
    }
    checkMap(config.interface);
    checkMap(config.peer);
    checkAccessors(config);
    checkToolArguments(config);
  } catch (const ServiceError& e) {
    static const std::set<std::string> known = {
        "нет PrivateKey",          "нет PublicKey",    "нет корректного Endpoint",
        "в конфиге есть NUL-байт", "Jmin больше Jmax", "поддерживается только одна секция [Peer]"};
    static const std::string prefixes[] = {
        "некорректный DNS: ", "IPv6-адрес сервера не поддерживается: ",
        "не диапазон адресов в AllowedIPs: ", "слишком много диапазонов в AllowedIPs: "};
    const bool knownPrefix =
        std::any_of(std::begin(prefixes), std::end(prefixes),
                    [&](const std::string& p) { return e.msg.starts_with(p); });
    require(known.contains(e.what()) || knownPrefix, "an unknown parse error");
  }
  return 0;
}

// parseTunnelConfig and its three accessors over arbitrary text.
#include <arpa/inet.h>

#include <set>
#include <string>

#include "base/service_error.h"
#include "base/text.h"
#include "base/unicode_space.h"
#include "base/unicode_text.h"
#include "config/tunnel_config.h"
#include "fuzz/fuzz_check.h"

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
  } catch (const ServiceError& e) {
    static const std::set<std::string> known = {"нет PrivateKey", "нет PublicKey",
                                                "нет корректного Endpoint",
                                                "в конфиге есть NUL-байт", "Jmin больше Jmax"};
    require(known.contains(e.what()) || e.msg.starts_with("некорректный DNS: "),
            "an unknown parse error");
  }
  return 0;
}

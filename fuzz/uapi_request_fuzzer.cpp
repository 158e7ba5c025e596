// makeUAPISetRequest over configurations the parser accepts. The first line of
// the input is the endpoint argument, the rest the configuration text.
#include <array>
#include <string>
#include <vector>

#include "base/service_error.h"
#include "base/text.h"
#include "config/tunnel_config.h"
#include "config/uapi_request.h"
#include "fuzz/fuzz_check.h"

using namespace zorvik;
using zorvik::fuzz::require;

namespace {

// The request's keys in the order they may appear; allowed_ip repeats at the end.
constexpr std::array<std::string_view, 34> kOrder = {"set",
                                                     "private_key",
                                                     "jc",
                                                     "jmin",
                                                     "jmax",
                                                     "s1",
                                                     "s2",
                                                     "s3",
                                                     "s4",
                                                     "h1",
                                                     "h2",
                                                     "h3",
                                                     "h4",
                                                     "i1",
                                                     "i2",
                                                     "i3",
                                                     "i4",
                                                     "i5",
                                                     "header_protection_key",
                                                     "content_padding_addition",
                                                     "rekey_after_time",
                                                     "rekey_timeout",
                                                     "reject_after_time",
                                                     "keepalive_timeout",
                                                     "max_handshake_attempts",
                                                     "random_trailers",
                                                     "disable_cookies",
                                                     "replace_peers",
                                                     "public_key",
                                                     "preshared_key",
                                                     "endpoint",
                                                     "persistent_keepalive_interval",
                                                     "replace_allowed_ips",
                                                     "allowed_ip"};

/// The configuration key of a device setting: its UAPI name without the underscores.
std::string configName(std::string_view key) {
  std::string name;
  for (char c : key) {
    if (c != '_') name += c;
  }
  return name;
}

/// A keepalive the daemon takes: a number from 1 up, or "LO-HI" within 1..65535.
void checkKeepalive(std::string_view value) {
  const auto dash = value.find('-');
  if (dash == std::string_view::npos) {
    const auto number = parseInt64(value);
    require(number && *number >= 1 && std::to_string(*number) == value,
            "a keepalive that is not a plain number from 1 up");
    return;
  }
  const auto low = parseInt64(value.substr(0, dash));
  const auto high = parseInt64(value.substr(dash + 1));
  require(low && high && *low >= 1 && *low <= *high && *high <= 65535 &&
              std::to_string(*low) + "-" + std::to_string(*high) == value,
          "a keepalive range the daemon does not take");
}

std::size_t rank(std::string_view key) {
  for (std::size_t i = 0; i < kOrder.size(); ++i) {
    if (kOrder[i] == key) return i;
  }
  require(false, "the request has an unknown key");
  return 0;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

/// The hex value must be the 32 bytes that the configuration's base64 spells.
void checkKey(std::string_view hex, const std::string& base64) {
  require(hex.size() == 64, "a key is not 64 hex digits");
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = hexDigit(hex[i]);
    const int low = hexDigit(hex[i + 1]);
    require(high >= 0 && low >= 0, "a key is not lower-case hex");
    bytes += static_cast<char>(high * 16 + low);
  }
  require(base64.size() == 44 && base64[43] == '=' && base64[42] != '=',
          "a key of the wrong shape was accepted");
  // Re-encode: 42 digits carry 252 bits; the 43rd digit's top four bits the rest.
  std::uint32_t bits = 0;
  int count = 0;
  std::size_t digit = 0;
  for (unsigned char byte : bytes) {
    bits = (bits << 8) | byte;
    count += 8;
    while (count >= 6) {
      count -= 6;
      require(kBase64[(bits >> count) & 0x3F] == base64[digit++], "a key decoded wrongly");
    }
  }
  const std::string_view alphabet(kBase64);
  const auto last = alphabet.find(base64[42]);
  require(last != std::string_view::npos && (last >> 2) == (bits & 0x0F),
          "a key's last digit decoded wrongly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view input = fuzz::asText(data, size);
  const auto cut = input.find('\n');
  if (cut == std::string_view::npos) return 0;
  const std::string_view endpoint = input.substr(0, cut);
  TunnelConfig config;
  try {
    config = parseTunnelConfig(input.substr(cut + 1));
  } catch (const ServiceError&) {
    return 0;
  }

  std::string request;
  try {
    request = makeUAPISetRequest(config.interface, config.peer, endpoint);
  } catch (const ServiceError& e) {
    require(std::string_view(e.what()) == "плохой ключ", "an unexpected request error");
    return 0;
  }

  require(request.size() >= 2 && request.ends_with("\n\n"), "the request is not closed");
  std::string_view rest(request);
  rest.remove_suffix(1);
  std::size_t previous = 0;
  std::vector<std::string_view> seen;
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    const auto equals = line.find('=');
    require(equals != std::string_view::npos, "a request line without '='");
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    const std::size_t at = rank(key);
    require(at > previous || (at == previous && key == "allowed_ip") || seen.empty(),
            "request lines out of order or repeated");
    previous = at;
    seen.push_back(key);
    if (key == "private_key") checkKey(value, config.interface.at("privatekey"));
    if (key == "public_key") checkKey(value, config.peer.at("publickey"));
    if (key == "preshared_key") checkKey(value, config.peer.at("presharedkey"));
    if (key == "endpoint") require(value == endpoint, "the endpoint is not sent as given");
    if (key == "header_protection_key") {
      checkKey(value, config.interface.at("headerprotectionkey"));
    } else if (at >= rank("jc") && at <= rank("disable_cookies")) {
      require(!value.empty() && value == config.interface.at(configName(key)),
              "a device setting is not sent as written");
    }
    if (key == "persistent_keepalive_interval") checkKeepalive(value);
  }
  require(seen.size() >= 6 && seen[0] == "set" && seen[1] == "private_key",
          "the request does not start with set and the private key");
  return 0;
}

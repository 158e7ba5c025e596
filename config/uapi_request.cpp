#include "config/uapi_request.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "base/service_error.h"
#include "base/text.h"
#include "base/unicode_space.h"
#include "base/utf8.h"
#include "config/uapi_client.h"

namespace zorvik {
namespace {

/// How much of a daemon's answer an error text quotes.
constexpr std::size_t kQuotedAnswerBytes = 256;

/// The most digits an errno value of the answer may have: any int fits in 10.
constexpr std::size_t kMaxErrnoDigits = 10;

/// A device setting of the daemon: its configuration key (lower-cased) and its UAPI name.
struct DeviceKey {
  const char* config;
  const char* uapi;
};

/// The daemon's obfuscation parameters, in the order they are sent. The first nine are
/// all that older daemons know; the rest come after them, so that a configuration
/// without the newer keys gives those daemons the request they have always had.
constexpr std::array<DeviceKey, 25> obfuscationKeys{{
    {"jc", "jc"},
    {"jmin", "jmin"},
    {"jmax", "jmax"},
    {"s1", "s1"},
    {"s2", "s2"},
    {"s3", "s3"},
    {"s4", "s4"},
    {"h1", "h1"},
    {"h2", "h2"},
    {"h3", "h3"},
    {"h4", "h4"},
    {"i1", "i1"},
    {"i2", "i2"},
    {"i3", "i3"},
    {"i4", "i4"},
    {"i5", "i5"},
    {"headerprotectionkey", "header_protection_key"},
    {"contentpaddingaddition", "content_padding_addition"},
    {"rekeyaftertime", "rekey_after_time"},
    {"rekeytimeout", "rekey_timeout"},
    {"rejectaftertime", "reject_after_time"},
    {"keepalivetimeout", "keepalive_timeout"},
    {"maxhandshakeattempts", "max_handshake_attempts"},
    {"randomtrailers", "random_trailers"},
    {"disablecookies", "disable_cookies"},
}};

/// The one device setting that is a key, and so travels in hex like the others.
constexpr std::string_view kHeaderProtectionKey = "headerprotectionkey";

constexpr std::size_t kKeyLength = 32;

constexpr std::uint64_t kMaxKeepalive = 65535;

int base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

/// Standard base64 with "=" padding and nothing else; nothing when malformed.
std::optional<std::string> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
    ++padding;
  }
  std::string out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t bits = 0;
  int bitCount = 0;
  for (char c : text.substr(0, text.size() - padding)) {
    const int digit = base64Digit(c);
    if (digit < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(digit);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      out += static_cast<char>((bits >> bitCount) & 0xFF);
    }
  }
  return out;
}

/// The key's 32 bytes as hexadecimal; throws "плохой ключ" otherwise.
std::string hexKey(const std::string& base64) {
  const auto bytes = decodeBase64(base64);
  if (!bytes || bytes->size() != kKeyLength) throw ServiceError("плохой ключ");
  return hexEncode(*bytes);
}

const std::string* nonEmptyValue(const StringMap& map, const std::string& key) {
  const auto found = map.find(key);
  if (found == map.end() || found->second.empty()) return nullptr;
  return &found->second;
}

void appendLine(std::string& request, std::string_view key, std::string_view value) {
  request.append(key).append("=").append(value).append("\n");
}

/// One end of a keepalive range: ASCII digits only, 1 to 65535.
std::optional<std::uint64_t> keepaliveBound(std::string_view digits) {
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  const auto value = parseUInt64(digits);
  if (!value || *value < 1 || *value > kMaxKeepalive) return std::nullopt;
  return value;
}

/// The keepalive value as the daemon takes it: "LO-HI" with 1 <= LO <= HI <= 65535,
/// else the single number of peerKeepalive when it is at least 1; nothing otherwise.
std::optional<std::string> keepaliveValue(const StringMap& peer) {
  if (const std::string* text = nonEmptyValue(peer, "persistentkeepalive")) {
    const std::string_view value(*text);
    if (const auto dash = value.find('-'); dash != std::string_view::npos) {
      const auto low = keepaliveBound(value.substr(0, dash));
      const auto high = keepaliveBound(value.substr(dash + 1));
      if (low && high && *low <= *high) return std::to_string(*low) + "-" + std::to_string(*high);
    }
  }
  if (const std::int64_t keepalive = peerKeepalive(peer); keepalive >= 1)
    return std::to_string(keepalive);
  return std::nullopt;
}

// The answer to a set is `key=value` lines up to an empty line (or the end, when the daemon
// closes after its last line), and the only one is errno=N. Anything else may be a daemon
// that did not take the configuration, so it counts as a refusal.
bool setAnswerSucceeded(std::string_view answer) {
  std::optional<bool> errnoIsZero;
  while (!answer.empty()) {
    const auto end = answer.find('\n');
    if (end == std::string_view::npos) return false;  // cut off mid-line
    const std::string_view line = answer.substr(0, end);
    answer.remove_prefix(end + 1);
    if (line.empty()) break;
    constexpr std::string_view key = "errno=";
    if (errnoIsZero || !line.starts_with(key)) return false;
    const std::string_view digits = line.substr(key.size());
    if (digits.empty() || digits.size() > kMaxErrnoDigits ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
      return false;
    }
    const auto value = parseUInt64(digits);
    if (!value || *value > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
      return false;
    errnoIsZero = *value == 0;
  }
  return errnoIsZero.value_or(false);
}

}  // namespace

std::string hexEncode(std::string_view bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
  }
  return out;
}

std::string makeUAPISetRequest(const StringMap& interface, const StringMap& peer,
                               std::string_view endpoint) {
  const auto privateKey = interface.find("privatekey");
  const auto publicKey = peer.find("publickey");
  if (privateKey == interface.end() || publicKey == peer.end()) {
    throw ServiceError("нет ключей в конфиге");
  }

  std::string request = "set=1\n";
  appendLine(request, "private_key", hexKey(privateKey->second));
  for (const auto& [configName, uapiName] : obfuscationKeys) {
    const std::string* value = nonEmptyValue(interface, configName);
    if (!value) continue;
    appendLine(request, uapiName, configName == kHeaderProtectionKey ? hexKey(*value) : *value);
  }
  appendLine(request, "replace_peers", "true");
  appendLine(request, "public_key", hexKey(publicKey->second));
  if (const std::string* preshared = nonEmptyValue(peer, "presharedkey")) {
    appendLine(request, "preshared_key", hexKey(*preshared));
  }
  appendLine(request, "endpoint", endpoint);
  if (const auto keepalive = keepaliveValue(peer)) {
    appendLine(request, "persistent_keepalive_interval", *keepalive);
  }
  appendLine(request, "replace_allowed_ips", "true");
  for (const IPPrefix& range : peerAllowedIPs(peer))
    appendLine(request, "allowed_ip", range.text());
  request += "\n";
  return request;
}

void applyUAPIConfig(const std::string& socketPath, const StringMap& interface,
                     const StringMap& peer, const std::string& endpoint,
                     std::chrono::milliseconds timeout) {
  const std::string request = makeUAPISetRequest(interface, peer, endpoint);
  const std::string answer = uapiTransact(socketPath, request, timeout);
  if (!setAnswerSucceeded(answer)) {
    // Quoted only in part: the text goes into a reply and a log line.
    throw ServiceError("UAPI отклонил конфиг: " +
                       std::string(prefixOfUTF8(answer, kQuotedAnswerBytes)));
  }
}

}  // namespace zorvik

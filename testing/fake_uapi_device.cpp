#include "testing/fake_uapi_device.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <limits>

namespace zorvik::test_support {
namespace {

constexpr std::uint64_t kMax16 = std::numeric_limits<std::uint16_t>::max();
constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

/// Device settings that are plain numbers, echoed only when not zero.
constexpr std::array<std::pair<std::string_view, std::uint64_t>, 7> kNumbers{{{"jc", kMax32},
                                                                              {"jmin", kMax32},
                                                                              {"jmax", kMax32},
                                                                              {"s1", kMax16},
                                                                              {"s2", kMax16},
                                                                              {"s3", kMax16},
                                                                              {"s4", kMax16}}};
constexpr std::array<std::string_view, 5> kTags{"i1", "i2", "i3", "i4", "i5"};
constexpr std::array<std::string_view, 4> kHeaders{"h1", "h2", "h3", "h4"};
/// Device settings that are a number or a range, 16 bits.
constexpr std::array<std::string_view, 6> kRanges{
    "content_padding_addition", "rekey_after_time",  "rekey_timeout",
    "reject_after_time",        "keepalive_timeout", "max_handshake_attempts"};
constexpr std::array<std::string_view, 2> kBooleans{"random_trailers", "disable_cookies"};

/// ASCII digits only, no sign, at most `max`.
std::optional<std::uint64_t> number(std::string_view text, std::uint64_t max) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (value > (max - static_cast<std::uint64_t>(c - '0')) / 10) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

/// "N" or "LO-HI" with LO <= HI, each at most `max`.
std::optional<HeaderRange> range(std::string_view text, std::uint64_t max) {
  const auto dash = text.find('-');
  const auto low = number(text.substr(0, dash), max);
  const auto high = dash == std::string_view::npos ? low : number(text.substr(dash + 1), max);
  if (!low || !high || *low > *high) return std::nullopt;
  return HeaderRange{static_cast<std::uint32_t>(*low), static_cast<std::uint32_t>(*high)};
}

std::string rangeText(const HeaderRange& r) {
  return r.low == r.high ? std::to_string(r.low)
                         : std::to_string(r.low) + "-" + std::to_string(r.high);
}

/// A 32-byte key in hex, either case; lower-cased.
std::optional<std::string> hexKey(std::string_view text) {
  if (text.size() != 64 || !std::all_of(text.begin(), text.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c));
      }))
    return std::nullopt;
  std::string key(text);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

std::optional<bool> boolean(std::string_view text) {
  for (std::string_view yes : {"1", "t", "T", "true", "TRUE", "True"})
    if (text == yes) return true;
  for (std::string_view no : {"0", "f", "F", "false", "FALSE", "False"})
    if (text == no) return false;
  return std::nullopt;
}

/// One or more tags such as "<b 0xc7>", "<r 16>", "<t>": a lower-case name, then
/// optionally a blank and an argument without angle brackets.
bool tags(std::string_view text) {
  if (text.empty()) return false;
  while (!text.empty()) {
    const auto close = text.find('>');
    if (text.front() != '<' || close == std::string_view::npos) return false;
    const std::string_view tag = text.substr(1, close - 1);
    const auto blank = tag.find(' ');
    const std::string_view name = tag.substr(0, blank);
    if (name.empty() ||
        !std::all_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
      return false;
    if (blank != std::string_view::npos && tag.substr(blank + 1).find('<') != std::string::npos)
      return false;
    text.remove_prefix(close + 1);
  }
  return true;
}

bool isAddress(int family, std::string_view text) {
  unsigned char bytes[16];
  const std::string copy(text);
  return copy.find('\0') == std::string::npos && inet_pton(family, copy.c_str(), bytes) == 1;
}

/// An address literal and a port: "192.0.2.1:51820" or "[2001:db8::1]:51820".
bool endpoint(std::string_view text) {
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos || !number(text.substr(colon + 1), kMax16)) return false;
  const std::string_view host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    return isAddress(AF_INET6, host.substr(1, host.size() - 2));
  return isAddress(AF_INET, host);
}

/// An address with its prefix length: "10.0.0.0/8", "fd00::/8".
bool prefix(std::string_view text) {
  const auto slash = text.find('/');
  if (slash == std::string_view::npos) return false;
  const std::string_view address = text.substr(0, slash);
  const std::string_view length = text.substr(slash + 1);
  if (isAddress(AF_INET, address)) return number(length, 32).has_value();
  return isAddress(AF_INET6, address) && number(length, 128).has_value();
}

template <typename List>
bool listed(const List& list, std::string_view key) {
  return std::find(list.begin(), list.end(), key) != list.end();
}

}  // namespace

int FakeUAPIDevice::set(std::string_view lines) {
  current_.reset();
  bool inPeer = false;
  while (!lines.empty()) {
    const auto end = lines.find('\n');
    const std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    if (line.empty()) break;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return kProtocol;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (key == "public_key") {
      const auto publicKey = hexKey(value);
      if (!publicKey) return kInvalid;
      inPeer = true;
      const auto found = std::find_if(peers_.begin(), peers_.end(),
                                      [&](const Peer& p) { return p.publicKey == *publicKey; });
      current_ = static_cast<std::size_t>(found - peers_.begin());
      if (found == peers_.end()) {
        peers_.emplace_back();
        peers_.back().publicKey = *publicKey;
      }
      continue;
    }
    if (!(inPeer ? setPeer(key, value) : setDevice(key, value))) return kInvalid;
  }
  return kApplied;
}

bool FakeUAPIDevice::setDevice(std::string_view key, std::string_view value) {
  if (key == "private_key") {
    const auto parsed = hexKey(value);
    if (parsed) privateKey_ = *parsed;
    return parsed.has_value();
  }
  if (key == "listen_port" || key == "fwmark") {
    const auto parsed = number(value, key == "fwmark" ? kMax32 : kMax16);
    if (parsed && key == "listen_port") listenPort_ = std::to_string(*parsed);
    return parsed.has_value();
  }
  if (key == "replace_peers") {
    if (value != "true") return false;
    peers_.clear();
    return true;
  }
  for (std::size_t i = 0; i < kHeaders.size(); ++i) {
    if (key == kHeaders[i]) return setHeader(i, value);
  }
  std::optional<std::string> normalized;
  if (const auto found = std::find_if(kNumbers.begin(), kNumbers.end(),
                                      [&](const auto& entry) { return entry.first == key; });
      found != kNumbers.end()) {
    if (const auto parsed = number(value, found->second)) normalized = std::to_string(*parsed);
  } else if (listed(kTags, key)) {
    // An empty value clears the setting.
    if (value.empty() || tags(value)) normalized = std::string(value);
  } else if (listed(kRanges, key)) {
    if (const auto parsed = range(value, kMax16)) normalized = rangeText(*parsed);
  } else if (listed(kBooleans, key)) {
    if (const auto parsed = boolean(value)) normalized = *parsed ? "true" : "false";
  } else if (key == "header_protection_key") {
    normalized = hexKey(value);
  }
  if (!normalized) return false;
  settings_[std::string(key)] = *normalized;
  return true;
}

bool FakeUAPIDevice::setHeader(std::size_t index, std::string_view value) {
  const auto parsed = range(value, kMax32);
  if (!parsed) return false;
  // Judged against the other three as they stand, sent in this request or before.
  for (std::size_t other = 0; other < headers_.size(); ++other) {
    if (other != index && parsed->low <= headers_[other].high &&
        headers_[other].low <= parsed->high)
      return false;
  }
  headers_[index] = *parsed;
  return true;
}

bool FakeUAPIDevice::setPeer(std::string_view key, std::string_view value) {
  // Lines after a "remove" are judged but change nothing.
  Peer ignored;
  Peer& peer = current_ ? peers_[*current_] : ignored;
  if (key == "update_only" || key == "protocol_version") {
    return value == (key == "update_only" ? "true" : "1");
  }
  if (key == "remove") {
    if (value != "true") return false;
    if (current_) peers_.erase(peers_.begin() + static_cast<std::ptrdiff_t>(*current_));
    current_.reset();
    return true;
  }
  if (key == "preshared_key") {
    const auto parsed = hexKey(value);
    if (parsed) peer.presharedKey = *parsed;
    return parsed.has_value();
  }
  if (key == "endpoint") {
    if (!endpoint(value)) return false;
    peer.endpoint = value;
    return true;
  }
  if (key == "persistent_keepalive_interval") {
    const auto parsed = range(value, kMax16);
    if (parsed) peer.keepalive = rangeText(*parsed);
    return parsed.has_value();
  }
  if (key == "replace_allowed_ips") {
    if (value != "true") return false;
    peer.allowedIPs.clear();
    return true;
  }
  if (key == "allowed_ip") {
    if (!prefix(value)) return false;
    peer.allowedIPs.emplace_back(value);
    return true;
  }
  return false;
}

std::string FakeUAPIDevice::get(std::string_view rx, std::string_view tx,
                                const std::optional<std::string>& handshakeSec) const {
  std::string text;
  const auto line = [&text](std::string_view key, std::string_view value) {
    text.append(key).append("=").append(value).append("\n");
  };
  const auto setting = [this](std::string_view key) {
    const auto found = settings_.find(key);
    return found == settings_.end() ? std::string() : found->second;
  };
  if (!privateKey_.empty()) line("private_key", privateKey_);
  line("listen_port", listenPort_);
  for (const auto& [key, max] : kNumbers) {
    if (const std::string value = setting(key); !value.empty() && value != "0") line(key, value);
  }
  for (std::size_t i = 0; i < kHeaders.size(); ++i) line(kHeaders[i], rangeText(headers_[i]));
  for (const auto key : kTags) {
    if (const std::string value = setting(key); !value.empty()) line(key, value);
  }
  for (const auto key : {"header_protection_key", "content_padding_addition", "rekey_after_time",
                         "rekey_timeout", "reject_after_time", "keepalive_timeout",
                         "max_handshake_attempts", "random_trailers", "disable_cookies"}) {
    if (const std::string value = setting(key); !value.empty()) line(key, value);
  }
  for (const Peer& peer : peers_) {
    line("public_key", peer.publicKey);
    if (!peer.presharedKey.empty()) line("preshared_key", peer.presharedKey);
    line("protocol_version", "1");
    if (!peer.endpoint.empty()) line("endpoint", peer.endpoint);
    if (handshakeSec) {
      line("last_handshake_time_sec", *handshakeSec);
      line("last_handshake_time_nsec", "0");
    }
    line("tx_bytes", tx);
    line("rx_bytes", rx);
    line("persistent_keepalive_interval", peer.keepalive.empty() ? "0" : peer.keepalive);
    for (const std::string& allowed : peer.allowedIPs) line("allowed_ip", allowed);
  }
  return text;
}

}  // namespace zorvik::test_support

#include "base/ip_address.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>

namespace zorvik {
namespace {

using Bits = unsigned __int128;

Bits toBits(const IPAddress& address) {
  Bits bits = 0;
  for (int i = 0; i < address.width() / 8; ++i) bits = (bits << 8) | address.bytes[i];
  return bits;
}

IPAddress fromBits(Bits bits, bool v6) {
  IPAddress address;
  address.v6 = v6;
  for (int i = address.width() / 8 - 1; i >= 0; --i) {
    address.bytes[i] = static_cast<std::uint8_t>(bits & 0xFF);
    bits >>= 8;
  }
  return address;
}

/// The mask of the first `length` bits of a `width`-bit address.
Bits prefixMask(int length, int width) {
  if (length == 0) return 0;
  const Bits all = width == 128 ? ~Bits{0} : (Bits{1} << width) - 1;
  return all & ~((Bits{1} << (width - length)) - 1) & all;
}

}  // namespace

std::string IPAddress::text() const {
  char buffer[INET6_ADDRSTRLEN] = {};
  inet_ntop(v6 ? AF_INET6 : AF_INET, bytes.data(), buffer, sizeof buffer);
  return buffer;
}

IPPrefix IPPrefix::network() const {
  const int width = address.width();
  return {fromBits(toBits(address) & prefixMask(length, width), address.v6), length};
}

bool IPPrefix::contains(const IPAddress& other) const {
  if (other.v6 != address.v6) return false;
  const Bits mask = prefixMask(length, address.width());
  return (toBits(other) & mask) == (toBits(address) & mask);
}

std::string IPPrefix::text() const { return address.text() + "/" + std::to_string(length); }

std::optional<IPAddress> parseIPAddress(std::string_view text) {
  // inet_pton reads a C string: a NUL inside would end the address early.
  if (text.find('\0') != std::string_view::npos || text.size() >= INET6_ADDRSTRLEN)
    return std::nullopt;
  const std::string copy(text);
  IPAddress address;
  if (inet_pton(AF_INET, copy.c_str(), address.bytes.data()) == 1) return address;
  address.v6 = true;
  if (inet_pton(AF_INET6, copy.c_str(), address.bytes.data()) == 1) return address;
  return std::nullopt;
}

bool isIPv4Literal(std::string_view text) {
  const auto address = parseIPAddress(text);
  return address && !address->v6;
}

bool isIPAddress(std::string_view text) { return parseIPAddress(text).has_value(); }

std::optional<IPPrefix> parseIPPrefix(std::string_view text) {
  const std::size_t slash = text.find('/');
  const auto address = parseIPAddress(text.substr(0, slash));
  if (!address) return std::nullopt;
  if (slash == std::string_view::npos) return IPPrefix{*address, address->width()};
  const std::string_view digits = text.substr(slash + 1);
  if (digits.empty() || digits.size() > 3 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  const int length = std::stoi(std::string(digits));
  if (length > address->width()) return std::nullopt;
  return IPPrefix{*address, length};
}

std::vector<IPPrefix> prefixesAround(const IPPrefix& range, const IPAddress& excluded) {
  if (!range.contains(excluded)) return {range};
  std::vector<IPPrefix> parts;
  const int width = excluded.width();
  const Bits bits = toBits(excluded);
  // At each length below the range's, the half that does not hold the address.
  for (int length = range.length + 1; length <= width; ++length) {
    const Bits sibling = (bits ^ (Bits{1} << (width - length))) & prefixMask(length, width);
    parts.push_back({fromBits(sibling, excluded.v6), length});
  }
  return parts;
}

bool coverWholeSpace(const std::vector<IPPrefix>& prefixes, bool v6) {
  // Each prefix as the interval [first, last]; sorted, they must leave no gap.
  std::vector<std::pair<Bits, Bits>> spans;
  for (const IPPrefix& prefix : prefixes) {
    if (prefix.address.v6 != v6) continue;
    const int width = prefix.address.width();
    const Bits first = toBits(prefix.network().address);
    const Bits size = prefix.length == 0 ? ~Bits{0} : (Bits{1} << (width - prefix.length)) - 1;
    spans.emplace_back(first, first + size);
  }
  std::sort(spans.begin(), spans.end());
  const Bits last = v6 ? ~Bits{0} : (Bits{1} << 32) - 1;
  Bits next = 0;
  for (const auto& [first, end] : spans) {
    if (first > next) return false;
    if (end >= last) return true;
    next = std::max(next, end + 1);
  }
  return false;
}

}  // namespace zorvik

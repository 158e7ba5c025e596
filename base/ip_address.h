#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik {

/// An IPv4 or IPv6 address; an IPv4 one uses the first four bytes.
struct IPAddress {
  bool v6 = false;
  std::array<std::uint8_t, 16> bytes{};

  /// 32 or 128.
  int width() const { return v6 ? 128 : 32; }
  /// The canonical text: dotted decimal, or RFC 5952 for IPv6 (inet_ntop).
  std::string text() const;
  bool operator==(const IPAddress&) const = default;
};

/// An address with a prefix length: a range ("10.0.0.0/8"), or an interface's address
/// with the length of its network ("fd77::2/64").
struct IPPrefix {
  IPAddress address;
  int length = 0;

  /// The same prefix with the bits past `length` cleared.
  IPPrefix network() const;
  /// True when `other` (of the same family) lies inside this prefix.
  bool contains(const IPAddress& other) const;
  /// Address, "/", length.
  std::string text() const;
  bool operator==(const IPPrefix&) const = default;
};

/// An IPv4 dotted-decimal or IPv6 literal, as inet_pton takes it; nothing for anything
/// else, including a text with a NUL inside.
std::optional<IPAddress> parseIPAddress(std::string_view text);

/// True when `text` is an IPv4 dotted-decimal literal.
bool isIPv4Literal(std::string_view text);
/// True when `text` is an IPv4 or IPv6 literal.
bool isIPAddress(std::string_view text);

/// "ADDRESS/LENGTH" or a bare address (a host: /32 or /128). LENGTH is ASCII digits up
/// to the family's width. Host bits are kept; `network()` clears them.
std::optional<IPPrefix> parseIPPrefix(std::string_view text);

/// `range` without the single address `excluded`: the range itself when it does not
/// hold it, else its parts around it, shortest first (0.0.0.0/0 gives 32 prefixes).
std::vector<IPPrefix> prefixesAround(const IPPrefix& range, const IPAddress& excluded);

/// True when the prefixes of family `v6` together cover that family's whole space.
bool coverWholeSpace(const std::vector<IPPrefix>& prefixes, bool v6);

}  // namespace zorvik

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zorvik {

/// The pieces of `text` between every `separator`, empty ones included:
/// "" gives one empty piece, "a," gives "a" and "".
std::vector<std::string_view> split(std::string_view text, char separator);

/// The non-empty pieces of `text` between every `separator`.
std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator);

/// A decimal number: an optional "+" or "-", then one or more ASCII digits.
struct DecimalNumber {
  bool negative = false;
  std::uint64_t magnitude = 0;
};

/// Nothing for anything else, or a magnitude past 2^64-1.
std::optional<DecimalNumber> parseDecimal(std::string_view text);

/// A decimal number within the range of a signed 64-bit integer.
std::optional<std::int64_t> parseInt64(std::string_view text);

/// A decimal number within the range of an unsigned 64-bit integer ("-0" is 0).
std::optional<std::uint64_t> parseUInt64(std::string_view text);

}  // namespace zorvik

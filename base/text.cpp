#include "base/text.h"

#include <limits>

namespace zorvik {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (;;) {
    const auto cut = text.find(separator);
    pieces.push_back(text.substr(0, cut));
    if (cut == std::string_view::npos) return pieces;
    text.remove_prefix(cut + 1);
  }
}

std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator) {
  std::vector<std::string_view> pieces = split(text, separator);
  std::erase_if(pieces, [](std::string_view piece) { return piece.empty(); });
  return pieces;
}

std::optional<DecimalNumber> parseDecimal(std::string_view text) {
  DecimalNumber number;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    number.negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  constexpr auto max = std::numeric_limits<std::uint64_t>::max();
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (number.magnitude > (max - digit) / 10) return std::nullopt;
    number.magnitude = number.magnitude * 10 + digit;
  }
  return number;
}

std::optional<std::int64_t> parseInt64(std::string_view text) {
  const auto number = parseDecimal(text);
  if (!number) return std::nullopt;
  constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (!number->negative) {
    if (number->magnitude > max) return std::nullopt;
    return static_cast<std::int64_t>(number->magnitude);
  }
  // The negative side holds one more value than the positive one.
  if (number->magnitude > max + 1) return std::nullopt;
  if (number->magnitude == max + 1) return std::numeric_limits<std::int64_t>::min();
  return -static_cast<std::int64_t>(number->magnitude);
}

std::optional<std::uint64_t> parseUInt64(std::string_view text) {
  const auto number = parseDecimal(text);
  if (!number || (number->negative && number->magnitude != 0)) return std::nullopt;
  return number->magnitude;
}

}  // namespace zorvik

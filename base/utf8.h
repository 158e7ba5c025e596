#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvik {

/// The code point at the start of some bytes, or U+FFFD for an invalid sequence.
struct UTF8Step {
  char32_t codePoint;
  std::size_t length;  ///< bytes taken; an invalid sequence takes its maximal subpart (>= 1)
  bool valid;
};

/// The replacement character U+FFFD.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

/// Decodes the first code point of `bytes`, which must not be empty.
UTF8Step decodeUTF8(std::string_view bytes);

/// Appends `codePoint` (at most U+10FFFF, no surrogate) to `out` as UTF-8.
void appendUTF8(std::string& out, char32_t codePoint);

/// The bytes as valid UTF-8: every invalid sequence becomes one U+FFFD.
std::string toValidUTF8(std::string_view bytes);

/// The longest start of valid UTF-8 `text` of at most `maxBytes` that cuts no
/// sequence in two.
std::string_view prefixOfUTF8(std::string_view text, std::size_t maxBytes);

}  // namespace zorvik

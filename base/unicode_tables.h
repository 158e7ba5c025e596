#pragma once

#include <cstddef>
#include <span>

namespace zorvik::unicode_tables {

/// Longest full lower-case mapping, in code points.
inline constexpr std::size_t kMaxLowercaseLength = 3;

/// One code point's full lower-case mapping.
struct LowercaseMapping {
  char32_t from;
  unsigned char length;
  char32_t to[kMaxLowercaseLength];
};

/// Every code point whose full lower-case mapping is not itself, ascending by `from`.
extern const std::span<const LowercaseMapping> kLowercaseMappings;

}  // namespace zorvik::unicode_tables

#pragma once

#include <string>
#include <string_view>

namespace zorvik {

// Case rules of the configuration, on UTF-8; its whitespace is that of
// base/unicode_space.h. Bytes that are not valid UTF-8 are kept as they are.

/// Full Unicode lower-casing, code point by code point (no context rules, so a
/// final capital sigma becomes U+03C3 like any other).
std::string lowercased(std::string_view text);

}  // namespace zorvik

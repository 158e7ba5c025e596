#pragma once

#include <string>
#include <string_view>

namespace zorvik {

// Text rules of the configuration, on UTF-8. Bytes that are not valid UTF-8
// count as U+FFFD for classification and are otherwise kept as they are.

/// Whether `codePoint` is whitespace here: a space separator (Zs) or the tab.
bool isConfigWhitespace(char32_t codePoint);

/// `text` without whitespace at either end; line feed and carriage return stay.
std::string_view trimWhitespace(std::string_view text);

/// Full Unicode lower-casing, code point by code point (no context rules, so a
/// final capital sigma becomes U+03C3 like any other).
std::string lowercased(std::string_view text);

}  // namespace zorvik

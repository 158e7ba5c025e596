#pragma once

#include <string_view>

namespace zorvik {

/// True for the Unicode space separators (general category Zs).
bool isUnicodeSpace(char32_t c);

/// True for a space separator or the horizontal tab: what "blanks" means here.
bool isSpaceOrTab(char32_t c);

/// `text` (UTF-8) without space separators and tabs at either end.
std::string_view trimSpacesAndTabs(std::string_view text);

/// `text` (UTF-8) without space separators, tabs and line breaks (LF, VT, FF,
/// CR, NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR) at either end.
std::string_view trimSpacesTabsAndLineBreaks(std::string_view text);

}  // namespace zorvik

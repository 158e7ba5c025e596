#include "base/unicode_space.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "base/utf8.h"

namespace zorvik {
namespace {

constexpr std::array<char32_t, 17> kSpaceSeparators = {
    0x0020, 0x00A0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005,
    0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x202F, 0x205F, 0x3000,
};

constexpr std::array<char32_t, 7> kLineBreaks = {0x000A, 0x000B, 0x000C, 0x000D,
                                                 0x0085, 0x2028, 0x2029};

bool isLineBreak(char32_t c) {
  for (char32_t b : kLineBreaks) {
    if (b == c) return true;
  }
  return false;
}

template <typename Pred>
std::string_view trimWhere(std::string_view text, Pred trimmed) {
  // Matching whole encodings at the ends is enough: a complete sequence that
  // starts with a lead byte decodes the same whatever bytes precede it.
  static const auto encodings = [] {
    std::vector<std::pair<char32_t, std::string>> out;
    out.emplace_back(U'\t', "\t");
    const auto add = [&out](char32_t c) {
      std::string bytes;
      appendUTF8(bytes, c);
      out.emplace_back(c, std::move(bytes));
    };
    for (char32_t c : kSpaceSeparators) add(c);
    for (char32_t c : kLineBreaks) add(c);
    return out;
  }();
  auto strip = [&](bool front) {
    for (const auto& [c, bytes] : encodings) {
      if (!trimmed(c)) continue;
      if (front ? text.starts_with(bytes) : text.ends_with(bytes)) {
        front ? text.remove_prefix(bytes.size()) : text.remove_suffix(bytes.size());
        return true;
      }
    }
    return false;
  };
  while (strip(true)) {
  }
  while (strip(false)) {
  }
  return text;
}

}  // namespace

bool isUnicodeSpace(char32_t c) {
  for (char32_t s : kSpaceSeparators) {
    if (s == c) return true;
  }
  return false;
}

bool isSpaceOrTab(char32_t c) { return c == U'\t' || isUnicodeSpace(c); }

std::string_view trimSpacesAndTabs(std::string_view text) { return trimWhere(text, isSpaceOrTab); }

std::string_view trimSpacesTabsAndLineBreaks(std::string_view text) {
  return trimWhere(text, [](char32_t c) { return isSpaceOrTab(c) || isLineBreak(c); });
}

}  // namespace zorvik

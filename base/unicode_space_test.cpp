#include "base/unicode_space.h"

#include <gtest/gtest.h>

namespace zorvik {
namespace {

TEST(UnicodeSpace, KnowsTheSpaceSeparatorsAndNothingElse) {
  for (char32_t c : {0x20u, 0xA0u, 0x1680u, 0x2000u, 0x2005u, 0x200Au, 0x202Fu, 0x205Fu, 0x3000u}) {
    EXPECT_TRUE(isUnicodeSpace(c)) << std::hex << static_cast<unsigned>(c);
  }
  for (char32_t c : {0x09u, 0x0Au, 0x0Du, 0x85u, 0x180Eu, 0x200Bu, 0x2028u, 0xFEFFu, 0x41u}) {
    EXPECT_FALSE(isUnicodeSpace(c)) << std::hex << static_cast<unsigned>(c);
  }
  EXPECT_TRUE(isSpaceOrTab(U'\t'));
  EXPECT_FALSE(isSpaceOrTab(U'\n'));
}

TEST(UnicodeSpace, TrimsBlanksButNotLineBreaks) {
  struct Case {
    std::string_view input, expected;
  };
  const Case cases[] = {
      {"", ""},
      {" \t ", ""},
      {"  Wi-Fi  ", "Wi-Fi"},
      {"\tUSB 10/100 LAN\t", "USB 10/100 LAN"},
      {"\xC2\xA0\xE3\x80\x80name\xE2\x80\xAF", "name"},  // NBSP, ideographic, narrow NBSP
      {"\nname\n", "\nname\n"},
      {" x \r", "x \r"},
      {"\xE2\x80\x8Bname", "\xE2\x80\x8Bname"},  // zero-width space is not Zs
      {"\xE2\xE2\x80\x80", "\xE2"},              // invalid byte before an EN QUAD stays
      {" \xFF\xC3 ", "\xFF\xC3"},                // invalid bytes are no blanks
      {"a \xE2\x80", "a \xE2\x80"},              // nor is a space's encoding cut short
  };
  for (const auto& c : cases) {
    EXPECT_EQ(trimSpacesAndTabs(c.input), c.expected) << '"' << c.input << '"';
  }
}

TEST(UnicodeSpace, TrimsLineBreaksWhenAsked) {
  EXPECT_EQ(trimSpacesTabsAndLineBreaks("\n 8.8.8.8\n1.1.1.1 \r\n\t"), "8.8.8.8\n1.1.1.1");
  EXPECT_EQ(trimSpacesTabsAndLineBreaks("\xE2\x80\xA8x\xC2\x85"), "x");
  EXPECT_EQ(trimSpacesTabsAndLineBreaks("\n\n"), "");
}

}  // namespace
}  // namespace zorvik

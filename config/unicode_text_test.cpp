#include "config/unicode_text.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/utf8.h"

namespace zorvik {
namespace {

TEST(ConfigWhitespace, IsTheSpaceSeparatorsAndTab) {
  for (char32_t cp :
       {U' ', U'\t', U'\u00A0', U'\u1680', U'\u2000', U'\u200A', U'\u202F', U'\u205F', U'\u3000'}) {
    EXPECT_TRUE(isConfigWhitespace(cp)) << std::hex << static_cast<unsigned>(cp);
  }
  // Line breaks, other format/control characters and the replacement character are not.
  for (char32_t cp : {U'\n', U'\r', U'\v', U'\f', U'\u0085', U'\u200B', U'\u2028', U'\u2029',
                      U'\uFEFF', U'\uFFFD', U'x'}) {
    EXPECT_FALSE(isConfigWhitespace(cp)) << std::hex << static_cast<unsigned>(cp);
  }
}

struct TrimCase {
  const char* name;
  std::string text;
  std::string expected;
};

class TrimWhitespace : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimWhitespace, StripsOnlyWhitespaceAtTheEnds) {
  EXPECT_EQ(trimWhitespace(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimWhitespace,
    ::testing::Values(TrimCase{"empty", "", ""}, TrimCase{"onlyBlanks", " \t\u3000 ", ""},
                      TrimCase{"asciiBlanks", "  a b\t", "a b"},
                      TrimCase{"unicodeBlanks", "\u00A0\u2003key\u202F", "key"},
                      TrimCase{"carriageReturnStays", "[peer]\r", "[peer]\r"},
                      TrimCase{"lineFeedStays", "\n x \n", "\n x \n"},
                      TrimCase{"zeroWidthSpaceStays", "\u200Bx", "\u200Bx"},
                      // Invalid bytes are not whitespace and are kept byte for byte.
                      TrimCase{"invalidBytesKept", " \xFF\xC3 ", "\xFF\xC3"},
                      TrimCase{"truncatedAtEnd", "a \xE2\x80", "a \xE2\x80"}),
    [](const auto& info) { return std::string(info.param.name); });

struct LowerCase {
  const char* name;
  std::string text;
  std::string expected;
};

class Lowercased : public ::testing::TestWithParam<LowerCase> {};

TEST_P(Lowercased, AppliesFullLowerCaseMapping) {
  EXPECT_EQ(lowercased(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Lowercased,
    ::testing::Values(LowerCase{"ascii", "PublicKEY", "publickey"},
                      LowerCase{"kelvinSign", "\u212Aey", "key"},
                      LowerCase{"dottedCapitalI", "\u0130P", "i\u0307p"},
                      LowerCase{"cyrillic", "\u041A\u041B\u042E\u0427", "\u043A\u043B\u044E\u0447"},
                      // No context rule: a word-final capital sigma is a plain small sigma.
                      LowerCase{"finalSigma", "\u039F\u0394\u039F\u03A3",
                                "\u03BF\u03B4\u03BF\u03C3"},
                      LowerCase{"sharpSUnchanged", "\u00DF", "\u00DF"},
                      LowerCase{"deseret", "\U00010400", "\U00010428"},
                      LowerCase{"invalidBytesKept", "A\xFF\xC0Z", "a\xFF\xC0z"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnicodeTextProperties, ArbitraryBytesAreHandledSafely) {
  // Random byte strings biased towards UTF-8 lead and continuation bytes: the
  // functions must not read out of bounds (the sanitizer build checks that)
  // and must keep their promises.
  std::mt19937 random(20261208);
  const std::string alphabet =
      std::string("aZ =\t\n\r[]#") + "\x80\xBF\xC2\xC3\xE0\xE2\xED\xF0\xF4\xFF";
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    const auto length = random() % 24;
    for (unsigned i = 0; i < length; ++i) bytes += alphabet[random() % alphabet.size()];

    const std::string valid = toValidUTF8(bytes);
    EXPECT_EQ(toValidUTF8(valid), valid) << "not valid UTF-8 after sanitising";

    const std::string_view trimmed = trimWhitespace(bytes);
    EXPECT_NE(std::string_view(bytes).find(trimmed), std::string_view::npos);
    EXPECT_EQ(trimWhitespace(trimmed), trimmed);

    // Lower-casing keeps every byte that is not part of a valid upper-case letter.
    EXPECT_EQ(toValidUTF8(lowercased(bytes)), lowercased(valid));
  }
}

}  // namespace
}  // namespace zorvik

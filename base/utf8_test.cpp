#include "base/utf8.h"

#include <gtest/gtest.h>

namespace zorvik {
namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

struct SanitiseCase {
  const char* name;
  std::string bytes;
  std::string expected;
};

class ToValidUTF8 : public ::testing::TestWithParam<SanitiseCase> {};

TEST_P(ToValidUTF8, ReplacesEachMaximalInvalidSubpart) {
  EXPECT_EQ(toValidUTF8(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToValidUTF8,
    ::testing::Values(SanitiseCase{"empty", "", ""},
                      SanitiseCase{"ascii", "errno=0\n\n", "errno=0\n\n"},
                      SanitiseCase{"validMultibyte", "\xD0\xBD\xE2\x80\x94\xF0\x9F\x98\x80",
                                   "\xD0\xBD\xE2\x80\x94\xF0\x9F\x98\x80"},
                      SanitiseCase{"nulKept", std::string("a\0b", 3), std::string("a\0b", 3)},
                      SanitiseCase{"loneContinuation", "a\x80z", "a" + kFFFD + "z"},
                      SanitiseCase{"twoContinuations", "\x80\xBF", kFFFD + kFFFD},
                      SanitiseCase{"overlongTwoByte", "\xC0\xAF", kFFFD + kFFFD},
                      SanitiseCase{"overlongThreeByte", "\xE0\x80\xAF", kFFFD + kFFFD + kFFFD},
                      SanitiseCase{"surrogate", "\xED\xA0\x80", kFFFD + kFFFD + kFFFD},
                      SanitiseCase{"beyondMax", "\xF4\x90\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD},
                      SanitiseCase{"leadF5", "\xF5x", kFFFD + "x"},
                      // A truncated sequence is one replacement, not one per byte.
                      SanitiseCase{"truncatedThree", "\xE2\x80z", kFFFD + "z"},
                      SanitiseCase{"truncatedFourAtEnd", "ok\xF0\x9F\x98", "ok" + kFFFD},
                      SanitiseCase{"leadThenLead", "\xC3\xC3\xA9", kFFFD + "\xC3\xA9"},
                      SanitiseCase{"byteFF", "\xFF\xFE", kFFFD + kFFFD}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeUTF8, ReportsValueLengthAndValidity) {
  const UTF8Step kelvin = decodeUTF8("\xE2\x84\xAA rest");
  EXPECT_EQ(kelvin.codePoint, U'\u212A');
  EXPECT_EQ(kelvin.length, 3u);
  EXPECT_TRUE(kelvin.valid);

  const UTF8Step cut = decodeUTF8("\xF0\x9F");
  EXPECT_EQ(cut.codePoint, kReplacementCharacter);
  EXPECT_EQ(cut.length, 2u);
  EXPECT_FALSE(cut.valid);
}

TEST(AppendUTF8, RoundTripsThroughDecode) {
  for (char32_t cp : {U'\0', U'A', U'\u00E9', U'\u0800', U'\uFFFD', U'\U00010000', U'\U0010FFFF'}) {
    std::string bytes;
    appendUTF8(bytes, cp);
    const UTF8Step step = decodeUTF8(bytes);
    EXPECT_TRUE(step.valid) << std::hex << static_cast<unsigned>(cp);
    EXPECT_EQ(step.codePoint, cp);
    EXPECT_EQ(step.length, bytes.size());
  }
}

}  // namespace
}  // namespace zorvik

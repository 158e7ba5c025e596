#include "base/unicode_text.h"

#include <gtest/gtest.h>

#include <random>

#include "base/unicode_space.h"
#include "base/utf8.h"

namespace zorvik {
namespace {

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

    const std::string_view trimmed = trimSpacesAndTabs(bytes);
    EXPECT_NE(std::string_view(bytes).find(trimmed), std::string_view::npos);
    EXPECT_EQ(trimSpacesAndTabs(trimmed), trimmed);

    // Lower-casing keeps every byte that is not part of a valid upper-case letter.
    EXPECT_EQ(toValidUTF8(lowercased(bytes)), lowercased(valid));
  }
}

}  // namespace
}  // namespace zorvik

#include "platform/utf8.h"

#include <gtest/gtest.h>

namespace zorvik {
namespace {

constexpr const char* R = "\xEF\xBF\xBD";  // U+FFFD

TEST(ToValidUTF8, ReplacesEachMaximalIllFormedSubpart) {
  struct Case {
    const char* name;
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"ascii", "gateway: 10.0.0.1\n", "gateway: 10.0.0.1\n"},
      {"cyrillic and four-byte", "туннель \xF0\x9F\x94\x92", "туннель \xF0\x9F\x94\x92"},
      {"lone continuation", "a\x80z", std::string("a") + R + "z"},
      {"invalid lead bytes", "\xC0\xC1\xF5\xFF", std::string(R) + R + R + R},
      {"truncated three-byte then ascii", "\xE2\x80z", std::string(R) + "z"},
      {"truncated at the end", "ok\xF0\x9F\x94", std::string("ok") + R},
      {"overlong slash", "\xC0\xAF", std::string(R) + R},
      {"overlong three-byte", "\xE0\x80\xAF", std::string(R) + R + R},
      {"surrogate", "\xED\xA0\x80", std::string(R) + R + R},
      {"above U+10FFFF", "\xF4\x90\x80\x80", std::string(R) + R + R + R},
      {"embedded NUL kept", std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(toValidUTF8(c.input), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace zorvik

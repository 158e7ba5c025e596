#include "wire/line_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorvik {
namespace {

struct SplitCase {
  const char* name;
  std::vector<std::string> reads;
  std::vector<std::string> lines;
  bool overLimit;
};

void PrintTo(const SplitCase& c, std::ostream* out) { *out << c.name; }

class LineBufferSplit : public testing::TestWithParam<SplitCase> {};

// A limit of 8 bytes per line.
TEST_P(LineBufferSplit, GivesEachCompleteLineOnce) {
  const SplitCase& c = GetParam();
  LineBuffer buffer(8);
  std::vector<std::string> lines;
  for (const auto& read : c.reads) {
    buffer.append(read);
    while (auto line = buffer.next()) lines.emplace_back(*line);
  }
  EXPECT_EQ(lines, c.lines);
  EXPECT_EQ(buffer.overLimit(), c.overLimit);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, LineBufferSplit,
    testing::Values(
        SplitCase{"SeveralInOneRead", {"a\nbb\n\nccc"}, {"a", "bb", ""}, false},
        SplitCase{"OneCutAcrossReads", {"ab", "c", "d\ne", "f\n"}, {"abcd", "ef"}, false},
        SplitCase{"ALineOfTheLimitPasses", {"12345678\n"}, {"12345678"}, false},
        SplitCase{"ALongerCompleteLineStops", {"ok\n123456789\nnext\n"}, {"ok"}, true},
        SplitCase{"ALongerIncompleteLineStops", {"1234", "56789"}, {}, true},
        SplitCase{"TheLimitIsPerLine", {"1234567\n1234", "567\n"}, {"1234567", "1234567"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineBuffer, ALineSentAByteAtATimeIsScannedOnce) {
  constexpr std::size_t kLength = kMaxLineBytes;
  LineBuffer buffer;
  for (std::size_t i = 0; i < kLength; ++i) {
    buffer.append("x");
    ASSERT_FALSE(buffer.next());
  }
  buffer.append("\n");
  const auto line = buffer.next();
  ASSERT_TRUE(line);
  EXPECT_EQ(line->size(), kLength);
  EXPECT_EQ(buffer.scannedBytes(), kLength + 1);
  EXPECT_EQ(buffer.unread(), 0u);
}

}  // namespace
}  // namespace zorvik

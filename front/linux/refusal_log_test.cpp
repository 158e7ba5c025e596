#include "front/linux/refusal_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "front/log_messages.h"
#include "testing/memory_log_sink.h"

namespace zorvik {
namespace {

using namespace std::chrono_literals;
using test_support::MemoryLogSink;

const std::string kSignatureFailed = std::string(kSignatureCheckFailed) + "-67050";

// What one connection's admission logs, and how it ends.
struct Outcome {
  bool admitted;
  std::vector<std::string> messages;
};

struct BurstCase {
  const char* name;
  std::chrono::milliseconds window;
  std::vector<Outcome> admissions;
  std::vector<std::string> written;  ///< once the log is gone
};

void PrintTo(const BurstCase& c, std::ostream* out) { *out << c.name; }

class RefusalLogBurst : public testing::TestWithParam<BurstCase> {};

TEST_P(RefusalLogBurst, WritesTheFirstRefusalOfAWindowAndCountsTheRest) {
  const BurstCase& c = GetParam();
  auto sink = std::make_shared<MemoryLogSink>();
  {
    auto refusals = std::make_shared<RefusalLog>(sink, c.window);
    const SystemLog log(refusals, "helper", "daemon");
    log.info("before any admission");
    for (const auto& outcome : c.admissions) {
      RefusalLog::Admission admission(*refusals);
      for (const auto& message : outcome.messages) log.error(message);
      admission.finish(outcome.admitted);
    }
  }
  std::vector<std::string> expected{"before any admission"};
  expected.insert(expected.end(), c.written.begin(), c.written.end());
  EXPECT_EQ(sink->messages(), expected);
  for (const auto& record : sink->records()) {
    EXPECT_EQ(record.subsystem, "helper");
    EXPECT_EQ(record.category, "daemon");
  }
}

const Outcome kRefused{false, {kSignatureFailed, kUntrustedRejected}};
const Outcome kNoCode{false, {kNoClientSecCode, kUntrustedRejected}};
const Outcome kAdmitted{true, {}};

INSTANTIATE_TEST_SUITE_P(
    Windows, RefusalLogBurst,
    testing::Values(
        BurstCase{"OneRefusalInFull", 1h, {kRefused}, {kSignatureFailed, kUntrustedRejected}},
        BurstCase{"ARunInOneWindow",
                  1h,
                  {kRefused, kAdmitted, kNoCode, kRefused, kRefused},
                  {kSignatureFailed, kUntrustedRejected, std::string(kRefusalsCounted) + "3"}},
        BurstCase{"EachWindowOver",
                  0ms,
                  {kRefused, kNoCode},
                  {kSignatureFailed, kUntrustedRejected, kNoClientSecCode, kUntrustedRejected}},
        BurstCase{"AdmittedOnlyWriteAsTheyCome",
                  1h,
                  {Outcome{true, {"kept"}}, Outcome{true, {"kept too"}}},
                  {"kept", "kept too"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RefusalLog, TheCountIsWrittenOnceItsWindowIsOverWhileTheLogLives) {
  auto sink = std::make_shared<MemoryLogSink>();
  auto refusals = std::make_shared<RefusalLog>(sink, 100ms);
  const SystemLog log(refusals, "helper", "daemon");
  for (int i = 0; i < 2; ++i) {
    RefusalLog::Admission admission(*refusals);
    log.error(kUntrustedRejected);
    admission.finish(false);
  }
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (sink->messages().size() < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  // A second refusal that came after the first window (a slow machine) is written in full.
  const auto messages = sink->messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages.front(), kUntrustedRejected);
  EXPECT_TRUE(messages.back() == kUntrustedRejected ||
              messages.back() == std::string(kRefusalsCounted) + "1")
      << messages.back();
}

}  // namespace
}  // namespace zorvik

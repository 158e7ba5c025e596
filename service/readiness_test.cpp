#include "service/readiness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <thread>

#include "testing/temp_dir.h"

namespace zorvik {
namespace {

using namespace std::chrono_literals;

using testing::TempDir;

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(PickUAPISocketName, PrefersTheInterfaceOwnSocket) {
  struct Case {
    std::vector<std::string> names;
    std::optional<std::string> iface;
    std::optional<std::string> picked;
  };
  for (const Case& c : {
           Case{{"zorvik.name", "utun7.sock"}, "utun7", "utun7.sock"},
           Case{{"utun3.sock", "utun7.sock"}, "utun7", "utun7.sock"},
           Case{{"utun3.sock", "old.sock"}, "utun7", "utun3.sock"},
           Case{{"utun3.sock", "utun7.sock"}, std::nullopt, "utun3.sock"},
           Case{{"zorvik.name", "utun7.socket", "sock"}, "utun7", std::nullopt},
           Case{{}, "utun7", std::nullopt},
       }) {
    EXPECT_EQ(pickUAPISocketName(c.names, c.iface), c.picked);
  }
}

TEST(ListDirectoryNames, NothingForAMissingDirectory) {
  TempDir dir;
  writeFile(dir.file("a.sock"), "");
  EXPECT_EQ(listDirectoryNames(dir.path().string()), std::vector<std::string>{"a.sock"});
  EXPECT_EQ(listDirectoryNames(dir.file("gone")), std::nullopt);
}

TEST(WaitForFileText, ReturnsTheTextUntrimmed) {
  TempDir dir;
  writeFile(dir.file("name"), "utun7\n");
  EXPECT_EQ(waitForFileText(dir.file("name"), 2s, 10ms), "utun7\n");
}

TEST(WaitForFileText, NothingWhenTheFileStaysMissingEmptyOrInvalid) {
  TempDir dir;
  writeFile(dir.file("empty"), "");
  writeFile(dir.file("invalid"), "utun\xFF");
  for (const char* name : {"missing", "empty", "invalid"}) {
    EXPECT_EQ(waitForFileText(dir.file(name), 100ms, 10ms), std::nullopt) << name;
  }
}

TEST(WaitForFileText, KeepsPollingAnEmptyFileUntilTextArrives) {
  TempDir dir;
  writeFile(dir.file("name"), "");
  auto waiting =
      std::async(std::launch::async, [&] { return waitForFileText(dir.file("name"), 10s, 10ms); });
  std::this_thread::sleep_for(50ms);
  writeFile(dir.file("name"), "utun9");
  EXPECT_EQ(waiting.get(), "utun9");
}

TEST(WaitForFileText, AZeroTimeoutMakesNoAttempt) {
  TempDir dir;
  writeFile(dir.file("name"), "utun7");
  EXPECT_EQ(waitForFileText(dir.file("name"), 0ms, 10ms), std::nullopt);
}

}  // namespace
}  // namespace zorvik

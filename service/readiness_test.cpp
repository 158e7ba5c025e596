#include "service/readiness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace zorvik {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "zorvik-readiness-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(TrimWhitespaceAndNewlines, RemovesUnicodeSpaceAndLineBreaksAtBothEndsOnly) {
  struct Case {
    std::string in, out;
  };
  for (const Case& c : {
           Case{"utun7\n", "utun7"},
           Case{"\t utun7 \r\n", "utun7"},
           Case{"utun 7", "utun 7"},
           Case{"  \n", ""},
           Case{"", ""},
           Case{"\u00A0\u2003utun3\u3000\u2028\u0085", "utun3"},
           Case{"\u200Butun3", "\u200Butun3"},  // zero width space is not white space
           Case{"utun\xC3", "utun\xC3"},          // a cut sequence stops the trim
           Case{"\xE2\x80utun", "\xE2\x80utun"},
       }) {
    EXPECT_EQ(trimWhitespaceAndNewlines(c.in), c.out) << '"' << c.in << '"';
  }
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
  auto waiting = std::async(std::launch::async,
                            [&] { return waitForFileText(dir.file("name"), 10s, 10ms); });
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

#include "service/readiness.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "base/unique_fd.h"
#include "platform/directory_watch.h"
#include "testing/temp_dir.h"
#include "testing/unix_socket.h"

namespace zorvik {
namespace {

using namespace std::chrono_literals;

using test_support::TempDir;

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A socket bound at `path`; listening when `live`, otherwise closed at once, which leaves the
// file of a daemon that died behind.
UniqueFd boundSocket(const std::string& path, bool live) {
  UniqueFd fd = test_support::bindUnixSocket(path, live);
  return live ? std::move(fd) : UniqueFd(-1);
}

TEST(AcceptsConnection, OnlyASocketSomethingListensOn) {
  TempDir dir;
  UniqueFd live = boundSocket(dir.file("live.sock"), true);
  boundSocket(dir.file("dead.sock"), false);
  writeFile(dir.file("file.sock"), "");
  EXPECT_TRUE(acceptsConnection(dir.file("live.sock")));
  for (const char* name : {"dead.sock", "file.sock", "missing.sock"}) {
    EXPECT_FALSE(acceptsConnection(dir.file(name))) << name;
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
  DirectoryWatch watch(dir.path().string());
  writeFile(dir.file("name"), "utun7\n");
  EXPECT_EQ(waitForFileText(watch, dir.file("name"), 2s, 10ms), "utun7\n");
}

TEST(WaitForFileText, NothingWhenTheFileStaysMissingEmptyOrInvalid) {
  TempDir dir;
  DirectoryWatch watch(dir.path().string());
  writeFile(dir.file("empty"), "");
  writeFile(dir.file("invalid"), "utun\xFF");
  for (const char* name : {"missing", "empty", "invalid"}) {
    EXPECT_EQ(waitForFileText(watch, dir.file(name), 100ms, 10ms), std::nullopt) << name;
  }
}

TEST(WaitForFileText, KeepsPollingAnEmptyFileUntilTextArrives) {
  TempDir dir;
  DirectoryWatch watch(dir.path().string());
  writeFile(dir.file("name"), "");
  auto waiting = std::async(std::launch::async,
                            [&] { return waitForFileText(watch, dir.file("name"), 10s, 10ms); });
  std::this_thread::sleep_for(50ms);
  writeFile(dir.file("name"), "utun9");
  EXPECT_EQ(waiting.get(), "utun9");
}

// With a poll interval longer than the whole wait, only the directory watch can
// find what appears during it; one watch serves round after round, also when the
// directory was made again in between.
TEST(ReadinessWatch, ChangesAreSeenWithoutWaitingForTheNextPoll) {
  TempDir dir;
  const std::string run = dir.file("run");
  std::filesystem::create_directory(run);
  DirectoryWatch watch(run);
  writeFile(run + "/name", "");
  auto text = std::async(std::launch::async,
                         [&] { return waitForFileText(watch, run + "/name", 10s, 1h); });
  std::this_thread::sleep_for(50ms);
  writeFile(run + "/name", "utun9");
  EXPECT_EQ(text.get(), "utun9");

  std::filesystem::remove_all(run);
  std::filesystem::create_directory(run);
  // A socket is there at bind() and live only at listen(), with no change between:
  // after a change the wait looks again soon, not at the next poll.
  std::atomic<bool> live = false;
  const std::string socketPath = run + "/utun9.sock";
  auto entry = std::async(std::launch::async, [&] {
    return waitForDirectoryEntry(watch, 10s, 1h, [&]() -> std::optional<std::string> {
      if (!live || !std::filesystem::exists(socketPath)) return {};
      return socketPath;
    });
  });
  std::this_thread::sleep_for(50ms);
  writeFile(socketPath, "");
  std::this_thread::sleep_for(20ms);
  live = true;
  EXPECT_EQ(entry.get(), socketPath);
}

TEST(WaitForFileText, AZeroTimeoutMakesNoAttempt) {
  TempDir dir;
  DirectoryWatch watch(dir.path().string());
  writeFile(dir.file("name"), "utun7");
  EXPECT_EQ(waitForFileText(watch, dir.file("name"), 0ms, 10ms), std::nullopt);
}

}  // namespace
}  // namespace zorvik

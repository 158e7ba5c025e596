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

TEST(PickLiveUAPISocketName, SkipsSocketsNobodyListensOn) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, bool>> sockets;  // name, live
    std::vector<std::string> names;                     // listing order
    std::optional<std::string> picked;
  };
  for (const Case& c : {
           Case{"own live first",
                {{"old.sock", true}, {"utun7.sock", true}},
                {"old.sock", "utun7.sock"},
                "utun7.sock"},
           Case{"stale other before the new one",
                {{"old.sock", false}, {"new.sock", true}},
                {"old.sock", "new.sock"},
                "new.sock"},
           Case{"own dead, other live",
                {{"utun7.sock", false}, {"new.sock", true}},
                {"utun7.sock", "new.sock"},
                "new.sock"},
           Case{"only dead ones",
                {{"old.sock", false}, {"utun7.sock", false}},
                {"old.sock", "utun7.sock"},
                std::nullopt},
           Case{"listed but gone", {}, {"utun7.sock"}, std::nullopt},
           Case{"live but not a socket name",
                {{"utun7.socket", true}},
                {"utun7.socket"},
                std::nullopt},
       }) {
    TempDir dir;
    std::vector<UniqueFd> listeners;
    for (const auto& [name, live] : c.sockets)
      listeners.push_back(boundSocket(dir.file(name), live));
    EXPECT_EQ(pickLiveUAPISocketName(dir.path().string(), c.names, "utun7"), c.picked) << c.what;
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

// With a poll interval longer than the whole wait, only the directory watch can
// find what appears during it.
TEST(ReadinessWatch, ChangesAreSeenWithoutWaitingForTheNextPoll) {
  TempDir dir;
  writeFile(dir.file("name"), "");
  auto text =
      std::async(std::launch::async, [&] { return waitForFileText(dir.file("name"), 10s, 1h); });
  std::this_thread::sleep_for(50ms);
  writeFile(dir.file("name"), "utun9");
  EXPECT_EQ(text.get(), "utun9");

  // A socket is there at bind() and live only at listen(), with no change between:
  // after a change the wait looks again soon, not at the next poll.
  std::atomic<bool> live = false;
  const std::string socketPath = dir.file("utun9.sock");
  auto entry = std::async(std::launch::async, [&] {
    return waitForDirectoryEntry(dir.path().string(), 10s, 1h, [&]() -> std::optional<std::string> {
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
  writeFile(dir.file("name"), "utun7");
  EXPECT_EQ(waitForFileText(dir.file("name"), 0ms, 10ms), std::nullopt);
}

}  // namespace
}  // namespace zorvik

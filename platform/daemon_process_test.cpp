#include "platform/daemon_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

namespace zorvik {
namespace {

using namespace std::chrono_literals;

SpawnRequest shell(const std::string& script) {
  return {"/bin/sh", {"-c", script}, {}, -1, -1, -1};
}

// Ends a child a test started if it failed before doing so itself.
struct Reaper {
  std::shared_ptr<DaemonProcess> process;
  ~Reaper() {
    if (!process) return;
    process->terminate();
    process->waitUntilFinished(10s);
  }
};

TEST(DaemonProcess, ReportsExitStatusAndReasonOnceReaped) {
  struct Case {
    std::string script;
    int status;
    int reason;
  };
  for (const Case& c :
       {Case{"exit 0", 0, DaemonProcess::normalExit}, Case{"exit 3", 3, DaemonProcess::normalExit},
        Case{"kill -KILL $$", SIGKILL, DaemonProcess::uncaughtSignal}}) {
    std::atomic<int> calls{0};
    Reaper child{DaemonProcess::launch(shell(c.script), [&](const DaemonProcess& p) {
      EXPECT_FALSE(p.isRunning());
      ++calls;
    })};
    ASSERT_TRUE(child.process->waitUntilFinished(10s)) << c.script;
    EXPECT_EQ(calls.load(), 1) << c.script;
    EXPECT_FALSE(child.process->isRunning());
    EXPECT_EQ(child.process->terminationStatus(), c.status) << c.script;
    EXPECT_EQ(child.process->terminationReason(), c.reason) << c.script;
  }
}

TEST(DaemonProcess, TerminateEndsARunningChildWithSIGTERM) {
  Reaper child{DaemonProcess::launch(shell("exec sleep 30"), nullptr)};
  EXPECT_TRUE(child.process->isRunning());
  EXPECT_TRUE(child.process->terminate());
  ASSERT_TRUE(child.process->waitUntilFinished(10s));
  EXPECT_EQ(child.process->terminationStatus(), SIGTERM);
  EXPECT_EQ(child.process->terminationReason(), DaemonProcess::uncaughtSignal);
}

TEST(DaemonProcess, AChildThatExitedGetsNoSignal) {
  Reaper child{DaemonProcess::launch(shell("exit 1"), nullptr)};
  ASSERT_TRUE(child.process->waitUntilFinished(10s));
  EXPECT_FALSE(child.process->terminate());
  EXPECT_EQ(child.process->terminationStatus(), 1);
}

TEST(DaemonProcess, OutlivesItsLastOutsideOwnerUntilTheChildExits) {
  std::atomic<bool> handled{false};
  std::weak_ptr<DaemonProcess> watched;
  {
    auto process = DaemonProcess::launch(shell("exec sleep 30"), [&](const DaemonProcess& p) {
      EXPECT_EQ(p.terminationStatus(), SIGTERM);
      handled = true;
    });
    watched = process;
    process->terminate();
  }
  // The watcher's own reference keeps the object valid for its handler.
  if (auto process = watched.lock()) {
    EXPECT_TRUE(process->waitUntilFinished(10s));
  }
  for (int i = 0; i < 1000 && !watched.expired(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(watched.expired());
  EXPECT_TRUE(handled.load());
}

TEST(DaemonProcess, LaunchFailureIsThePlatformError) {
  EXPECT_THROW(
      DaemonProcess::launch({"/nonexistent/amneziawg-go", {"utun"}, {}, -1, -1, -1}, nullptr),
      std::system_error);
}

TEST(DaemonProcess, AChildThatIgnoresTheTerminateRequestIsKilledLater) {
  const std::string ready =
      (std::filesystem::temp_directory_path() / ("zorvik-trap-" + std::to_string(::getpid())))
          .string();
  std::filesystem::remove(ready);
  std::atomic<int> calls{0};
  // An ignored SIGTERM survives the exec, as in a daemon that blocks it.
  Reaper child{DaemonProcess::launch(
      shell("trap '' TERM; : > " + ready + "; exec sleep 30"),
      [&](const DaemonProcess&) { ++calls; }, 200ms)};
  for (int i = 0; i < 500 && !std::filesystem::exists(ready); ++i)
    std::this_thread::sleep_for(10ms);
  std::filesystem::remove(ready);
  EXPECT_TRUE(child.process->terminate());
  ASSERT_TRUE(child.process->waitUntilFinished(10s));
  EXPECT_EQ(child.process->terminationReason(), DaemonProcess::uncaughtSignal);
  EXPECT_EQ(child.process->terminationStatus(), SIGKILL);
  EXPECT_EQ(calls.load(), 1);
}

}  // namespace
}  // namespace zorvik

#include "front/stop_on_signal.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <future>
#include <mutex>

#include "front/log_messages.h"
#include "testing/tunnel_fixture.h"

namespace zorvik::test_support {
namespace {

class StopSignalTest : public TunnelTest {
 protected:
  std::shared_ptr<MemoryLogSink> daemonSink = std::make_shared<MemoryLogSink>();
  SystemLog daemonLog{daemonSink, "com.zorvik.vpn.helper", "daemon"};
};

TEST_F(StopSignalTest, TearsDownAsAStopDoesAfterTheQueuedRequestsThenExitsWithZero) {
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  tools.clearCalls();
  ASSERT_EQ(stop(), (Result{true, std::nullopt}));
  const Calls stopCalls = tools.calls();
  ASSERT_FALSE(stopCalls.empty());

  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  const auto tunnelDaemon = daemon();
  tools.clearCalls();

  std::mutex mutex;
  std::vector<std::string> events;
  const auto note = [&](std::string event) {
    std::lock_guard lock(mutex);
    events.push_back(std::move(event));
  };
  std::promise<void> exited;
  svc().status([&](bool active, std::uint64_t, std::uint64_t, std::optional<std::uint64_t>) {
    note(active ? "status: up" : "status: down");
  });
  stopOnSignal(
      SIGTERM, daemonLog, [this] { return service; },
      [&](int status) {
        // On the queue, where the fields may be read.
        note("exit " + std::to_string(status) + (inside().tunnel().active ? ", still up" : "") +
             (std::filesystem::exists(settings.journalPath) ? ", journal left" : ""));
        exited.set_value();
      });
  ASSERT_EQ(exited.get_future().wait_for(60s), std::future_status::ready);

  EXPECT_EQ(events, (std::vector<std::string>{"status: up", "exit 0"}));
  EXPECT_EQ(tools.calls(), stopCalls) << "the teardown's tool runs differ from a stop's";
  EXPECT_TRUE(tunnelDaemon->waitUntilFinished(10s));
  EXPECT_EQ(DaemonProcessAccess::terminateRequestsSent(*tunnelDaemon), 1);
  EXPECT_EQ(daemonSink->messages(),
            std::vector<std::string>{kStopSignalReceived + std::to_string(SIGTERM)});
}

TEST_F(StopSignalTest, ExitsWithFailureAtOnceWhenTheTeardownCannotBeQueued) {
  int exitStatus = -1;
  stopOnSignal(
      SIGINT, daemonLog,
      []() -> std::shared_ptr<HelperService> { throw std::runtime_error("no service"); },
      [&](int status) { exitStatus = status; });
  EXPECT_EQ(exitStatus, EXIT_FAILURE);
}

}  // namespace
}  // namespace zorvik::test_support

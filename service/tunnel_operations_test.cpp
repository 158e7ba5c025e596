// Requests around a running tunnel: restarts, stops, status, and the daemon's
// own life.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>

#include "testing/tunnel_fixture.h"

namespace zorvik::test_support {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

const std::vector<std::string> kHostRouteDelete = {
    "route", "-q", "-n", "delete", "-inet", "203.0.113.5/32", "192.168.1.1"};

TEST_F(TunnelTest, AFreshServiceIsIdleAndStopsWithoutRunningAnything) {
  EXPECT_EQ(status(), (Status{false, 0, 0}));
  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  EXPECT_THAT(tools.calls(), IsEmpty());
  expectIdle();
  EXPECT_EQ(systemLog(LogLevel::info),
            std::vector<std::string>(2, "туннель опущен, конфигурация восстановлена"));
  EXPECT_FALSE(std::filesystem::exists(settings.logPath));
  EXPECT_FALSE(std::filesystem::exists(settings.runDir));
}

TEST_F(TunnelTest, ASecondStartTearsTheFirstTunnelDownBeforeItsBringUp) {
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  auto first = daemon();
  tools.clearCalls();
  setFakeDaemon("FAKE_AWG_IFACE", "utun8");

  ASSERT_EQ(start(tunnelConfig("198.51.100.7:443")), (Result{true, std::nullopt}));

  Calls calls = tools.calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(
      Calls(calls.begin(), calls.begin() + 3),
      (Calls{kHostRouteDelete, rejectRouteCalls("delete")[0], rejectRouteCalls("delete")[1]}));
  EXPECT_THAT(calls[3], ElementsAre("route", "-n", "get", "default"));
  EXPECT_THAT(calls, Contains(ElementsAre("route", "-q", "-n", "add", "-inet", "198.51.100.7/32",
                                          "192.168.1.1")));
  ASSERT_TRUE(first->waitUntilFinished(10s));
  EXPECT_EQ(DaemonProcessAccess::terminateRequestsSent(*first), 1);
  auto second = daemon();
  EXPECT_NE(second, first);
  EXPECT_TRUE(second->isRunning());
  EXPECT_EQ(onQueue([this] { return inside().tunnel().iface; }), "utun8");
  EXPECT_EQ(onQueue([this] { return inside().tunnel().sockPath; }),
            settings.runDir + "/utun8.sock");
}

TEST_F(TunnelTest, AFailedSecondStartLeavesNoTunnelUp) {
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  auto first = daemon();
  EXPECT_EQ(start(tunnelConfig("vpn.zorvik.invalid:1")),
            (Result{false, "не удалось разрешить vpn.zorvik.invalid"}));
  ASSERT_TRUE(first->waitUntilFinished(10s));
  expectIdle();
  EXPECT_EQ(status(), (Status{false, 0, 0}));
}

TEST_F(TunnelTest, AConfigurationThatFailsToParseBringsARunningTunnelDown) {
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  auto first = daemon();
  tools.clearCalls();

  EXPECT_EQ(start("[Interface]\nPrivateKey = x\n"), (Result{false, "нет PublicKey"}));

  EXPECT_EQ(tools.calls(), (Calls{kHostRouteDelete, rejectRouteCalls("delete")[0],
                                  rejectRouteCalls("delete")[1]}));
  ASSERT_TRUE(first->waitUntilFinished(10s));
  EXPECT_EQ(DaemonProcessAccess::terminateRequestsSent(*first), 1);
  expectIdle();
  EXPECT_EQ(status(), (Status{false, 0, 0}));
  EXPECT_EQ(systemLog(LogLevel::error), std::vector<std::string>{"startTunnel: нет PublicKey"});
}

TEST_F(TunnelTest, StatusNeedsBothTheActiveFlagAndAnInterface) {
  setFakeDaemon("FAKE_AWG_RX_BYTES", "7");
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  EXPECT_EQ(status(), (Status{true, 7, 0}));
  onQueue([this] { return inside().tunnel().iface = std::nullopt; });
  EXPECT_EQ(status(), (Status{false, 0, 0}));
  onQueue([this] { return inside().tunnel().iface = "utun7"; });
  onQueue([this] { return inside().tunnel().active = false; });
  EXPECT_EQ(status(), (Status{false, 0, 0}));
}

// A daemon that does not end at its terminate (stopped) is waited for, up to its kill, before
// the next start launches another: the new one never meets its interface or socket.
TEST_F(TunnelTest, AStartAfterAStopWaitsForTheDaemonItEnded) {
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  const auto first = daemon();
  ASSERT_EQ(::kill(first->pid(), SIGSTOP), 0);
  ASSERT_EQ(stop(), (Result{true, std::nullopt}));
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  EXPECT_TRUE(first->waitUntilFinished(0ms));

  const auto log = helperLog();
  const auto killed = std::find(log.begin(), log.end(), "amneziawg-go завершился: код=9 reason=2");
  const std::string launch = "запускаю " + settings.daemonPath;
  ASSERT_EQ(std::count(log.begin(), log.end(), launch), 2);
  const auto secondLaunch =
      std::find(std::find(log.begin(), log.end(), launch) + 1, log.end(), launch);
  EXPECT_LT(killed, secondLaunch) << "the second daemon was launched before the first ended";
}

// A server that does not answer: logged once a grace after the start, its first handshake
// once after that (a timed look, no status needed), and the status carries the age from then.
TEST_F(TunnelTest, AMissingHandshakeIsLoggedOnceAndSoIsTheFirstAfterIt) {
  settings.handshakeGrace = 1s;
  const std::string handshake = dir.file("handshake");
  setFakeDaemon("FAKE_AWG_HANDSHAKE_FILE", handshake);
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  EXPECT_EQ(status(), (Status{true, 0, 0}));
  EXPECT_EQ(lastHandshakeAge, std::nullopt);

  const std::string missing = "нет рукопожатия с сервером 1 с после старта";
  const std::string arrived = "рукопожатие с сервером есть";
  ASSERT_TRUE(waitForHelperLog(missing));
  EXPECT_EQ(helperLogCount(arrived), 0);
  std::ofstream(handshake) << "now\n";
  ASSERT_TRUE(waitForHelperLog(arrived));
  EXPECT_EQ(status(), (Status{true, 0, 0}));
  EXPECT_NE(lastHandshakeAge, std::nullopt);
  EXPECT_EQ(helperLogCount(missing), 1);
  EXPECT_EQ(helperLogCount(arrived), 1);
}

// Status requests to a daemon that does not answer for now (stopped) share one exchange and
// leave the queue free; a stop that comes meanwhile is answered after them.
TEST_F(TunnelTest, StatusRequestsShareOneExchangeAndAStopWaitsForIt) {
  setFakeDaemon("FAKE_AWG_RX_BYTES", "7");
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  const pid_t daemonPid = daemon()->pid();
  ASSERT_EQ(::kill(daemonPid, SIGSTOP), 0);

  std::mutex mutex;
  std::vector<std::string> answers;
  for (int i = 0; i < 3; ++i) {
    svc().status([&](bool active, std::uint64_t rx, std::uint64_t, std::optional<std::uint64_t>) {
      std::lock_guard lock(mutex);
      answers.push_back("status " + std::to_string(active) + " " + std::to_string(rx));
    });
  }
  // The queue has taken all three and is free again, with no answer yet.
  onQueue([] { return 0; });
  {
    std::lock_guard lock(mutex);
    EXPECT_THAT(answers, IsEmpty()) << "answered before the daemon could answer";
  }
  std::promise<void> stopped;
  svc().stopTunnel([&](bool, std::optional<std::string>) {
    {
      std::lock_guard lock(mutex);
      answers.push_back("stop");
    }
    stopped.set_value();
  });
  ASSERT_EQ(::kill(daemonPid, SIGCONT), 0);
  ASSERT_EQ(stopped.get_future().wait_for(60s), std::future_status::ready);

  std::lock_guard lock(mutex);
  EXPECT_EQ(answers, (std::vector<std::string>{"status 1 7", "status 1 7", "status 1 7", "stop"}));
  const std::vector<std::string> requests = uapiRequests();
  EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                          [](const std::string& r) { return r.starts_with("get=1\n"); }),
            1);
}

TEST_F(TunnelTest, ADaemonThatDiesWhileUpBringsItsTunnelDown) {
  setFakeDaemon("FAKE_AWG_RX_BYTES", "7");
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  auto daemon = this->daemon();
  tools.clearCalls();
  // Something outside the helper ends it.
  ASSERT_TRUE(daemon->terminate());
  ASSERT_TRUE(daemon->waitUntilFinished(10s));
  EXPECT_EQ(helperLogCount("amneziawg-go завершился: код=0 reason=1"), 1);

  // The teardown was queued before this status, so it has run: the host is as before.
  EXPECT_EQ(status(), (Status{false, 0, 0}));
  EXPECT_THAT(tools.calls(), Contains(kHostRouteDelete));
  EXPECT_EQ(helperLogCount("amneziawg-go завершился при поднятом туннеле, туннель опускается"), 1);
  expectIdle();

  // Nothing is left for a stop to undo.
  tools.clearCalls();
  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  EXPECT_TRUE(tools.calls().empty());
  EXPECT_EQ(helperLogCount("amneziawg-go завершился: код=0 reason=1"), 1);
}

TEST_F(TunnelTest, ADaemonThatExitedOnItsOwnGetsNoSignalAtTeardown) {
  // Long enough for the bring-up, also under a sanitizer, short enough to wait for.
  setFakeDaemon("FAKE_AWG_EXIT_AFTER_MS", "8000");
  setFakeDaemon("FAKE_AWG_EXIT_STATUS", "1");
  // A split tunnel: one checked route instead of a full tunnel's 32 keeps the start short.
  ASSERT_EQ(start(tunnelConfig("203.0.113.5:51820", "Address = 10.8.0.2/32\n",
                               "AllowedIPs = 10.0.0.0/8\n")),
            (Result{true, std::nullopt}));
  auto daemon = this->daemon();
  ASSERT_NE(daemon, nullptr) << "the daemon exited before the start was answered";
  ASSERT_TRUE(daemon->waitUntilFinished(20s));
  EXPECT_EQ(helperLogCount("amneziawg-go завершился: код=1 reason=1"), 1);

  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  EXPECT_EQ(DaemonProcessAccess::terminateRequestsSent(*daemon), 0);
  expectIdle();
  EXPECT_EQ(helperLogCount("amneziawg-go завершился при поднятом туннеле, туннель опускается"), 1);
}

TEST_F(TunnelTest, TheDaemonGetsItsEnvironmentTheLogFileAndNothingElse) {
  setFakeDaemon("FAKE_AWG_DUMP", dir.file("dump"));
  setFakeDaemon("ZORVIK_TEST_KEPT", "kept value");
  setFakeDaemon("WG_PROCESS_FOREGROUND", "0");
  setFakeDaemon("LOG_LEVEL", "debug");
  std::ofstream(settings.daemonLogPath) << "earlier run\n";
  // A descriptor the helper holds without close-on-exec must not leak.
  int stray = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);

  Result result = start(tunnelConfig());
  ::close(stray);
  ASSERT_EQ(result, (Result{true, std::nullopt}));

  std::vector<std::string> lines;
  std::ifstream in(dir.file("dump"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  auto countPrefix = [&](const std::string& prefix) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  };
  EXPECT_EQ(countPrefix("arg "), 1) << "one argument after argument zero";
  EXPECT_TRUE(has("arg utun"));
  EXPECT_TRUE(has("env WG_TUN_NAME_FILE=" + settings.runDir + "/zorvik.name"));
  EXPECT_TRUE(has("env WG_PROCESS_FOREGROUND=1"));
  EXPECT_TRUE(has("env LOG_LEVEL=error"));
  EXPECT_EQ(countPrefix("env WG_PROCESS_FOREGROUND="), 1);
  EXPECT_EQ(countPrefix("env LOG_LEVEL="), 1);
  EXPECT_TRUE(has("env ZORVIK_TEST_KEPT=kept value"));
  EXPECT_TRUE(has("fd 1 " + settings.daemonLogPath));
  EXPECT_TRUE(has("fd 2 " + settings.daemonLogPath));
  for (const auto& line : lines) {
    if (line.rfind("fd ", 0) != 0) continue;
    int fd = std::stoi(line.substr(3));
    EXPECT_LE(fd, 2) << line;
  }
  EXPECT_TRUE(has("SigBlk:\t0000000000000000"));
  EXPECT_TRUE(has("SigIgn:\t0000000000000000"));

  std::ifstream daemonLog(settings.daemonLogPath);
  std::string first;
  std::getline(daemonLog, first);
  EXPECT_EQ(first, "earlier run");
}

TEST_F(TunnelTest, AMissingDaemonLogIsCreatedWithMode0644) {
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  struct stat info {};
  ASSERT_EQ(::stat(settings.daemonLogPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(TunnelTest, ADaemonLogThatCannotBeOpenedIsNoFailure) {
  settings.daemonLogPath = dir.file("no-such-dir") + "/awg.log";
  EXPECT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
}

TEST_F(TunnelTest, EveryRequestIsAnsweredOnceEvenWhenTheReplyThrows) {
  std::atomic<int> starts{0}, stops{0}, statuses{0};
  svc().startTunnel("", [&](bool, std::optional<std::string>) {
    ++starts;
    throw std::runtime_error("client went away");
  });
  svc().stopTunnel([&](bool, std::optional<std::string>) {
    ++stops;
    throw std::runtime_error("client went away");
  });
  svc().status([&](bool, std::uint64_t, std::uint64_t, std::optional<std::uint64_t>) {
    ++statuses;
    throw 42;
  });
  svc().startTunnel("", nullptr);
  // The queue lives on: a later request is served in order.
  EXPECT_EQ(status(), (Status{false, 0, 0}));
  EXPECT_EQ(starts.load(), 1);
  EXPECT_EQ(stops.load(), 1);
  EXPECT_EQ(statuses.load(), 1);
}

TEST_F(TunnelTest, TheWatcherDoesNotKeepTheServiceAlive) {
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  auto daemon = this->daemon();
  std::weak_ptr<HelperService> weak = service;
  ASSERT_EQ(stop(), (Result{true, std::nullopt}));
  service.reset();
  // Only the queue's last work item may still hold it for a moment; the
  // daemon's watcher holds it weakly and then finds nothing to log to.
  for (int i = 0; i < 1000 && !weak.expired(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(daemon->waitUntilFinished(10s));
}

}  // namespace
}  // namespace zorvik::test_support

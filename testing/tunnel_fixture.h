#pragma once
// Shared by the tunnel lifecycle tests: a service pointed at fake tools, the
// fake tunnel daemon and temporary paths, and synchronous wrappers around its
// queued operations.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/system_log.h"
#include "platform/daemon_process.h"
#include "service/helper_service.h"
#include "testing/daemon_process_access.h"
#include "testing/fake_route_watch.h"
#include "testing/fake_tools.h"
#include "testing/helper_service_access.h"
#include "testing/memory_log_sink.h"
#include "testing/temp_dir.h"

namespace zorvik::test_support {

using namespace std::chrono_literals;

/// A key that decodes to 32 bytes.
inline constexpr const char* kKey = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";

/// A configuration the whole bring-up accepts, with its endpoint, address and
/// DNS lines replaceable.
inline std::string tunnelConfig(const std::string& endpoint = "203.0.113.5:51820",
                                const std::string& extraInterface =
                                    "Address = 10.8.0.2/32\n"
                                    "DNS = 1.1.1.1, 8.8.8.8\n"
                                    "MTU = 1380\n",
                                const std::string& extraPeer = "AllowedIPs = 0.0.0.0/0\n") {
  return std::string("[Interface]\nPrivateKey = ") + kKey + "\n" + extraInterface +
         "\n[Peer]\nPublicKey = " + kKey + "\nEndpoint = " + endpoint + "\n" + extraPeer;
}

/// The IPv4 space without 203.0.113.5, the default server: the routes of a full tunnel
/// through the tunnel, shortest first.
inline const std::vector<std::string> kRoutesAroundServer = {
    "0.0.0.0/1",       "128.0.0.0/2",     "224.0.0.0/3",     "208.0.0.0/4",    "192.0.0.0/5",
    "204.0.0.0/6",     "200.0.0.0/7",     "202.0.0.0/8",     "203.128.0.0/9",  "203.64.0.0/10",
    "203.32.0.0/11",   "203.16.0.0/12",   "203.8.0.0/13",    "203.4.0.0/14",   "203.2.0.0/15",
    "203.1.0.0/16",    "203.0.128.0/17",  "203.0.0.0/18",    "203.0.64.0/19",  "203.0.96.0/20",
    "203.0.120.0/21",  "203.0.116.0/22",  "203.0.114.0/23",  "203.0.112.0/24", "203.0.113.128/25",
    "203.0.113.64/26", "203.0.113.32/27", "203.0.113.16/28", "203.0.113.8/29", "203.0.113.0/30",
    "203.0.113.6/31",  "203.0.113.4/32"};

/// The route calls that add each of `prefixes` through `iface`.
inline std::vector<std::vector<std::string>> tunnelRouteCalls(
    const std::vector<std::string>& prefixes, const std::string& iface = "utun7") {
  std::vector<std::vector<std::string>> calls;
  for (const std::string& prefix : prefixes) {
    const bool v6 = prefix.find(':') != std::string::npos;
    calls.push_back(
        {"route", "-q", "-n", "add", v6 ? "-inet6" : "-inet", prefix, "-interface", iface});
  }
  return calls;
}

/// As the bring-up adds them: each route call followed by the look-up of its first address.
inline std::vector<std::vector<std::string>> checkedTunnelRouteCalls(
    const std::vector<std::string>& prefixes, const std::string& iface = "utun7") {
  std::vector<std::vector<std::string>> calls;
  for (const auto& add : tunnelRouteCalls(prefixes, iface)) {
    calls.push_back(add);
    const std::string& prefix = add[5];
    std::vector<std::string> get = {"route", "-n", "get"};
    if (add[4] == "-inet6") get.emplace_back("-inet6");
    get.push_back(prefix.substr(0, prefix.find('/')));
    calls.push_back(get);
  }
  return calls;
}

/// The reject routes that keep IPv6 off the other links while IPv4 is all tunneled.
inline std::vector<std::vector<std::string>> rejectRouteCalls(const std::string& verb) {
  std::vector<std::vector<std::string>> calls;
  for (const char* half : {"::/1", "8000::/1"}) {
    calls.push_back({"route", "-q", "-n", verb, "-inet6", half, "::1"});
    if (verb == "add") calls.back().push_back("-reject");
  }
  return calls;
}

/// The result of a start or stop request.
struct Result {
  bool ok = false;
  std::optional<std::string> error;
  bool operator==(const Result&) const = default;
};

/// The result of a status request.
struct Status {
  bool active = false;
  std::uint64_t rx = 0;
  std::uint64_t tx = 0;
  bool operator==(const Status&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Result& r) {
  return out << "(" << r.ok << ", " << r.error.value_or("nothing") << ")";
}
inline std::ostream& operator<<(std::ostream& out, const Status& s) {
  return out << "(" << s.active << ", " << s.rx << ", " << s.tx << ")";
}

class TunnelTest : public ::testing::Test {
 public:
  using Calls = std::vector<std::vector<std::string>>;

  TunnelTest() {
    settings.runDir = dir.file("run");
    settings.logPath = dir.file("helper.log");
    settings.daemonLogPath = dir.file("awg.log");
    settings.daemonPath = ZORVIK_BUILD_DIR "/fake_awg";
    settings.interfaceNameWait = 10s;
    settings.socketWait = 10s;
    settings.pollInterval = 10ms;
    settings.uapiTimeout = 5s;
    settings.logSink = sink;
    // Never the host's routing socket: its changes would add tool calls.
    settings.routeWatch = routeWatches.starter();
    tools.applyTo(settings);
    setFakeDaemon("FAKE_AWG_RUN_DIR", settings.runDir);
    setFakeDaemon("FAKE_AWG_RECORD", dir.file("uapi-requests"));
    // A safety net only: no fake daemon outlives a broken test by long.
    setFakeDaemon("FAKE_AWG_EXIT_AFTER_MS", "120000");
  }

  ~TunnelTest() override {
    if (service) {
      stop();
      service.reset();
    }
    for (const auto& name : fakeDaemonVariables) ::unsetenv(name.c_str());
  }

  /// Builds the service from `settings`; call after changing them.
  HelperService& make() {
    if (gatewayOutput) tools.on("route", {"-n", "get", "default"}, *gatewayOutput);
    service = std::make_shared<HelperService>(settings);
    return *service;
  }
  HelperService& svc() {
    if (!service) make();
    return *service;
  }
  /// The steps and fields behind the service's face.
  HelperServiceAccess inside() { return HelperServiceAccess(svc()); }

  /// Sets an environment variable that the daemon inherits, for this test only.
  void setFakeDaemon(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
    fakeDaemonVariables.push_back(name);
  }

  /// Runs `work` on the service's queue and returns its result.
  template <typename Work>
  auto onQueue(Work work) {
    using R = decltype(work());
    std::packaged_task<R()> task(std::move(work));
    auto done = task.get_future();
    inside().queue().async([&task] { task(); });
    if (done.wait_for(60s) != std::future_status::ready) {
      ADD_FAILURE() << "queue work did not finish";
      std::abort();
    }
    return done.get();
  }

  Result start(const std::string& config) {
    std::promise<Result> answered;
    svc().startTunnel(config, [&](bool ok, std::optional<std::string> error) {
      answered.set_value({ok, std::move(error)});
    });
    return await(answered.get_future());
  }
  Result stop() {
    std::promise<Result> answered;
    svc().stopTunnel([&](bool ok, std::optional<std::string> error) {
      answered.set_value({ok, std::move(error)});
    });
    return await(answered.get_future());
  }
  Status status() {
    std::promise<Status> answered;
    svc().status(
        [&](bool active, std::uint64_t rx, std::uint64_t tx, std::optional<std::uint64_t> age) {
          // Before the value: the waiting test reads it as soon as the future is ready.
          lastHandshakeAge = age;
          answered.set_value({active, rx, tx});
        });
    return await(answered.get_future());
  }

  /// The running daemon's process object, taken on the queue.
  std::shared_ptr<DaemonProcess> daemon() {
    return onQueue([this] { return inside().proc(); });
  }

  /// The helper log file's messages, without their timestamps.
  std::vector<std::string> helperLog() const {
    std::vector<std::string> out;
    std::ifstream in(settings.logPath);
    for (std::string line; std::getline(in, line);) {
      auto close = line.find("] ");
      out.push_back(close == std::string::npos ? line : line.substr(close + 2));
    }
    return out;
  }

  /// How often `message` stands in the helper log.
  int helperLogCount(const std::string& message) const {
    int n = 0;
    for (const auto& line : helperLog()) n += line == message;
    return n;
  }

  /// Waits, bounded, until `message` stands in the helper log.
  bool waitForHelperLog(const std::string& message) const {
    for (int i = 0; i < 1000; ++i) {
      if (helperLogCount(message) > 0) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  /// The pid of the latest daemon launch, from the helper log.
  std::string lastDaemonPid() const {
    std::string pid;
    for (const auto& line : helperLog()) {
      if (line.rfind("amneziawg-go pid=", 0) == 0) pid = line.substr(17);
    }
    return pid;
  }

  /// The UAPI requests the fake daemon recorded, in order.
  std::vector<std::string> uapiRequests() const {
    std::ifstream in(dir.file("uapi-requests"), std::ios::binary);
    std::vector<std::string> out;
    std::string header;
    while (std::getline(in, header)) {
      std::size_t length = std::stoul(header.substr(header.find(' ') + 1));
      std::string request(length, '\0');
      in.read(request.data(), static_cast<std::streamsize>(length));
      in.ignore(1);
      out.push_back(request);
    }
    return out;
  }

  /// The service's system log records at `level`, messages only.
  std::vector<std::string> systemLog(LogLevel level) const {
    std::vector<std::string> out;
    for (const auto& r : sink->records()) {
      EXPECT_EQ(r.subsystem, "com.zorvik.vpn.helper");
      EXPECT_EQ(r.category, "tunnel");
      if (r.level == level) out.push_back(r.message);
    }
    return out;
  }

  /// Expects every tunnel field at its idle value.
  void expectIdle() {
    onQueue([this] {
      EXPECT_EQ(inside().proc(), nullptr);
      EXPECT_EQ(inside().tunnel().iface, std::nullopt);
      EXPECT_EQ(inside().tunnel().sockPath, std::nullopt);
      EXPECT_EQ(inside().tunnel().endpointIP, std::nullopt);
      EXPECT_EQ(inside().tunnel().savedGateway, std::nullopt);
      EXPECT_TRUE(inside().tunnel().dnsBackup.empty());
      EXPECT_TRUE(inside().tunnel().ipv6Disabled.empty());
      EXPECT_FALSE(inside().tunnel().active);
      return 0;
    });
  }

  TempDir dir;
  FakeTools tools;
  FakeRouteWatches routeWatches;
  /// What "route -n get default" prints; set before the service is made.
  std::optional<std::string> gatewayOutput =
      "   route to: default\ndestination: default\n    gateway: 192.168.1.1\n";
  std::shared_ptr<MemoryLogSink> sink = std::make_shared<MemoryLogSink>();
  HelperSettings settings;
  std::shared_ptr<HelperService> service;
  /// The handshake age of the last status reply.
  std::optional<std::uint64_t> lastHandshakeAge;

 private:
  template <typename T>
  static T await(std::future<T> answered) {
    if (answered.wait_for(60s) != std::future_status::ready) {
      ADD_FAILURE() << "no reply";
      std::abort();
    }
    return answered.get();
  }

  std::vector<std::string> fakeDaemonVariables;
};

}  // namespace zorvik::test_support

// Start, status and stop of a whole tunnel against the fake daemon and tools.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "config/uapi_request.h"
#include "testing/tunnel_fixture.h"
#include "testing/unix_socket.h"

namespace zorvik::test_support {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

void describeHost(FakeTools& tools) {
  tools.simulateServices({{"Wi-Fi", {}, "Automatic"},
                          {"Bluetooth PAN", {}, "Automatic", false},
                          {"USB LAN", {"10.0.0.53", "10.0.0.54"}, "Off"}});
}

class TunnelStart : public TunnelTest {};

TEST_F(TunnelStart, BringsTheTunnelUpReportsItsCountersAndTakesItDown) {
  describeHost(tools);
  setFakeDaemon("FAKE_AWG_RX_BYTES", "1234");
  setFakeDaemon("FAKE_AWG_TX_BYTES", "5678");
  const std::string config = tunnelConfig();

  ASSERT_EQ(start(config), (Result{true, std::nullopt}));

  Calls expected = {{"route", "-n", "get", "default"},
                    {"ifconfig", "utun7", "inet", "10.8.0.2", "10.8.0.2", "alias"},
                    {"ifconfig", "utun7", "mtu", "1380"},
                    {"ifconfig", "utun7", "up"},
                    {"route", "-q", "-n", "add", "-inet", "203.0.113.5/32", "192.168.1.1"}};
  for (const auto& call : checkedTunnelRouteCalls(kRoutesAroundServer)) expected.push_back(call);
  for (const auto& call : rejectRouteCalls("add")) expected.push_back(call);
  for (const auto& call : Calls{{"networksetup", "-listallnetworkservices"},
                                {"networksetup", "-getdnsservers", "Wi-Fi"},
                                {"networksetup", "-listnetworkserviceorder"},
                                {"networksetup", "-setdnsservers", "Wi-Fi", "1.1.1.1", "8.8.8.8"},
                                {"networksetup", "-getdnsservers", "Wi-Fi"},
                                {"networksetup", "-getdnsservers", "USB LAN"},
                                {"networksetup", "-setdnsservers", "USB LAN", "1.1.1.1", "8.8.8.8"},
                                {"networksetup", "-getdnsservers", "USB LAN"},
                                {"networksetup", "-listallnetworkservices"},
                                {"networksetup", "-getinfo", "Wi-Fi"},
                                {"networksetup", "-setv6off", "Wi-Fi"},
                                {"networksetup", "-getinfo", "USB LAN"}})
    expected.push_back(call);
  EXPECT_EQ(tools.calls(), expected);

  // The daemon got the configured keys with the resolved endpoint.
  TunnelConfig parsed = parseTunnelConfig(config);
  EXPECT_THAT(uapiRequests(),
              ElementsAre(makeUAPISetRequest(parsed.interface, parsed.peer, "203.0.113.5:51820")));

  auto daemon = this->daemon();
  ASSERT_NE(daemon, nullptr);
  EXPECT_TRUE(daemon->isRunning());
  onQueue([&] {
    EXPECT_TRUE(inside().tunnel().active);
    EXPECT_EQ(inside().tunnel().iface, "utun7");
    EXPECT_EQ(inside().tunnel().sockPath, settings.runDir + "/utun7.sock");
    EXPECT_EQ(inside().tunnel().endpointIP, "203.0.113.5");
    EXPECT_EQ(inside().tunnel().savedGateway, "192.168.1.1");
    EXPECT_EQ(inside().tunnel().dnsBackup,
              (std::map<std::string, std::string>{{"Wi-Fi", "empty"},
                                                  {"USB LAN", "10.0.0.53\n10.0.0.54"}}));
    EXPECT_THAT(inside().tunnel().ipv6Disabled, ElementsAre("Wi-Fi"));
    EXPECT_EQ(
        inside().tunnel().serviceIdentities,
        (std::map<std::string, std::string>{{"Wi-Fi", "Hardware Port: Wi-Fi, Device: "},
                                            {"USB LAN", "Hardware Port: USB LAN, Device: "}}));
    return 0;
  });

  const std::string pid = std::to_string(daemon->pid());
  const std::vector<std::string> upLines = {
      "запускаю " + settings.daemonPath,
      "amneziawg-go pid=" + pid,
      "utun=utun7; ищу UAPI-сокет в " + settings.runDir,
      "сокет готов: " + settings.runDir + "/utun7.sock",
      "туннель поднят на utun7 → 203.0.113.5",
  };
  EXPECT_EQ(helperLog(), upLines);
  EXPECT_EQ(systemLog(LogLevel::info), upLines);
  EXPECT_THAT(systemLog(LogLevel::error), IsEmpty());

  EXPECT_EQ(status(), (Status{true, 1234, 5678}));

  tools.clearCalls();
  ASSERT_EQ(stop(), (Result{true, std::nullopt}));
  Calls calls = tools.calls();
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_THAT(calls[0],
              ElementsAre("route", "-q", "-n", "delete", "-inet", "203.0.113.5/32", "192.168.1.1"));
  EXPECT_EQ(Calls(calls.begin() + 1, calls.begin() + 3), rejectRouteCalls("delete"));
  // Where each backup's service is now, before anything is put back.
  EXPECT_THAT(calls[3], ElementsAre("networksetup", "-listnetworkserviceorder"));
  EXPECT_THAT(Calls(calls.begin() + 4, calls.begin() + 6),
              UnorderedElementsAre(ElementsAre("networksetup", "-setdnsservers", "Wi-Fi", "Empty"),
                                   ElementsAre("networksetup", "-setdnsservers", "USB LAN",
                                               "10.0.0.53", "10.0.0.54")));
  EXPECT_THAT(calls[6], ElementsAre("networksetup", "-setv6automatic", "Wi-Fi"));
  expectIdle();

  // Asked to terminate, not waited for; its exit is logged when it comes.
  ASSERT_TRUE(daemon->waitUntilFinished(10s));
  EXPECT_EQ(DaemonProcessAccess::terminateRequestsSent(*daemon), 1);
  EXPECT_EQ(daemon->terminationReason(), DaemonProcess::normalExit);
  EXPECT_TRUE(waitForHelperLog("amneziawg-go завершился: код=0 reason=1"));
  // The teardown's line reaches the system log only.
  EXPECT_EQ(helperLogCount("туннель опущен, конфигурация восстановлена"), 0);
  auto info = systemLog(LogLevel::info);
  EXPECT_EQ(std::count(info.begin(), info.end(), "туннель опущен, конфигурация восстановлена"), 1);

  EXPECT_EQ(status(), (Status{false, 0, 0}));
}

TEST_F(TunnelStart, AHostNameEndpointIsReplacedByItsAddressEverywhere) {
  ASSERT_EQ(start(tunnelConfig("localhost:51820")), (Result{true, std::nullopt}));
  EXPECT_THAT(
      tools.callsOf("route"),
      ::testing::Contains(ElementsAre("-q", "-n", "add", "-inet", "127.0.0.1/32", "192.168.1.1")));
  auto requests = uapiRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(requests[0].find("\nendpoint=127.0.0.1:51820\n"), std::string::npos) << requests[0];
  EXPECT_EQ(helperLog().back(), "туннель поднят на utun7 → 127.0.0.1");
  EXPECT_EQ(onQueue([&] { return inside().tunnel().endpointIP; }), "127.0.0.1");
}

using Calls = TunnelTest::Calls;

Calls joined(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(TunnelStart, InterfaceRoutesAndDNSFollowTheConfiguration) {
  const Calls hostRoute = {{"route", "-q", "-n", "add", "-inet", "203.0.113.5/32", "192.168.1.1"}};
  const Calls full = checkedTunnelRouteCalls(kRoutesAroundServer);
  const Calls rejected = rejectRouteCalls("add");
  const Calls ipv6Address = {{"ifconfig", "utun7", "inet6", "fd00::2", "prefixlen", "64", "alias"}};
  struct Case {
    std::string name;
    std::string interfaceLines;
    std::string peerLines;
    std::string mtu;
    Calls afterUp;  // the interface's IPv6 addresses and the routes
  };
  for (const Case& c : {
           Case{"defaults", "Address = 10.8.0.2/32\n", "", "1420",
                joined({hostRoute, full, rejected})},
           Case{"word MTU", "Address = 10.8.0.2/32\nMTU = big\n", "", "1420",
                joined({hostRoute, full, rejected})},
           // With an address of its own, IPv6 goes through the tunnel: nothing to refuse.
           Case{"dual stack", "Address = fd00::2/64, 10.8.0.2/32\n",
                "AllowedIPs = ::/0, 0.0.0.0/0\n", "1420",
                joined(
                    {ipv6Address, hostRoute, full, checkedTunnelRouteCalls({"::/1", "8000::/1"})})},
           // Without one, IPv6 reaches only the daemon, and is refused on the host.
           Case{"IPv6 ranges without an IPv6 address", "Address = 10.8.0.2/32\n",
                "AllowedIPs = fd00::/64, 0.0.0.0/1, 128.0.0.0/1\n", "1420",
                joined({hostRoute, full, rejected})},
           Case{"split", "Address = 10.8.0.2/32\nMTU = 1280\n",
                "AllowedIPs = 10.0.0.0/8, 192.168.0.0/16, 10.0.0.0/8\n", "1280",
                joined({hostRoute, checkedTunnelRouteCalls({"10.0.0.0/8", "192.168.0.0/16"})})},
           Case{"split with an IPv6 address", "Address = 10.8.0.2/32, fd00::2/64\n",
                "AllowedIPs = 10.77.0.0/24, fd00::/64\n", "1420",
                joined({ipv6Address, hostRoute,
                        checkedTunnelRouteCalls({"10.77.0.0/24", "fd00::/64"})})},
           Case{"empty allowed", "Address = 10.8.0.2/32\n", "AllowedIPs =\n", "1420", hostRoute},
       }) {
    SCOPED_TRACE(c.name);
    tools.clearCalls();
    ASSERT_EQ(start(tunnelConfig("203.0.113.5:51820", c.interfaceLines, c.peerLines)),
              (Result{true, std::nullopt}));
    // No DNS line: only the IPv6 step lists the services.
    const Calls expected = joined({{{"route", "-n", "get", "default"},
                                    {"ifconfig", "utun7", "inet", "10.8.0.2", "10.8.0.2", "alias"},
                                    {"ifconfig", "utun7", "mtu", c.mtu},
                                    {"ifconfig", "utun7", "up"}},
                                   c.afterUp,
                                   {{"networksetup", "-listallnetworkservices"}}});
    EXPECT_EQ(tools.calls(), expected);
    // The next daemon takes the same interface name: let this one remove its socket first.
    auto daemon = this->daemon();
    ASSERT_EQ(stop(), (Result{true, std::nullopt}));
    ASSERT_TRUE(daemon->waitUntilFinished(10s));
  }
}

// Another daemon's socket, live, in the run directory while ours is not there yet: it is
// never connected to, and ours is configured once it listens.
TEST_F(TunnelStart, AnotherDaemonsSocketIsNeverTaken) {
  std::filesystem::create_directories(settings.runDir);
  UniqueFd other = bindUnixSocket(settings.runDir + "/utun9.sock");
  setFakeDaemon("FAKE_AWG_SOCKET_DELAY_MS", "300");
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  EXPECT_EQ(onQueue([this] { return inside().tunnel().sockPath; }),
            settings.runDir + "/utun7.sock");
  EXPECT_EQ(uapiRequests().size(), 1u) << "our daemon got the configuration";
  ASSERT_EQ(::fcntl(other.get(), F_SETFL, O_NONBLOCK), 0);
  EXPECT_EQ(::accept(other.get(), nullptr, nullptr), -1) << "the other socket was connected to";
  EXPECT_EQ(errno, EAGAIN);
}

// A socket of our interface's name whose listener is not our daemon (one still dying from an
// earlier start, say): waited past, never sent a byte, and ours configured once it takes the
// name.
TEST_F(TunnelStart, ASocketOfOurNameHeldByAnotherProcessIsWaitedPast) {
  std::filesystem::create_directories(settings.runDir);
  const std::string path = settings.runDir + "/utun7.sock";
  UniqueFd other = bindUnixSocket(path);
  setFakeDaemon("FAKE_AWG_SOCKET_DELAY_MS", "300");
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  EXPECT_EQ(onQueue([this] { return inside().tunnel().sockPath; }), path);
  EXPECT_EQ(uapiRequests().size(), 1u) << "our daemon got the configuration";
  EXPECT_EQ(
      helperLogCount("сокет " + path + " слушает чужой процесс pid=" + std::to_string(::getpid()) +
                     ", жду сокет amneziawg-go pid=" + lastDaemonPid()),
      1);
  ASSERT_EQ(::fcntl(other.get(), F_SETFL, O_NONBLOCK), 0);
  for (int accepted; (accepted = ::accept(other.get(), nullptr, nullptr)) >= 0;) {
    UniqueFd connection(accepted);
    char byte = 0;
    EXPECT_EQ(::read(connection.get(), &byte, 1), 0) << "the other socket was sent a request";
  }
}

}  // namespace
}  // namespace zorvik::test_support

// The tunnel while the network changes under it: the host route follows the
// default gateway, and services that come later get the tunnel's DNS and IPv6
// treatment. The watch's reports are made by hand (FakeRouteWatches).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "service/tunnel_journal.h"
#include "testing/tunnel_fixture.h"

namespace zorvik::test_support {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RoamingTest : public TunnelTest {
 protected:
  /// From now on "route -n get default" prints `routeOutput`, "route -n get" of the
  /// server `serverRouteOutput`, and the services are `services`.
  void networkIs(const std::string& routeOutput, const std::vector<SimulatedService>& services,
                 const std::string& serverRouteOutput = hostRoute("192.168.1.1", "en0")) {
    tools.clearRules();
    tools.on("route", {"-n", "get", "default"}, routeOutput);
    tools.on("route", {"-n", "get", "203.0.113.5"}, serverRouteOutput);
    tools.simulateServices(services);
  }
  static std::string hostRoute(const std::string& gateway, const std::string& interface) {
    return "   route to: 203.0.113.5\ndestination: 203.0.113.5\n    gateway: " + gateway +
           "\n  interface: " + interface + "\n      flags: <UP,GATEWAY,HOST,DONE,STATIC>\n";
  }
  /// A change reported as the watch's thread reports it, and its handling finished.
  void reportChange() {
    routeWatches.report();
    onQueue([] { return 0; });
  }

  const SimulatedService wifi{"Wi-Fi", {}, "Automatic"};
};

std::string defaultRoute(const std::string& gateway, const std::string& interface) {
  return "   route to: default\ndestination: default\n    gateway: " + gateway +
         "\n  interface: " + interface + "\n";
}

TEST_F(RoamingTest, TheHostRouteFollowsTheGatewayAndStaysWhenThereIsNoneOutsideTheTunnel) {
  tools.simulateServices({wifi});
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  ASSERT_TRUE(routeWatches.watching());
  EXPECT_EQ(routeWatches.ignoredInterface(), "utun7");

  tools.clearCalls();
  networkIs(defaultRoute("192.168.2.1", "en1"), {wifi});
  reportChange();
  EXPECT_THAT(
      tools.callsOf("route"),
      ElementsAre(ElementsAre("-n", "get", "default"),
                  ElementsAre("-q", "-n", "delete", "-inet", "203.0.113.5/32", "192.168.1.1"),
                  ElementsAre("-q", "-n", "add", "-inet", "203.0.113.5/32", "192.168.2.1")));
  EXPECT_EQ(readTunnelJournal(settings.journalPath).journal.savedGateway, "192.168.2.1");
  EXPECT_EQ(helperLogCount("шлюз сменился: 192.168.1.1 → 192.168.2.1, маршрут к серверу перенесён"),
            1);

  // Through the tunnel, then none at all: one record for the whole stretch, no route change.
  const std::string noGateway = "нет маршрута по умолчанию вне туннеля, маршрут к серверу оставлен";
  tools.clearCalls();
  networkIs(defaultRoute("10.8.0.1", "utun7"), {wifi});
  reportChange();
  reportChange();
  networkIs("route: writing to routing socket: not in table\n", {wifi});
  reportChange();
  EXPECT_THAT(tools.callsOf("route"),
              ElementsAre(ElementsAre("-n", "get", "default"), ElementsAre("-n", "get", "default"),
                          ElementsAre("-n", "get", "default")));
  EXPECT_EQ(helperLogCount(noGateway), 1);

  // Back on the same gateway: nothing to move; losing it again is logged again.
  networkIs(defaultRoute("192.168.2.1", "en1"), {wifi}, hostRoute("192.168.2.1", "en1"));
  reportChange();
  networkIs(defaultRoute("10.8.0.1", "utun7"), {wifi});
  reportChange();
  EXPECT_EQ(helperLogCount(noGateway), 2);

  tools.clearCalls();
  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  EXPECT_FALSE(routeWatches.watching());
  EXPECT_THAT(
      tools.callsOf("route"),
      ElementsAre(ElementsAre("-q", "-n", "delete", "-inet", "203.0.113.5/32", "192.168.2.1"),
                  ElementsAre("-q", "-n", "delete", "-inet6", "::/1", "::1"),
                  ElementsAre("-q", "-n", "delete", "-inet6", "8000::/1", "::1")));
  // A report that was on its way when the watch stopped changes nothing.
  tools.clearCalls();
  networkIs(defaultRoute("192.168.3.1", "en2"), {wifi});
  reportChange();
  EXPECT_THAT(tools.calls(), IsEmpty());
}

// Wi-Fi to Ethernet on one network: the same gateway behind another interface.
TEST_F(RoamingTest, TheSameGatewayBehindAnotherInterfaceIsAMoveToo) {
  networkIs(defaultRoute("192.168.1.1", "en0"), {wifi});
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  tools.clearCalls();
  reportChange();
  EXPECT_THAT(tools.callsOf("route"), ElementsAre(ElementsAre("-n", "get", "default"),
                                                  ElementsAre("-n", "get", "203.0.113.5")));

  networkIs(defaultRoute("192.168.1.1", "en5"), {wifi}, hostRoute("192.168.1.1", "en5"));
  tools.clearCalls();
  reportChange();
  EXPECT_THAT(
      tools.callsOf("route"),
      ElementsAre(ElementsAre("-n", "get", "default"),
                  ElementsAre("-q", "-n", "delete", "-inet", "203.0.113.5/32", "192.168.1.1"),
                  ElementsAre("-q", "-n", "add", "-inet", "203.0.113.5/32", "192.168.1.1")));
  EXPECT_EQ(helperLogCount("шлюз 192.168.1.1 теперь за en5, маршрут к серверу перенесён"), 1);
  tools.clearCalls();
  reportChange();
  EXPECT_THAT(tools.callsOf("route"), ElementsAre(ElementsAre("-n", "get", "default"),
                                                  ElementsAre("-n", "get", "203.0.113.5")));
}

// A link that drops and comes back with the same gateway: the kernel took the host
// route with it, and the server is now reached through the tunnel itself.
TEST_F(RoamingTest, AHostRouteGoneWithItsLinkIsAddedAgainThroughTheSameGateway) {
  const std::string route = defaultRoute("192.168.1.1", "en0");
  networkIs(route, {wifi});
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  const std::string restored = "маршрут к серверу восстановлен через 192.168.1.1";
  const auto getAndAdd =
      ElementsAre(ElementsAre("-n", "get", "default"), ElementsAre("-n", "get", "203.0.113.5"),
                  ElementsAre("-q", "-n", "add", "-inet", "203.0.113.5/32", "192.168.1.1"));

  const std::vector<std::string> lost = {
      // Through the tunnel's half-space route, as macOS shows an interface route.
      "   route to: 203.0.113.5\ndestination: 0.0.0.0\n       mask: 128.0.0.0\n"
      "  interface: utun7\n      flags: <UP,DONE,STATIC>\n",
      // Through the tunnel with a gateway shown.
      hostRoute("10.8.0.1", "utun7"),
      // No route at all.
      "route: writing to routing socket: not in table\n"};
  for (std::size_t i = 0; i < lost.size(); ++i) {
    networkIs(route, {wifi}, lost[i]);
    std::filesystem::remove(settings.journalPath);
    tools.clearCalls();
    reportChange();
    EXPECT_THAT(tools.callsOf("route"), getAndAdd) << lost[i];
    // The route is on record again.
    const TunnelJournalRead read = readTunnelJournal(settings.journalPath);
    EXPECT_EQ(read.outcome, TunnelJournalRead::found) << lost[i];
    EXPECT_EQ(read.journal.savedGateway, "192.168.1.1");
    EXPECT_EQ(read.journal.endpointIP, "203.0.113.5");
    EXPECT_EQ(helperLogCount(restored), static_cast<int>(i + 1));
  }

  // Back where it belongs: only looked at.
  networkIs(route, {wifi});
  tools.clearCalls();
  reportChange();
  EXPECT_THAT(tools.callsOf("route"), ElementsAre(ElementsAre("-n", "get", "default"),
                                                  ElementsAre("-n", "get", "203.0.113.5")));
  EXPECT_EQ(helperLogCount(restored), 3);
}

TEST_F(RoamingTest, AServiceEnabledWhileUpGetsTheTunnelsDNSAndIPv6AndItsOwnBackAtStop) {
  const std::string route = defaultRoute("192.168.1.1", "en0");
  networkIs(route, {wifi, {"USB LAN", {"192.0.2.53"}, "Automatic", false}});
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));

  tools.clearCalls();
  networkIs(route, {wifi, {"USB LAN", {"192.0.2.53"}, "Automatic", true}});
  reportChange();
  EXPECT_THAT(
      tools.callsOf("networksetup"),
      ElementsAre(ElementsAre("-listallnetworkservices"), ElementsAre("-getdnsservers", "USB LAN"),
                  ElementsAre("-setdnsservers", "USB LAN", "1.1.1.1", "8.8.8.8"),
                  ElementsAre("-listallnetworkservices"), ElementsAre("-getinfo", "USB LAN"),
                  ElementsAre("-setv6off", "USB LAN")));
  EXPECT_THAT(tools.callsOf("route"), ElementsAre(ElementsAre("-n", "get", "default"),
                                                  ElementsAre("-n", "get", "203.0.113.5")));
  const TunnelRecord journal = readTunnelJournal(settings.journalPath).journal;
  EXPECT_EQ(journal.dnsBackup.at("USB LAN"), "192.0.2.53");
  EXPECT_THAT(journal.ipv6Disabled, ElementsAre("Wi-Fi", "USB LAN"));

  // Everything handled already: only looked at again.
  tools.clearCalls();
  reportChange();
  EXPECT_THAT(tools.callsOf("networksetup"), ElementsAre(ElementsAre("-listallnetworkservices"),
                                                         ElementsAre("-listallnetworkservices")));

  tools.clearCalls();
  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  EXPECT_THAT(tools.callsOf("networksetup"),
              ElementsAre(ElementsAre("-setdnsservers", "USB LAN", "192.0.2.53"),
                          ElementsAre("-setdnsservers", "Wi-Fi", "Empty"),
                          ElementsAre("-setv6automatic", "Wi-Fi"),
                          ElementsAre("-setv6automatic", "USB LAN")));
}

}  // namespace
}  // namespace zorvik::test_support

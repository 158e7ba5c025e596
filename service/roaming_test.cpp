// The tunnel while the network changes under it: the host route follows the
// default gateway, and services that come later get the tunnel's DNS and IPv6
// treatment. The watch's reports are made by hand (FakeRouteWatches).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "netsys/command_runner.h"
#include "netsys/tunnel_network.h"
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
  void reportChange(bool tunnelTouched = true) {
    routeWatches.report(tunnelTouched);
    onQueue([] { return 0; });
  }

  /// A split tunnel: one route through utun7 to look at on each change.
  static std::string config(const std::string& extraInterface =
                                "Address = 10.8.0.2/32\n"
                                "DNS = 1.1.1.1, 8.8.8.8\n") {
    return tunnelConfig("203.0.113.5:51820", extraInterface, "AllowedIPs = 10.0.0.0/8\n");
  }
  /// Runs a fake tool as another program on the Mac would.
  void someoneRuns(const std::string& tool, const std::vector<std::string>& arguments) {
    ASSERT_EQ(runTool(tools.path(tool), arguments), 0);
  }

  const SimulatedService wifi{"Wi-Fi", {}, "Automatic"};
};

// The look-up of the tunnel's one route at each change.
const auto kTunnelRouteLookup = ElementsAre("-n", "get", "10.0.0.0");

std::string defaultRoute(const std::string& gateway, const std::string& interface) {
  return "   route to: default\ndestination: default\n    gateway: " + gateway +
         "\n  interface: " + interface + "\n";
}

TEST_F(RoamingTest, TheHostRouteFollowsTheGatewayAndStaysWhenThereIsNoneOutsideTheTunnel) {
  tools.simulateServices({wifi});
  ASSERT_EQ(start(config()), (Result{true, std::nullopt}));
  ASSERT_TRUE(routeWatches.watching());
  EXPECT_EQ(routeWatches.ignoredInterface(), "utun7");

  tools.clearCalls();
  networkIs(defaultRoute("192.168.2.1", "en1"), {wifi});
  reportChange();
  EXPECT_THAT(
      tools.callsOf("route"),
      ElementsAre(ElementsAre("-n", "get", "default"),
                  ElementsAre("-q", "-n", "delete", "-inet", "203.0.113.5/32", "192.168.1.1"),
                  ElementsAre("-q", "-n", "add", "-inet", "203.0.113.5/32", "192.168.2.1"),
                  kTunnelRouteLookup));
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
  // Nothing through the tunnel among the changes: its routes are not looked for.
  reportChange(false);
  EXPECT_THAT(tools.callsOf("route"),
              ElementsAre(ElementsAre("-n", "get", "default"), kTunnelRouteLookup,
                          ElementsAre("-n", "get", "default"), kTunnelRouteLookup,
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
  EXPECT_THAT(tools.callsOf("route"), ElementsAre(ElementsAre("-q", "-n", "delete", "-inet",
                                                              "203.0.113.5/32", "192.168.2.1")));
  // A report that was on its way when the watch stopped changes nothing.
  tools.clearCalls();
  networkIs(defaultRoute("192.168.3.1", "en2"), {wifi});
  reportChange();
  EXPECT_THAT(tools.calls(), IsEmpty());
}

// Wi-Fi to Ethernet on one network: the same gateway behind another interface.
TEST_F(RoamingTest, TheSameGatewayBehindAnotherInterfaceIsAMoveToo) {
  networkIs(defaultRoute("192.168.1.1", "en0"), {wifi});
  ASSERT_EQ(start(config()), (Result{true, std::nullopt}));
  tools.clearCalls();
  reportChange();
  EXPECT_THAT(tools.callsOf("route"),
              ElementsAre(ElementsAre("-n", "get", "default"),
                          ElementsAre("-n", "get", "203.0.113.5"), kTunnelRouteLookup));

  networkIs(defaultRoute("192.168.1.1", "en5"), {wifi}, hostRoute("192.168.1.1", "en5"));
  tools.clearCalls();
  reportChange();
  EXPECT_THAT(
      tools.callsOf("route"),
      ElementsAre(ElementsAre("-n", "get", "default"),
                  ElementsAre("-q", "-n", "delete", "-inet", "203.0.113.5/32", "192.168.1.1"),
                  ElementsAre("-q", "-n", "add", "-inet", "203.0.113.5/32", "192.168.1.1"),
                  kTunnelRouteLookup));
  EXPECT_EQ(helperLogCount("шлюз 192.168.1.1 теперь за en5, маршрут к серверу перенесён"), 1);
  tools.clearCalls();
  reportChange();
  EXPECT_THAT(tools.callsOf("route"),
              ElementsAre(ElementsAre("-n", "get", "default"),
                          ElementsAre("-n", "get", "203.0.113.5"), kTunnelRouteLookup));
}

// A link that drops and comes back with the same gateway: the kernel took the host
// route with it, and the server is now reached through the tunnel itself.
TEST_F(RoamingTest, AHostRouteGoneWithItsLinkIsAddedAgainThroughTheSameGateway) {
  const std::string route = defaultRoute("192.168.1.1", "en0");
  networkIs(route, {wifi});
  ASSERT_EQ(start(config()), (Result{true, std::nullopt}));
  const std::string restored = "маршрут к серверу восстановлен через 192.168.1.1";
  const auto getAndAdd = ElementsAre(
      ElementsAre("-n", "get", "default"), ElementsAre("-n", "get", "203.0.113.5"),
      ElementsAre("-q", "-n", "add", "-inet", "203.0.113.5/32", "192.168.1.1"), kTunnelRouteLookup);

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
  EXPECT_THAT(tools.callsOf("route"),
              ElementsAre(ElementsAre("-n", "get", "default"),
                          ElementsAre("-n", "get", "203.0.113.5"), kTunnelRouteLookup));
  EXPECT_EQ(helperLogCount(restored), 3);
}

TEST_F(RoamingTest, AServiceEnabledWhileUpGetsTheTunnelsDNSAndIPv6AndItsOwnBackAtStop) {
  const std::string route = defaultRoute("192.168.1.1", "en0");
  const SimulatedService usbLAN{"USB LAN", {"192.0.2.53"}, "Automatic", true, {"lan.example"}};
  SimulatedService usbLANOff = usbLAN;
  usbLANOff.enabled = false;
  networkIs(route, {wifi, usbLANOff});
  ASSERT_EQ(start(config("Address = 10.8.0.2/32\nDNS = 1.1.1.1, 8.8.8.8 corp.example\n")),
            (Result{true, std::nullopt}));

  tools.clearCalls();
  networkIs(route, {wifi, usbLAN});
  reportChange();
  EXPECT_THAT(
      tools.callsOf("networksetup"),
      ElementsAre(ElementsAre("-listallnetworkservices"), ElementsAre("-getdnsservers", "USB LAN"),
                  ElementsAre("-listnetworkserviceorder"),
                  ElementsAre("-setdnsservers", "USB LAN", "1.1.1.1", "8.8.8.8"),
                  ElementsAre("-getdnsservers", "USB LAN"),
                  ElementsAre("-getsearchdomains", "USB LAN"),
                  ElementsAre("-setsearchdomains", "USB LAN", "corp.example"),
                  ElementsAre("-listallnetworkservices"), ElementsAre("-getinfo", "USB LAN"),
                  ElementsAre("-setv6off", "USB LAN")));
  EXPECT_THAT(tools.callsOf("route"),
              ElementsAre(ElementsAre("-n", "get", "default"),
                          ElementsAre("-n", "get", "203.0.113.5"), kTunnelRouteLookup));
  const TunnelRecord journal = readTunnelJournal(settings.journalPath).journal;
  EXPECT_EQ(journal.dnsBackup.at("USB LAN"), "192.0.2.53");
  EXPECT_EQ(journal.searchDomainsBackup,
            (std::map<std::string, std::string>{{"USB LAN", "lan.example"}, {"Wi-Fi", "empty"}}));
  EXPECT_THAT(journal.ipv6Disabled, ElementsAre("Wi-Fi", "USB LAN"));
  EXPECT_EQ(journal.serviceIdentities.at("USB LAN"), "Hardware Port: USB LAN, Device: ");

  // Everything handled already: only looked at again.
  tools.clearCalls();
  reportChange();
  EXPECT_THAT(tools.callsOf("networksetup"), ElementsAre(ElementsAre("-listallnetworkservices"),
                                                         ElementsAre("-listallnetworkservices")));

  tools.clearCalls();
  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  EXPECT_THAT(tools.callsOf("networksetup"),
              ElementsAre(ElementsAre("-listnetworkserviceorder"),
                          ElementsAre("-setdnsservers", "USB LAN", "192.0.2.53"),
                          ElementsAre("-setsearchdomains", "USB LAN", "lan.example"),
                          ElementsAre("-setdnsservers", "Wi-Fi", "Empty"),
                          ElementsAre("-setsearchdomains", "Wi-Fi", "Empty"),
                          ElementsAre("-setv6automatic", "Wi-Fi"),
                          ElementsAre("-setv6automatic", "USB LAN")));
}

// What the tunnel added, taken away under it: put back when the tool succeeds and logged
// truthfully; someone else's route to the server left alone; the interface gone, or what
// cannot be put back, ends the tunnel as a stop would.
TEST_F(RoamingTest, WhatTheTunnelAddedIsPutBackOrTheTunnelEnds) {
  const std::string route = defaultRoute("192.168.1.1", "en0");
  const std::string noHostRoute = "route: writing to routing socket: not in table\n";
  const std::vector<std::string> hostRouteAdd = {
      "-q", "-n", "add", "-inet", "203.0.113.5/32", "192.168.1.1"};
  const std::vector<std::string> tunnelRouteAdd = {"-q",         "-n",         "add",  "-inet",
                                                   "10.0.0.0/8", "-interface", "utun7"};
  struct Case {
    const char* name;
    std::function<void()> takeAway;
    std::vector<std::pair<std::string, int>> logged;  // and how often, after two reports
    bool up;                                          // afterwards
  };
  const Case cases[] = {
      {"the tunnel route deleted",
       [&] {
         someoneRuns("route", {"-q", "-n", "delete", "-inet", "10.0.0.0/8", "-interface", "utun7"});
       },
       {{"маршруты туннеля восстановлены: 1 через utun7", 1}},
       true},
      {"the host route deleted, and its add fails",
       [&] {
         networkIs(route, {wifi}, noHostRoute);
         tools.on("route", hostRouteAdd, "", 1);
       },
       {{"маршрут к серверу не восстановлен через 192.168.1.1", 2}},
       true},
      {"someone else's host route to the server",
       [&] { networkIs(route, {wifi}, hostRoute("192.168.1.254", "en0")); },
       {{"маршрут к серверу через 192.168.1.254 не наш, оставлен", 1}},
       true},
      {"the interface taken down",
       [&] {
         someoneRuns("ifconfig", {"utun7", "down"});
       },
       {{"интерфейс туннеля поднят снова: utun7", 1}},
       true},
      {"the interface gone",
       [&] { tools.on("ifconfig", {"utun7"}, "", 1); },
       {{"интерфейс туннеля пропал: utun7, туннель опущен", 1}},
       false},
      {"the tunnel route deleted, and its add fails",
       [&] {
         someoneRuns("route", {"-q", "-n", "delete", "-inet", "10.0.0.0/8", "-interface", "utun7"});
         tools.on("route", tunnelRouteAdd, "", 1);
       },
       {{"маршрут туннеля не восстановлен: 10.0.0.0/8, туннель опущен", 1}},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    networkIs(route, {wifi});
    ASSERT_EQ(start(config()), (Result{true, std::nullopt}));
    c.takeAway();
    reportChange();
    reportChange();
    for (const auto& [line, count] : c.logged) EXPECT_EQ(helperLogCount(line), count) << line;
    EXPECT_EQ(helperLogCount("маршрут к серверу восстановлен через 192.168.1.1"), 0);
    EXPECT_EQ(status().active, c.up);
    EXPECT_EQ(routeWatches.watching(), c.up);
    if (c.up) {
      EXPECT_EQ(tunnelRouteInPlace(settings.routeTool, "utun7", *parseIPPrefix("10.0.0.0/8")),
                true);
    } else {
      EXPECT_FALSE(std::filesystem::exists(settings.journalPath));
    }
    EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  }
}

}  // namespace
}  // namespace zorvik::test_support

#include "netsys/ipv6.h"

#include <gtest/gtest.h>

#include "testing/fake_tools.h"

namespace zorvik {
namespace {

using test_support::FakeTools;
using Calls = std::vector<std::vector<std::string>>;
using Names = std::vector<std::string>;

void listServices(FakeTools& tools) {
  tools.on("networksetup", {"-listallnetworkservices"},
           "An asterisk (*) denotes that a network service is disabled.\n"
           "Wi-Fi\nEthernet 2\nManual LAN\nOff LAN\nShouting LAN\n  *Disabled LAN\n");
  tools.on("networksetup", {"-getinfo", "Wi-Fi"},
           "DHCP Configuration\nIP address: 192.168.1.5\nIPv6: Automatic\nIPv6 IP address: none\n");
  tools.on("networksetup", {"-getinfo", "Ethernet 2"}, "IPv6: Automatic\n");
  tools.on("networksetup", {"-getinfo", "Manual LAN"}, "IPv6: Manual\nIPv6 IP address: fd00::2\n");
  tools.on("networksetup", {"-getinfo", "Off LAN"}, "IPv6: Off\n");
  tools.on("networksetup", {"-getinfo", "Shouting LAN"}, "IPv6: automatic\nIPV6: Automatic\n");
  tools.on("networksetup", {"-getinfo", "Disabled LAN"}, "IPv6: Automatic\n");
}

TEST(DisableIPv6, TurnsOffOnlyAutomaticServicesAndRecordsThem) {
  FakeTools tools;
  listServices(tools);
  tools.on("networksetup", {"-setv6off", "Ethernet 2"}, "failed\n", 1);
  Names disabled;
  disableIPv6(tools.networksetupPath(), disabled);

  EXPECT_EQ(tools.callsOf("networksetup"), (Calls{{"-listallnetworkservices"},
                                                  {"-getinfo", "Wi-Fi"},
                                                  {"-setv6off", "Wi-Fi"},
                                                  {"-getinfo", "Ethernet 2"},
                                                  {"-setv6off", "Ethernet 2"},
                                                  {"-getinfo", "Manual LAN"},
                                                  {"-getinfo", "Off LAN"},
                                                  {"-getinfo", "Shouting LAN"}}));
  EXPECT_EQ(disabled, (Names{"Wi-Fi", "Ethernet 2"})) << "a failed -setv6off is still recorded";
}

TEST(DisableIPv6, RecordsEachNameBeforeTurningItOff) {
  FakeTools tools;
  listServices(tools);
  Names disabled;
  std::vector<Names> seen;
  std::vector<std::size_t> offsBefore;
  disableIPv6(tools.networksetupPath(), disabled, [&] {
    seen.push_back(disabled);
    std::size_t offs = 0;
    for (const auto& call : tools.callsOf("networksetup")) offs += call.front() == "-setv6off";
    offsBefore.push_back(offs);
  });
  EXPECT_EQ(seen, (std::vector<Names>{{"Wi-Fi"}, {"Wi-Fi", "Ethernet 2"}}));
  EXPECT_EQ(offsBefore, (std::vector<std::size_t>{0, 1}));
}

TEST(DisableIPv6, NoServicesOrNoToolMeansNoChange) {
  FakeTools tools;
  tools.on("networksetup", {"-listallnetworkservices"}, "header only\n");
  Names disabled;
  disableIPv6(tools.networksetupPath(), disabled);
  EXPECT_EQ(tools.callsOf("networksetup"), (Calls{{"-listallnetworkservices"}}));
  disableIPv6(tools.dir().file("absent"), disabled);
  EXPECT_TRUE(disabled.empty());
}

TEST(RestoreIPv6, SetsBackInRecordedOrderAndEmptiesTheList) {
  FakeTools tools;
  tools.onPrefix("networksetup", {"-setv6automatic"}, "", 1);
  Names disabled = {"Wi-Fi", "Ethernet 2", "A \"quoted\" $(name)"};
  restoreIPv6(tools.networksetupPath(), disabled);
  EXPECT_EQ(tools.callsOf("networksetup"), (Calls{{"-setv6automatic", "Wi-Fi"},
                                                  {"-setv6automatic", "Ethernet 2"},
                                                  {"-setv6automatic", "A \"quoted\" $(name)"}}));
  EXPECT_TRUE(disabled.empty());

  tools.clearCalls();
  restoreIPv6(tools.networksetupPath(), disabled);
  EXPECT_TRUE(tools.calls().empty()) << "an empty list runs no tool";
}

}  // namespace
}  // namespace zorvik

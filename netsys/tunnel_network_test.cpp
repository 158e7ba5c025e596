#include "netsys/tunnel_network.h"

#include <gtest/gtest.h>

#include <random>

namespace zorvik {
namespace {

std::vector<IPPrefix> prefixes(std::initializer_list<const char*> texts) {
  std::vector<IPPrefix> out;
  for (const char* text : texts) out.push_back(*parseIPPrefix(text));
  return out;
}

std::vector<std::string> texts(const std::vector<IPPrefix>& list) {
  std::vector<std::string> out;
  for (const IPPrefix& prefix : list) out.push_back(prefix.text());
  return out;
}

IPAddress address(const char* text) { return *parseIPAddress(text); }

// Whatever the server's address, the full tunnel's routes leave exactly it out: none holds
// it, no two overlap, and with it they are the whole space.
TEST(PlanTunnelRoutes, AFullTunnelIsTheWholeSpaceAroundTheServer) {
  std::mt19937 random(7);
  std::vector<IPAddress> servers = {address("0.0.0.0"), address("255.255.255.255"),
                                    address("10.200.0.2")};
  for (int i = 0; i < 200; ++i) {
    IPAddress server;
    for (int b = 0; b < 4; ++b) server.bytes[b] = static_cast<std::uint8_t>(random());
    servers.push_back(server);
  }
  for (const IPAddress& server : servers) {
    SCOPED_TRACE(server.text());
    const TunnelRoutes routes = planTunnelRoutes(prefixes({"0.0.0.0/0"}), server, false);
    ASSERT_EQ(routes.ipv4.size(), 32u);
    std::vector<IPPrefix> all = routes.ipv4;
    for (std::size_t i = 0; i < all.size(); ++i) {
      EXPECT_FALSE(all[i].contains(server)) << all[i].text();
      EXPECT_EQ(all[i], all[i].network()) << all[i].text();
      for (std::size_t j = 0; j < i; ++j) {
        EXPECT_FALSE(all[i].contains(all[j].address) || all[j].contains(all[i].address))
            << all[i].text() << " overlaps " << all[j].text();
      }
    }
    all.push_back({server, 32});
    EXPECT_TRUE(coverWholeSpace(all, false));
  }
}

TEST(PlanTunnelRoutes, RoutesAndRejectedIPv6ByConfiguration) {
  struct Case {
    const char* name;
    std::vector<IPPrefix> allowed;
    bool interfaceHasIPv6;
    const char* server;
    std::vector<std::string> ipv4, ipv6, rejected;
  };
  const std::vector<std::string> halves = {"::/1", "8000::/1"};
  // What other apps write for "exclude private addresses": no 10/8, 172.16/12, 192.168/16.
  const auto excludePrivate = prefixes(
      {"0.0.0.0/5",      "8.0.0.0/7",       "11.0.0.0/8",      "12.0.0.0/6",      "16.0.0.0/4",
       "32.0.0.0/3",     "64.0.0.0/2",      "128.0.0.0/3",     "160.0.0.0/5",     "168.0.0.0/6",
       "172.0.0.0/12",   "172.32.0.0/11",   "172.64.0.0/10",   "172.128.0.0/9",   "173.0.0.0/8",
       "174.0.0.0/7",    "176.0.0.0/4",     "192.0.0.0/9",     "192.128.0.0/11",  "192.160.0.0/13",
       "192.169.0.0/16", "192.170.0.0/15",  "192.172.0.0/14",  "192.176.0.0/12",  "192.192.0.0/10",
       "193.0.0.0/8",    "194.0.0.0/7",     "196.0.0.0/6",     "200.0.0.0/5",     "208.0.0.0/4",
       "::/0"});
  std::vector<std::string> excludePrivateV4 = texts(excludePrivate);
  excludePrivateV4.pop_back();
  const Case cases[] = {
      {"split, server outside", prefixes({"10.77.0.0/24", "10.202.0.0/24"}), false, "10.200.0.2",
       {"10.77.0.0/24", "10.202.0.0/24"}, {}, {}},
      {"split, IPv6 range without an address", prefixes({"10.77.0.0/24", "fd77::/64"}), false, "10.200.0.2",
       {"10.77.0.0/24"}, {}, {}},
      {"split with an IPv6 address", prefixes({"fd77::/64", "10.77.0.0/24"}), true, "10.200.0.2",
       {"10.77.0.0/24"}, {"fd77::/64"}, {}},
      {"a range around the server", prefixes({"203.0.113.0/29"}), false, "203.0.113.5",
       {"203.0.113.0/30", "203.0.113.6/31", "203.0.113.4/32"}, {}, {}},
      {"halves written out", prefixes({"0.0.0.0/1", "128.0.0.0/1", "0.0.0.0/1"}), false, "203.0.113.5",
       {"0.0.0.0/1", "128.0.0.0/2", "224.0.0.0/3", "208.0.0.0/4", "192.0.0.0/5", "204.0.0.0/6",
        "200.0.0.0/7", "202.0.0.0/8", "203.128.0.0/9", "203.64.0.0/10", "203.32.0.0/11",
        "203.16.0.0/12", "203.8.0.0/13", "203.4.0.0/14", "203.2.0.0/15", "203.1.0.0/16",
        "203.0.128.0/17", "203.0.0.0/18", "203.0.64.0/19", "203.0.96.0/20", "203.0.120.0/21",
        "203.0.116.0/22", "203.0.114.0/23", "203.0.112.0/24", "203.0.113.128/25",
        "203.0.113.64/26", "203.0.113.32/27", "203.0.113.16/28", "203.0.113.8/29",
        "203.0.113.0/30", "203.0.113.6/31", "203.0.113.4/32"},
       {}, halves},
      // The server on a private network is outside every range.
      {"exclude private", excludePrivate, false, "10.200.0.2", excludePrivateV4, {}, halves},
      {"dual stack", prefixes({"::/0", "10.0.0.0/8"}), true, "203.0.113.5", {"10.0.0.0/8"}, halves, {}},
      {"whole IPv4, part of IPv6", prefixes({"0.0.0.0/0", "fd77::/64"}), true, "203.0.113.5",
       {}, {"fd77::/64"}, halves},
      {"a tunneled half is not also refused", prefixes({"0.0.0.0/0", "8000::/1"}), true, "203.0.113.5",
       {}, {"8000::/1"}, {"::/1"}},
      {"IPv6 only, no address", prefixes({"::/0"}), false, "203.0.113.5", {}, {}, halves},
      {"nothing", {}, true, "203.0.113.5", {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TunnelRoutes routes = planTunnelRoutes(c.allowed, address(c.server), c.interfaceHasIPv6);
    if (!c.ipv4.empty() || c.allowed.empty() || c.allowed[0].address.v6) {
      EXPECT_EQ(texts(routes.ipv4), c.ipv4);
    } else {
      EXPECT_EQ(routes.ipv4.size(), 32u);
    }
    EXPECT_EQ(texts(routes.ipv6), c.ipv6);
    EXPECT_EQ(texts(routes.rejectedIPv6), c.rejected);
  }
}

TEST(CoverWholeSpace, GapsOverlapsAndFamilies) {
  EXPECT_TRUE(coverWholeSpace(prefixes({"128.0.0.0/1", "0.0.0.0/1"}), false));
  EXPECT_TRUE(coverWholeSpace(prefixes({"0.0.0.0/2", "0.0.0.0/1", "64.0.0.0/2", "128.0.0.0/1"}),
                              false));
  EXPECT_FALSE(coverWholeSpace(prefixes({"0.0.0.0/1", "128.0.0.0/2", "224.0.0.0/3"}), false));
  EXPECT_FALSE(coverWholeSpace(prefixes({"0.0.0.0/1", "::/0"}), false));
  EXPECT_TRUE(coverWholeSpace(prefixes({"::/1", "8000::/1"}), true));
  EXPECT_FALSE(coverWholeSpace(prefixes({"::/1", "8000::/2"}), true));
  EXPECT_FALSE(coverWholeSpace({}, false));
}

}  // namespace
}  // namespace zorvik

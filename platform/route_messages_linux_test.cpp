// NETLINK_ROUTE datagrams byte for byte as the kernel multicasts them (little-endian):
// which ones the route watch reports, and that it reads none past the datagram.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/route_messages.h"
#include "testing/hex_bytes.h"

namespace zorvik {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes hex(const std::string& text) { return test_support::hexBytes(text); }

// nlmsghdr (length, type, flags, seq, pid), rtmsg (family, dst_len, src_len, tos,
// table, protocol, scope, type, flags), then attributes.
// "ip route add default via 10.200.0.2 dev en0": RTM_NEWROUTE, main table, RTA_TABLE,
// RTA_GATEWAY, RTA_OIF.
const std::string kNewDefault =
    "34 00 00 00 18 00 00 06 05 00 00 00 2a 01 00 00  02 00 00 00 fe 03 00 01 00 00 00 00"
    "  08 00 0f 00 fe 00 00 00  08 00 05 00 0a c8 00 02  08 00 04 00 02 00 00 00";
// The host route to the server: dst_len 32, RTA_DST.
const std::string kNewHostRoute =
    "3c 00 00 00 18 00 00 06 06 00 00 00 2a 01 00 00  02 20 00 00 fe 03 00 01 00 00 00 00"
    "  08 00 0f 00 fe 00 00 00  08 00 01 00 0a c8 00 02  08 00 05 00 0a c8 00 02"
    "  08 00 04 00 02 00 00 00";
// The acknowledgement of a request: NLMSG_ERROR with error 0 and the request's header.
const std::string kAck =
    "24 00 00 00 02 00 00 01 05 00 00 00 2a 01 00 00  00 00 00 00"
    "  34 00 00 00 18 00 05 06 05 00 00 00 2a 01 00 00";

// RTM_NEWLINK (or RTM_DELLINK), ifinfomsg (family, type, index, flags, change), IFLA_IFNAME.
std::string link(const std::string& type, const std::string& index, const std::string& flags,
                 const std::string& nameAttribute) {
  const std::size_t length = 32 + hex(nameAttribute).size();
  char lengthByte[4];
  std::snprintf(lengthByte, sizeof lengthByte, "%02zx", length);
  return std::string(lengthByte) + " 00 00 00 " + type + " 00 00 00 00 00 00 00 00 00 00 00" +
         "  00 00 01 00 " + index + " 00 00 00 " + flags + "  00 00 00 00  " + nameAttribute;
}
const std::string kNewLink = "10", kDelLink = "11";
const std::string kUpRunning = "43 10 01 00", kUpNoCarrier = "03 10 00 00";
const std::string kEn1 = "08 00 03 00 65 6e 31 00", kEn1WithMTU = kEn1 + " 08 00 04 00 dc 05 00 00";
const std::string kAwdl0 = "0a 00 03 00 61 77 64 6c 30 00 00 00";
const std::string kUtun4 = "0a 00 03 00 75 74 75 6e 34 00 00 00";
const std::string kWg0 = "08 00 03 00 77 67 30 00";

TEST(NetlinkMessages, TheDefaultRouteRoutesGoneAndLinksGoingUpOrDownAreChangesWithinTheDatagram) {
  LinkStates links(7, nullptr);
  const auto holds = [&links](const Bytes& datagram, std::size_t length) {
    return netlinkHoldsChange(datagram.data(), length, links);
  };
  const auto whole = [&holds](const Bytes& datagram) { return holds(datagram, datagram.size()); };

  EXPECT_TRUE(whole(hex(kNewDefault))) << "a new default route";
  EXPECT_FALSE(whole(hex(kNewHostRoute))) << "a host route";
  Bytes deletedHostRoute = hex(kNewHostRoute);
  deletedHostRoute[4] = 0x19;  // RTM_DELROUTE
  EXPECT_TRUE(whole(deletedHostRoute)) << "the host route deleted";
  EXPECT_FALSE(links.takeTunnelTouched()) << "a route through en0 (index 2) deleted";
  Bytes deletedTunnelRoute = deletedHostRoute;
  deletedTunnelRoute[56] = 0x07;  // RTA_OIF 7, the tunnel
  EXPECT_TRUE(whole(deletedTunnelRoute)) << "a tunnel route deleted";
  EXPECT_TRUE(links.takeTunnelTouched()) << "a route through the tunnel deleted";
  EXPECT_FALSE(links.takeTunnelTouched()) << "taken once";
  Bytes deletedElsewhere = deletedHostRoute;
  deletedElsewhere[20] = 0xff;  // rtm_table: RT_TABLE_LOCAL
  EXPECT_FALSE(whole(deletedElsewhere)) << "a route of the local table deleted";
  EXPECT_FALSE(whole(hex(kAck))) << "an acknowledgement";
  EXPECT_TRUE(whole(hex(kAck + " " + kNewHostRoute + " " + kNewDefault)))
      << "the default route third";

  // A 33-byte message ends the datagram; what lies beyond it in memory is not read.
  Bytes ipv6Route = hex(kNewDefault);
  ipv6Route.resize(33);
  ipv6Route[0] = 33;
  ipv6Route[16] = 10;
  Bytes beyond = ipv6Route;
  beyond.resize(36);
  const Bytes up = hex(link(kNewLink, "03", kUpRunning, kEn1));
  beyond.insert(beyond.end(), up.begin(), up.end());
  EXPECT_FALSE(holds(beyond, 33)) << "a link message past the end of a 33-byte datagram";
  Bytes oddDefault = hex(kNewDefault + " ff");
  oddDefault[0] = 53;
  EXPECT_TRUE(whole(oddDefault)) << "a last message without its padding is still read";
  for (std::size_t length = 0; length < hex(kNewDefault).size(); ++length) {
    EXPECT_FALSE(holds(hex(kNewDefault), length)) << "a default route cut to " << length;
  }

  // Links: first seen, then only a change of up-and-running counts.
  EXPECT_TRUE(whole(hex(link(kNewLink, "03", kUpRunning, kEn1)))) << "en1 first seen";
  EXPECT_FALSE(whole(hex(link(kNewLink, "03", kUpRunning, kEn1WithMTU)))) << "en1 unchanged";
  EXPECT_TRUE(whole(hex(link(kNewLink, "03", kUpNoCarrier, kEn1)))) << "en1 lost its carrier";
  EXPECT_TRUE(whole(hex(link(kNewLink, "03", kUpRunning, kEn1)))) << "en1 running again";
  EXPECT_TRUE(whole(hex(link(kDelLink, "03", kUpRunning, kEn1)))) << "en1 removed";
  EXPECT_FALSE(links.takeTunnelTouched()) << "only en1 changed";
  for (const auto& [index, name] : {std::pair{"09", kAwdl0}, {"0b", kUtun4}}) {
    EXPECT_FALSE(whole(hex(link(kNewLink, index, kUpRunning, name)))) << index;
    EXPECT_FALSE(whole(hex(link(kNewLink, index, kUpNoCarrier, name)))) << index;
  }
  // The tunnel (index 7), up when the watch starts: its going down or away is news.
  EXPECT_FALSE(whole(hex(link(kNewLink, "07", kUpRunning, kWg0)))) << "the tunnel, up";
  EXPECT_TRUE(whole(hex(link(kNewLink, "07", kUpNoCarrier, kWg0))))
      << "the tunnel lost its carrier";
  EXPECT_TRUE(links.takeTunnelTouched()) << "the tunnel's own link";
  EXPECT_TRUE(whole(hex(link(kNewLink, "07", kUpRunning, kWg0)))) << "the tunnel running again";
  EXPECT_TRUE(whole(hex(link(kDelLink, "07", kUpRunning, kWg0)))) << "the tunnel removed";
}

}  // namespace
}  // namespace zorvik

// The macOS routing socket's messages, byte for byte as its kernel sends them
// (little-endian, as on both Mac architectures): which ones the route watch reports.
#include "platform/route_messages.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "testing/hex_bytes.h"

namespace zorvik {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes hex(const std::string& text) { return test_support::hexBytes(text); }

// rt_msghdr: length, version 5, type, index, 2 bytes padding, flags, addrs, pid, seq,
// errno, use, inits, 56 bytes of metrics; then the addresses.
// RTM_ADD default 192.168.1.1 from configd (pid 321): UP|GATEWAY|DONE|STATIC,
// DST|GATEWAY|NETMASK, the zero netmask cut to nothing (4 bytes).
const std::string kAddDefault =
    "80 00 05 01 00 00 00 00  43 08 00 00  07 00 00 00  41 01 00 00  01 00 00 00"
    "  00 00 00 00  00 00 00 00  00 00 00 00 *56"
    "  10 02 00 00 00 00 00 00 *8  10 02 00 00 c0 a8 01 01 *8  00 00 00 00";
// The same request refused (EEXIST): echoed to every listener with rtm_errno set.
const std::string kAddDefaultRefused =
    "80 00 05 01 00 00 00 00  03 08 00 00  07 00 00 00  41 01 00 00  01 00 00 00"
    "  11 00 00 00  00 00 00 00  00 00 00 00 *56"
    "  10 02 00 00 00 00 00 00 *8  10 02 00 00 c0 a8 01 01 *8  00 00 00 00";
// The kernel deleting the default route with its link (pid 0).
const std::string kDeleteDefaultByKernel =
    "80 00 05 02 04 00 00 00  43 00 00 00  07 00 00 00  00 00 00 00  00 00 00 00"
    "  00 00 00 00  00 00 00 00  00 00 00 00 *56"
    "  10 02 00 00 00 00 00 00 *8  10 02 00 00 c0 a8 01 01 *8  00 00 00 00";
// The tunnel's 0.0.0.0/1 through utun7 (index 12): the mask 128.0.0.0 kept to 5 bytes,
// the gateway an AF_LINK address.
const std::string kAddHalfSpace =
    "88 00 05 01 0c 00 00 00  41 08 00 00  07 00 00 00  42 02 00 00  02 00 00 00"
    "  00 00 00 00  00 00 00 00  00 00 00 00 *56"
    "  10 02 00 00 00 00 00 00 *8  14 12 0c 00 ff 05 00 00 75 74 75 6e 37 *7"
    "  05 02 00 00 80 00 00 00";
// The host route to the server through en0 (index 4): RTF_HOST, no netmask.
const std::string kAddHostRoute =
    "7c 00 05 01 04 00 00 00  47 08 00 00  03 00 00 00  42 02 00 00  03 00 00 00"
    "  00 00 00 00  00 00 00 00  00 00 00 00 *56"
    "  10 02 00 00 cb 00 71 05 *8  10 02 00 00 c0 a8 01 01 *8";
// Our own "route -n get default": RTM_GET, echoed as well.
const std::string kGetDefault =
    "80 00 05 04 00 00 00 00  43 08 00 00  07 00 00 00  43 02 00 00  04 00 00 00"
    "  00 00 00 00  00 00 00 00  00 00 00 00 *56"
    "  10 02 00 00 00 00 00 00 *8  10 02 00 00 c0 a8 01 01 *8  00 00 00 00";

// The same two deleted (RTM_DELETE): both static.
std::string deleted(std::string message) { return message.replace(9, 2, "02"); }
// The kernel dropping an ARP entry: UP|HOST|LLINFO|WASCLONED.
const std::string kDeleteArpEntry =
    "80 00 05 02 04 00 00 00  05 04 02 00  03 00 00 00  00 00 00 00  05 00 00 00"
    "  00 00 00 00  00 00 00 00  00 00 00 00 *56"
    "  10 02 00 00 c0 a8 01 01 *8  14 12 04 00 06 03 06 00 65 6e 30 *9";

// if_msghdr: length 112, version 5, RTM_IFINFO, addrs 0, flags, index, 2 bytes padding,
// then if_data (type, ..., MTU, ...): what the kernel sends when an interface changes.
std::string ifInfo(const std::string& indexByte) {
  return "70 00 05 0e  00 00 00 00  63 88 00 00  " + indexByte +
         " 00 00 00  06 00 00 06 0e 00 00 00  dc 05 00 00 *84";
}

TEST(PfRouteMessages, TheDefaultRouteStaticRoutesGoneAndInterfacesGoingUpOrDownAreChanges) {
  std::map<unsigned, LinkStates::Link> system = {{4, {"en0", true}},
                                                 {9, {"awdl0", true}},
                                                 {10, {"llw0", true}},
                                                 {11, {"utun3", true}},
                                                 {12, {"utun7", true}}};
  LinkStates links(12, [&system](unsigned index) -> std::optional<LinkStates::Link> {
    const auto found = system.find(index);
    if (found == system.end()) return std::nullopt;
    return found->second;
  });
  const auto holds = [&links](const Bytes& datagram) {
    return pfRouteHoldsChange(datagram.data(), datagram.size(), links);
  };

  EXPECT_TRUE(holds(hex(kAddDefault))) << "a new default route from the system's daemon";
  EXPECT_TRUE(holds(hex(kDeleteDefaultByKernel))) << "the default route gone with its link";
  EXPECT_FALSE(holds(hex(kAddDefaultRefused))) << "a refused request changed nothing";
  EXPECT_FALSE(holds(hex(kAddHalfSpace))) << "the tunnel's 0.0.0.0/1 is not the default";
  EXPECT_FALSE(holds(hex(kAddHostRoute))) << "a host route is not the default";
  EXPECT_FALSE(holds(hex(kGetDefault))) << "a lookup changes nothing";
  EXPECT_FALSE(links.takeTunnelTouched()) << "nothing through the tunnel yet";
  EXPECT_TRUE(holds(hex(deleted(kAddHalfSpace)))) << "the tunnel's 0.0.0.0/1 deleted";
  EXPECT_TRUE(links.takeTunnelTouched()) << "a route through utun7 deleted";
  EXPECT_TRUE(holds(hex(deleted(kAddHostRoute)))) << "the host route deleted";
  EXPECT_FALSE(links.takeTunnelTouched()) << "a route through en0 deleted";
  EXPECT_FALSE(holds(hex(kDeleteArpEntry))) << "an ARP entry the kernel let go";

  // A header that disagrees with its datagram was passed on as a process wrote it.
  Bytes cut = hex(kAddDefault);
  cut.pop_back();
  EXPECT_FALSE(holds(cut)) << "a datagram shorter than its header says";
  Bytes padded = hex(kAddDefault);
  padded.insert(padded.end(), 4, 0);
  EXPECT_FALSE(holds(padded)) << "a datagram longer than its header says";
  Bytes oldVersion = hex(kAddDefault);
  oldVersion[2] = 4;
  EXPECT_FALSE(holds(oldVersion)) << "another message version";
  const Bytes addDefault = hex(kAddDefault);
  for (std::size_t length = 0; length < addDefault.size(); ++length) {
    Bytes prefix(addDefault.begin(), addDefault.begin() + static_cast<std::ptrdiff_t>(length));
    if (length >= 2) prefix[0] = static_cast<unsigned char>(length);
    EXPECT_FALSE(holds(prefix)) << "a default route cut to " << length << " bytes";
  }

  // Interfaces: judged by their state now, reported when first seen and then only
  // when up-and-running changes; the message's own flags are not trusted.
  EXPECT_TRUE(holds(hex(ifInfo("04")))) << "en0 first seen";
  EXPECT_FALSE(holds(hex(ifInfo("04")))) << "en0 unchanged";
  system[4].upAndRunning = false;
  EXPECT_TRUE(holds(hex(ifInfo("04")))) << "en0 went down";
  EXPECT_FALSE(holds(hex(ifInfo("04")))) << "en0 still down";
  system[4].upAndRunning = true;
  EXPECT_TRUE(holds(hex(ifInfo("04")))) << "en0 came back";
  system.erase(4);
  EXPECT_TRUE(holds(hex(ifInfo("04")))) << "en0 gone while up";
  EXPECT_FALSE(holds(hex(ifInfo("04")))) << "en0 gone, already reported";
  EXPECT_FALSE(holds(hex(ifInfo("2a")))) << "an interface nobody has";
  for (const char* index : {"09", "0a", "0b"}) {
    EXPECT_FALSE(holds(hex(ifInfo(index)))) << "system interface, index " << index;
    system[std::stoul(index, nullptr, 16)].upAndRunning = false;
    EXPECT_FALSE(holds(hex(ifInfo(index)))) << "system interface went down, index " << index;
  }
  // The tunnel, a utun as well: up when the watch starts, so only its loss is news.
  EXPECT_FALSE(holds(hex(ifInfo("0c")))) << "the tunnel, up";
  system[12].upAndRunning = false;
  EXPECT_TRUE(holds(hex(ifInfo("0c")))) << "the tunnel went down";
  system[12].upAndRunning = true;
  EXPECT_TRUE(holds(hex(ifInfo("0c")))) << "the tunnel up again";
  system.erase(12);
  EXPECT_TRUE(holds(hex(ifInfo("0c")))) << "the tunnel gone";
  Bytes shortInfo = hex(ifInfo("04"));
  shortInfo.resize(96);
  shortInfo[0] = 96;
  system[4] = {"en0", true};
  EXPECT_FALSE(holds(shortInfo)) << "an interface message shorter than if_msghdr";
}

}  // namespace
}  // namespace zorvik

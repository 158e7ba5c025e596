#include "netsys/service_order.h"

#include <gtest/gtest.h>

namespace zorvik {
namespace {

using Services = std::vector<ListedService>;

TEST(ParseServiceOrder, KeepsEachNameWithThePortLineRightAfterIt) {
  const struct {
    const char* what;
    const char* listing;
    Services expected;
  } cases[] = {
      {"as macOS prints it",
       "An asterisk (*) denotes that a network service is disabled.\n"
       "(1) Wi-Fi\n(Hardware Port: Wi-Fi, Device: en0)\n\n"
       "(2) USB 10/100/1000 LAN\n(Hardware Port: USB 10/100/1000 LAN, Device: en7)\n\n",
       {{"Wi-Fi", "Hardware Port: Wi-Fi, Device: en0"},
        {"USB 10/100/1000 LAN", "Hardware Port: USB 10/100/1000 LAN, Device: en7"}}},
      {"a disabled service, CR line ends",
       "(*) Bluetooth PAN\r\n(Hardware Port: Bluetooth PAN, Device: en3)\r\n",
       {{"Bluetooth PAN", "Hardware Port: Bluetooth PAN, Device: en3"}}},
      {"an empty device",
       "(3) Work VPN\n(Hardware Port: com.example.vpn, Device: )\n",
       {{"Work VPN", "Hardware Port: com.example.vpn, Device: "}}},
      {"no port line: no identity, the next name still read",
       "(1) Odd\n(2) Wi-Fi\n(Hardware Port: Wi-Fi, Device: en0)\n",
       {{"Odd", ""}, {"Wi-Fi", "Hardware Port: Wi-Fi, Device: en0"}}},
      {"a port line not right after its name is no one's",
       "(1) Odd\n\n(Hardware Port: Wi-Fi, Device: en0)\n",
       {{"Odd", ""}}},
      {"junk lines",
       "(x) Not a service\n() Empty\n(1)NoBlank\n(1) \nHardware Port: Wi-Fi, Device: en0\n"
       "(2) Ethernet\n(Hardware Port: Ethernet)\n",
       {{"Ethernet", ""}}},
      {"an error text", "** Error: The parameters were not valid.\n", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(parseServiceOrder(c.listing), c.expected) << c.what;
}

}  // namespace
}  // namespace zorvik

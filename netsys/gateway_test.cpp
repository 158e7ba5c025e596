#include "netsys/gateway.h"

#include <gtest/gtest.h>

namespace zorvik {
namespace {

TEST(ParseDefaultGateway, TakesTheLastColonPieceOfTheFirstGatewayLine) {
  struct Case {
    const char* name;
    std::string_view output;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"macOS output",
       "   route to: default\ndestination: default\n       mask: default\n    gateway: "
       "192.168.1.1\n"
       "  interface: en0\n",
       "192.168.1.1"},
      {"tab before the address", "\tgateway:\t10.0.0.1\t\n", "10.0.0.1"},
      {"Unicode blanks around it",
       "gateway:\xC2\xA0"
       "10.0.0.1\xE3\x80\x80",
       "10.0.0.1"},
      {"later gateway lines ignored", "gateway: 10.0.0.1\ngateway: 10.9.9.9\n", "10.0.0.1"},
      {"no line break at the end", "gateway: 172.16.0.1", "172.16.0.1"},
      {"an interface route is no gateway", "  gateway: link#5\n", std::nullopt},
      {"an IPv6 gateway is no gateway", "  gateway: fe80::1%en0\n", std::nullopt},
      {"case-sensitive", "Gateway: 10.0.0.1\n", std::nullopt},
      {"no gateway line", "route: writing to routing socket: not in table\n", std::nullopt},
      {"empty output", "", std::nullopt},
      {"only colons", "gateway:::\n", std::nullopt},
      {"gateway names nothing", "    gateway: \t\n", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseDefaultGateway(c.output), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace zorvik

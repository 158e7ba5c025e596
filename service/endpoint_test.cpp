#include "service/endpoint.h"

#include <gtest/gtest.h>

namespace zorvik {
namespace {

TEST(SplitEndpoint, HostIsTheFirstPiecePortTheLast) {
  struct Case {
    std::string endpoint, host, port;
  };
  for (const Case& c : {
           Case{"203.0.113.5:51820", "203.0.113.5", "51820"},
           Case{"vpn.example.com:443", "vpn.example.com", "443"},
           Case{"host:1:2", "host", "2"},
           Case{"host:", "host", "host"},
           Case{"::host::51820", "host", "51820"},
           Case{"host", "host", "host"},
           Case{"[2001:db8::1]:51820", "[2001", "51820"},
           Case{" host : 1 ", " host ", " 1 "},
           Case{"", "", ""},
           Case{":::", "", ""},
       }) {
    auto parts = splitEndpoint(c.endpoint);
    EXPECT_EQ(parts.host, c.host) << c.endpoint;
    EXPECT_EQ(parts.port, c.port) << c.endpoint;
  }
}

TEST(ResolveEndpointHost, AnIPv4LiteralIsUsedUnchanged) {
  EXPECT_EQ(resolveEndpointHost("203.0.113.5"), "203.0.113.5");
}

TEST(ResolveEndpointHost, AHostNameResolvesToItsFirstIPv4Address) {
  EXPECT_EQ(resolveEndpointHost("localhost"), "127.0.0.1");
}

TEST(ResolveEndpointHost, NothingForNamesWithoutAnIPv4Address) {
  for (const std::string host : {"no-such-host.invalid", "[2001", "::1", ""}) {
    EXPECT_EQ(resolveEndpointHost(host), std::nullopt) << host;
  }
  EXPECT_EQ(resolveEndpointHost(std::string("203.0.113.5\0evil", 16)), std::nullopt);
}

}  // namespace
}  // namespace zorvik

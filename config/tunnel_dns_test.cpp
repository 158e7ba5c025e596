#include "config/tunnel_dns.h"

#include <gtest/gtest.h>

#include "base/service_error.h"
#include "config/tunnel_config.h"

namespace zorvik {
namespace {

using Names = std::vector<std::string>;

/// Labels of 63 "a" joined by ".", cut to `length` characters (the last label is shorter).
std::string nameOfLength(std::size_t length) {
  std::string name;
  while (name.size() < length) name += std::string(63, 'a') + ".";
  name.resize(length);
  return name;
}

TEST(InterfaceDNS, SplitsAtCommasAndBlanksIntoServersAndSearchDomains) {
  struct Case {
    std::string value;
    Names servers;
    Names searchDomains;
  };
  const Case cases[] = {
      {"", {}, {}},
      {" ,\t, ,,", {}, {}},
      {"1.1.1.1 8.8.8.8", {"1.1.1.1", "8.8.8.8"}, {}},
      {"10.77.0.1,corp.example\t\u00A0lab.corp.example ,fd77::1",
       {"10.77.0.1", "fd77::1"},
       {"corp.example", "lab.corp.example"}},
      {"2001:db8::53, 10.0.0.1", {"2001:db8::53", "10.0.0.1"}, {}},
      {"corp.example. home", {}, {"corp.example.", "home"}},
      {"x-1.a9.example", {}, {"x-1.a9.example"}},
      {std::string(63, 'a') + ".example", {}, {std::string(63, 'a') + ".example"}},
      {nameOfLength(253) + ".", {}, {nameOfLength(253) + "."}},
  };
  for (const Case& c : cases) {
    const TunnelDNS dns = interfaceDNS({{"dns", c.value}});
    EXPECT_EQ(dns.servers, c.servers) << '"' << c.value << '"';
    EXPECT_EQ(dns.searchDomains, c.searchDomains) << '"' << c.value << '"';
  }
  EXPECT_EQ(interfaceDNS({}), TunnelDNS{});
}

TEST(InterfaceDNS, RefusesThePieceThatIsNeitherAnAddressNorAHostName) {
  struct Case {
    std::string value;
    std::string piece;
  };
  const Case cases[] = {
      {"-setv6off", "-setv6off"},
      {"10.77.0.1, -Wi-Fi", "-Wi-Fi"},
      {"a b!", "b!"},
      {"corp-.example", "corp-.example"},
      {"corp..example", "corp..example"},
      {".", "."},
      {"10.77.0.256", "10.77.0.256"},
      {"10.77.0", "10.77.0"},
      {"fd77::1::2", "fd77::1::2"},
      {"10.0.0.1;reboot", "10.0.0.1;reboot"},
      {"my_host", "my_host"},
      {"10.0.0.1\r", "10.0.0.1\r"},
      {std::string("10.0.0.1\0x", 10), std::string("10.0.0.1\0x", 10)},
      {std::string(64, 'a') + ".example", std::string(64, 'a') + ".example"},
      {nameOfLength(254), nameOfLength(254)},
  };
  for (const Case& c : cases) {
    try {
      interfaceDNS({{"dns", c.value}});
      ADD_FAILURE() << "accepted \"" << c.value << '"';
    } catch (const ServiceError& e) {
      EXPECT_EQ(e.msg, "некорректный DNS: " + c.piece);
    }
  }
  // The quote in the reply is cut; the check is not.
  try {
    interfaceDNS({{"dns", std::string(1000, '_')}});
    ADD_FAILURE() << "accepted a long piece";
  } catch (const ServiceError& e) {
    EXPECT_EQ(e.msg, "некорректный DNS: " + std::string(256, '_'));
  }
}

TEST(InterfaceDNS, TheParserRefusesABadValueBeforeAnyoneUsesIt) {
  const std::string head = "[Interface]\nPrivateKey = k=\n";
  const std::string peer = "[Peer]\nPublicKey = p=\nEndpoint = vpn.example.org:51820\n";
  EXPECT_NO_THROW(parseTunnelConfig(head + "DNS = 10.77.0.1, corp.example\n" + peer));
  try {
    parseTunnelConfig(head + "DNS = 10.77.0.1 -setv6off\n" + peer);
    ADD_FAILURE() << "accepted";
  } catch (const ServiceError& e) {
    EXPECT_EQ(e.msg, "некорректный DNS: -setv6off");
  }
}

}  // namespace
}  // namespace zorvik

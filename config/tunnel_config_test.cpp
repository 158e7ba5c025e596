#include "config/tunnel_config.h"

#include <gtest/gtest.h>

#include <random>

#include "base/service_error.h"

namespace zorvik {
namespace {

const std::string kPeer = "[Peer]\nPublicKey = pub=\nEndpoint = vpn.example.org:51820\n";
const std::string kInterface = "[Interface]\nPrivateKey = priv=\n";

/// The message of the error that parsing `text` throws, or "" when it parses.
std::string parseError(const std::string& text) {
  try {
    parseTunnelConfig(text);
  } catch (const ServiceError& e) {
    return e.msg;
  }
  return "";
}

struct ErrorCase {
  const char* name;
  std::string text;
  std::string message;
};

class ParseTunnelConfigErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParseTunnelConfigErrors, FailsWithTheFixedMessage) {
  EXPECT_EQ(parseError(GetParam().text), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseTunnelConfigErrors,
    ::testing::Values(
        ErrorCase{"empty", "", "нет PrivateKey"},
        ErrorCase{"onlyCommentsAndBlanks", "# a\n\n \t\n#PrivateKey = x\n", "нет PrivateKey"},
        ErrorCase{"keyAboveHeader", "PrivateKey = priv=\n[Interface]\n" + kPeer, "нет PrivateKey"},
        // A remark goes wherever it stands, so the header is one.
        ErrorCase{"headerWithComment", "[Interface] # me\nPrivateKey = x\n" + kPeer, ""},
        ErrorCase{"headerWithInnerBlank", "[ Interface ]\nPrivateKey = x\n" + kPeer,
                  "нет PrivateKey"},
        ErrorCase{"crlfLineEnds", "[Interface]\r\nPrivateKey = x\r\n[Peer]\r\nPublicKey = y\r\n",
                  "нет корректного Endpoint"},
        ErrorCase{"bomAndCrlf", "\xEF\xBB\xBF[Interface]\r\nPrivateKey = x\r\n" + kPeer, ""},
        // Only at the very start is it a mark.
        ErrorCase{"bomOnALaterLine", kInterface + "\xEF\xBB\xBF[Peer]\nPublicKey = y\n",
                  "нет PublicKey"},
        ErrorCase{"secondPeer", kInterface + kPeer + "[peer]\nPublicKey = z\n",
                  "поддерживается только одна секция [Peer]"},
        ErrorCase{"semicolonIsNoComment", kInterface + "[Peer]\n;PublicKey = y\nEndpoint = h:1\n",
                  "нет PublicKey"},
        ErrorCase{"publicKeyInInterface", kInterface + "PublicKey = y\n[Peer]\nEndpoint = h:1\n",
                  "нет PublicKey"},
        ErrorCase{"noEndpoint", kInterface + "[Peer]\nPublicKey = y\n", "нет корректного Endpoint"},
        ErrorCase{"endpointWithoutPort", kInterface + "[Peer]\nPublicKey = y\nEndpoint = host\n",
                  "нет корректного Endpoint"},
        ErrorCase{"emptyEndpoint", kInterface + "[Peer]\nPublicKey = y\nEndpoint =\n",
                  "нет корректного Endpoint"},
        // Before anything else, even in a comment.
        ErrorCase{"nulAnywhere",
                  kInterface + std::string("# \0\n[Peer]\nPublicKey = y\nEndpoint = h:1\n", 40),
                  "в конфиге есть NUL-байт"},
        // The private key is checked first even when everything is missing.
        ErrorCase{"checkOrder", "[Peer]\nEndpoint = host\n", "нет PrivateKey"},
        ErrorCase{"emptyKeysPass", "[Interface]\nPrivateKey =\n[Peer]\nPublicKey=\nEndpoint=:\n",
                  ""},
        ErrorCase{"bracketedIPv6Endpoint",
                  kInterface + "[Peer]\nPublicKey = y\nEndpoint = [2001:db8::1]:51820\n",
                  "IPv6-адрес сервера не поддерживается: 2001:db8::1"},
        ErrorCase{"bareIPv6Endpoint", kInterface + "[Peer]\nPublicKey = y\nEndpoint = fd00::1\n",
                  "IPv6-адрес сервера не поддерживается: fd00::1"},
        ErrorCase{"bracketedHostEndpoint",
                  kInterface + "[Peer]\nPublicKey = y\nEndpoint = [vpn.example.org]:1\n", ""},
        ErrorCase{"allowedIPsJunk", kInterface + kPeer + "AllowedIPs = 10.0.0.0/8, -setv6off\n",
                  "не диапазон адресов в AllowedIPs: -setv6off"},
        ErrorCase{"allowedIPsTooLong", kInterface + kPeer + "AllowedIPs = 10.0.0.0/33\n",
                  "не диапазон адресов в AllowedIPs: 10.0.0.0/33"},
        ErrorCase{"jminAboveJmax", kInterface + "Jmax = 040\nJMIN = +70\n" + kPeer,
                  "Jmin больше Jmax"},
        // The three presence checks come first.
        ErrorCase{"jminAboveJmaxWithoutEndpoint",
                  kInterface + "Jmin = 70\nJmax = 40\n[Peer]\nPublicKey = y\n",
                  "нет корректного Endpoint"},
        ErrorCase{"jminEqualsJmax", kInterface + "Jmin = 40\nJmax = 40\n" + kPeer, ""},
        // Only two numbers are compared; anything else is the daemon's to judge.
        ErrorCase{"jmaxNotANumber", kInterface + "Jmin = 70\nJmax = 4O\n" + kPeer, ""},
        ErrorCase{"jmaxMissing", kInterface + "Jmin = 70\n" + kPeer, ""},
        ErrorCase{"jminJmaxInPeer", kInterface + kPeer + "Jmin = 70\nJmax = 40\n", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseTunnelConfig, KeysAreTrimmedAndLowerCasedValuesKeptVerbatim) {
  const auto config = parseTunnelConfig(
      "  [INTERFACE]  \n"
      "\tPRIVATEKEY\t=  aGVsbG8gd29ybGQ=  \n"
      "Public Key = inner blank stays\n"
      "DNS = 1.1.1.1 # remark\n"
      "Address = 10.0.0.2/32 #\n"
      "Jc=4=5\n"
      "no equals sign here\n"
      "[pEeR]\n"
      "\u00A0PublicKey\u3000= Ab+/cD==\n"
      "Endpoint = vpn.example.org:51820\t# office\n"
      "\u212Aeepalive = 1\n");
  EXPECT_EQ(config.interface, (StringMap{{"privatekey", "aGVsbG8gd29ybGQ="},
                                         {"public key", "inner blank stays"},
                                         {"dns", "1.1.1.1"},
                                         {"address", "10.0.0.2/32"},
                                         {"jc", "4=5"}}));
  EXPECT_EQ(config.peer, (StringMap{{"publickey", "Ab+/cD=="},
                                    {"endpoint", "vpn.example.org:51820"},
                                    {"keepalive", "1"}}));
}

TEST(ParseTunnelConfig, SectionRules) {
  const auto config = parseTunnelConfig(
      "Orphan = dropped\n"
      "[Interface]\n"
      "PrivateKey = first\n"
      "[Unknown]\n"
      "Address = 10.0.0.2/32\n"  // still the interface section
      "[Interface] # comment\n"
      "MTU = 1280\n"  // still the interface section
      "[Peer]\n"
      "PublicKey = p1\n"
      "PresharedKey = only-in-first\n"
      "AllowedIPs = 10.0.0.0/8\n"
      "Endpoint = a:1\n"
      "PublicKey = p2\n"
      "[Other]\n"
      "AllowedIPs = 0.0.0.0/0\n"
      "PrivateKey = later\n");  // peer section, not the interface's
  EXPECT_EQ(config.interface,
            (StringMap{{"privatekey", "first"}, {"address", "10.0.0.2/32"}, {"mtu", "1280"}}));
  EXPECT_EQ(config.peer, (StringMap{{"publickey", "p2"},
                                    {"presharedkey", "only-in-first"},
                                    {"allowedips", "0.0.0.0/0"},
                                    {"endpoint", "a:1"},
                                    {"privatekey", "later"}}));
}

TEST(ParseTunnelConfig, ACarriageReturnBeforeALineFeedIsDropped) {
  const auto config = parseTunnelConfig(kInterface + "DNS = 9.9.9.9\r\nMTU = 1280 \r\r\n" + kPeer);
  EXPECT_EQ(config.interface.at("dns"), "9.9.9.9");
  // Only the one before the line feed: the other is the value's.
  EXPECT_EQ(config.interface.at("mtu"), "1280 \r");
}

TEST(ParseTunnelConfig, InvalidUTF8PassesThroughUnchanged) {
  const std::string text =
      kInterface + "Na\xFFme\xC3 = va\xE2\x80lue\xFF\n" + kPeer + "\xC0\xAF\n\xF4\x90\x80\x80=x\n";
  const auto config = parseTunnelConfig(text);
  EXPECT_EQ(config.interface.at("na\xFFme\xC3"), "va\xE2\x80lue\xFF");
  EXPECT_EQ(config.peer.at("\xF4\x90\x80\x80"), "x");
}

TEST(ParseTunnelConfig, DottedCapitalIHeaderIsNoHeader) {
  // "[İnterface]" lower-cases to "[i̇nterface]", which is not the header.
  EXPECT_EQ(parseError("[\u0130nterface]\nPrivateKey = x\n" + kPeer), "нет PrivateKey");
}

TEST(InterfaceIPv4Address, FindsTheFirstIPv4Entry) {
  struct Case {
    std::optional<std::string> address;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt},
      {"", std::nullopt},
      {"10.8.0.2/32", "10.8.0.2"},
      {"10.8.0.2", "10.8.0.2"},
      {"  10.8.0.2  /24", "10.8.0.2"},
      {"fd00::2/128, 10.8.0.2/32", "10.8.0.2"},
      {"fd00::2/128,fd00::3", std::nullopt},
      {",, 10.1.1.1", "10.1.1.1"},
      {"/10.2.2.2", "10.2.2.2"},  // the first non-empty segment
      {"10.0.0.1/32, 10.0.0.2/32", "10.0.0.1"},
      {"\u00A010.0.0.9\t/32", "10.0.0.9"},
      {"10.0.0.256/32, 1.2.3", std::nullopt},
      {"//", std::nullopt},
      {std::string("10.0.0.1\0junk", 13) + ", 10.0.0.3", "10.0.0.3"},
  };
  for (const auto& c : cases) {
    StringMap interface;
    if (c.address) interface["address"] = *c.address;
    EXPECT_EQ(interfaceIPv4Address(interface), c.expected) << c.address.value_or("<missing>");
  }
}

TEST(InterfaceIPv6Addresses, KeepsEachIPv6EntryWithItsLength) {
  StringMap interface {
    { "address", "10.0.0.2/32, fd77::2/64 ,FD77::3, fd77::/129, -fd77::4, ::1/x" }
  };
  std::vector<std::string> texts;
  for (const IPPrefix& address : interfaceIPv6Addresses(interface)) texts.push_back(address.text());
  EXPECT_EQ(texts, (std::vector<std::string>{"fd77::2/64", "fd77::3/128"}));
}

TEST(PeerAllowedIPs, RangesInOrderWithHostBitsCleared) {
  struct Case {
    std::optional<std::string> value;
    std::vector<std::string> ranges;
  };
  const Case cases[] = {
      {std::nullopt, {"0.0.0.0/0"}},
      {"", {}},
      {" , ,", {}},
      {"10.77.0.2/24, 0.0.0.0/1,128.0.0.0/1", {"10.77.0.0/24", "0.0.0.0/1", "128.0.0.0/1"}},
      {"10.1.2.3, 10.1.2.3/32, 10.1.2.3/0", {"10.1.2.3/32", "10.1.2.3/32", "0.0.0.0/0"}},
      {"::/0,FD77::2/64, 2001:db8::1", {"::/0", "fd77::/64", "2001:db8::1/128"}},
      {"\u00A010.0.0.0/8\t", {"10.0.0.0/8"}},
  };
  for (const auto& c : cases) {
    StringMap peer;
    if (c.value) peer["allowedips"] = *c.value;
    std::vector<std::string> texts;
    for (const IPPrefix& range : peerAllowedIPs(peer)) texts.push_back(range.text());
    EXPECT_EQ(texts, c.ranges) << c.value.value_or("<missing>");
  }
  for (const std::string junk : {"10.0.0.0/8 10.1.0.0/16", "10.0.0.0/", "10.0.0.0/+8",
                                 "10.0.0.0/ 8", "host/8", "1.2.3/8", "::/129", "10.0.0.0/08x"}) {
    try {
      peerAllowedIPs({{"allowedips", "10.0.0.0/8," + junk}});
      ADD_FAILURE() << "accepted " << junk;
    } catch (const ServiceError& e) {
      EXPECT_EQ(e.msg, "не диапазон адресов в AllowedIPs: " + junk);
    }
  }
  std::string many = "10.0.0.0/8";
  for (std::size_t i = 0; i < kMaxAllowedIPs; ++i) many += ",10.0.0.0/8";
  try {
    peerAllowedIPs({{"allowedips", many}});
    ADD_FAILURE() << "accepted " << kMaxAllowedIPs + 1 << " ranges";
  } catch (const ServiceError& e) {
    EXPECT_EQ(e.msg, "слишком много диапазонов в AllowedIPs: 1025, не больше 1024");
  }
}

TEST(PeerEndpoint, BracketedHostWholeOtherwiseFirstAndLastPiece) {
  struct Case {
    std::string endpoint, host, port;
  };
  for (const Case& c : {
           Case{"203.0.113.5:51820", "203.0.113.5", "51820"},
           Case{"vpn.example.com:443", "vpn.example.com", "443"},
           Case{"host:1:2", "host", "2"},
           Case{"host:", "host", "host"},
           Case{"::host::51820", "host", "51820"},
           Case{"[2001:db8::1]:51820", "2001:db8::1", "51820"},
           Case{"[vpn.example.com]:443", "vpn.example.com", "443"},
           Case{"[]:1", "[]", "1"},
           Case{"[2001:db8::1", "[2001", "1"},
           Case{" host : 1 ", " host ", " 1 "},
           Case{"", "", ""},
           Case{":::", "", ""},
       }) {
    auto parts = peerEndpoint({{"endpoint", c.endpoint}});
    EXPECT_EQ(parts.host, c.host) << c.endpoint;
    EXPECT_EQ(parts.port, c.port) << c.endpoint;
  }
}

TEST(IntegerAccessors, ParseDecimalOrGiveTheDefault) {
  struct Case {
    std::optional<std::string> value;
    std::int64_t mtu;
    std::int64_t keepalive;
  };
  const Case cases[] = {
      {std::nullopt, 1420, 0},
      {"", 1420, 0},
      {"1280", 1280, 1280},
      {"+25", 25, 25},
      {"-5", -5, -5},
      {"0", 0, 0},
      {"-0", 0, 0},
      {"off", 1420, 0},
      {"12a", 1420, 0},
      {"+", 1420, 0},
      {"+-1", 1420, 0},
      {" 25", 1420, 0},
      {"9223372036854775807", INT64_MAX, INT64_MAX},
      {"-9223372036854775808", INT64_MIN, INT64_MIN},
      {"9223372036854775808", 1420, 0},
      {"-9223372036854775809", 1420, 0},
      {"99999999999999999999", 1420, 0},
      {"\u0661\u0662", 1420, 0},  // Arabic-Indic digits are not ASCII digits
  };
  for (const auto& c : cases) {
    StringMap interface, peer;
    if (c.value) {
      interface["mtu"] = *c.value;
      peer["persistentkeepalive"] = *c.value;
    }
    EXPECT_EQ(interfaceMTU(interface), c.mtu) << c.value.value_or("<missing>");
    EXPECT_EQ(peerKeepalive(peer), c.keepalive) << c.value.value_or("<missing>");
  }
}

TEST(ParseTunnelConfig, RandomTextsParseOrFailWithAKnownMessage) {
  // Lines, some well-formed, some broken, joined in random order.
  const std::string lines[] = {"[Interface]",
                               "[peer]",
                               "PrivateKey = k=",
                               "publickey=p",
                               "Endpoint = h:1",
                               "\u212Aey = v",
                               "\xFF\xC3=\xE2\x80",
                               " # c = d",
                               "[x]\r",
                               "=",
                               "",
                               "\t\u00A0\u0130=\xF4\x90"};
  std::mt19937 random(42);
  int parsed = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const auto count = random() % 16;
    for (unsigned i = 0; i < count; ++i) text += lines[random() % std::size(lines)] + "\n";
    const std::string error = parseError(text);
    EXPECT_TRUE(error.empty() || error == "нет PrivateKey" || error == "нет PublicKey" ||
                error == "нет корректного Endpoint" ||
                error == "поддерживается только одна секция [Peer]")
        << error;
    parsed += error.empty();
  }
  EXPECT_GT(parsed, 0) << "the generator never produced a complete configuration";
}

}  // namespace
}  // namespace zorvik

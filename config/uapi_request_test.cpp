#include "config/uapi_request.h"

#include <gtest/gtest.h>

#include <mutex>

#include "base/service_error.h"
#include "config/tunnel_config.h"
#include "testing/unix_test_peer.h"

namespace zorvik {
namespace {

const std::string kPrivate = "AQIDBAUGBwgJCgsMDQ4PEBESExQVFhcYGRobHB0eHyA=";
const std::string kPrivateHex = "0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20";
const std::string kPublic = "//////////////////////////////////////////8=";
const std::string kPublicHex = std::string(64, 'f');
const std::string kPreshared = "ZGVmZ2hpamtsbW5vcHFyc3R1dnd4eXp7fH1+f4CBgoM=";
const std::string kPresharedHex =
    "6465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f80818283";

/// The message of the error that building the request throws, or "" when it builds.
std::string buildError(const StringMap& interfaceMap, const StringMap& peerMap) {
  try {
    makeUAPISetRequest(interfaceMap, peerMap, "1.2.3.4:51820");
  } catch (const ServiceError& e) {
    return e.msg;
  }
  return "";
}

TEST(HexEncode, TwoLowerCaseDigitsPerByte) {
  EXPECT_EQ(hexEncode(""), "");
  EXPECT_EQ(hexEncode(std::string("\x00\x0f\xa0\xff", 4)), "000fa0ff");
}

/// The lines, each ended by a line feed.
std::string joinLines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

TEST(MakeUAPISetRequest, FullRequestInProtocolOrder) {
  const StringMap interfaceMap{
      {"privatekey", kPrivate},  {"h4", "4"}, {"jc", "x y"}, {"s1", ""}, {"jmin", "8"}, {"h1", "1"},
      {"address", "10.0.0.2/32"}};
  const StringMap peerMap{{"publickey", kPublic},
                          {"presharedkey", kPreshared},
                          {"persistentkeepalive", "25"},
                          {"allowedips", " 10.0.0.0/8 ,\t192.168.0.1/16,, \u00A0 ,fd00::/8"}};
  EXPECT_EQ(
      makeUAPISetRequest(interfaceMap, peerMap, "203.0.113.5:51820"),
      joinLines({"set=1", "private_key=" + kPrivateHex, "jc=x y", "jmin=8", "h1=1", "h4=4",
                 "replace_peers=true", "public_key=" + kPublicHex, "preshared_key=" + kPresharedHex,
                 "endpoint=203.0.113.5:51820", "persistent_keepalive_interval=25",
                 "replace_allowed_ips=true", "allowed_ip=10.0.0.0/8", "allowed_ip=192.168.0.0/16",
                 "allowed_ip=fd00::/8", ""}));
}

TEST(MakeUAPISetRequest, EveryDaemonSettingInOneFixedOrder) {
  // Written in no particular order and case, as configurations come.
  const TunnelConfig config = parseTunnelConfig(
      "[Interface]\n"
      "DisableCookies = false\nI5 = <t>\nrekeytimeout = 5-10\nS4 = 16\nH3 = 300-399\n"
      "RandomTrailers = true\nI1 = <b 0xc700000001><r 16><t>\nJmax = 70\nS3 = 32\n"
      "HeaderProtectionKey = " +
      kPreshared + "\nKeepaliveTimeout = 10\nH1 = 100-199\nI3 = <r 8>\nPrivateKey = " + kPrivate +
      "\nMaxHandshakeAttempts = 20-40\nS2 = 0\nJc = 4\nI2 = \nH4 = 400-499\n"
      "RejectAfterTime = 180\nContentPaddingAddition = 0-16\nJmin = 40\nI4 = <c>\nS1 = 15\n"
      "H2 = 200-299\nRekeyAfterTime = 120\n"
      "[Peer]\nPublicKey = " +
      kPublic + "\nEndpoint = e:1\nPersistentKeepalive = 25\n");
  EXPECT_EQ(makeUAPISetRequest(config.interface, config.peer, "203.0.113.5:1"),
            joinLines({"set=1",
                       "private_key=" + kPrivateHex,
                       "jc=4",
                       "jmin=40",
                       "jmax=70",
                       "s1=15",
                       "s2=0",
                       "s3=32",
                       "s4=16",
                       "h1=100-199",
                       "h2=200-299",
                       "h3=300-399",
                       "h4=400-499",
                       "i1=<b 0xc700000001><r 16><t>",
                       "i3=<r 8>",
                       "i4=<c>",
                       "i5=<t>",
                       "header_protection_key=" + kPresharedHex,
                       "content_padding_addition=0-16",
                       "rekey_after_time=120",
                       "rekey_timeout=5-10",
                       "reject_after_time=180",
                       "keepalive_timeout=10",
                       "max_handshake_attempts=20-40",
                       "random_trailers=true",
                       "disable_cookies=false",
                       "replace_peers=true",
                       "public_key=" + kPublicHex,
                       "endpoint=203.0.113.5:1",
                       "persistent_keepalive_interval=25",
                       "replace_allowed_ips=true",
                       "allowed_ip=0.0.0.0/0",
                       ""}));
}

TEST(MakeUAPISetRequest, MinimalRequest) {
  const StringMap interfaceMap{{"privatekey", kPrivate}};
  const StringMap peerMap{{"publickey", kPublic}, {"presharedkey", ""}};
  EXPECT_EQ(makeUAPISetRequest(interfaceMap, peerMap, "[2001:db8::1]:1"),
            joinLines({"set=1", "private_key=" + kPrivateHex, "replace_peers=true",
                       "public_key=" + kPublicHex, "endpoint=[2001:db8::1]:1",
                       "replace_allowed_ips=true", "allowed_ip=0.0.0.0/0", ""}));
}

TEST(MakeUAPISetRequest, EmptyAllowedIPsGiveNoAllowedIPLine) {
  const std::string request = makeUAPISetRequest(
      {{"privatekey", kPrivate}}, {{"publickey", kPublic}, {"allowedips", ""}}, "e:1");
  EXPECT_TRUE(request.ends_with("replace_allowed_ips=true\n\n")) << request;
}

TEST(MakeUAPISetRequest, KeepaliveLineOnlyFromOneUp) {
  struct Case {
    std::optional<std::string> value;
    std::string expectedLine;  // "" for no line
  };
  const Case cases[] = {{std::nullopt, ""},
                        {"0", ""},
                        {"-5", ""},
                        {"off", ""},
                        {"1", "persistent_keepalive_interval=1\n"},
                        {"+25", "persistent_keepalive_interval=25\n"},
                        // A range goes as the daemon takes it, in plain decimal.
                        {"10-20", "persistent_keepalive_interval=10-20\n"},
                        {"1-65535", "persistent_keepalive_interval=1-65535\n"},
                        {"007-7", "persistent_keepalive_interval=7-7\n"},
                        {"20-10", ""},
                        {"0-10", ""},
                        {"10-65536", ""},
                        {"+10-20", ""},
                        {"10 - 20", ""},
                        {"10-20-30", ""},
                        {"10-", ""}};
  for (const auto& c : cases) {
    StringMap peer{{"publickey", kPublic}};
    if (c.value) peer["persistentkeepalive"] = *c.value;
    const std::string request = makeUAPISetRequest({{"privatekey", kPrivate}}, peer, "e:1");
    const bool present = request.find("persistent_keepalive_interval=") != std::string::npos;
    EXPECT_EQ(present, !c.expectedLine.empty()) << c.value.value_or("<missing>");
    if (!c.expectedLine.empty()) {
      EXPECT_NE(request.find(c.expectedLine), std::string::npos) << request;
    }
  }
}

TEST(MakeUAPISetRequest, MissingOrBadKeys) {
  struct Case {
    const char* name;
    StringMap interfaceMap;
    StringMap peerMap;
    std::string message;
  };
  const std::string ok = "";
  const Case cases[] = {
      {"noPrivate", {}, {{"publickey", kPublic}}, "нет ключей в конфиге"},
      {"noPublic", {{"privatekey", kPrivate}}, {}, "нет ключей в конфиге"},
      // Missing keys are reported before a bad one is noticed.
      {"badPrivateNoPublic", {{"privatekey", "bad"}}, {}, "нет ключей в конфиге"},
      {"emptyPrivate", {{"privatekey", ""}}, {{"publickey", kPublic}}, "плохой ключ"},
      {"emptyPublic", {{"privatekey", kPrivate}}, {{"publickey", ""}}, "плохой ключ"},
      {"31Bytes",
       {{"privatekey", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=="}},
       {{"publickey", kPublic}},
       "плохой ключ"},
      {"33Bytes",
       {{"privatekey", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"}},
       {{"publickey", kPublic}},
       "плохой ключ"},
      {"withoutPadding",
       {{"privatekey", kPrivate.substr(0, 43)}},
       {{"publickey", kPublic}},
       "плохой ключ"},
      {"urlSafeAlphabet",
       {{"privatekey", kPrivate}},
       {{"publickey", "__________________________________________8="}},
       "плохой ключ"},
      {"innerBlank",
       {{"privatekey", kPrivate.substr(0, 20) + " " + kPrivate.substr(21)}},
       {{"publickey", kPublic}},
       "плохой ключ"},
      {"lineBreak",
       {{"privatekey", kPrivate.substr(0, 40) + "\n" + kPrivate.substr(40)}},
       {{"publickey", kPublic}},
       "плохой ключ"},
      {"paddingInside",
       {{"privatekey", "AQ==" + kPrivate.substr(4)}},
       {{"publickey", kPublic}},
       "плохой ключ"},
      {"tripleEquals",
       {{"privatekey", kPrivate.substr(0, 41) + "==="}},
       {{"publickey", kPublic}},
       "плохой ключ"},
      {"badPreshared",
       {{"privatekey", kPrivate}},
       {{"publickey", kPublic}, {"presharedkey", "notbase64!"}},
       "плохой ключ"},
      {"badHeaderProtectionKey",
       {{"privatekey", kPrivate}, {"headerprotectionkey", kPrivate.substr(0, 40) + "AA=="}},
       {{"publickey", kPublic}},
       "плохой ключ"},
      {"allGood",
       {{"privatekey", kPrivate}},
       {{"publickey", kPublic}, {"presharedkey", kPreshared}},
       ok},
      // Unused low bits in the last digit are not checked: the 32 bytes decode the same.
      {"nonCanonicalLastDigit",
       {{"privatekey", kPrivate.substr(0, 42) + "B="}},
       {{"publickey", kPublic}},
       ok},
  };
  for (const auto& c : cases) EXPECT_EQ(buildError(c.interfaceMap, c.peerMap), c.message) << c.name;
}

TEST(ApplyUAPIConfig, KeyErrorsComeBeforeAnyConnection) {
  // A path that names no socket: connecting first would give "connect(UAPI) failed".
  EXPECT_THROW(
      {
        try {
          applyUAPIConfig("/nonexistent/zorvik.sock", {{"privatekey", kPrivate.substr(1)}},
                          {{"publickey", kPublic}}, "1.2.3.4:1");
        } catch (const ServiceError& e) {
          EXPECT_EQ(e.msg, "плохой ключ");
          throw;
        }
      },
      ServiceError);
}

struct AnswerCase {
  const char* name;
  std::string answer;
  std::string error;  // "" for success
};

class ApplyUAPIConfigAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ApplyUAPIConfigAnswers, AcceptsOnlyAnAnswerWithErrnoZero) {
  std::mutex mutex;
  std::string received;
  test_support::UnixTestPeer peer([&](int fd) {
    const std::string request = test_support::readRequest(fd);
    {
      std::lock_guard lock(mutex);
      received = request;
    }
    test_support::writeAll(fd, GetParam().answer);
  });
  const StringMap interfaceMap{{"privatekey", kPrivate}};
  const StringMap peerMap{{"publickey", kPublic}};
  std::string error;
  try {
    applyUAPIConfig(peer.path(), interfaceMap, peerMap, "1.2.3.4:51820",
                    std::chrono::milliseconds(2000));
  } catch (const ServiceError& e) {
    error = e.msg;
  }
  EXPECT_EQ(error, GetParam().error);
  std::lock_guard lock(mutex);
  EXPECT_EQ(received, makeUAPISetRequest(interfaceMap, peerMap, "1.2.3.4:51820"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplyUAPIConfigAnswers,
    ::testing::Values(
        AnswerCase{"errnoZero", "errno=0\n\n", ""},
        AnswerCase{"errnoZeroThenClosed", "errno=0\n", ""},
        AnswerCase{"errnoZeroLeadingZero", "errno=00\n\n", ""},
        AnswerCase{"afterTheEmptyLineIgnored", "errno=0\n\nnote=1\n", ""},
        AnswerCase{"refused", "errno=1\n\n", "UAPI отклонил конфиг: errno=1\n\n"},
        AnswerCase{"rejected", "errno=-22\n\n", "UAPI отклонил конфиг: errno=-22\n\n"},
        AnswerCase{"otherLineBefore", "note=1\nerrno=0\n\n",
                   "UAPI отклонил конфиг: note=1\nerrno=0\n\n"},
        AnswerCase{"otherLineAfter", "errno=0\nnote=1\n\n",
                   "UAPI отклонил конфиг: errno=0\nnote=1\n\n"},
        AnswerCase{"secondErrno", "errno=0\nerrno=0\n\n",
                   "UAPI отклонил конфиг: errno=0\nerrno=0\n\n"},
        AnswerCase{"missingErrno", "note=1\n\n", "UAPI отклонил конфиг: note=1\n\n"},
        AnswerCase{"emptyLineFirst", "\nerrno=0\n\n", "UAPI отклонил конфиг: \nerrno=0\n\n"},
        AnswerCase{"hexSuffix", "errno=0x\n\n", "UAPI отклонил конфиг: errno=0x\n\n"},
        AnswerCase{"signed", "errno=-0\n\n", "UAPI отклонил конфиг: errno=-0\n\n"},
        AnswerCase{"blank", "errno=0 \n\n", "UAPI отклонил конфиг: errno=0 \n\n"},
        AnswerCase{"noDigits", "errno=\n\n", "UAPI отклонил конфиг: errno=\n\n"},
        AnswerCase{"elevenZeros", "errno=00000000000\n\n",
                   "UAPI отклонил конфиг: errno=00000000000\n\n"},
        AnswerCase{"pastInt", "errno=2147483648\n\n", "UAPI отклонил конфиг: errno=2147483648\n\n"},
        AnswerCase{"empty", "", "UAPI отклонил конфиг: "},
        AnswerCase{"unfinished", "errno=0", "UAPI отклонил конфиг: errno=0"},
        // Quoted up to 256 bytes, never cutting a character in two.
        AnswerCase{"longQuotedInPart", std::string(255, 'e') + "жж\n\n",
                   "UAPI отклонил конфиг: " + std::string(255, 'e')}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorvik

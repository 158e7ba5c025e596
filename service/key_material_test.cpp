// No private or preshared key, in the configuration's base64 or in the hex that
// the daemon receives, ever reaches a log: the system log records, the helper
// log file or the daemon's log file, over a whole start and stop and over starts
// that fail after the keys were decoded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sstream>

#include "config/uapi_request.h"
#include "testing/tunnel_fixture.h"

namespace zorvik::test_support {
namespace {

/// A key of 32 bytes counting up from `first`, in base64 and in hex.
struct TestKey {
  std::string base64;
  std::string hex;
};

TestKey makeKey(unsigned char first) {
  static constexpr char digits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  for (int i = 0; i < 32; ++i) bytes += static_cast<char>(first + 7 * i);
  // Standard base64: each three bytes make four digits; the last two bytes make
  // three digits and one "=".
  std::string base64;
  std::uint32_t bits = 0;
  int count = 0;
  for (unsigned char byte : bytes) {
    bits = (bits << 8) | byte;
    count += 8;
    while (count >= 6) {
      count -= 6;
      base64 += digits[(bits >> count) & 0x3F];
    }
  }
  base64 += digits[(bits << (6 - count)) & 0x3F];
  base64 += '=';
  return {base64, hexEncode(bytes)};
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class KeyMaterial : public TunnelTest {
 protected:
  const TestKey privateKey = makeKey(0x11);
  const TestKey publicKey = makeKey(0x52);
  const TestKey presharedKey = makeKey(0x93);

  std::string config(const std::string& preshared) const {
    return "[Interface]\nPrivateKey = " + privateKey.base64 +
           "\nAddress = 10.8.0.2/32\nDNS = 1.1.1.1\n\n[Peer]\nPublicKey = " + publicKey.base64 +
           "\nPresharedKey = " + preshared + "\nEndpoint = 203.0.113.5:51820\n";
  }

  /// Every place a log ends up, one text per place.
  std::vector<std::pair<std::string, std::string>> logs() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& record : sink->records()) out.emplace_back("system log", record.message);
    out.emplace_back("helper log file", fileText(settings.logPath));
    out.emplace_back("daemon log file", fileText(settings.daemonLogPath));
    return out;
  }

  void expectNoSecretInLogs() const {
    const std::array<std::pair<const char*, const TestKey*>, 2> secrets = {
        {{"private key", &privateKey}, {"preshared key", &presharedKey}}};
    for (const auto& [where, text] : logs()) {
      for (const auto& [name, key] : secrets) {
        EXPECT_EQ(text.find(key->base64), std::string::npos) << name << " (base64) in " << where;
        EXPECT_EQ(text.find(key->hex), std::string::npos) << name << " (hex) in " << where;
      }
    }
  }
};

TEST_F(KeyMaterial, TheTestKeysAreWellFormed) {
  for (const TestKey* key : {&privateKey, &publicKey, &presharedKey}) {
    EXPECT_EQ(key->base64.size(), 44u) << key->base64;
    EXPECT_EQ(key->base64.back(), '=') << key->base64;
    EXPECT_EQ(key->hex.size(), 64u) << key->hex;
  }
  // The request builder takes them, so they are the keys a real start would carry.
  const TunnelConfig parsed = parseTunnelConfig(config(presharedKey.base64));
  const std::string request = makeUAPISetRequest(parsed.interface, parsed.peer, "1.2.3.4:5");
  EXPECT_NE(request.find("private_key=" + privateKey.hex + "\n"), std::string::npos) << request;
  EXPECT_NE(request.find("preshared_key=" + presharedKey.hex + "\n"), std::string::npos) << request;
}

TEST_F(KeyMaterial, AStartAndStopLogNoKey) {
  ASSERT_EQ(start(config(presharedKey.base64)), (Result{true, std::nullopt}));
  ASSERT_EQ(stop(), (Result{true, std::nullopt}));

  // The keys did travel: the daemon received them in hex.
  const auto requests = uapiRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(requests[0].find(privateKey.hex), std::string::npos);
  EXPECT_NE(requests[0].find(presharedKey.hex), std::string::npos);
  EXPECT_FALSE(fileText(settings.logPath).empty());
  expectNoSecretInLogs();
}

TEST_F(KeyMaterial, AStartTheDaemonRejectsLogsItsAnswerButNoKey) {
  setFakeDaemon("FAKE_AWG_SET_ERRNO", "-22");
  const Result result = start(config(presharedKey.base64));
  ASSERT_FALSE(result.ok);
  EXPECT_THAT(result.error.value_or(""), ::testing::StartsWith("UAPI отклонил конфиг: "));
  EXPECT_THAT(systemLog(LogLevel::error),
              ::testing::ElementsAre("startTunnel: " + result.error.value_or("")));
  ASSERT_EQ(uapiRequests().size(), 1u);
  expectNoSecretInLogs();
}

TEST_F(KeyMaterial, AStartWithABadPresharedKeyLogsNeitherKey) {
  // The private key decodes before the bad preshared key is found.
  const std::string badPreshared = presharedKey.base64.substr(0, 40) + "====";
  const Result result = start(config(badPreshared));
  EXPECT_EQ(result, (Result{false, std::string("плохой ключ")}));
  EXPECT_TRUE(uapiRequests().empty());
  expectNoSecretInLogs();
  for (const auto& [where, text] : logs()) {
    EXPECT_EQ(text.find(badPreshared), std::string::npos) << "bad preshared key in " << where;
  }
}

}  // namespace
}  // namespace zorvik::test_support

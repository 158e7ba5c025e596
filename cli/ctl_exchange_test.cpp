#include "cli/ctl_exchange.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zorvik::ctl {
namespace {

Invocation invocationOf(Command command, bool json = false) {
  Invocation invocation;
  invocation.command = command;
  invocation.json = json;
  return invocation;
}

TEST(ZorvikctlRequest, OneJsonLinePerCommand) {
  EXPECT_EQ(requestLine(invocationOf(Command::version), 1, ""),
            "{\"id\":1,\"method\":\"getVersion\"}\n");
  EXPECT_EQ(requestLine(invocationOf(Command::start), 1, "[Interface]\nMTU = 1280\n"),
            "{\"id\":1,\"method\":\"startTunnel\",\"config\":\"[Interface]\\nMTU = 1280\\n\"}\n");
  EXPECT_EQ(requestLine(invocationOf(Command::stop), 2, "ignored"),
            "{\"id\":2,\"method\":\"stopTunnel\"}\n");
  EXPECT_EQ(requestLine(invocationOf(Command::status), 3, ""),
            "{\"id\":3,\"method\":\"status\"}\n");
  EXPECT_THROW(requestLine(invocationOf(Command::start), 1, "\xff\xfe"), std::invalid_argument);
}

TEST(ZorvikctlReply, FindsTheIdOfAReply) {
  EXPECT_EQ(replyId(R"({"id":7,"version":"1"})"), 7);
  EXPECT_EQ(replyId(R"({"id":"7"})"), std::nullopt);
  EXPECT_EQ(replyId("garbage"), std::nullopt);
}

TEST(ZorvikctlReply, PrintsAndExitsForEachReply) {
  struct Case {
    Command command;
    bool json;
    const char* reply;
    int exitCode;
    const char* out;
    const char* err;
  };
  const Case cases[] = {
      {Command::version, false, R"({"id":1,"version":"1"})", 0, "1\n", ""},
      {Command::start, false, R"({"id":1,"ok":true,"error":null})", 0, "tunnel started\n", ""},
      {Command::start, false, R"({"id":1,"ok":false,"error":"нет Endpoint"})", 1, "",
       "zorvikctl: start failed: нет Endpoint\n"},
      {Command::stop, false, R"({"id":1,"ok":true,"error":null})", 0, "tunnel stopped\n", ""},
      {Command::status, false, R"({"id":1,"active":true,"rx":1536,"tx":0})", 0,
       "state: up\nreceived: 1536 bytes (1.5 KiB)\nsent: 0 bytes (0 B)\n", ""},
      {Command::status, false, R"({"id":1,"active":false,"rx":0,"tx":0})", 0,
       "state: down\nreceived: 0 bytes (0 B)\nsent: 0 bytes (0 B)\n", ""},
      {Command::status, true, R"({"id":1,"active":true,"rx":1,"tx":2})", 0,
       "{\"id\":1,\"active\":true,\"rx\":1,\"tx\":2}\n", ""},
      {Command::status, false, R"({"id":1,"active":true,"rx":1,"tx":2,"handshakeAge":75})", 0,
       "state: up\nreceived: 1 bytes (1 B)\nsent: 2 bytes (2 B)\nlast handshake: 75 s ago\n", ""},
      {Command::status, false, R"({"id":1,"active":true,"rx":0,"tx":0,"handshakeAge":null})", 0,
       "state: up\nreceived: 0 bytes (0 B)\nsent: 0 bytes (0 B)\nlast handshake: none\n", ""},
      {Command::status, true, R"({"id":1,"active":true,"rx":1,"tx":2,"handshakeAge":null})", 0,
       "{\"id\":1,\"active\":true,\"rx\":1,\"tx\":2,\"handshakeAge\":null}\n", ""},
      {Command::status, false, R"({"id":1,"active":true,"rx":1,"tx":2,"handshakeAge":-3})", 2, "",
       "zorvikctl: unexpected reply from the helper: "
       "{\"id\":1,\"active\":true,\"rx\":1,\"tx\":2,\"handshakeAge\":-3}\n"},
      {Command::status, false, R"({"id":1,"error":"bad request: unknown method \"status\""})", 1,
       "", "zorvikctl: the helper rejected the request: bad request: unknown method \"status\"\n"},
      {Command::status, false, R"({"id":1,"active":true,"rx":-1,"tx":2})", 2, "",
       "zorvikctl: unexpected reply from the helper: "
       "{\"id\":1,\"active\":true,\"rx\":-1,\"tx\":2}\n"},
      {Command::version, false, "not json", 2, "",
       "zorvikctl: unexpected reply from the helper: not json\n"},
      {Command::stop, false, R"({"id":1,"version":"1"})", 2, "",
       "zorvikctl: unexpected reply from the helper: {\"id\":1,\"version\":\"1\"}\n"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = interpretReply(invocationOf(c.command, c.json), c.reply);
    EXPECT_EQ(outcome.exitCode, c.exitCode) << c.reply;
    EXPECT_EQ(outcome.out, c.out) << c.reply;
    EXPECT_EQ(outcome.err, c.err) << c.reply;
  }
}

TEST(ZorvikctlReply, HumanSizesSwitchUnitsWithoutPrinting1024) {
  const std::pair<std::uint64_t, const char*> cases[] = {
      {0, "0 B"},
      {1023, "1023 B"},
      {1024, "1.0 KiB"},
      {1536, "1.5 KiB"},
      {1048575, "1.0 MiB"},
      {5ull << 30, "5.0 GiB"},
      {18446744073709551615ull, "16.0 EiB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(humanSize(bytes), text) << bytes;
}

}  // namespace
}  // namespace zorvik::ctl

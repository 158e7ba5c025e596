#include "cli/ctl_wire.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "wire/socket_path.h"

namespace zorvik::ctl {
namespace {

TEST(ZorvikctlArguments, UnderstandsEveryCommandAndOption) {
  struct Case {
    std::vector<std::string> arguments;
    Command command;
    std::string socket;
    std::string source;
    bool json;
  };
  const Case cases[] = {
      {{"version"}, Command::version, kHelperSocketPath, "", false},
      {{"--socket", "/tmp/h.sock", "stop"}, Command::stop, "/tmp/h.sock", "", false},
      {{"--socket=/tmp/h.sock", "start", "-"}, Command::start, "/tmp/h.sock", "-", false},
      {{"start", "tunnel.conf", "--socket", "/s"}, Command::start, "/s", "tunnel.conf", false},
      {{"status", "--json"}, Command::status, kHelperSocketPath, "", true},
  };
  for (const auto& c : cases) {
    const ParsedArguments parsed = parseArguments(c.arguments);
    ASSERT_TRUE(parsed.invocation) << c.arguments.front() << ": " << parsed.error;
    EXPECT_EQ(parsed.invocation->command, c.command);
    EXPECT_EQ(parsed.invocation->socketPath, c.socket);
    EXPECT_EQ(parsed.invocation->configSource, c.source);
    EXPECT_EQ(parsed.invocation->json, c.json);
  }
}

TEST(ZorvikctlArguments, SaysWhatIsWrong) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no command given"},
      {{"reboot"}, "unknown command reboot"},
      {{"start"}, "start needs a configuration file, or - for standard input"},
      {{"stop", "now"}, "unexpected argument now"},
      {{"status", "--verbose"}, "unknown option --verbose"},
      {{"version", "--json"}, "--json goes with status only"},
      {{"version", "--socket"}, "--socket needs a path"},
      {{"--socket=", "version"}, "--socket needs a path"},
  };
  for (const auto& [arguments, error] : cases) {
    const ParsedArguments parsed = parseArguments(arguments);
    EXPECT_FALSE(parsed.invocation) << error;
    EXPECT_FALSE(parsed.help);
    EXPECT_EQ(parsed.error, error);
  }
  EXPECT_TRUE(parseArguments({"status", "--help"}).help);
  EXPECT_TRUE(parseArguments({"-h"}).help);
}

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

#include "cli/ctl_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

}  // namespace
}  // namespace zorvik::ctl

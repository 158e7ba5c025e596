#include "testing/fake_tools.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "netsys/command_runner.h"

namespace zorvik::test_support {
namespace {

using Calls = std::vector<std::vector<std::string>>;

TEST(FakeTools, AnswersByToolAndArgumentsAndJournalsEveryCall) {
  std::string dir;
  {
    FakeTools tools;
    dir = tools.dir().path().string();
    tools.on("route", {"-n", "get", "default"}, "   gateway: 10.0.0.1\n")
        .onPrefix("networksetup", {"-getinfo"}, "IPv6: Automatic\n", 3);

    EXPECT_EQ(runToolCapturingOutput(tools.routePath(), {"-n", "get", "default"}),
              "   gateway: 10.0.0.1\n");
    // Same arguments, other tool: no rule, no output.
    EXPECT_EQ(runToolCapturingOutput(tools.ifconfigPath(), {"-n", "get", "default"}), "");
    // Exact rules do not match longer argument lists.
    EXPECT_EQ(runToolCapturingOutput(tools.routePath(), {"-n", "get", "default", "x"}), "");
    EXPECT_EQ(runTool(tools.networksetupPath(), {"-getinfo", "Wi-Fi"}), 3);
    EXPECT_EQ(runTool(tools.networksetupPath(), {"-setv6off", "Wi-Fi"}), 0);

    EXPECT_EQ(tools.calls(), (Calls{{"route", "-n", "get", "default"},
                                    {"ifconfig", "-n", "get", "default"},
                                    {"route", "-n", "get", "default", "x"},
                                    {"networksetup", "-getinfo", "Wi-Fi"},
                                    {"networksetup", "-setv6off", "Wi-Fi"}}));
    EXPECT_EQ(tools.callsOf("networksetup"),
              (Calls{{"-getinfo", "Wi-Fi"}, {"-setv6off", "Wi-Fi"}}));
    tools.clearCalls();
    EXPECT_TRUE(tools.calls().empty());
  }
  EXPECT_FALSE(std::filesystem::exists(dir)) << "directory must be removed";
}

TEST(FakeTools, FirstMatchingRuleWins) {
  FakeTools tools;
  tools.on("networksetup", {"-getdnsservers", "Wi-Fi"}, "8.8.8.8\n")
      .onPrefix("networksetup", {"-getdnsservers"}, "There aren't any DNS Servers set.\n");
  EXPECT_EQ(runToolCapturingOutput(tools.networksetupPath(), {"-getdnsservers", "Wi-Fi"}),
            "8.8.8.8\n");
  EXPECT_EQ(runToolCapturingOutput(tools.networksetupPath(), {"-getdnsservers", "Ethernet"}),
            "There aren't any DNS Servers set.\n");
}

}  // namespace
}  // namespace zorvik::test_support

// A start that fails at each step of the bring-up: its reply, what the teardown
// found and undid, and the daemon it leaves behind (none running).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/child_process.h"
#include "testing/tunnel_fixture.h"

namespace zorvik::test_support {
namespace {

using ::testing::IsEmpty;

const std::vector<std::string> kGatewayLookup = {"route", "-n", "get", "default"};
const std::vector<std::string> kHostRouteDelete = {
    "route", "-q", "-n", "delete", "-inet", "203.0.113.5/32", "192.168.1.1"};

const std::vector<std::string> kHostRouteAdd = {
    "route", "-q", "-n", "add", "-inet", "203.0.113.5/32", "192.168.1.1"};

/// The calls in order: each of `parts` whole.
TunnelTest::Calls joined(std::initializer_list<TunnelTest::Calls> parts) {
  TunnelTest::Calls all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

/// The bring-up up to its tunnel routes: the gateway look-up, the interface, the host route.
const TunnelTest::Calls kUpToRoutes = {
    kGatewayLookup,
    {"ifconfig", "utun7", "inet", "10.8.0.2", "10.8.0.2", "alias"},
    {"ifconfig", "utun7", "mtu", "1380"},
    {"ifconfig", "utun7", "up"},
    kHostRouteAdd};

/// Every tunnel route of the default configuration, checked, and its reject routes.
TunnelTest::Calls allRoutes() {
  return joined(
      {kUpToRoutes, checkedTunnelRouteCalls(kRoutesAroundServer), rejectRouteCalls("add")});
}

FakeTools::Rule succeedsWithoutEffect(const std::string& tool, FakeTools::Arguments arguments) {
  FakeTools::Rule rule;
  rule.tool = tool;
  rule.arguments = std::move(arguments);
  rule.noEffect = true;
  return rule;
}

const std::vector<std::string> kSetWifiDNS = {"-setdnsservers", "Wi-Fi", "1.1.1.1", "8.8.8.8"};

struct FailureCase {
  std::string name;
  std::function<void(TunnelTest&)> setUp;
  std::string config;
  std::function<std::string(const TunnelTest&)> error;
  TunnelTest::Calls calls;  // the bring-up's and then the teardown's
  bool daemonStarted;
};

std::function<std::string(const TunnelTest&)> fixed(std::string text) {
  return [text](const TunnelTest&) { return text; };
}

// The same spawn fails the same way, so its error is the one to expect.
std::string launchError(const TunnelTest& t) {
  try {
    spawnProcess({t.settings.daemonPath, {"utun"}, std::nullopt, -1, -1, -1});
  } catch (const std::system_error& e) {
    return e.what();
  }
  return "the daemon was started";
}

std::string runDirError(const TunnelTest& t) {
  return "не удалось создать каталог " + t.settings.runDir + ": Not a directory";
}

std::string unsafeRunDir(const TunnelTest& t) {
  return "небезопасный каталог " + t.settings.runDir +
         ": владелец не root или запись открыта другим";
}

const FailureCase kCases[] = {
    {"unparsable", {}, "", fixed("нет PrivateKey"), {}, false},
    {"run directory under a file",
     [](TunnelTest& t) {
       std::ofstream(t.dir.file("file")) << "x";
       t.settings.runDir = t.dir.file("file") + "/run";
     },
     tunnelConfig(),
     runDirError,
     {},
     false},
    {"run directory writable by others",
     [](TunnelTest& t) {
       std::filesystem::create_directories(t.settings.runDir);
       ::chmod(t.settings.runDir.c_str(), 01777);
     },
     tunnelConfig(),
     unsafeRunDir,
     {},
     false},
    {"run directory a symlink",
     [](TunnelTest& t) {
       std::filesystem::create_directory(t.dir.file("elsewhere"));
       std::filesystem::create_directory_symlink(t.dir.file("elsewhere"), t.settings.runDir);
     },
     tunnelConfig(),
     unsafeRunDir,
     {},
     false},
    {"no default route",
     [](TunnelTest& t) { t.gatewayOutput = "route: not in table\n"; },
     tunnelConfig(),
     fixed("нет маршрута по умолчанию"),
     {kGatewayLookup},
     false},
    {"unresolvable host",
     {},
     tunnelConfig("vpn.zorvik.invalid:51820"),
     fixed("не удалось разрешить vpn.zorvik.invalid"),
     {kGatewayLookup},
     false},
    // Refused with the parse, before any tool runs.
    {"bracketed IPv6 endpoint",
     {},
     tunnelConfig("[2001:db8::1]:51820"),
     fixed("IPv6-адрес сервера не поддерживается: 2001:db8::1"),
     {},
     false},
    {"missing daemon",
     [](TunnelTest& t) { t.settings.daemonPath = t.dir.file("amneziawg-go"); },
     tunnelConfig(),
     [](const TunnelTest& t) { return "amneziawg-go не найден: " + t.dir.file("amneziawg-go"); },
     {kGatewayLookup, kHostRouteDelete},
     false},
    {"daemon not executable",
     [](TunnelTest& t) {
       t.settings.daemonPath = t.dir.file("amneziawg-go");
       std::ofstream(t.settings.daemonPath) << "#!/bin/sh\n";
       ::chmod(t.settings.daemonPath.c_str(), 0644);
     },
     tunnelConfig(),
     [](const TunnelTest& t) { return "amneziawg-go не найден: " + t.dir.file("amneziawg-go"); },
     {kGatewayLookup, kHostRouteDelete},
     false},
    {"daemon cannot be launched",
     [](TunnelTest& t) {
       t.settings.daemonPath = t.dir.file("amneziawg-go");
       std::ofstream(t.settings.daemonPath) << "not a program\n";
       ::chmod(t.settings.daemonPath.c_str(), 0755);
     },
     tunnelConfig(),
     launchError,
     {kGatewayLookup, kHostRouteDelete},
     false},
    {"no interface name",
     [](TunnelTest& t) {
       t.setFakeDaemon("FAKE_AWG_NAME_MODE", "none");
       t.settings.interfaceNameWait = 300ms;
     },
     tunnelConfig(),
     fixed("amneziawg-go не создал utun"),
     {kGatewayLookup, kHostRouteDelete},
     true},
    {"empty interface name",
     [](TunnelTest& t) {
       t.setFakeDaemon("FAKE_AWG_NAME_MODE", "empty");
       t.settings.interfaceNameWait = 300ms;
     },
     tunnelConfig(),
     fixed("amneziawg-go не создал utun"),
     {kGatewayLookup, kHostRouteDelete},
     true},
    {"blank interface name",
     [](TunnelTest& t) { t.setFakeDaemon("FAKE_AWG_NAME_MODE", "blank"); },
     tunnelConfig(),
     fixed("amneziawg-go не создал utun"),
     {kGatewayLookup, kHostRouteDelete},
     true},
    {"no socket",
     [](TunnelTest& t) {
       t.setFakeDaemon("FAKE_AWG_NO_SOCKET", "1");
       t.settings.socketWait = 300ms;
     },
     tunnelConfig(),
     fixed("нет UAPI-сокета"),
     {kGatewayLookup, kHostRouteDelete},
     true},
    {"socket under another name",
     [](TunnelTest& t) {
       t.setFakeDaemon("FAKE_AWG_SOCKET_NAME", "other.sock");
       t.settings.socketWait = 300ms;
     },
     tunnelConfig(),
     fixed("нет UAPI-сокета"),
     {kGatewayLookup, kHostRouteDelete},
     true},
    {"configuration rejected",
     [](TunnelTest& t) { t.setFakeDaemon("FAKE_AWG_SET_ERRNO", "-22"); },
     tunnelConfig(),
     fixed("UAPI отклонил конфиг: errno=-22\n\n"),
     {kGatewayLookup, kHostRouteDelete},
     true},
    {"bad key",
     {},
     "[Interface]\nPrivateKey = c2hvcnQ=\nAddress = 10.8.0.2/32\n[Peer]\nPublicKey = " +
         std::string(kKey) + "\nEndpoint = 203.0.113.5:51820\n",
     fixed("плохой ключ"),
     {kGatewayLookup, kHostRouteDelete},
     true},
    // The steps the tunnel cannot work without, each failing as a tool can: the first that
    // did not take fails the start, and the teardown undoes what came before it.
    {"interface not brought up",
     [](TunnelTest& t) {
       t.tools.on("ifconfig", {"utun7", "up"}, "", 1);
     },
     tunnelConfig(), fixed("интерфейс не поднят: utun7"),
     joined({{kGatewayLookup,
              {"ifconfig", "utun7", "inet", "10.8.0.2", "10.8.0.2", "alias"},
              {"ifconfig", "utun7", "mtu", "1380"},
              {"ifconfig", "utun7", "up"},
              kHostRouteDelete}}),
     true},
    {"tunnel route refused",
     [](TunnelTest& t) {
       t.tools.on("route", {"-q", "-n", "add", "-inet", "0.0.0.0/1", "-interface", "utun7"}, "", 1);
     },
     tunnelConfig(), fixed("маршрут не добавлен: 0.0.0.0/1"),
     joined({kUpToRoutes, tunnelRouteCalls({"0.0.0.0/1"}), {kHostRouteDelete}}), true},
    {"tunnel route added but another program's matches",
     [](TunnelTest& t) {
       t.tools.add(succeedsWithoutEffect(
           "route", {"-q", "-n", "add", "-inet", "128.0.0.0/2", "-interface", "utun7"}));
       t.tools.on("route", {"-n", "get", "128.0.0.0"},
                  "   route to: 128.0.0.0\ndestination: 128.0.0.0\n       mask: 192.0.0.0\n"
                  "  interface: en0\n");
     },
     tunnelConfig(), fixed("маршрут не добавлен: 128.0.0.0/2"),
     joined(
         {kUpToRoutes, checkedTunnelRouteCalls({"0.0.0.0/1", "128.0.0.0/2"}), {kHostRouteDelete}}),
     true},
    {"reject route refused",
     [](TunnelTest& t) {
       t.tools.on("route", {"-q", "-n", "add", "-inet6", "::/1", "::1", "-reject"}, "", 1);
     },
     tunnelConfig(), fixed("запрещающий маршрут не добавлен: ::/1"),
     // Not deleted: a route there before is what makes such an add fail.
     joined({kUpToRoutes,
             checkedTunnelRouteCalls(kRoutesAroundServer),
             {rejectRouteCalls("add").front(), kHostRouteDelete}}),
     true},
    {"DNS change refused",
     [](TunnelTest& t) {
       t.tools.on("networksetup", kSetWifiDNS, "", 1);
       t.tools.simulateServices({{"Wi-Fi", {}, "Automatic"}, {"USB LAN", {}, "Automatic"}});
     },
     tunnelConfig(), fixed("DNS не установлен: Wi-Fi"),
     joined({allRoutes(),
             {{"networksetup", "-listallnetworkservices"},
              {"networksetup", "-getdnsservers", "Wi-Fi"},
              {"networksetup", "-listnetworkserviceorder"},
              {"networksetup", "-setdnsservers", "Wi-Fi", "1.1.1.1", "8.8.8.8"}},
             {kHostRouteDelete},
             rejectRouteCalls("delete"),
             {{"networksetup", "-listnetworkserviceorder"},
              {"networksetup", "-setdnsservers", "Wi-Fi", "Empty"}}}),
     true},
    {"DNS change reported but not made",
     [](TunnelTest& t) {
       t.tools.add(succeedsWithoutEffect("networksetup", kSetWifiDNS));
       t.tools.simulateServices({{"Wi-Fi", {}, "Automatic"}, {"USB LAN", {}, "Automatic"}});
     },
     tunnelConfig(), fixed("DNS не установлен: Wi-Fi"),
     joined({allRoutes(),
             {{"networksetup", "-listallnetworkservices"},
              {"networksetup", "-getdnsservers", "Wi-Fi"},
              {"networksetup", "-listnetworkserviceorder"},
              {"networksetup", "-setdnsservers", "Wi-Fi", "1.1.1.1", "8.8.8.8"},
              {"networksetup", "-getdnsservers", "Wi-Fi"}},
             {kHostRouteDelete},
             rejectRouteCalls("delete"),
             {{"networksetup", "-listnetworkserviceorder"},
              {"networksetup", "-setdnsservers", "Wi-Fi", "Empty"}}}),
     true},
    {"no IPv4 address",
     {},
     tunnelConfig("203.0.113.5:51820", "Address = fd00::2/128\nDNS = 1.1.1.1\n"),
     fixed("нет IPv4-адреса в [Interface]"),
     {kGatewayLookup, kHostRouteDelete},
     true},
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class StartFailure : public TunnelTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StartFailure, RepliesTheErrorAndLeavesNothingBehind) {
  const FailureCase& c = GetParam();
  if (c.setUp) c.setUp(*this);
  make();
  const std::string error = c.error(*this);

  EXPECT_EQ(start(c.config), (Result{false, error}));

  EXPECT_EQ(tools.calls(), c.calls);
  EXPECT_EQ(systemLog(LogLevel::error), std::vector<std::string>{"startTunnel: " + error});
  auto info = systemLog(LogLevel::info);
  EXPECT_EQ(std::count(info.begin(), info.end(), "туннель опущен, конфигурация восстановлена"), 1);
  expectIdle();
  EXPECT_EQ(status(), (Status{false, 0, 0}));

  if (c.daemonStarted) {
    EXPECT_FALSE(lastDaemonPid().empty());
    // The fake daemon exits 0 only when asked to terminate.
    EXPECT_TRUE(waitForHelperLog("amneziawg-go завершился: код=0 reason=1"));
  } else {
    EXPECT_EQ(lastDaemonPid(), "");
    EXPECT_THAT(uapiRequests(), IsEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(EachStep, StartFailure, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string name;
  for (char ch : info.param.name) name += std::isalnum(ch) ? ch : '_';
  return name;
});

TEST_F(TunnelTest, AMissingSocketIsDiagnosedWithTheRunDirectoryListing) {
  setFakeDaemon("FAKE_AWG_NO_SOCKET", "1");
  settings.socketWait = 300ms;
  make();
  EXPECT_EQ(start(tunnelConfig()), (Result{false, "нет UAPI-сокета"}));
  const std::string pid = lastDaemonPid();
  const std::vector<std::string> expected = {
      "запускаю " + settings.daemonPath,
      "amneziawg-go pid=" + pid,
      "utun=utun7; ищу UAPI-сокет в " + settings.runDir,
      "сокета нет. содержимое " + settings.runDir + ": [zorvik.name]  amneziawg-go жив=true",
  };
  auto lines = helperLog();
  ASSERT_GE(lines.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), expected);
}

TEST_F(TunnelTest, ANameLeftByAnEarlierDaemonIsRemovedBeforeTheLaunch) {
  setFakeDaemon("FAKE_AWG_NAME_MODE", "none");
  settings.interfaceNameWait = 300ms;
  make();
  std::filesystem::create_directories(settings.runDir);
  std::ofstream(settings.runDir + "/zorvik.name") << "utun3\n";
  EXPECT_EQ(start(tunnelConfig()), (Result{false, "amneziawg-go не создал utun"}));
  EXPECT_FALSE(std::filesystem::exists(settings.runDir + "/zorvik.name"));
}

TEST_F(TunnelTest, AToolThatHangsIsStoppedAtTheLimitLoggedAndTheStartGoesOn) {
  // networksetup never returns: each of its runs is cut off, and with no service
  // listed there is no DNS or IPv6 to change.
  const std::string hanging = dir.file("networksetup");
  std::ofstream(hanging) << "#!/bin/sh\nexec sleep 30\n";
  std::filesystem::permissions(hanging, std::filesystem::perms::owner_all);
  settings.networksetupTool = hanging;
  // The limit holds for every tool: the fake route must still finish within it on a
  // loaded machine under ThreadSanitizer.
  settings.toolRunLimit = 1s;
  make();
  EXPECT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  EXPECT_EQ(helperLogCount("инструмент не завершился вовремя и остановлен: " + hanging +
                           " -listallnetworkservices"),
            2)
      << "one line for the DNS listing, one for the IPv6 listing";
}

}  // namespace
}  // namespace zorvik::test_support

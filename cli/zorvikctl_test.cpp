// The real zorvikctl against a real listener: its output and exit codes, and
// admission by the real Linux peer check.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "front/linux/code_signing.h"
#include "front/linux/peer_identity.h"
#include "platform/child_process.h"
#include "testing/ctl_run.h"
#include "testing/listener_harness.h"

namespace zorvik {
namespace {

using namespace test_support;

const std::string kNotAdmitted =
    "zorvikctl: the helper closed the connection without replying (it serves only the zorvikctl "
    "installed beside it; its log says why)\n";

class ZorvikctlAgainstHelper : public testing::Test {
 protected:
  std::vector<std::string> with(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--socket", harness.socketPath()});
    return arguments;
  }

  std::shared_ptr<BlockingProtocol> service = std::make_shared<BlockingProtocol>();
  ListenerHarness harness{service};
};

TEST_F(ZorvikctlAgainstHelper, PrintsTheVersion) {
  EXPECT_EQ(runCtl(with({"version"})), (CtlResult{0, "1\n", ""}));
}

TEST_F(ZorvikctlAgainstHelper, StartsFromAFileOrStandardInput) {
  service->releaseStart();
  const std::string fileText = "[Interface]\nAddress = 10.0.0.2/32\n";
  const auto file = harness.dir.path() / "tunnel.conf";
  std::ofstream(file) << fileText;
  EXPECT_EQ(runCtl(with({"start", file.string()})), (CtlResult{0, "tunnel started\n", ""}));
  EXPECT_EQ(runCtl(with({"start", "-"}), "[Peer]\n"), (CtlResult{0, "tunnel started\n", ""}));
  EXPECT_EQ(service->configs(), (std::vector<std::string>{fileText, "[Peer]\n"}));
}

TEST_F(ZorvikctlAgainstHelper, AFailedStartExitsOneWithTheHelpersText) {
  service->startOk = false;
  service->releaseStart();
  EXPECT_EQ(runCtl(with({"start", "-"}), "x"),
            (CtlResult{1, "", "zorvikctl: start failed: нет секции [Interface]\n"}));
}

TEST_F(ZorvikctlAgainstHelper, StopsAndReportsStatus) {
  EXPECT_EQ(runCtl(with({"stop"})), (CtlResult{0, "tunnel stopped\n", ""}));
  EXPECT_EQ(runCtl(with({"status"})),
            (CtlResult{0,
                       "state: up\nreceived: 1536 bytes (1.5 KiB)\nsent: 7 bytes (7 B)\n"
                       "last handshake: 42 s ago\n",
                       ""}));
  EXPECT_EQ(
      runCtl(with({"status", "--json"})),
      (CtlResult{0, "{\"id\":1,\"active\":true,\"rx\":1536,\"tx\":7,\"handshakeAge\":42}\n", ""}));
}

TEST_F(ZorvikctlAgainstHelper, SaysItIsWaitingForASlowStart) {
  CtlRun run(kZorvikctl, with({"start", "-"}), "[Interface]\n");
  EXPECT_TRUE(eventually([&] { return !run.errSoFar().empty(); }));
  service->releaseStart();
  EXPECT_EQ(run.finish(),
            (CtlResult{0, "tunnel started\n", "zorvikctl: waiting for the helper…\n"}));
}

TEST(Zorvikctl, AHelperThatIsNotRunningExitsTwo) {
  TempDir dir;
  const std::string path = (dir.path() / "none.sock").string();
  EXPECT_EQ(
      runCtl({"--socket", path, "status"}),
      (CtlResult{2, "", "zorvikctl: cannot connect to " + path + ": No such file or directory\n"}));
}

TEST(Zorvikctl, ArgumentErrorsExitTwoWithTheUsage) {
  const CtlResult wrong = runCtl({"frobnicate"});
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_EQ(wrong.out, "");
  EXPECT_EQ(wrong.err.rfind("zorvikctl: unknown command frobnicate\nusage: zorvikctl ", 0), 0u)
      << wrong.err;

  const CtlResult help = runCtl({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: zorvikctl ", 0), 0u) << help.out;

  TempDir dir;
  const std::string missing = (dir.path() / "none.conf").string();
  EXPECT_EQ(
      runCtl({"--socket", "/nonexistent.sock", "start", missing}),
      (CtlResult{2, "", "zorvikctl: cannot read " + missing + ": No such file or directory\n"}));
  EXPECT_EQ(
      runCtl({"--socket", "/nonexistent.sock", "start", dir.path().string()}),
      (CtlResult{2, "", "zorvikctl: cannot read " + dir.path().string() + ": Is a directory\n"}));
  EXPECT_EQ(runCtl({"--socket", "/nonexistent.sock", "start", "/dev/zero"}),
            (CtlResult{2, "", "zorvikctl: /dev/zero is larger than 1 MiB\n"}));
}

/// A listener that admits by the real Linux check, as the helper at `helperPath`.
ListenerHarness realCheckerHarness(const std::string& helperPath) {
  return ListenerHarness(
      std::make_shared<BlockingProtocol>(),
      [](int socketFd) { return std::make_unique<LinuxPeerIdentity>(socketFd); },
      std::make_shared<LinuxCodeSigning>(helperPath));
}

// The test binary plays the helper: zorvikctl lies beside it in the build root.
TEST(ZorvikctlAdmission, TheRealCheckerAdmitsTheClientBesideTheHelper) {
  const std::string self = processExecutablePath(::getpid()).value_or("");
  ASSERT_EQ(fs::canonical(fs::path(self).parent_path()), fs::canonical(ZORVIK_BUILD_DIR));
  auto harness = realCheckerHarness(self);
  EXPECT_EQ(runCtl({"--socket", harness.socketPath(), "version"}), (CtlResult{0, "1\n", ""}));

  // A symlink elsewhere runs the very same file.
  TempDir dir;
  const fs::path link = dir.path() / "zorvikctl";
  fs::create_symlink(kZorvikctl, link);
  EXPECT_EQ(runCtl({"--socket", harness.socketPath(), "version"}, "", link.string()),
            (CtlResult{0, "1\n", ""}));
  EXPECT_TRUE(harness.closedConnections(2));
  EXPECT_EQ(harness.sink->messages(),
            (std::vector<std::string>{kConnectionClosed, kConnectionClosed}));
}

TEST(ZorvikctlAdmission, TheRealCheckerRefusesOtherClients) {
  struct Case {
    const char* name;
    uid_t owner;
    mode_t mode;
    bool copyBesideHelper;
  };
  const Case cases[] = {
      {"a copy owned by another uid", 65534, 0755, true},
      {"a group-writable copy", 0, 0775, true},
      {"an others-writable copy", 0, 0757, true},
      {"the genuine client, not beside this helper", 0, 0755, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path helper = dir.path() / "zorvik-helper";
    std::ofstream(helper).put('x');
    std::string program = kZorvikctl;
    if (c.copyBesideHelper) {
      const fs::path copy = dir.path() / "zorvikctl";
      fs::copy_file(kZorvikctl, copy);
      ASSERT_EQ(::chown(copy.c_str(), c.owner, 0), 0);
      ASSERT_EQ(::chmod(copy.c_str(), c.mode), 0);
      program = copy.string();
    }
    auto harness = realCheckerHarness(helper.string());
    EXPECT_EQ(runCtl({"--socket", harness.socketPath(), "version"}, "", program),
              (CtlResult{2, "", kNotAdmitted}));
    EXPECT_TRUE(eventually([&] { return harness.sink->messages().size() >= 2; }));
    EXPECT_EQ(harness.sink->messages(),
              (std::vector<std::string>{std::string(kSignatureCheckFailed) + "-67050",
                                        kUntrustedRejected}));
  }
}

}  // namespace
}  // namespace zorvik

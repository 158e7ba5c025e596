// The tunnel journal through whole starts, stops and start-up replays, with the
// fake daemon and fake tools.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "config/uapi_client.h"
#include "platform/child_process.h"
#include "service/tunnel_journal.h"
#include "testing/tunnel_fixture.h"

namespace zorvik::test_support {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Key;

void describeHost(FakeTools& tools) {
  tools.simulateServices({{"Wi-Fi", {}}, {"USB LAN", {"10.0.0.53", "10.0.0.54"}}});
}

class TunnelJournalTest : public TunnelTest {
 protected:
  /// Puts a wrapper in front of each fake tool that keeps, for every call, the
  /// arguments and a copy of the journal as it stood when the tool ran.
  void snapshotJournalAtEveryToolCall() {
    std::filesystem::create_directory(snapshots());
    for (const char* tool : {"route", "ifconfig", "networksetup"}) {
      const std::string wrapper = dir.file(std::string("snap-") + tool);
      std::ofstream(wrapper) << "#!/bin/sh\n"
                             << "d='" << snapshots() << "'\n"
                             << "n=$(cat \"$d/count\" 2>/dev/null || echo 0)\n"
                             << "echo $((n + 1)) >\"$d/count\"\n"
                             << "printf '%s\\n' " << tool << " \"$@\" >\"$d/$n.call\"\n"
                             << "cp '" << settings.journalPath
                             << "' \"$d/$n.journal\" 2>/dev/null\n"
                             << "exec '" << tools.path(tool) << "' \"$@\"\n";
      std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);
    }
    settings.routeTool = dir.file("snap-route");
    settings.ifconfigTool = dir.file("snap-ifconfig");
    settings.networksetupTool = dir.file("snap-networksetup");
  }

  struct Snapshot {
    std::vector<std::string> call;  // tool name, then the arguments
    std::optional<TunnelRecord> journal;
  };

  std::vector<Snapshot> takenSnapshots() const {
    std::vector<Snapshot> out;
    for (int n = 0; std::filesystem::exists(snapshots() + "/" + std::to_string(n) + ".call"); ++n) {
      Snapshot s;
      std::ifstream call(snapshots() + "/" + std::to_string(n) + ".call");
      for (std::string line; std::getline(call, line);) s.call.push_back(line);
      std::ifstream journal(snapshots() + "/" + std::to_string(n) + ".journal");
      if (journal)
        s.journal = decodeTunnelJournal(std::string(std::istreambuf_iterator<char>(journal), {}));
      out.push_back(std::move(s));
    }
    return out;
  }

  std::string snapshots() const { return dir.file("snapshots"); }
  bool journalExists() const { return std::filesystem::exists(settings.journalPath); }
  TunnelRecord journalOnDisk() const {
    TunnelJournalRead read = readTunnelJournal(settings.journalPath);
    EXPECT_EQ(read.outcome, TunnelJournalRead::found) << read.problem;
    return read.journal;
  }
  void writeJournal(const TunnelRecord& journal) {
    writeTunnelJournal(settings.journalPath, journal);
  }
  void replay() {
    onQueue([this] {
      inside().replayJournal();
      return 0;
    });
  }
  static std::string daemonExecutable() {
    return std::filesystem::canonical(ZORVIK_BUILD_DIR "/fake_awg").string();
  }
};

TEST_F(TunnelJournalTest, EveryChangeFindsItsRecordAlreadyOnDisk) {
  describeHost(tools);
  snapshotJournalAtEveryToolCall();
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));

  const std::vector<Snapshot> taken = takenSnapshots();
  ASSERT_FALSE(taken.empty());
  EXPECT_EQ(taken.front().call, (std::vector<std::string>{"route", "-n", "get", "default"}));
  EXPECT_FALSE(taken.front().journal) << "nothing is recorded before the gateway is known";

  const std::string pid = lastDaemonPid();
  for (const Snapshot& s : taken) {
    if (&s == &taken.front()) continue;
    ASSERT_TRUE(s.journal) << "no journal when " << ::testing::PrintToString(s.call) << " ran";
    const TunnelRecord& j = *s.journal;
    // The daemon and interface are on record before any tool touches the host.
    EXPECT_EQ(j.savedGateway, "192.168.1.1");
    EXPECT_EQ(j.endpointIP, "203.0.113.5");
    EXPECT_EQ(j.daemonPath, daemonExecutable());
    EXPECT_EQ(std::to_string(j.daemonPid.value_or(0)), pid);
    EXPECT_EQ(j.iface, "utun7");
    const std::vector<std::string> args(s.call.begin() + 1, s.call.end());
    if (s.call[0] == "networksetup" && args[0] == "-setdnsservers") {
      EXPECT_THAT(j.dnsBackup, Contains(Key(args[1]))) << "DNS of " << args[1] << " changed first";
    }
    if (s.call[0] == "networksetup" && args[0] == "-setv6off") {
      EXPECT_THAT(j.ipv6Disabled, Contains(args[1])) << "IPv6 of " << args[1] << " changed first";
    }
  }

  TunnelRecord expected;
  expected.savedGateway = "192.168.1.1";
  expected.endpointIP = "203.0.113.5";
  expected.dnsBackup = {{"Wi-Fi", "empty"}, {"USB LAN", "10.0.0.53\n10.0.0.54"}};
  expected.ipv6Disabled = {"Wi-Fi", "USB LAN"};
  expected.daemonPath = daemonExecutable();
  expected.daemonPid = std::stoi(pid);
  expected.iface = "utun7";
  expected.rejectRoutes = {"::/1", "8000::/1"};
  expected.serviceIdentities = {{"Wi-Fi", "Hardware Port: Wi-Fi, Device: "},
                                {"USB LAN", "Hardware Port: USB LAN, Device: "}};
  EXPECT_EQ(journalOnDisk(), expected);
  EXPECT_EQ(decodeTunnelJournal(encodeTunnelJournal(onQueue([this] { return inside().tunnel(); }))),
            expected);

  struct stat info {};
  ASSERT_EQ(::stat(settings.journalPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  std::ifstream raw(settings.journalPath);
  const std::string text(std::istreambuf_iterator<char>(raw), {});
  EXPECT_EQ(text.find(kKey), std::string::npos) << "no key in the journal";
  EXPECT_EQ(text.find("10.8.0.2"), std::string::npos) << "no configuration text in the journal";

  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  EXPECT_FALSE(journalExists());
}

TEST_F(TunnelJournalTest, AFailedBringUpLeavesItsRecordsForTheTeardownThenNoJournal) {
  snapshotJournalAtEveryToolCall();
  setFakeDaemon("FAKE_AWG_SET_ERRNO", "-22");
  const Result failed = start(tunnelConfig());
  ASSERT_FALSE(failed.ok);

  // The teardown's first step is the route delete: the journal as the bring-up left it.
  const std::vector<Snapshot> taken = takenSnapshots();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[1].call[2], "-n");
  EXPECT_EQ(taken[1].call[3], "delete");
  ASSERT_TRUE(taken[1].journal);
  EXPECT_EQ(taken[1].journal->savedGateway, "192.168.1.1");
  EXPECT_EQ(taken[1].journal->endpointIP, "203.0.113.5");
  EXPECT_EQ(taken[1].journal->daemonPath, daemonExecutable());
  EXPECT_EQ(std::to_string(taken[1].journal->daemonPid.value_or(0)), lastDaemonPid());
  EXPECT_EQ(taken[1].journal->iface, "utun7");
  EXPECT_FALSE(journalExists());
}

TEST_F(TunnelJournalTest, EveryKindOfTeardownRemovesTheJournal) {
  struct Case {
    const char* name;
    std::function<void(TunnelJournalTest&)> run;
  };
  const Case cases[] = {
      {"unparsable configuration", [](TunnelJournalTest& t) { t.start("[Interface]\n"); }},
      {"unresolvable endpoint",
       [](TunnelJournalTest& t) { t.start(tunnelConfig("vpn.zorvik.invalid:51820")); }},
      {"no IPv4 address", [](TunnelJournalTest& t) { t.start(tunnelConfig("203.0.113.5:1", "")); }},
      {"stop", [](TunnelJournalTest& t) { t.stop(); }},
      {"restart",
       [](TunnelJournalTest& t) {
         t.start(tunnelConfig());
         t.start("[Interface]\n");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A journal of the running tunnel, or one a test wrote, is removed all the same.
    ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
    ASSERT_TRUE(journalExists());
    c.run(*this);
    EXPECT_FALSE(journalExists());
    ASSERT_EQ(stop(), (Result{true, std::nullopt}));
    writeJournal(TunnelRecord{});
    ASSERT_TRUE(journalExists());
    stop();
    EXPECT_FALSE(journalExists()) << "an idle teardown removes a journal too";
  }
}

TEST_F(TunnelJournalTest, AJournalThatCannotBeWrittenFailsNoStartAndIsReportedOnce) {
  std::ofstream(dir.file("not-a-directory")) << "";
  settings.journalPath = dir.file("not-a-directory/tunnel-journal.json");
  describeHost(tools);
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  EXPECT_EQ(status().active, true);

  const std::vector<std::string> errors = systemLog(LogLevel::error);
  ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
  EXPECT_EQ(errors[0].rfind("не удалось записать журнал туннеля: ", 0), 0u) << errors[0];
  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  EXPECT_EQ(systemLog(LogLevel::error).size(), 1u) << "a journal never written is not missed";
}

// The directory is checked once per tunnel; one that went since is made again.
TEST_F(TunnelJournalTest, ARecordAfterTheDirectoryWentMakesItAgain) {
  settings.journalPath = dir.file("journal/tunnel-journal.json");
  describeHost(tools);
  ASSERT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  const std::filesystem::path directory = std::filesystem::path(settings.journalPath).parent_path();
  std::filesystem::remove_all(directory);
  onQueue([this] {
    inside().recordJournal();
    return 0;
  });
  EXPECT_EQ(journalOnDisk().endpointIP, "203.0.113.5");
  EXPECT_TRUE(systemLog(LogLevel::error).empty())
      << ::testing::PrintToString(systemLog(LogLevel::error));
  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
  EXPECT_FALSE(journalExists());
}

/// A child of the test running `sleep`, ended and reaped by pid at the end.
class SleepChild {
 public:
  SleepChild() : pid_(spawnProcess({path(), {"60"}, std::nullopt, -1, -1, -1})) {
    for (int i = 0; i < 500 && processExecutable() != path(); ++i) ::usleep(10000);
  }
  ~SleepChild() { endAndReap(); }
  static std::string path() { return std::filesystem::canonical("/bin/sleep").string(); }
  pid_t pid() const { return pid_; }
  /// Ends the child if it still runs; the signal it died of.
  int endAndReap() {
    if (reaped_) return signal_;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return signal_;
  }

 private:
  std::string processExecutable() const {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid_) + "/exe", ec).string();
  }
  pid_t pid_;
  bool reaped_ = false;
  int signal_ = 0;
};

TunnelRecord leftBehind(pid_t daemonPid, const std::string& daemonPath) {
  TunnelRecord journal;
  journal.savedGateway = "192.168.1.1";
  journal.endpointIP = "203.0.113.5";
  journal.dnsBackup = {{"Wi-Fi", "empty"}, {"USB LAN", "10.0.0.53\n10.0.0.54"}};
  journal.ipv6Disabled = {"Wi-Fi", "Thunderbolt"};
  journal.daemonPath = daemonPath;
  journal.daemonPid = daemonPid;
  journal.iface = "utun7";
  return journal;
}

TEST_F(TunnelJournalTest, ReplayUndoesWhatTheJournalRecordsAndEndsTheOldDaemon) {
  SleepChild oldDaemon;
  writeJournal(leftBehind(oldDaemon.pid(), SleepChild::path()));
  replay();

  EXPECT_EQ(tools.calls(),
            (Calls{{"route", "-q", "-n", "delete", "-inet", "203.0.113.5/32", "192.168.1.1"},
                   {"networksetup", "-setdnsservers", "USB LAN", "10.0.0.53", "10.0.0.54"},
                   {"networksetup", "-setdnsservers", "Wi-Fi", "Empty"},
                   {"networksetup", "-setv6automatic", "Wi-Fi"},
                   {"networksetup", "-setv6automatic", "Thunderbolt"}}));
  EXPECT_EQ(oldDaemon.endAndReap(), SIGTERM);
  EXPECT_FALSE(journalExists());
  expectIdle();
  EXPECT_EQ(helperLogCount("конфигурация восстановлена по журналу, сервисов: 3"), 1);
  EXPECT_THAT(systemLog(LogLevel::info), Contains("туннель опущен, конфигурация восстановлена"));
  EXPECT_THAT(systemLog(LogLevel::error), IsEmpty());

  // The service is an ordinary idle one afterwards.
  describeHost(tools);
  EXPECT_EQ(start(tunnelConfig()), (Result{true, std::nullopt}));
  EXPECT_EQ(stop(), (Result{true, std::nullopt}));
}

TEST_F(TunnelJournalTest, ReplayLeavesAloneAProcessThatReusedThePid) {
  SleepChild stranger;
  writeJournal(leftBehind(stranger.pid(), daemonExecutable()));
  replay();
  EXPECT_EQ(stranger.endAndReap(), SIGKILL) << "only our kill reached it";
  EXPECT_FALSE(journalExists());
}

/// A fake daemon started as the helper starts it: its name goes to `nameFile`, its socket to
/// the run directory. It exits 0 when asked to terminate, 1 when it ends by itself.
pid_t spawnFakeDaemon(const std::string& runDir, const std::string& nameFile,
                      const std::string& iface, std::vector<std::string> settings = {}) {
  settings.insert(settings.end(), {"WG_TUN_NAME_FILE=" + nameFile, "FAKE_AWG_RUN_DIR=" + runDir,
                                   "FAKE_AWG_IFACE=" + iface, "FAKE_AWG_EXIT_AFTER_MS=15000"});
  return spawnProcess(
      {ZORVIK_BUILD_DIR "/fake_awg", {"utun"}, environmentWith(settings), -1, -1, -1});
}

int exitStatusOf(pid_t pid) {
  const auto status = reapChild(pid);
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

/// Ended by a SIGTERM: through the fake's handler (status 0), or by the signal itself when it
/// came before the fake had put its handler in place. A replay that ends a daemon right after
/// its spawn may be that early; the daemon running to its own end would exit 1.
bool endedBySIGTERM(pid_t pid) {
  const auto status = reapChild(pid);
  return status && ((WIFEXITED(*status) && WEXITSTATUS(*status) == 0) ||
                    (WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM));
}

// A helper that dies at any point of a start leaves the journal as it stood then, and a daemon
// that may still be starting. The next helper's replay ends that daemon, and no other one.
TEST_F(TunnelJournalTest, ADaemonLeftAtAnyPointOfAStartIsEndedByTheReplay) {
  settings.interfaceNameWait = 2s;
  settings.socketWait = 2s;
  struct Case {
    const char* point;
    bool spawned;
    bool pidOnRecord;
    bool ifaceOnRecord;
    std::vector<std::string> daemonSettings;
  };
  const Case cases[] = {
      {"before the spawn", false, false, false, {}},
      {"spawned, before its name", true, false, false, {"FAKE_AWG_NAME_DELAY_MS=300"}},
      {"named, before its socket", true, false, false, {"FAKE_AWG_SOCKET_DELAY_MS=300"}},
      {"up, its pid never recorded", true, false, false, {}},
      {"pid on record", true, true, false, {}},
      {"interface on record", true, true, true, {}},
  };
  std::filesystem::create_directories(settings.runDir);
  const std::string otherSocket = settings.runDir + "/utun9.sock";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.point);
    // Another daemon of the same executable, live beside ours: not ours to end.
    const pid_t other = spawnFakeDaemon(settings.runDir, dir.file("other.name"), "utun9");
    for (int i = 0; i < 500 && !std::filesystem::exists(otherSocket); ++i) ::usleep(10000);

    TunnelRecord journal;
    journal.savedGateway = "192.168.1.1";
    journal.endpointIP = "203.0.113.5";
    journal.daemonPath = daemonExecutable();
    std::optional<pid_t> daemon;
    if (c.spawned) {
      daemon = spawnFakeDaemon(settings.runDir, settings.runDir + "/zorvik.name", "utun7",
                               c.daemonSettings);
    }
    if (c.pidOnRecord) journal.daemonPid = daemon;
    if (c.ifaceOnRecord) journal.iface = "utun7";
    writeJournal(journal);
    replay();

    if (daemon) {
      EXPECT_TRUE(endedBySIGTERM(*daemon)) << "the daemon was not asked to terminate";
    }
    EXPECT_NE(uapiTransact(otherSocket, "get=1\n\n").find("errno=0"), std::string::npos)
        << "the other daemon no longer answers";
    ::kill(other, SIGTERM);
    EXPECT_EQ(exitStatusOf(other), 0);
    EXPECT_FALSE(journalExists());
    std::filesystem::remove(settings.runDir + "/zorvik.name");
  }
}

TEST_F(TunnelJournalTest, ABadJournalIsReportedAndRemovedAndNothingIsRun) {
  const std::string valid = encodeTunnelJournal(leftBehind(4242, daemonExecutable()));
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> plant;
  };
  const std::string victim = dir.file("victim");
  const Case cases[] = {
      {"corrupt",
       [](const std::string& p) { std::ofstream(p) << "{\"version\":1,\"endpointIP\":["; }},
      {"truncated",
       [&](const std::string& p) { std::ofstream(p) << valid.substr(0, valid.size() - 40); }},
      {"wrong types",
       [](const std::string& p) {
         std::ofstream(p) << R"({"version":1,"endpointIP":1,"savedGateway":null,"dnsBackup":{},)"
                          << R"("ipv6Disabled":[],"daemon":null,"iface":null})";
       }},
      {"symlink",
       [&](const std::string& p) {
         std::ofstream(victim) << valid;
         ::chmod(victim.c_str(), 0600);
         std::filesystem::create_symlink(victim, p);
       }},
      {"second link",
       [&](const std::string& p) {
         std::ofstream(victim) << valid;
         std::filesystem::create_hard_link(victim, p);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.plant(settings.journalPath);
    ::chmod(settings.journalPath.c_str(), 0600);
    sink->clear();
    tools.clearCalls();
    replay();
    EXPECT_THAT(tools.calls(), IsEmpty());
    const std::vector<std::string> errors = systemLog(LogLevel::error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("журнал туннеля повреждён и удалён: ", 0), 0u) << errors[0];
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(settings.journalPath)));
  }
  std::ifstream kept(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), valid)
      << "the links' target stays";
}

TEST_F(TunnelJournalTest, ReplayClearsTheTemporaryOfAWriteCutShortAndKeepsToTheJournal) {
  TunnelRecord journal;
  journal.dnsBackup = {{"Wi-Fi", "empty"}};
  writeJournal(journal);
  // A record that never got renamed into place describes a change never made.
  TunnelRecord unfinished;
  unfinished.ipv6Disabled = {"Wi-Fi"};
  const std::string temporary =
      std::filesystem::path(settings.journalPath).parent_path() / ".tunnel-journal.json.99999.0";
  std::ofstream(temporary) << encodeTunnelJournal(unfinished);

  replay();

  EXPECT_FALSE(std::filesystem::exists(temporary));
  EXPECT_FALSE(journalExists());
  EXPECT_EQ(tools.calls(), (Calls{{"networksetup", "-setdnsservers", "Wi-Fi", "Empty"}}));
}

TEST_F(TunnelJournalTest, WithoutAJournalReplayDoesNothing) {
  replay();
  EXPECT_THAT(tools.calls(), IsEmpty());
  EXPECT_THAT(sink->records(), IsEmpty());
  EXPECT_THAT(helperLog(), IsEmpty());
}

TEST_F(TunnelJournalTest, ReplayPutsEachBackupOnTheServiceThatHasItsIdentityNow) {
  constexpr const char* kWifi = "(Hardware Port: Wi-Fi, Device: en0)\n\n";
  const std::string renamedLine =
      "сервис «Wi-Fi» теперь называется «Wi-Fi 2», его настройки восстановлены на нём";
  const struct {
    const char* what;
    std::string listing;
    std::string restoredOn;
  } cases[] = {
      {"renamed", std::string("(1) Wi-Fi 2\n") + kWifi, "Wi-Fi 2"},
      {"two services with that identity",
       std::string("(1) Wi-Fi 2\n") + kWifi + "(2) Wi-Fi 3\n" + kWifi, "Wi-Fi"},
      {"no service with it", "(1) Wi-Fi 2\n(Hardware Port: Wi-Fi, Device: en1)\n", "Wi-Fi"},
      {"no listing", "", "Wi-Fi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tools.clearRules();
    tools.clearCalls();
    tools.on("networksetup", {"-listnetworkserviceorder"}, c.listing);
    TunnelRecord journal;
    journal.dnsBackup = {{"Wi-Fi", "192.0.2.53"}};
    journal.searchDomainsBackup = {{"Wi-Fi", "lan.example"}};
    journal.ipv6Disabled = {"Wi-Fi"};
    journal.serviceIdentities = {{"Wi-Fi", "Hardware Port: Wi-Fi, Device: en0"}};
    writeJournal(journal);
    const int renamesBefore = helperLogCount(renamedLine);

    replay();

    EXPECT_EQ(tools.calls(),
              (Calls{{"networksetup", "-listnetworkserviceorder"},
                     {"networksetup", "-setdnsservers", c.restoredOn, "192.0.2.53"},
                     {"networksetup", "-setsearchdomains", c.restoredOn, "lan.example"},
                     {"networksetup", "-setv6automatic", c.restoredOn}}));
    EXPECT_EQ(helperLogCount(renamedLine) - renamesBefore, c.restoredOn == "Wi-Fi" ? 0 : 1);
    EXPECT_FALSE(journalExists());
  }
}

}  // namespace
}  // namespace zorvik::test_support

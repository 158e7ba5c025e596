// The UAPI client against the fake tunnel daemon, started as a real child.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/unique_fd.h"
#include "config/uapi_client.h"
#include "config/uapi_request.h"
#include "platform/child_process.h"
#include "service/helper_service.h"
#include "testing/temp_dir.h"

namespace zorvik {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

const std::string kPrivate = "AQIDBAUGBwgJCgsMDQ4PEBESExQVFhcYGRobHB0eHyA=";
const std::string kPublic = "//////////////////////////////////////////8=";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

/// fake_awg running in a temporary run directory; stopped with SIGTERM and reaped.
class FakeDaemon {
 public:
  explicit FakeDaemon(std::vector<std::string> settings) {
    settings.push_back("WG_TUN_NAME_FILE=" + (dir_.path() / "zorvik.name").string());
    settings.push_back("FAKE_AWG_RUN_DIR=" + (dir_.path() / "run").string());
    settings.push_back("FAKE_AWG_RECORD=" + (dir_.path() / "requests").string());
    settings.push_back("FAKE_AWG_DUMP=" + (dir_.path() / "dump").string());
    // Its output goes to a log file, as the helper does with the real daemon's.
    const UniqueFd log(
        open((dir_.path() / "log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    pid_ = spawnProcess({.path = ZORVIK_BUILD_DIR "/fake_awg",
                         .arguments = {"utun"},
                         .environment = environmentWith(settings),
                         .stdoutFd = log.get(),
                         .stderrFd = log.get()});
  }
  ~FakeDaemon() { stop(); }
  FakeDaemon(const FakeDaemon&) = delete;
  FakeDaemon& operator=(const FakeDaemon&) = delete;

  /// The socket path once it exists (bounded wait), or "" when it never appeared.
  std::string waitForSocket(const std::string& name = "utun7.sock") const {
    const fs::path path = dir_.path() / "run" / name;
    for (int i = 0; i < 500; ++i) {
      if (fs::is_socket(path)) return path.string();
      std::this_thread::sleep_for(milliseconds(10));
    }
    return "";
  }

  /// Waits for the daemon to end by itself (bounded), then the raw wait status.
  std::optional<int> waitForOwnExit() {
    for (int i = 0; i < 500 && pid_ > 0; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return status;
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    return std::nullopt;
  }

  /// SIGTERM, then the raw wait status (nothing if already stopped).
  std::optional<int> stop() {
    if (pid_ <= 0) return std::nullopt;
    kill(pid_, SIGTERM);
    auto status = reapChild(pid_);
    pid_ = -1;
    return status;
  }

  fs::path file(const std::string& name) const { return dir_.path() / name; }

 private:
  test_support::TempDir dir_;
  pid_t pid_ = -1;
};

TEST(FakeAwg, AppliedConfigIsRecordedAndAccepted) {
  FakeDaemon daemon({});
  const std::string socket = daemon.waitForSocket();
  ASSERT_FALSE(socket.empty());
  EXPECT_EQ(readFile(daemon.file("zorvik.name")), "utun7\n");
  EXPECT_EQ(readFile(daemon.file("log")), "fake_awg: interface utun7\n");

  const StringMap interfaceMap{{"privatekey", kPrivate}, {"jc", "4"}};
  const StringMap peerMap{{"publickey", kPublic}, {"persistentkeepalive", "25"}};
  applyUAPIConfig(socket, interfaceMap, peerMap, "10.0.0.1:51820", milliseconds(3000));

  const std::string request = makeUAPISetRequest(interfaceMap, peerMap, "10.0.0.1:51820");
  EXPECT_EQ(readFile(daemon.file("requests")),
            "request " + std::to_string(request.size()) + "\n" + request + "\n");

  const auto status = daemon.stop();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
  EXPECT_FALSE(fs::exists(socket)) << "the daemon leaves its socket behind";
}

TEST(FakeAwg, RejectionCarriesTheWholeAnswer) {
  FakeDaemon daemon({"FAKE_AWG_SET_ERRNO=-22", "FAKE_AWG_IFACE=utun3"});
  const std::string socket = daemon.waitForSocket("utun3.sock");
  ASSERT_FALSE(socket.empty());
  try {
    applyUAPIConfig(socket, {{"privatekey", kPrivate}}, {{"publickey", kPublic}}, "1.2.3.4:1",
                    milliseconds(3000));
    FAIL() << "a rejected configuration was reported as applied";
  } catch (const HelperService::Err& e) {
    EXPECT_EQ(e.msg, "UAPI отклонил конфиг: errno=-22\n\n");
  }
}

TEST(FakeAwg, CountersThroughLongAndSplitAnswers) {
  FakeDaemon daemon({"FAKE_AWG_RX_BYTES=1234", "FAKE_AWG_TX_BYTES=5678",
                     "FAKE_AWG_ANSWER_PAD=10000", "FAKE_AWG_SPLIT_MS=100"});
  const std::string socket = daemon.waitForSocket();
  ASSERT_FALSE(socket.empty());
  // The counters belong to a peer, so one is set first.
  applyUAPIConfig(socket, {{"privatekey", kPrivate}}, {{"publickey", kPublic}}, "10.0.0.1:51820",
                  milliseconds(3000));
  const DaemonCounters counters = uapiDaemonCounters(socket, milliseconds(3000));
  EXPECT_EQ(std::make_pair(counters.received, counters.sent),
            std::make_pair(std::uint64_t{1234}, std::uint64_t{5678}));
  EXPECT_NE(readFile(daemon.file("requests")).find("request 7\nget=1\n\n\n"), std::string::npos);
}

TEST(FakeAwg, JudgesASetAsTheDaemonDoes) {
  FakeDaemon daemon({});
  const std::string socket = daemon.waitForSocket();
  ASSERT_FALSE(socket.empty());
  const auto set = [&](const std::string& lines) {
    return uapiTransact(socket, "set=1\n" + lines + "\n", milliseconds(3000));
  };
  const std::string key(64, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {"jc=4\njmin=70\njmax=40\ns3=65535\nh1=100-199\nh2=200\ni1=<b 0xc7><r 16><t>\n"
       "rekey_timeout=5-10\nrandom_trailers=True\nheader_protection_key=" +
           key + "\npublic_key=" + key +
           "\nendpoint=[2001:db8::1]:1\npersistent_keepalive_interval=10-20\n"
           "allowed_ip=10.0.0.0/8\n",
       "errno=0\n\n"},
      {"jd=1\n", "errno=-22\n\n"},
      {"public_key=" + key + "\njc=4\n", "errno=-22\n\n"},  // a device key among the peer's
      {"s4=65536\n", "errno=-22\n\n"},
      {"jc=+4\n", "errno=-22\n\n"},
      {"h3=399-300\n", "errno=-22\n\n"},
      {"h3=150-160\n", "errno=-22\n\n"},  // within h1, set before
      {"h4=3\n", "errno=-22\n\n"},        // h3 as it stands, not sent
      {"i2=b 0xc7\n", "errno=-22\n\n"},
      {"disable_cookies=yes\n", "errno=-22\n\n"},
      {"header_protection_key=" + key.substr(1) + "\n", "errno=-22\n\n"},
      {"public_key=" + key + "\nendpoint=vpn.example.org:1\n", "errno=-22\n\n"},
      {"public_key=" + key + "\nallowed_ip=\n", "errno=-22\n\n"},
      // Applied up to the failing line.
      {"jc=9\nfwmark\njmin=1\n", "errno=-71\n\n"},
  };
  for (const auto& [lines, answer] : cases) EXPECT_EQ(set(lines), answer) << lines;

  EXPECT_EQ(uapiTransact(socket, "get=1\n\n", milliseconds(3000)),
            "listen_port=51820\njc=9\njmin=70\njmax=40\ns3=65535\nh1=100-199\nh2=200\nh3=3\n"
            "h4=4\ni1=<b 0xc7><r 16><t>\nheader_protection_key=" +
                key + "\nrekey_timeout=5-10\nrandom_trailers=true\npublic_key=" + key +
                "\nprotocol_version=1\nendpoint=[2001:db8::1]:1\ntx_bytes=0\nrx_bytes=0\n"
                "persistent_keepalive_interval=10-20\nallowed_ip=10.0.0.0/8\nerrno=0\n\n");
  // An operation it does not know: the connection closes unanswered.
  EXPECT_EQ(uapiTransact(socket, "set=2\njc=1\n\n", milliseconds(3000)), "");
}

TEST(FakeAwg, ChildStartsCleanThroughSpawnProcess) {
  FakeDaemon daemon({});
  ASSERT_FALSE(daemon.waitForSocket().empty());
  std::istringstream dump(readFile(daemon.file("dump")));
  std::vector<std::string> fds;
  std::string sigBlk, sigIgn;
  bool sawArg = false, sawNameFile = false;
  for (std::string line; std::getline(dump, line);) {
    if (line.starts_with("fd ")) fds.push_back(line.substr(3, line.find(' ', 3) - 3));
    if (line.starts_with("SigBlk:")) sigBlk = line;
    if (line.starts_with("SigIgn:")) sigIgn = line;
    sawArg = sawArg || line == "arg utun";
    sawNameFile = sawNameFile || line.starts_with("env WG_TUN_NAME_FILE=");
  }
  EXPECT_TRUE(sawArg);
  EXPECT_TRUE(sawNameFile);
  std::sort(fds.begin(), fds.end());
  EXPECT_EQ(fds, (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(sigBlk, "SigBlk:\t0000000000000000");
  // glibc's posix_spawn leaves its two internal real-time signals (32, 33)
  // ignored in the child; every standard signal must be at its default.
  ASSERT_TRUE(sigIgn.starts_with("SigIgn:\t")) << sigIgn;
  EXPECT_EQ(std::stoull(sigIgn.substr(8), nullptr, 16) & 0x7FFFFFFFull, 0u) << sigIgn;
}

TEST(FakeAwg, NameFileModes) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"FAKE_AWG_NAME_MODE=empty", ""},
      {"FAKE_AWG_NAME_MODE=blank", "  \n"},
      {"FAKE_AWG_NAME_MODE=none", std::nullopt},
      {"FAKE_AWG_IFACE=utun9", "utun9\n"}};
  for (const auto& [setting, expected] : cases) {
    FakeDaemon daemon({setting, "FAKE_AWG_SOCKET_NAME=x.sock"});
    ASSERT_FALSE(daemon.waitForSocket("x.sock").empty()) << setting;
    EXPECT_EQ(fs::exists(daemon.file("zorvik.name")), expected.has_value()) << setting;
    if (expected) {
      EXPECT_EQ(readFile(daemon.file("zorvik.name")), *expected) << setting;
    }
  }
}

TEST(FakeAwg, ExitsOnRequest) {
  FakeDaemon now({"FAKE_AWG_EXIT_NOW=3"});
  auto status = now.waitForOwnExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 3);

  FakeDaemon later({"FAKE_AWG_EXIT_AFTER_MS=100", "FAKE_AWG_EXIT_STATUS=5"});
  ASSERT_FALSE(later.waitForSocket().empty());
  status = later.waitForOwnExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 5);
}

TEST(FakeAwg, UnansweredRequests) {
  FakeDaemon closing({"FAKE_AWG_CLOSE_WITHOUT_ANSWER=1"});
  std::string socket = closing.waitForSocket();
  ASSERT_FALSE(socket.empty());
  EXPECT_EQ(uapiTransact(socket, "get=1\n\n", milliseconds(3000)), "");

  FakeDaemon silent({"FAKE_AWG_NEVER_ANSWER=1"});
  socket = silent.waitForSocket();
  ASSERT_FALSE(socket.empty());
  EXPECT_EQ(uapiTransact(socket, "get=1\n\n", milliseconds(200)), "");
  // Still serving after the client gave up, and still stops on SIGTERM.
  EXPECT_EQ(uapiTransact(socket, "get=1\n\n", milliseconds(200)), "");
  const auto status = silent.stop();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

TEST(FakeAwg, NeverRemovesASocketThatReplacedItsOwn) {
  FakeDaemon replaced({});
  const std::string path = replaced.waitForSocket();
  ASSERT_FALSE(path.empty());
  // A newer daemon's socket renamed over the path, as fake_awg itself does.
  const std::string newer = path + ".newer";
  std::ofstream(newer) << "newer";
  ASSERT_EQ(std::rename(newer.c_str(), path.c_str()), 0);
  replaced.stop();
  EXPECT_EQ(readFile(path), "newer") << "the daemon removed a socket it did not make";
}

}  // namespace
}  // namespace zorvik

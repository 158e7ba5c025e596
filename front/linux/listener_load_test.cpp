// Load through the real listener and the real tunnel service (fake daemon and
// tools): many clients, mixed requests, a bounded time. Checks that every
// request is answered exactly once and that nothing is left behind; writes
// throughput and latency figures, never asserts on them.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testing/listener_harness.h"
#include "testing/tunnel_fixture.h"

namespace zorvik {
namespace {

using test_support::eventually;
using test_support::ListenerHarness;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kClients = 16;
constexpr auto kDefaultDuration = 5s;
constexpr std::size_t kMaxBatch = 3;
#if defined(__SANITIZE_ADDRESS__)
// The sanitizer keeps freed memory in quarantine, so its RSS grows regardless.
constexpr long kRssGrowthBoundKiB = 512 * 1024;
constexpr bool kSanitized = true;
#else
constexpr long kRssGrowthBoundKiB = 64 * 1024;
constexpr bool kSanitized = false;
#endif

// ---- what this process holds --------------------------------------------

std::size_t openDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++n;
  }
  return n;
}

/// A numeric field of /proc/self/status ("Threads", "VmRSS"), or -1.
long statusField(const std::string& name) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

/// Pids of this process's children that are zombies.
std::vector<pid_t> zombieChildren() {
  std::vector<pid_t> zombies;
  const pid_t self = ::getpid();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "stat");
    std::string stat;
    if (!std::getline(in, stat)) continue;
    // The command name may hold spaces and parentheses: the fields follow the last ')'.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    if (parent == self && state == 'Z') zombies.push_back(std::stoi(name));
  }
  return zombies;
}

// ---- the clients ---------------------------------------------------------

enum Method { kVersion, kStatus, kStart, kStop, kMethodCount };
constexpr const char* kMethodNames[] = {"getVersion", "status", "startTunnel", "stopTunnel"};

/// What one client saw.
struct ClientRecord {
  std::vector<double> latencyMs[kMethodCount];
  std::vector<std::string> faults;
  int startsFailed = 0;
};

/// Empty when `reply` is a well-formed answer to `method`, else what is wrong.
std::string checkBody(Method method, const Json& reply) {
  const auto fields = [&](std::set<std::string> expected) {
    std::set<std::string> got;
    for (const auto& item : reply.items()) got.insert(item.key());
    return got == expected;
  };
  switch (method) {
    case kVersion:
      if (fields({"id", "version"}) && reply["version"] == "1") return "";
      break;
    case kStatus:
      if (fields({"id", "active", "rx", "tx", "handshakeAge"}) && reply["active"].is_boolean() &&
          reply["rx"].is_number_unsigned() && reply["tx"].is_number_unsigned() &&
          (reply["active"] || (reply["rx"] == 0 && reply["tx"] == 0))) {
        return "";
      }
      break;
    case kStart:
      if (fields({"id", "ok", "error"}) && reply["ok"].is_boolean() &&
          (reply["ok"] ? reply["error"].is_null() : reply["error"].is_string())) {
        return "";
      }
      break;
    case kStop:
      if (reply == Json{{"id", reply["id"]}, {"ok", true}, {"error", nullptr}}) return "";
      break;
    default:
      break;
  }
  return std::string("malformed ") + kMethodNames[method] + " reply: " + reply.dump();
}

/// Sends batches of mixed requests until `until`, reading every batch's replies
/// before the next, then half-closes and expects nothing more.
ClientRecord runClient(const std::string& socketPath, int client, Clock::time_point until,
                       const std::string& config) {
  ClientRecord record;
  std::mt19937 random(static_cast<unsigned>(client) * 7919u + 1u);
  std::uniform_int_distribution<int> percent(0, 999);
  std::uniform_int_distribution<std::size_t> batchSize(1, kMaxBatch);
  const auto pick = [&] {
    const int p = percent(random);
    if (p < 3) return kStart;  // starts hold the queue for tens of ms: keep them rare
    if (p < 10) return kStop;
    return p < 505 ? kVersion : kStatus;
  };

  UniqueFd socket = ctl::connectToHelper(socketPath);
  ctl::LineReader reader(socket.get(), 4u << 20);
  long next = 0;
  while (Clock::now() < until && record.faults.empty()) {
    std::map<std::string, Method> pending;
    std::string lines;
    for (std::size_t i = batchSize(random); i > 0; --i) {
      const Method method = pick();
      const std::string id = std::to_string(client) + "-" + std::to_string(next++);
      Json request{{"id", id}, {"method", kMethodNames[method]}};
      if (method == kStart) request["config"] = config;
      lines += jsonLine(request) + "\n";
      pending[id] = method;
    }
    const auto sent = Clock::now();
    ctl::sendAll(socket.get(), lines);
    while (!pending.empty()) {
      std::string line;
      if (reader.readLine(line, test_support::kPatience) != ctl::LineReader::Result::line) {
        record.faults.push_back("no reply for " + std::to_string(pending.size()) + " request(s)");
        break;
      }
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
      const Json reply = Json::parse(line, nullptr, false);
      const auto it = reply.is_object() && reply.contains("id") && reply["id"].is_string()
                          ? pending.find(reply["id"].get<std::string>())
                          : pending.end();
      if (it == pending.end()) {
        record.faults.push_back("reply to no pending request: " + line);
        break;
      }
      if (auto fault = checkBody(it->second, reply); !fault.empty()) record.faults.push_back(fault);
      if (it->second == kStart && reply["ok"] == false) ++record.startsFailed;
      record.latencyMs[it->second].push_back(ms);
      pending.erase(it);
    }
  }
  // Half-close: the helper answers what it was asked, then closes. Any further
  // line would be a second reply.
  ::shutdown(socket.get(), SHUT_WR);
  std::string extra;
  const auto end = reader.readLine(extra, test_support::kPatience);
  if (end != ctl::LineReader::Result::closed) {
    record.faults.push_back("after the last reply: " + (end == ctl::LineReader::Result::line
                                                            ? "extra line " + extra
                                                            : std::string("no close")));
  }
  return record;
}

// ---- figures -------------------------------------------------------------

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(p / 100.0 * static_cast<double>(values.size() - 1));
  return values[rank];
}

std::string figuresPath() {
  if (const char* path = std::getenv("ZORVIK_LOAD_REPORT"); path && *path) return path;
  return ZORVIK_BUILD_DIR "/reliability/load.json";
}

std::chrono::milliseconds loadDuration() {
  // Bounded either way: a typo in the variable must not make the test run for hours.
  if (const char* text = std::getenv("ZORVIK_LOAD_SECONDS"); text && *text) {
    const long seconds = std::strtol(text, nullptr, 10);
    if (seconds >= 1 && seconds <= 120) return std::chrono::seconds(seconds);
  }
  return kDefaultDuration;
}

// ---- the test ------------------------------------------------------------

// One route to add and check: the load is on the listener, not on the route steps, whose 32
// checked routes of a full tunnel let too few requests through under a sanitizer.
const std::string kSplitTunnel = test_support::tunnelConfig(
    "203.0.113.5:51820", "Address = 10.8.0.2/32\nDNS = 1.1.1.1\n", "AllowedIPs = 10.0.0.0/8\n");

class LoadThroughListener : public test_support::TunnelTest {};

TEST_F(LoadThroughListener, MixedClientsAreAnsweredOnceAndLeaveNothingBehind) {
  settings.interfaceNameWait = 3s;
  settings.socketWait = 3s;
  // The clients are all this process's user; they stand for the clients of many.
  ListenerOptions options;
  options.maxConnectionsPerUser = kClients + 1;
  auto harness =
      std::make_unique<ListenerHarness>(svc().shared_from_this(), test_support::fakePeers(true, 0),
                                        std::make_shared<test_support::FakeCodeSigning>(), options);

  // Stops the tunnel and waits until its daemon and watcher are gone.
  const auto stopAndDrain = [this] {
    const auto lastDaemon = daemon();
    EXPECT_EQ(stop(), (test_support::Result{true, std::nullopt}));
    if (lastDaemon) {
      EXPECT_TRUE(lastDaemon->waitUntilFinished(test_support::kPatience));
    }
  };

  // Warm up once, so first-use allocations do not count as growth.
  const auto warmUp = runClient(harness->socketPath(), 99, Clock::now() + 200ms, kSplitTunnel);
  ASSERT_TRUE(warmUp.faults.empty()) << warmUp.faults[0];
  ASSERT_TRUE(harness->closedConnections(1));
  stopAndDrain();
  const std::size_t fdBaseline = openDescriptors();
  const long threadBaseline = statusField("Threads");
  const long rssBaseline = statusField("VmRSS");

  const auto duration = loadDuration();
  const auto began = Clock::now();
  std::vector<std::future<ClientRecord>> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.push_back(std::async(std::launch::async, runClient, harness->socketPath(), c,
                                 began + duration, kSplitTunnel));
  }
  std::vector<ClientRecord> records;
  for (auto& client : clients) records.push_back(client.get());
  const double seconds = std::chrono::duration<double>(Clock::now() - began).count();

  ClientRecord all;
  for (const auto& r : records) {
    for (int m = 0; m < kMethodCount; ++m) {
      all.latencyMs[m].insert(all.latencyMs[m].end(), r.latencyMs[m].begin(), r.latencyMs[m].end());
    }
    all.faults.insert(all.faults.end(), r.faults.begin(), r.faults.end());
    all.startsFailed += r.startsFailed;
  }
  EXPECT_TRUE(all.faults.empty()) << all.faults.size() << " fault(s), first: " << all.faults[0];
  for (int m = 0; m < kMethodCount; ++m) {
    EXPECT_FALSE(all.latencyMs[m].empty()) << "no " << kMethodNames[m] << " request was answered";
  }

  // Leave the tunnel down, as a client would, then let everything drain.
  stopAndDrain();
  EXPECT_TRUE(harness->closedConnections(1 + kClients));
  // At most the baseline: a thread or descriptor of the warm-up may still have been ending
  // when it was taken; a leak shows as growth.
  EXPECT_TRUE(eventually([&] { return openDescriptors() <= fdBaseline; }))
      << "descriptors: " << openDescriptors() << ", before the load: " << fdBaseline;
  EXPECT_TRUE(eventually([&] { return statusField("Threads") <= threadBaseline; }))
      << "threads: " << statusField("Threads") << ", before the load: " << threadBaseline;
  EXPECT_TRUE(eventually([] { return zombieChildren().empty(); }))
      << zombieChildren().size() << " zombie child(ren) left";
  const long rssGrowth = statusField("VmRSS") - rssBaseline;
  EXPECT_LT(rssGrowth, kRssGrowthBoundKiB) << "RSS grew by " << rssGrowth << " KiB";

  std::size_t requests = 0;
  for (const auto& latencies : all.latencyMs) requests += latencies.size();
  Json figures{
      {"section", "load"},
      {"clients", kClients},
      {"seconds", seconds},
      {"requests", requests},
      {"requests_per_second", static_cast<double>(requests) / seconds},
      {"version_p50_ms", percentile(all.latencyMs[kVersion], 50)},
      {"version_p99_ms", percentile(all.latencyMs[kVersion], 99)},
      {"status_p50_ms", percentile(all.latencyMs[kStatus], 50)},
      {"status_p99_ms", percentile(all.latencyMs[kStatus], 99)},
      {"starts", all.latencyMs[kStart].size()},
      {"starts_failed", all.startsFailed},
      {"stops", all.latencyMs[kStop].size()},
      {"rss_growth_kib", rssGrowth},
      {"sanitized", kSanitized},
  };
  const std::filesystem::path out = figuresPath();
  std::error_code ec;
  if (out.has_parent_path()) std::filesystem::create_directories(out.parent_path(), ec);
  std::ofstream(out) << figures.dump(2) << "\n";
  std::cout << "load figures (" << out.string() << "):\n" << figures.dump(2) << "\n";

  harness.reset();
}

}  // namespace
}  // namespace zorvik

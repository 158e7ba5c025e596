// Request round trips on one connection through the real Linux listener and the real service:
// status with a tunnel up (queued, then the daemon's counters over UAPI) and version (answered
// at once). The tunnel runs on the fake daemon and the fake tools of testing/. Each round trip
// is timed on its own; p50 and p99 in microseconds are reported as counters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/ctl_connection.h"
#include "service/helper_service.h"
#include "testing/fake_route_watch.h"
#include "testing/fake_tools.h"
#include "testing/listener_harness.h"
#include "testing/temp_dir.h"
#include "testing/tunnel_fixture.h"
#include "wire/wire_format.h"

namespace zorvik {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

/// A service with a tunnel up behind a listener, and one admitted client connection to it.
class HelperWithTunnel {
 public:
  HelperWithTunnel() {
    settings_.runDir = dir_.file("run");
    settings_.logPath = dir_.file("helper.log");
    settings_.daemonLogPath = dir_.file("awg.log");
    settings_.daemonPath = ZORVIK_BUILD_DIR "/fake_awg";
    settings_.pollInterval = 10ms;
    tools_.on("route", {"-n", "get", "default"},
              "   route to: default\ndestination: default\n    gateway: 192.168.1.1\n");
    tools_.applyTo(settings_);
    settings_.routeWatch = routeWatches_.starter();
    // The daemon inherits these; the last one only keeps a crashed run from leaving it behind.
    ::setenv("FAKE_AWG_RUN_DIR", settings_.runDir.c_str(), 1);
    ::setenv("FAKE_AWG_RX_BYTES", "987654321", 1);
    ::setenv("FAKE_AWG_TX_BYTES", "123456789", 1);
    ::setenv("FAKE_AWG_EXIT_AFTER_MS", "600000", 1);
    service_ = std::make_shared<HelperService>(settings_);
    harness_ = std::make_unique<test_support::ListenerHarness>(service_);
    socket_ = ctl::connectToHelper(harness_->socketPath());
    reader_ = std::make_unique<ctl::LineReader>(socket_.get());
    const Json started = request(
        jsonLine({{"id", 0}, {"method", "startTunnel"}, {"config", test_support::tunnelConfig()}}));
    if (started.value("ok", false) != true)
      throw std::runtime_error("the tunnel did not come up: " + started.dump());
  }
  ~HelperWithTunnel() {
    try {
      request(R"({"id":0,"method":"stopTunnel"})");
    } catch (const std::exception&) {
    }
    reader_.reset();
    socket_.reset();
    harness_.reset();
    service_.reset();
  }

  /// Sends one request line and returns its reply.
  Json request(const std::string& line) {
    ctl::sendAll(socket_.get(), line + "\n");
    std::string reply;
    if (reader_->readLine(reply, 10s) != ctl::LineReader::Result::line)
      throw std::runtime_error("no reply to " + line);
    return Json::parse(reply);
  }

 private:
  test_support::TempDir dir_;
  test_support::FakeTools tools_;
  // The host's routing socket is none of a benchmark's business.
  test_support::FakeRouteWatches routeWatches_;
  HelperSettings settings_;
  std::shared_ptr<HelperService> service_;
  std::unique_ptr<test_support::ListenerHarness> harness_;
  UniqueFd socket_;
  std::unique_ptr<ctl::LineReader> reader_;
};

HelperWithTunnel* helper = nullptr;

double percentileMicroseconds(std::vector<Clock::duration>& times, double fraction) {
  const auto rank = static_cast<std::size_t>(fraction * static_cast<double>(times.size() - 1));
  std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(rank), times.end());
  return std::chrono::duration<double, std::micro>(times[rank]).count();
}

void roundTrips(benchmark::State& state, const std::string& line, const char* expectedKey) {
  std::vector<Clock::duration> times;
  times.reserve(static_cast<std::size_t>(state.max_iterations));
  for (auto _ : state) {
    const auto sent = Clock::now();
    const Json reply = helper->request(line);
    times.push_back(Clock::now() - sent);
    if (!reply.contains(expectedKey)) {
      state.SkipWithError(("unexpected reply " + reply.dump()).c_str());
      break;
    }
  }
  if (times.empty()) return;
  state.counters["p50_us"] = percentileMicroseconds(times, 0.50);
  state.counters["p99_us"] = percentileMicroseconds(times, 0.99);
}

void BM_StatusRoundTripTunnelUp(benchmark::State& state) {
  roundTrips(state, R"({"id":1,"method":"status"})", "active");
}
BENCHMARK(BM_StatusRoundTripTunnelUp)->UseRealTime();

void BM_VersionRoundTrip(benchmark::State& state) {
  roundTrips(state, R"({"id":2,"method":"getVersion"})", "version");
}
BENCHMARK(BM_VersionRoundTrip)->UseRealTime();

}  // namespace
}  // namespace zorvik

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  zorvik::HelperWithTunnel up;
  zorvik::helper = &up;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  zorvik::helper = nullptr;
  return 0;
}

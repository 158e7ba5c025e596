#pragma once

// Pieces shared by the tests that talk to a real listener over a real socket.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/names.h"
#include "base/serial_queue.h"
#include "base/system_log.h"
#include "cli/ctl_connection.h"
#include "front/helper_delegate.h"
#include "front/linux/listener.h"
#include "front/linux/refusal_log.h"
#include "front/log_messages.h"
#include "service/helper_protocol.h"
#include "testing/fake_code_signing.h"
#include "testing/memory_log_sink.h"
#include "testing/temp_dir.h"
#include "wire/wire_format.h"

namespace zorvik::test_support {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

/// Bound on every wait of these tests, so nothing hangs.
inline constexpr auto kPatience = 10s;

/// Polls `condition` until it holds or the patience runs out.
inline bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

/// A protocol object whose start waits until the test releases it; the tunnel
/// requests run on a serial queue as the real service's do.
class BlockingProtocol : public ZorvikHelperProtocol {
 public:
  BlockingProtocol() : release_(released_.get_future().share()) {}
  ~BlockingProtocol() override {
    releaseStart();
    queue_.shutdown();
  }

  void getVersion(VersionReply reply) override { reply("1"); }
  void startTunnel(std::string config, ResultReply reply) override {
    {
      std::lock_guard lock(mutex_);
      configs_.push_back(config);
    }
    queue_.async([this, reply = std::move(reply)] {
      startsWaiting_++;
      release_.wait_for(kPatience);
      reply(startOk, startOk ? std::nullopt : std::optional<std::string>(startError));
    });
  }
  void stopTunnel(ResultReply reply) override {
    queue_.async([reply = std::move(reply)] { reply(true, std::nullopt); });
  }
  void status(StatusReply reply) override {
    queue_.async([this, reply = std::move(reply)] {
      reply(active, rx, tx, handshakeAge);
      ++statusesAnswered_;
    });
  }

  void releaseStart() {
    std::call_once(releasedOnce_, [this] { released_.set_value(); });
  }
  int startsWaiting() const { return startsWaiting_; }
  int statusesAnswered() const { return statusesAnswered_; }
  std::vector<std::string> configs() const {
    std::lock_guard lock(mutex_);
    return configs_;
  }

  bool startOk = true;
  std::string startError = "нет секции [Interface]";
  bool active = true;
  std::uint64_t rx = 1536;
  std::uint64_t tx = 7;
  std::optional<std::uint64_t> handshakeAge = 42;

 private:
  std::promise<void> released_;
  std::once_flag releasedOnce_;
  std::shared_future<void> release_;
  std::atomic<int> startsWaiting_{0};
  std::atomic<int> statusesAnswered_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> configs_;
  SerialQueue queue_;
};

/// One client connection speaking the wire format.
class TestClient {
 public:
  explicit TestClient(const std::string& socketPath)
      : socket_(ctl::connectToHelper(socketPath)), reader_(socket_.get(), 4u << 20) {}

  void send(const std::string& line) { ctl::sendAll(socket_.get(), line + "\n"); }
  /// Sends to a helper that may already have closed the connection.
  void sendIfOpen(const std::string& line) {
    try {
      send(line);
    } catch (const std::runtime_error&) {
    }
  }

  /// The next reply as JSON; fails the test on close or time-out.
  Json reply() {
    std::string line;
    const auto result = reader_.readLine(line, kPatience);
    EXPECT_EQ(result, ctl::LineReader::Result::line) << "expected a reply line";
    if (result != ctl::LineReader::Result::line) return nullptr;
    return Json::parse(line);
  }

  /// True when the helper closes the connection without sending anything more.
  bool closedByHelper() {
    std::string line;
    return reader_.readLine(line, kPatience) == ctl::LineReader::Result::closed;
  }

  int fd() const { return socket_.get(); }
  void close() { socket_.reset(); }

 private:
  UniqueFd socket_;
  ctl::LineReader reader_;
};

/// The peer identity the listener sees: fixed by the test.
inline LinuxListener::PeerFactory fakePeers(bool found, std::int32_t status) {
  return [found, status](int) { return std::make_unique<FakePeer>(found, status); };
}

/// A listener in a temporary directory over the given service and peer check. With a
/// refusal window, the delegate logs through a RefusalLog as the helper's does.
class ListenerHarness {
 public:
  ListenerHarness(std::shared_ptr<ZorvikHelperProtocol> service,
                  LinuxListener::PeerFactory peers = fakePeers(true, 0),
                  std::shared_ptr<CodeSigning> signing = std::make_shared<FakeCodeSigning>(),
                  ListenerOptions options = {},
                  std::optional<std::chrono::milliseconds> refusalWindow = std::nullopt)
      : sink(std::make_shared<MemoryLogSink>()),
        daemonLog(sink, kHelperMachServiceName, "daemon"),
        refusalLog(refusalWindow ? std::make_shared<RefusalLog>(sink, *refusalWindow) : nullptr),
        delegateLog(refusalLog ? std::shared_ptr<LogSink>(refusalLog) : sink,
                    kHelperMachServiceName, "daemon"),
        delegate(std::move(signing), delegateLog),
        service_(std::move(service)) {
    options.socketPath = (dir.path() / "helper.sock").string();
    options.refusalLog = refusalLog;
    listener = std::make_unique<LinuxListener>(
        options, delegate, daemonLog, [this] { return service_; }, std::move(peers));
    listener->resume();
  }

  std::string socketPath() const { return listener->socketPath(); }
  /// Waits until `count` connections have been logged as closed.
  bool closedConnections(std::size_t count) {
    return eventually([&] {
      std::size_t closed = 0;
      for (const auto& message : sink->messages()) closed += message == kConnectionClosed;
      return closed >= count;
    });
  }

  TempDir dir;
  std::shared_ptr<MemoryLogSink> sink;
  SystemLog daemonLog;
  std::shared_ptr<RefusalLog> refusalLog;
  SystemLog delegateLog;
  HelperDelegate delegate;

 private:
  std::shared_ptr<ZorvikHelperProtocol> service_;

 public:
  std::unique_ptr<LinuxListener> listener;
};

}  // namespace zorvik::test_support

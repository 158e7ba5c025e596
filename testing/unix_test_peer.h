#pragma once
// Test-only: a Unix stream socket in a fresh temporary directory, served by a
// thread that runs a script on each connection it accepts.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "base/fd_io.h"
#include "base/unique_fd.h"
#include "platform/socket_io.h"
#include "testing/pipe.h"
#include "testing/temp_dir.h"
#include "testing/unix_socket.h"

namespace zorvik::test_support {

/// Longest wait of any step of a peer, so a broken test cannot hang.
inline constexpr int kPeerWaitMs = 5000;

/// Reads from `fd` until the data ends in an empty line, the stream ends or
/// kPeerWaitMs passes without data.
inline std::string readRequest(int fd) {
  std::string data;
  char buffer[1024];
  while (data.size() < 2 || data.compare(data.size() - 2, 2, "\n\n") != 0) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kPeerWaitMs) <= 0) break;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  return data;
}

/// Writes all of `data`, ignoring a peer that went away.
inline void writeAll(int fd, std::string_view data) { zorvik::writeAll(fd, data, sendNoSignal); }

/// Waits until the other side closes `fd` (or kPeerWaitMs passes); true when it closed.
inline bool waitForClose(int fd) {
  char buffer[256];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kPeerWaitMs) <= 0) return false;
    if (read(fd, buffer, sizeof buffer) <= 0) return true;
  }
}

/// A listening socket whose connections are handed to `script`, one at a time.
class UnixTestPeer {
 public:
  using Script = std::function<void(int connection)>;

  explicit UnixTestPeer(Script script) : script_(std::move(script)) {
    path_ = dir_.file("peer.sock");
    listener_ = bindUnixSocket(path_);
    auto [stopRead, stopWrite] = makePipe();
    stopRead_ = std::move(stopRead);
    stopWrite_ = std::move(stopWrite);
    thread_ = std::thread([this] { serve(); });
  }

  ~UnixTestPeer() {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(stopWrite_.get(), &byte, 1);
    thread_.join();
  }

  UnixTestPeer(const UnixTestPeer&) = delete;
  UnixTestPeer& operator=(const UnixTestPeer&) = delete;

  const std::string& path() const { return path_; }
  std::string directory() const { return dir_.path().string(); }
  /// How many connections have been accepted so far.
  int connections() const { return connections_.load(); }

 private:
  void serve() {
    for (;;) {
      pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {stopRead_.get(), POLLIN, 0}};
      if (poll(fds, 2, -1) < 0 || fds[1].revents) return;
      UniqueFd connection(accept(listener_.get(), nullptr, nullptr));
      if (!connection) continue;
      ++connections_;
      script_(connection.get());
    }
  }

  Script script_;
  TempDir dir_;
  std::string path_;
  UniqueFd listener_;
  UniqueFd stopRead_;
  UniqueFd stopWrite_;
  std::atomic<int> connections_{0};
  std::thread thread_;
};

}  // namespace zorvik::test_support

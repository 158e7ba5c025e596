#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/system_log.h"
#include "base/unique_fd.h"
#include "front/helper_delegate.h"
#include "service/helper_protocol.h"
#include "wire/socket_path.h"
#include "wire/wire_format.h"

namespace zorvik {

/// What a listener is built with.
struct ListenerOptions {
  std::string socketPath = kHelperSocketPath;
  /// Connections served at once; one more is closed as soon as it is accepted.
  std::size_t maxConnections = 64;
  /// A request line longer than this closes its connection.
  std::size_t maxLineBytes = kMaxLineBytes;
  /// A connection that sends nothing this long while no reply is pending is closed.
  std::chrono::milliseconds idleTimeout{60000};
};

class ConnectionChannel;

/// The Linux stand-in for the XPC listener and its delegate: a Unix stream
/// socket carrying one JSON object per line each way, a thread per connection,
/// admission decided by the delegate before anything is read.
class LinuxListener {
 public:
  /// The object an admitted connection talks to (production: `sharedService`).
  using ServiceProvider = std::function<std::shared_ptr<ZorvikHelperProtocol>()>;
  /// The identity of the peer on a connected socket.
  using PeerFactory = std::function<std::unique_ptr<PeerIdentity>(int socketFd)>;

  /// Binds the socket, mode 0666. Throws std::runtime_error when a live helper
  /// already answers on the path or the socket cannot be set up; a stale
  /// socket file is replaced.
  LinuxListener(ListenerOptions options, const HelperDelegate& delegate, const SystemLog& daemonLog,
                ServiceProvider serviceProvider, PeerFactory peerFactory);
  /// Stops accepting, ends every connection, joins every thread and removes the socket file.
  ~LinuxListener();
  LinuxListener(const LinuxListener&) = delete;
  LinuxListener& operator=(const LinuxListener&) = delete;

  /// Starts accepting connections on a thread of its own.
  void resume();

  const std::string& socketPath() const { return options_.socketPath; }

 private:
  struct Connection {
    std::shared_ptr<ConnectionChannel> channel;
    std::shared_ptr<std::atomic<bool>> finished;
    std::thread thread;
  };

  void bindSocket();
  void acceptLoop();
  void acceptOne();
  void startConnection(UniqueFd socket);
  void reapFinishedConnections();
  void serveConnection(const std::shared_ptr<ConnectionChannel>& channel);
  void readRequests(const std::shared_ptr<ConnectionChannel>& channel,
                    ZorvikHelperProtocol& service);

  const ListenerOptions options_;
  const HelperDelegate& delegate_;
  const SystemLog& daemonLog_;
  const ServiceProvider serviceProvider_;
  const PeerFactory peerFactory_;

  UniqueFd listenSocket_;
  dev_t socketDevice_ = 0;
  ino_t socketInode_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> activeConnections_{0};
  std::thread acceptThread_;
  std::mutex connectionsMutex_;
  std::list<Connection> connections_;
};

}  // namespace zorvik

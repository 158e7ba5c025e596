#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/system_log.h"
#include "base/unique_fd.h"
#include "front/helper_delegate.h"
#include "front/linux/pending_bytes.h"
#include "front/linux/refusal_log.h"
#include "service/helper_protocol.h"
#include "wire/socket_path.h"
#include "wire/wire_format.h"

namespace zorvik {

/// What a listener is built with. The limits keep any one local user, who can run the
/// admitted client and make it do anything, from locking out, starving or exhausting the
/// helper for the others.
struct ListenerOptions {
  std::string socketPath = kHelperSocketPath;
  /// Connections served at once; one more is closed as soon as it is accepted.
  std::size_t maxConnections = 64;
  /// Connections of one user (the peer's uid) served at once, the same way: a user who holds
  /// all of them leaves room for every other user's client (8 users would have to hold theirs
  /// to fill the total).
  std::size_t maxConnectionsPerUser = 8;
  /// A request line longer than this closes its connection.
  std::size_t maxLineBytes = kMaxLineBytes;
  /// A connection without a complete request this long after it came is closed: the client
  /// sends its request as soon as it is connected.
  std::chrono::milliseconds firstRequestDeadline{3000};
  /// A connection that sends nothing this long while no reply is pending is closed.
  std::chrono::milliseconds idleTimeout{60000};
  /// Requests of one connection waiting for their replies; reading stops at that many. The
  /// client sends one, and the load test's batches three.
  std::size_t maxPendingRequests = 4;
  /// Reply bytes one connection may have queued unsent; more drops the connection (one reply
  /// always fits, however long the id it echoes). Its peer does not read what it asked for.
  std::size_t maxQueuedReplyBytes = 256 * 1024;
  /// A connection whose queued replies take no byte this long is dropped.
  std::chrono::milliseconds sendTimeout{5000};
  /// Request bytes handed to the service and not yet answered, all connections together; a
  /// connection's first pending request gets through regardless, later ones wait for room.
  std::size_t maxPendingBytes = 8 * kMaxLineBytes;
  /// The sink the delegate logs to, when refusals are to be logged at a bounded rate (the
  /// helper's); without it every record is written at once.
  std::shared_ptr<RefusalLog> refusalLog;
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
  /// Counts a connection of `uid` when its share and the total leave room for it.
  bool takeSlot(uid_t uid);
  void releaseSlot(uid_t uid);
  void startConnection(UniqueFd socket, uid_t uid);
  void reapFinishedConnections();
  void serveConnection(const std::shared_ptr<ConnectionChannel>& channel);
  bool admit(int socketFd);

  const ListenerOptions options_;
  const HelperDelegate& delegate_;
  const SystemLog& daemonLog_;
  const ServiceProvider serviceProvider_;
  const PeerFactory peerFactory_;

  UniqueFd listenSocket_;
  dev_t socketDevice_ = 0;
  ino_t socketInode_ = 0;
  const std::shared_ptr<PendingBytes> pendingBytes_;
  std::atomic<bool> stopping_{false};
  std::thread acceptThread_;
  std::mutex connectionsMutex_;
  std::list<Connection> connections_;
  std::size_t served_ = 0;
  std::map<uid_t, std::size_t> servedOfUser_;
};

}  // namespace zorvik

#include "front/linux/listener.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "base/unix_address.h"
#include "front/linux/connection_channel.h"
#include "front/linux/connection_loop.h"
#include "front/log_messages.h"
#include "platform/socket_io.h"
#include "platform/socket_io_linux.h"

namespace zorvik {
namespace {

constexpr int kBacklog = 64;
// The uid of a peer whose credentials cannot be read: all such peers count as one user.
constexpr uid_t kUnknownUid = static_cast<uid_t>(-1);

std::runtime_error socketError(const std::string& what, const std::string& path, int error) {
  return std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

UnixSocketAddress socketAddress(const std::string& path) {
  auto address = unixSocketAddress(path);
  if (!address)
    throw std::runtime_error("socket path is empty, holds a NUL or is too long: " + path);
  return *address;
}

UniqueFd unixStreamSocket() {
  UniqueFd fd = openUnixStreamSocket(SocketMode::blocking);
  if (!fd) throw std::runtime_error(std::string("cannot create a socket: ") + std::strerror(errno));
  return fd;
}

uid_t peerUid(int socketFd) {
  const auto credentials = unixSocketPeerCredentials(socketFd);
  return credentials ? credentials->uid : kUnknownUid;
}

// True when something accepts connections on `path`.
bool helperAnswers(const UnixSocketAddress& address) {
  UniqueFd probe = unixStreamSocket();
  return connectUnixSocket(probe.get(), address);
}

}  // namespace

LinuxListener::LinuxListener(ListenerOptions options, const HelperDelegate& delegate,
                             const SystemLog& daemonLog, ServiceProvider serviceProvider,
                             PeerFactory peerFactory)
    : options_(std::move(options)),
      delegate_(delegate),
      daemonLog_(daemonLog),
      serviceProvider_(std::move(serviceProvider)),
      peerFactory_(std::move(peerFactory)),
      pendingBytes_(std::make_shared<PendingBytes>(options_.maxPendingBytes)) {
  bindSocket();
}

LinuxListener::~LinuxListener() {
  stopping_ = true;
  if (listenSocket_) ::shutdown(listenSocket_.get(), SHUT_RDWR);
  if (acceptThread_.joinable()) acceptThread_.join();
  {
    std::lock_guard lock(connectionsMutex_);
    for (auto& connection : connections_) connection.channel->abandon();
  }
  for (auto& connection : connections_) connection.thread.join();
  // Only our own socket file: another helper may have replaced it meanwhile.
  struct stat info {};
  if (::lstat(options_.socketPath.c_str(), &info) == 0 && info.st_dev == socketDevice_ &&
      info.st_ino == socketInode_) {
    ::unlink(options_.socketPath.c_str());
  }
}

void LinuxListener::bindSocket() {
  const std::string& path = options_.socketPath;
  const UnixSocketAddress address = socketAddress(path);

  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      throw std::runtime_error("cannot listen on " + path + ": it exists and is not a socket");
    }
    if (helperAnswers(address)) {
      throw std::runtime_error("cannot listen on " + path +
                               ": another helper is already answering on it");
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      throw socketError("cannot remove the stale socket", path, errno);
    }
  }

  listenSocket_ = unixStreamSocket();
  if (::bind(listenSocket_.get(), address.get(), address.length) != 0) {
    throw socketError("cannot bind", path, errno);
  }
  // Anyone may connect: admission, not the file mode, decides who is served.
  struct stat bound {};
  if (::chmod(path.c_str(), 0666) != 0 || ::lstat(path.c_str(), &bound) != 0) {
    throw socketError("cannot set the mode of", path, errno);
  }
  socketDevice_ = bound.st_dev;
  socketInode_ = bound.st_ino;
  if (::listen(listenSocket_.get(), kBacklog) != 0)
    throw socketError("cannot listen on", path, errno);
}

void LinuxListener::resume() {
  if (!acceptThread_.joinable()) acceptThread_ = std::thread([this] { acceptLoop(); });
}

void LinuxListener::acceptLoop() {
  while (!stopping_) {
    try {
      acceptOne();
    } catch (...) {
      // Out of memory or threads for one connection: it is closed, the next one is tried.
    }
  }
}

void LinuxListener::acceptOne() {
  UniqueFd socket(::accept4(listenSocket_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
  if (!socket) {
    if (stopping_) return;
    // Out of descriptors: give connections a moment to finish rather than spin.
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return;
  }
  reapFinishedConnections();
  const uid_t uid = peerUid(socket.get());
  if (!takeSlot(uid)) return;  // closed by its owner
  startConnection(std::move(socket), uid);
}

bool LinuxListener::takeSlot(uid_t uid) {
  std::lock_guard lock(connectionsMutex_);
  std::size_t& ofUser = servedOfUser_[uid];
  if (served_ >= options_.maxConnections || ofUser >= options_.maxConnectionsPerUser) {
    if (ofUser == 0) servedOfUser_.erase(uid);
    return false;
  }
  ++served_;
  ++ofUser;
  return true;
}

void LinuxListener::releaseSlot(uid_t uid) {
  std::lock_guard lock(connectionsMutex_);
  --served_;
  if (--servedOfUser_[uid] == 0) servedOfUser_.erase(uid);
}

void LinuxListener::startConnection(UniqueFd socket, uid_t uid) {
  std::shared_ptr<ConnectionChannel> channel;
  try {
    channel = std::make_shared<ConnectionChannel>(std::move(socket), options_.maxQueuedReplyBytes);
  } catch (const std::system_error&) {
    releaseSlot(uid);
    return;
  }
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard lock(connectionsMutex_);
  try {
    std::thread thread([this, channel, finished, uid] {
      try {
        serveConnection(channel);
      } catch (...) {
        // Nothing may leave the thread; the connection is over either way.
      }
      releaseSlot(uid);
      *finished = true;
    });
    connections_.push_back({channel, finished, std::move(thread)});
  } catch (const std::system_error&) {
    // No thread to serve it: the channel closes the socket. The lock is ours still.
    --served_;
    if (--servedOfUser_[uid] == 0) servedOfUser_.erase(uid);
  }
}

void LinuxListener::reapFinishedConnections() {
  std::lock_guard lock(connectionsMutex_);
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (*it->finished) {
      it->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

bool LinuxListener::admit(int socketFd) {
  auto peer = peerFactory_(socketFd);
  if (!peer) return false;
  if (!options_.refusalLog) return delegate_.shouldAcceptNewConnection(*peer);
  RefusalLog::Admission admission(*options_.refusalLog);
  const bool admitted = delegate_.shouldAcceptNewConnection(*peer);
  admission.finish(admitted);
  return admitted;
}

void LinuxListener::serveConnection(const std::shared_ptr<ConnectionChannel>& channel) {
  bool admitted = false;
  try {
    admitted = admit(channel->fd());
    if (admitted) {
      auto service = serviceProvider_();
      const ConnectionLimits limits{options_.maxLineBytes, options_.maxPendingRequests,
                                    options_.firstRequestDeadline, options_.idleTimeout,
                                    options_.sendTimeout};
      serveRequests(channel, *service, limits, *pendingBytes_);
    }
  } catch (const std::exception&) {
    // Nothing to tell a peer whose connection failed; closing it is the answer.
  }
  channel->close();
  if (admitted) daemonLog_.info(kConnectionClosed);
  pendingBytes_->connectionEnded();
}

}  // namespace zorvik

#include "front/linux/listener.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "base/unix_address.h"
#include "front/linux/connection_channel.h"
#include "front/linux/request_dispatch.h"
#include "front/log_messages.h"
#include "platform/socket_io.h"

namespace zorvik {
namespace {

constexpr int kBacklog = 64;
constexpr std::size_t kReadChunk = 64 * 1024;
// A peer that stops reading its replies must not hold up the service queue.
constexpr timeval kSendTimeout{5, 0};

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
      peerFactory_(std::move(peerFactory)) {
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
  UniqueFd socket(::accept4(listenSocket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!socket) {
    if (stopping_) return;
    // Out of descriptors: give connections a moment to finish rather than spin.
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return;
  }
  reapFinishedConnections();
  if (activeConnections_ >= options_.maxConnections) return;  // closed by its owner
  startConnection(std::move(socket));
}

void LinuxListener::startConnection(UniqueFd socket) {
  ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &kSendTimeout, sizeof kSendTimeout);
  auto channel = std::make_shared<ConnectionChannel>(std::move(socket));
  auto finished = std::make_shared<std::atomic<bool>>(false);
  ++activeConnections_;
  std::lock_guard lock(connectionsMutex_);
  try {
    std::thread thread([this, channel, finished] {
      try {
        serveConnection(channel);
      } catch (...) {
        // Nothing may leave the thread; the connection is over either way.
      }
      *finished = true;
    });
    connections_.push_back({channel, finished, std::move(thread)});
  } catch (const std::system_error&) {
    --activeConnections_;  // no thread to serve it: the channel closes the socket
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

void LinuxListener::serveConnection(const std::shared_ptr<ConnectionChannel>& channel) {
  bool admitted = false;
  try {
    auto peer = peerFactory_(channel->fd());
    admitted = peer && delegate_.shouldAcceptNewConnection(*peer);
    if (admitted) {
      auto service = serviceProvider_();
      readRequests(channel, *service);
      // A peer that only half-closed still gets the replies it asked for.
      channel->waitForReplies();
    }
  } catch (const std::exception&) {
    // Nothing to tell a peer whose connection failed; closing it is the answer.
  }
  channel->close();
  --activeConnections_;
  if (admitted) daemonLog_.info(kConnectionClosed);
}

void LinuxListener::readRequests(const std::shared_ptr<ConnectionChannel>& channel,
                                 ZorvikHelperProtocol& service) {
  std::string buffer;
  char chunk[kReadChunk];
  for (;;) {
    // An idle client must not hold one of the connections for good; one that
    // waits for a reply is not idle.
    pollfd entry{channel->fd(), POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(options_.idleTimeout.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      if (channel->hasPendingReplies()) continue;
      return;
    }
    const ssize_t received = ::recv(channel->fd(), chunk, sizeof chunk, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) return;
    buffer.append(chunk, static_cast<std::size_t>(received));

    std::size_t start = 0;
    for (std::size_t end; (end = buffer.find('\n', start)) != std::string::npos; start = end + 1) {
      if (end - start > options_.maxLineBytes) return;
      dispatchRequestLine(channel, service, std::string_view(buffer).substr(start, end - start));
    }
    buffer.erase(0, start);
    if (buffer.size() > options_.maxLineBytes) return;
  }
}

}  // namespace zorvik

#include "platform/socket_io_linux.h"

#include <sys/socket.h>

#include "platform/socket_io.h"

namespace zorvik {

UniqueFd openUnixStreamSocket(SocketMode mode) {
  const int nonBlocking = mode == SocketMode::nonBlocking ? SOCK_NONBLOCK : 0;
  return UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | nonBlocking, 0));
}

ssize_t sendNoSignal(int fd, const void* data, std::size_t size) {
  return ::send(fd, data, size, MSG_NOSIGNAL);
}

std::optional<ucred> unixSocketPeerCredentials(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return std::nullopt;
  return credentials;
}

std::optional<pid_t> unixSocketPeerPid(int fd) {
  const auto credentials = unixSocketPeerCredentials(fd);
  if (!credentials || credentials->pid < 1) return std::nullopt;
  return credentials->pid;
}

}  // namespace zorvik

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

}  // namespace zorvik

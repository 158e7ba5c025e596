#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>

#include "platform/socket_io.h"

namespace zorvik {
namespace {

void suppressSigpipe(int fd) {
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
}

}  // namespace

// No SOCK_CLOEXEC or SOCK_NONBLOCK here. The flags are set right after; children are spawned
// with POSIX_SPAWN_CLOEXEC_DEFAULT, so the short gap cannot leak the socket to them.
UniqueFd openUnixStreamSocket(SocketMode mode) {
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
  if (!fd) return fd;
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFD, FD_CLOEXEC) != 0 ||
      (mode == SocketMode::nonBlocking && ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) != 0)) {
    const int error = errno;
    fd.reset();
    errno = error;
    return fd;
  }
  suppressSigpipe(fd.get());
  return fd;
}

// MSG_NOSIGNAL is missing from older SDKs; SO_NOSIGPIPE on the socket does the job.
ssize_t sendNoSignal(int fd, const void* data, std::size_t size) {
  return ::send(fd, data, size, 0);
}

std::optional<pid_t> unixSocketPeerPid(int fd) {
  pid_t pid = 0;
  socklen_t length = sizeof pid;
  if (::getsockopt(fd, SOL_LOCAL, LOCAL_PEERPID, &pid, &length) != 0 || pid < 1)
    return std::nullopt;
  return pid;
}

}  // namespace zorvik

#include "testing/unix_socket.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "base/unix_address.h"

namespace zorvik::test_support {

UniqueFd bindUnixSocket(const std::string& path, bool listening) {
  const auto address = unixSocketAddress(path);
  if (!address) throw std::runtime_error("not a Unix socket path: " + path);
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
  if (!fd || ::fcntl(fd.get(), F_SETFD, FD_CLOEXEC) != 0 ||
      ::bind(fd.get(), address->get(), address->length) != 0 ||
      (listening && ::listen(fd.get(), 4) != 0)) {
    throw std::runtime_error("cannot bind a socket at " + path + ": " + std::strerror(errno));
  }
  return fd;
}

}  // namespace zorvik::test_support

#include "cli/ctl_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "base/fd_io.h"
#include "base/unix_address.h"
#include "platform/socket_io.h"

namespace zorvik::ctl {

UniqueFd connectToHelper(const std::string& socketPath) {
  const std::string failure = "cannot connect to " + socketPath + ": ";
  const auto address = unixSocketAddress(socketPath);
  if (!address)
    throw std::runtime_error(failure +
                             "the path is empty, holds a NUL or is too long for a socket");

  UniqueFd fd = openUnixStreamSocket(SocketMode::blocking);
  if (!fd || !connectUnixSocket(fd.get(), *address))
    throw std::runtime_error(failure + std::strerror(errno));
  return fd;
}

void sendAll(int fd, const std::string& data) {
  if (writeAll(fd, data, sendNoSignal)) return;
  if (errno == EPIPE || errno == ECONNRESET) {
    throw HelperClosedConnection("the helper closed the connection");
  }
  throw std::runtime_error(std::string("cannot send the request to the helper: ") +
                           std::strerror(errno));
}

LineReader::Result LineReader::readLine(std::string& line, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (const auto end = buffer_.find('\n'); end != std::string::npos) {
      line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return Result::line;
    }
    if (buffer_.size() > maxLineBytes_) return Result::tooLong;

    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Result::timedOut;
    pollfd entry{fd_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Result::closed;
    if (ready == 0) return Result::timedOut;

    char chunk[64 * 1024];
    const ssize_t received = ::read(fd_, chunk, sizeof chunk);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) return Result::closed;
    buffer_.append(chunk, static_cast<std::size_t>(received));
  }
}

}  // namespace zorvik::ctl

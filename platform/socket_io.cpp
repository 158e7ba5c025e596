#include "platform/socket_io.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>

namespace zorvik {
namespace {

bool setTimeout(int fd, int option, std::chrono::microseconds timeout) {
  // Zero would mean no limit at all; the shortest limit is one microsecond.
  if (timeout < std::chrono::microseconds{1}) timeout = std::chrono::microseconds{1};
  timeval value{};
  value.tv_sec = static_cast<time_t>(timeout.count() / 1000000);
  value.tv_usec = static_cast<suseconds_t>(timeout.count() % 1000000);
  return setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

}  // namespace

bool connectUnixSocket(int fd, const UnixSocketAddress& address) {
  for (bool retry = false;; retry = true) {
    if (::connect(fd, address.get(), address.length) == 0) return true;
    // The interrupted attempt may have got through in the meantime.
    if (retry && errno == EISCONN) return true;
    if (errno != EINTR) return false;
  }
}

bool setReceiveTimeout(int fd, std::chrono::microseconds timeout) {
  return setTimeout(fd, SO_RCVTIMEO, timeout);
}

bool setSendTimeout(int fd, std::chrono::microseconds timeout) {
  return setTimeout(fd, SO_SNDTIMEO, timeout);
}

}  // namespace zorvik

#include "platform/socket_io.h"

#include <sys/socket.h>
#include <sys/time.h>

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

void suppressSigpipe([[maybe_unused]] int fd) {
#ifdef SO_NOSIGPIPE
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
}

ssize_t sendNoSignal(int fd, const void* data, std::size_t size) {
#ifdef MSG_NOSIGNAL
  return send(fd, data, size, MSG_NOSIGNAL);
#else
  return send(fd, data, size, 0);
#endif
}

bool setReceiveTimeout(int fd, std::chrono::microseconds timeout) {
  return setTimeout(fd, SO_RCVTIMEO, timeout);
}

bool setSendTimeout(int fd, std::chrono::microseconds timeout) {
  return setTimeout(fd, SO_SNDTIMEO, timeout);
}

}  // namespace zorvik

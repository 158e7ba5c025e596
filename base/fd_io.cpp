#include "base/fd_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zorvik {

int openRetryingEINTR(const char* path, int flags, mode_t mode) {
  for (;;) {
    const int fd = ::open(path, flags, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

bool writeAll(int fd, std::string_view data, WriteOnce writeOnce) {
  while (!data.empty()) {
    const ssize_t written = writeOnce(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

ReadToEndResult readToEnd(int fd, std::size_t maxBytes) {
  ReadToEndResult result;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      result.error = errno;
      return result;
    }
    if (got == 0) return result;
    result.bytes.append(buffer, static_cast<std::size_t>(got));
    if (result.bytes.size() > maxBytes) {
      result.overLimit = true;
      return result;
    }
  }
}

}  // namespace zorvik

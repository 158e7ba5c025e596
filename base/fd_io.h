#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace zorvik {

/// open(2), retried while a signal interrupts it.
int openRetryingEINTR(const char* path, int flags, mode_t mode = 0);

/// One write(2)-like call: write itself, or a send that never raises SIGPIPE.
using WriteOnce = ssize_t (*)(int fd, const void* data, std::size_t size);

/// Writes all of `data`, retrying the rest after a short write or EINTR.
/// False when the descriptor refuses the bytes.
bool writeAll(int fd, std::string_view data, WriteOnce writeOnce = ::write);

/// What readToEnd found.
struct ReadToEndResult {
  std::string bytes;
  int error = 0;           ///< errno of a failed read; the bytes before it are kept
  bool overLimit = false;  ///< more than the limit arrived; `bytes` holds what was read
};

/// Reads `fd` until end of file, a read error or more than `maxBytes`,
/// retrying reads that a signal interrupts.
ReadToEndResult readToEnd(int fd, std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

}  // namespace zorvik

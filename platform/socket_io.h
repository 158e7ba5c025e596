#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>

namespace zorvik {

/// Keeps writes on `fd` from raising SIGPIPE where the platform sets that per
/// socket (SO_NOSIGPIPE); a no-op elsewhere, where sendNoSignal covers it.
void suppressSigpipe(int fd);

/// One send() that reports a closed peer as EPIPE instead of raising SIGPIPE.
ssize_t sendNoSignal(int fd, const void* data, std::size_t size);

/// Sets the receive time-out of a socket, at least 1 us (never "no limit"); false on failure.
bool setReceiveTimeout(int fd, std::chrono::microseconds timeout);

/// Sets the send time-out of a socket, at least 1 us (never "no limit"); false on failure.
bool setSendTimeout(int fd, std::chrono::microseconds timeout);

}  // namespace zorvik

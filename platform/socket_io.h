#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <optional>

#include "base/unique_fd.h"
#include "base/unix_address.h"

namespace zorvik {

/// Whether a new socket's calls wait (blocking) or fail with EAGAIN (nonBlocking).
enum class SocketMode { blocking, nonBlocking };

/// A new Unix stream socket, close-on-exec, whose writes never raise SIGPIPE; an invalid
/// UniqueFd, with errno set, when the system refuses.
UniqueFd openUnixStreamSocket(SocketMode mode);

/// Connects `fd` (from openUnixStreamSocket) to `address`, again after a signal interrupts the
/// attempt; EISCONN on such a retry means the interrupted attempt got through. False with errno
/// set when it fails (on a non-blocking socket, EAGAIN or EINPROGRESS when the listener's
/// backlog is full).
bool connectUnixSocket(int fd, const UnixSocketAddress& address);

/// One send() on a socket from openUnixStreamSocket: a closed peer is EPIPE, never SIGPIPE.
ssize_t sendNoSignal(int fd, const void* data, std::size_t size);

/// Sets the receive time-out of a socket, at least 1 us (never "no limit"); false on failure.
bool setReceiveTimeout(int fd, std::chrono::microseconds timeout);

/// Sets the send time-out of a socket, at least 1 us (never "no limit"); false on failure.
bool setSendTimeout(int fd, std::chrono::microseconds timeout);

/// The pid of the process at the other end of a connected Unix stream socket, as the kernel
/// recorded it when that end listened or connected; nothing when the system does not say.
std::optional<pid_t> unixSocketPeerPid(int fd);

}  // namespace zorvik

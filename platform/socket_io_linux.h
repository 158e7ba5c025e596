#pragma once
// Linux only: what the kernel says of a Unix socket's peer, beyond the portable pid.

#include <sys/socket.h>

#include <optional>

namespace zorvik {

/// The pid, uid and gid the kernel recorded for the other end of a connected Unix socket
/// (SO_PEERCRED); nothing when it does not say. The pid may be 0 for a peer outside this
/// process's pid namespace.
std::optional<ucred> unixSocketPeerCredentials(int fd);

}  // namespace zorvik

#pragma once
// Linux only: the process handles and /proc links that the Linux halves share.

#include <sys/types.h>

#include <string>

#include "base/unique_fd.h"

namespace zorvik {

/// A pidfd for `pid`: it pins the process, so a signal through it never
/// reaches a newcomer that reused the pid. Invalid with errno set on failure.
UniqueFd openPidfd(pid_t pid);

/// "/proc/<pid>/exe": the link to the executable that process `pid` runs.
std::string procExecutableLink(pid_t pid);

}  // namespace zorvik

#include "platform/pidfd_linux.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace zorvik {

UniqueFd openPidfd(pid_t pid) {
  // Through syscall(): some glibc headers declare pidfd_open without C linkage.
  return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
}

std::string procExecutableLink(pid_t pid) { return "/proc/" + std::to_string(pid) + "/exe"; }

}  // namespace zorvik

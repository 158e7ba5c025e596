#include "front/linux/peer_identity.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <fstream>
#include <limits>
#include <optional>

#include "base/text.h"
#include "base/unique_fd.h"
#include "front/linux/code_signing.h"
#include "front/log_messages.h"
#include "platform/child_process.h"
#include "platform/child_process_linux.h"
#include "platform/socket_io.h"

// Older kernel headers lack it; the kernel answers ENOPROTOOPT where it is unknown.
#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77
#endif

namespace zorvik {
namespace {

// The pid behind a pidfd, from its fdinfo; nothing when the process is gone.
std::optional<pid_t> pidOfPidfd(int pidfd) {
  std::ifstream info("/proc/self/fdinfo/" + std::to_string(pidfd));
  std::string line;
  while (std::getline(info, line)) {
    if (line.rfind("Pid:", 0) != 0) continue;
    std::string_view value(line);
    value.remove_prefix(4);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    // -1 marks a process that has already been reaped.
    const auto pid = parseInt64(value);
    if (!pid || *pid <= 0 || *pid > std::numeric_limits<pid_t>::max()) return std::nullopt;
    return static_cast<pid_t>(*pid);
  }
  return std::nullopt;
}

// A pidfd polls readable once its process has exited.
bool stillRunning(int pidfd) {
  pollfd entry{pidfd, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, 0);
  } while (ready < 0 && errno == EINTR);
  return ready == 0;
}

// The peer process, pinned: the exact process that connected where the kernel
// can say so (SO_PEERPIDFD), otherwise the pid it recorded at connect time.
UniqueFd peerPidfd(int socketFd) {
  int pidfd = -1;
  socklen_t length = sizeof pidfd;
  if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &length) == 0) {
    return UniqueFd(pidfd);
  }
  // Any other failure (the peer is gone) must not fall back to a pid that may be reused.
  if (errno != ENOPROTOOPT) return UniqueFd();
  const auto pid = unixSocketPeerPid(socketFd);
  return pid ? openPidfd(*pid) : UniqueFd();
}

}  // namespace

bool LinuxPeerIdentity::copyGuestCode() {
  UniqueFd pidfd = peerPidfd(socketFd_);
  if (!pidfd) return false;
  const auto pid = pidOfPidfd(pidfd.get());
  if (!pid) return false;
  auto path = processExecutablePath(*pid);
  struct stat info {};
  if (!path || ::stat(procExecutableLink(*pid).c_str(), &info) != 0) return false;
  // Still running after the reads: the pid was not recycled in between.
  if (!stillRunning(pidfd.get())) return false;
  executablePath_ = std::move(*path);
  executableStat_ = info;
  return true;
}

std::int32_t LinuxPeerIdentity::checkValidity(const ClientRequirement& requirement) {
  const auto* expected = dynamic_cast<const LinuxClientRequirement*>(&requirement);
  if (!expected || executablePath_ != expected->clientPath) return kRequirementFailedStatus;
  // The file now at the client path must be the very file the peer runs.
  struct stat atPath {};
  if (::stat(expected->clientPath.c_str(), &atPath) != 0 ||
      atPath.st_dev != executableStat_.st_dev || atPath.st_ino != executableStat_.st_ino) {
    return kRequirementFailedStatus;
  }
  if (executableStat_.st_uid != expected->ownerUid ||
      (executableStat_.st_mode & (S_IWGRP | S_IWOTH))) {
    return kRequirementFailedStatus;
  }
  return 0;
}

}  // namespace zorvik

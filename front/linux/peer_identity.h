#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "front/helper_delegate.h"

namespace zorvik {

/// One peer of a connected Unix socket, identified by the process that connected.
class LinuxPeerIdentity final : public PeerIdentity {
 public:
  /// `socketFd` stays owned by the caller and must outlive this object.
  explicit LinuxPeerIdentity(int socketFd) : socketFd_(socketFd) {}

  bool copyGuestCode() override;
  std::int32_t checkValidity(const ClientRequirement& requirement) override;

 private:
  int socketFd_;
  std::string executablePath_;
  struct stat executableStat_ {};
};

}  // namespace zorvik

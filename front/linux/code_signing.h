#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

#include "front/helper_delegate.h"

namespace zorvik {

/// The Linux stand-in's compiled requirement: the one client file, and who must own it.
class LinuxClientRequirement final : public ClientRequirement {
 public:
  LinuxClientRequirement(std::string clientPath, uid_t ownerUid)
      : clientPath(std::move(clientPath)), ownerUid(ownerUid) {}
  const std::string clientPath;
  const uid_t ownerUid;
};

/// Code signing as the Linux stand-in has it: the helper's "team" is the owner
/// uid of its own executable file, and the client is `zorvikctl` beside it.
class LinuxCodeSigning final : public CodeSigning {
 public:
  /// `executablePath` is the helper's own executable (production: processExecutablePath of its own
  /// pid).
  explicit LinuxCodeSigning(std::string executablePath);

  OwnTeamID readOwnTeamID() override;
  /// Accepts only the text `clientRequirementText` makes from a decimal uid.
  std::shared_ptr<ClientRequirement> compileRequirement(const std::string& text) override;

 private:
  std::string executablePath_;
};

}  // namespace zorvik

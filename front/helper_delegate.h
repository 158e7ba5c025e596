#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/system_log.h"

namespace zorvik {

/// A compiled client requirement, whatever the platform makes of its text.
class ClientRequirement {
 public:
  virtual ~ClientRequirement() = default;
};

/// The platform's code-signing services as admission needs them.
class CodeSigning {
 public:
  /// How far reading the helper's own signature got.
  struct OwnTeamID {
    enum class Status {
      found,     ///< `teamID` holds a non-empty Team ID
      noCode,    ///< own code object or static code unavailable (not logged)
      noTeamID,  ///< signing information or Team ID unavailable (logged)
    } status;
    std::string teamID;
  };

  virtual ~CodeSigning() = default;
  virtual OwnTeamID readOwnTeamID() = 0;
  /// Null when the text does not compile.
  virtual std::shared_ptr<ClientRequirement> compileRequirement(const std::string& text) = 0;
};

/// One connecting peer, as the platform identifies it.
class PeerIdentity {
 public:
  virtual ~PeerIdentity() = default;
  /// Finds the peer's code; false when it cannot be determined.
  virtual bool copyGuestCode() = 0;
  /// Checks the peer's code against the requirement: 0, or the platform's status.
  virtual std::int32_t checkValidity(const ClientRequirement& requirement) = 0;
};

/// The requirement text for a client signed by `teamID`.
std::string clientRequirementText(const std::string& teamID);

/// Decides admission for each incoming connection. The requirement is built
/// once, at construction, and never again.
class HelperDelegate {
 public:
  HelperDelegate(std::shared_ptr<CodeSigning> codeSigning, const SystemLog& daemonLog);

  /// True admits; false refuses and has logged why. The platform front exports
  /// the shared service on an admitted connection.
  bool shouldAcceptNewConnection(PeerIdentity& peer) const;

  const std::shared_ptr<ClientRequirement>& requirement() const { return requirement_; }

 private:
  std::shared_ptr<ClientRequirement> makeClientRequirement();
  bool isClientTrusted(PeerIdentity& peer) const;

  std::shared_ptr<CodeSigning> codeSigning_;
  const SystemLog& daemonLog_;
  std::shared_ptr<ClientRequirement> requirement_;
};

}  // namespace zorvik

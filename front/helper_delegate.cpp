#include "front/helper_delegate.h"

#include "base/names.h"
#include "front/log_messages.h"

namespace zorvik {

std::string clientRequirementText(const std::string& teamID) {
  std::string text =
      std::string("identifier \"") + kClientBundleIdentifier + "\" and anchor apple generic ";
  text += "and certificate leaf[subject.OU] = \"";
  text += teamID;
  text += '"';
  return text;
}

HelperDelegate::HelperDelegate(std::shared_ptr<CodeSigning> codeSigning, const SystemLog& daemonLog)
    : codeSigning_(std::move(codeSigning)), daemonLog_(daemonLog) {
  requirement_ = makeClientRequirement();
}

std::shared_ptr<ClientRequirement> HelperDelegate::makeClientRequirement() {
  const CodeSigning::OwnTeamID own = codeSigning_->readOwnTeamID();
  switch (own.status) {
    case CodeSigning::OwnTeamID::Status::noCode:
      return nullptr;
    case CodeSigning::OwnTeamID::Status::noTeamID:
      daemonLog_.error(kOwnTeamIDUnreadable);
      return nullptr;
    case CodeSigning::OwnTeamID::Status::found:
      break;
  }
  // An empty Team ID would let any team's client through; it counts as unreadable.
  if (own.teamID.empty()) {
    daemonLog_.error(kOwnTeamIDUnreadable);
    return nullptr;
  }
  return codeSigning_->compileRequirement(clientRequirementText(own.teamID));
}

bool HelperDelegate::shouldAcceptNewConnection(PeerIdentity& peer) const {
  if (requirement_ && isClientTrusted(peer)) return true;
  daemonLog_.error(kUntrustedRejected);
  return false;
}

bool HelperDelegate::isClientTrusted(PeerIdentity& peer) const {
  if (!peer.copyGuestCode()) {
    daemonLog_.error(kNoClientSecCode);
    return false;
  }
  const std::int32_t status = peer.checkValidity(*requirement_);
  if (status != 0) {
    daemonLog_.error(kSignatureCheckFailed + std::to_string(status));
    return false;
  }
  return true;
}

}  // namespace zorvik

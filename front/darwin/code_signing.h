#pragma once

#include <Security/Security.h>

#include <memory>
#include <string>

#include "front/darwin/cf_ref.h"
#include "front/helper_delegate.h"

namespace zorvik {

/// A client requirement compiled by the Security framework.
class SecClientRequirement final : public ClientRequirement {
 public:
  explicit SecClientRequirement(CFRef<SecRequirementRef> requirement)
      : requirement_(std::move(requirement)) {}
  SecRequirementRef get() const { return requirement_.get(); }

 private:
  CFRef<SecRequirementRef> requirement_;
};

/// The helper's own signature and requirement compilation through the Security framework.
class SecCodeSigning final : public CodeSigning {
 public:
  OwnTeamID readOwnTeamID() override;
  std::shared_ptr<ClientRequirement> compileRequirement(const std::string& text) override;
};

}  // namespace zorvik

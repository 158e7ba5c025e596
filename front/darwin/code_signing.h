#pragma once

#include <Security/Security.h>

#include <memory>
#include <string>

#include "front/darwin/cf_ref.h"
#include "front/helper_delegate.h"

namespace zorvik {

/// A client requirement compiled by the Security framework, with the text it was compiled from.
class DarwinClientRequirement final : public ClientRequirement {
 public:
  DarwinClientRequirement(CFRef<SecRequirementRef> requirement, std::string text)
      : requirement_(std::move(requirement)), text_(std::move(text)) {}
  SecRequirementRef get() const { return requirement_.get(); }
  const std::string& text() const { return text_; }

 private:
  CFRef<SecRequirementRef> requirement_;
  std::string text_;
};

/// The helper's own signature and requirement compilation through the Security framework.
class DarwinCodeSigning final : public CodeSigning {
 public:
  OwnTeamID readOwnTeamID() override;
  std::shared_ptr<ClientRequirement> compileRequirement(const std::string& text) override;
};

}  // namespace zorvik

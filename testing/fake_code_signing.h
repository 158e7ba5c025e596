#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "front/helper_delegate.h"

namespace zorvik::test_support {

struct FakeRequirement : ClientRequirement {};

/// Code signing whose own team ID and compile result the test decides; it
/// keeps every requirement text it was asked to compile.
class FakeCodeSigning : public CodeSigning {
 public:
  explicit FakeCodeSigning(OwnTeamID own = {OwnTeamID::Status::found, "TEAM"}, bool compiles = true)
      : own_(std::move(own)), compiles_(compiles) {}
  OwnTeamID readOwnTeamID() override { return own_; }
  std::shared_ptr<ClientRequirement> compileRequirement(const std::string& text) override {
    std::lock_guard lock(mutex_);
    compiledTexts_.push_back(text);
    return compiles_ ? std::make_shared<FakeRequirement>() : nullptr;
  }
  std::vector<std::string> compiledTexts() const {
    std::lock_guard lock(mutex_);
    return compiledTexts_;
  }

 private:
  OwnTeamID own_;
  bool compiles_;
  mutable std::mutex mutex_;
  std::vector<std::string> compiledTexts_;
};

/// A peer whose identity the test decides; it keeps the requirement it was checked against.
class FakePeer : public PeerIdentity {
 public:
  FakePeer(bool found, std::int32_t status) : found_(found), status_(status) {}
  bool copyGuestCode() override { return found_; }
  std::int32_t checkValidity(const ClientRequirement& requirement) override {
    checkedAgainst = &requirement;
    return status_;
  }
  const ClientRequirement* checkedAgainst = nullptr;

 private:
  bool found_;
  std::int32_t status_;
};

}  // namespace zorvik::test_support

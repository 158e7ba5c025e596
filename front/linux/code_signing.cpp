#include "front/linux/code_signing.h"

#include <sys/stat.h>

#include <filesystem>
#include <limits>

#include "base/text.h"
#include "front/log_messages.h"

namespace zorvik {
namespace {

// Digits only: no sign, as the kernel and the requirement text write them.
std::optional<uid_t> parseUid(std::string_view digits) {
  if (digits.empty() || digits.front() < '0' || digits.front() > '9') return std::nullopt;
  const auto value = parseUInt64(digits);
  if (!value || *value > std::numeric_limits<uid_t>::max()) return std::nullopt;
  return static_cast<uid_t>(*value);
}

}  // namespace

LinuxCodeSigning::LinuxCodeSigning(std::string executablePath)
    : executablePath_(std::move(executablePath)) {}

CodeSigning::OwnTeamID LinuxCodeSigning::readOwnTeamID() {
  struct stat info {};
  if (executablePath_.empty() || ::stat(executablePath_.c_str(), &info) != 0) {
    return {OwnTeamID::Status::noTeamID, {}};
  }
  return {OwnTeamID::Status::found, std::to_string(info.st_uid)};
}

std::shared_ptr<ClientRequirement> LinuxCodeSigning::compileRequirement(const std::string& text) {
  const std::string prefix = clientRequirementText("");
  // The prefix ends with the opening quote of the Team ID; drop the closing one.
  const std::string_view opening(prefix.data(), prefix.size() - 1);
  if (text.size() < prefix.size() || text.compare(0, opening.size(), opening) != 0 ||
      text.back() != '"') {
    return nullptr;
  }
  const auto uid =
      parseUid(std::string_view(text).substr(opening.size(), text.size() - opening.size() - 1));
  if (!uid) return nullptr;
  const auto directory = std::filesystem::path(executablePath_).parent_path();
  return std::make_shared<LinuxClientRequirement>((directory / "zorvikctl").string(), *uid);
}

}  // namespace zorvik

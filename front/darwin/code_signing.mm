#include "front/darwin/code_signing.h"

#import <Foundation/Foundation.h>

#include "front/darwin/foundation_strings.h"

namespace zorvik {

CodeSigning::OwnTeamID DarwinCodeSigning::readOwnTeamID() {
  using Status = OwnTeamID::Status;

  CFRef<SecCodeRef> ownCode;
  if (SecCodeCopySelf(kSecCSDefaultFlags, ownCode.out()) != errSecSuccess || !ownCode) {
    return {Status::noCode, {}};
  }
  CFRef<SecStaticCodeRef> staticCode;
  if (SecCodeCopyStaticCode(ownCode.get(), kSecCSDefaultFlags, staticCode.out()) != errSecSuccess ||
      !staticCode) {
    return {Status::noCode, {}};
  }

  CFRef<CFDictionaryRef> information;
  if (SecCodeCopySigningInformation(staticCode.get(), kSecCSSigningInformation,
                                    information.out()) != errSecSuccess ||
      !information || CFGetTypeID(information.get()) != CFDictionaryGetTypeID()) {
    return {Status::noTeamID, {}};
  }
  // Borrowed from the dictionary: not released here.
  CFTypeRef teamID = CFDictionaryGetValue(information.get(), kSecCodeInfoTeamIdentifier);
  if (teamID == nullptr || CFGetTypeID(teamID) != CFStringGetTypeID()) {
    return {Status::noTeamID, {}};
  }
  std::string text = stdString((__bridge NSString*)teamID);
  if (text.empty()) return {Status::noTeamID, {}};
  return {Status::found, std::move(text)};
}

std::shared_ptr<ClientRequirement> DarwinCodeSigning::compileRequirement(const std::string& text) {
  NSString* requirementText = nsString(text);
  CFRef<SecRequirementRef> requirement;
  if (SecRequirementCreateWithString((__bridge CFStringRef)requirementText, kSecCSDefaultFlags,
                                     requirement.out()) != errSecSuccess ||
      !requirement) {
    return nullptr;
  }
  return std::make_shared<DarwinClientRequirement>(std::move(requirement), text);
}

}  // namespace zorvik

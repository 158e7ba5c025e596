#include "front/linux/code_signing.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/unique_fd.h"
#include "front/linux/peer_identity.h"
#include "front/log_messages.h"
#include "platform/child_process.h"
#include "testing/temp_dir.h"

namespace zorvik {
namespace {

namespace fs = std::filesystem;

using test_support::TempDir;

TEST(LinuxCodeSigning, TheTeamIsTheOwnerOfTheOwnExecutable) {
  TempDir dir;
  const fs::path helper = dir.path() / "zorvik-helper";
  std::ofstream(helper).put('x');
  ASSERT_EQ(::chown(helper.c_str(), 4321, 0), 0);

  LinuxCodeSigning signing(helper.string());
  const auto own = signing.readOwnTeamID();
  EXPECT_EQ(own.status, CodeSigning::OwnTeamID::Status::found);
  EXPECT_EQ(own.teamID, "4321");

  LinuxCodeSigning missing((dir.path() / "gone").string());
  EXPECT_EQ(missing.readOwnTeamID().status, CodeSigning::OwnTeamID::Status::noTeamID);
  LinuxCodeSigning empty("");
  EXPECT_EQ(empty.readOwnTeamID().status, CodeSigning::OwnTeamID::Status::noTeamID);
}

TEST(LinuxCodeSigning, CompilesTheClientBesideTheHelperAndTheOwner) {
  LinuxCodeSigning signing("/opt/zorvik/bin/zorvik-helper");
  auto compiled = signing.compileRequirement(clientRequirementText("4321"));
  auto* requirement = dynamic_cast<LinuxClientRequirement*>(compiled.get());
  ASSERT_NE(requirement, nullptr);
  EXPECT_EQ(requirement->clientPath, "/opt/zorvik/bin/zorvikctl");
  EXPECT_EQ(requirement->ownerUid, 4321u);
}

TEST(LinuxCodeSigning, RefusesToCompileAnyOtherText) {
  LinuxCodeSigning signing("/opt/zorvik/bin/zorvik-helper");
  const std::string valid = clientRequirementText("0");
  for (const std::string& text :
       {std::string(), clientRequirementText(""), clientRequirementText("TEAMID"),
        clientRequirementText("-1"), clientRequirementText("1 "),
        clientRequirementText("99999999999999999999"), valid.substr(0, valid.size() - 1),
        std::string("identifier \"other\" and anchor apple generic and certificate "
                    "leaf[subject.OU] = \"0\"")}) {
    EXPECT_EQ(signing.compileRequirement(text), nullptr) << text;
  }
}

// The peer of one end of a socket pair is this very process.
TEST(LinuxPeerIdentity, FindsThePeersExecutableAndChecksItAgainstTheRequirement) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  UniqueFd mine(ends[0]), theirs(ends[1]);
  const std::string self = processExecutablePath(::getpid()).value_or("");
  struct stat info {};
  ASSERT_EQ(::stat(self.c_str(), &info), 0);
  ASSERT_EQ(info.st_mode & (S_IWGRP | S_IWOTH), 0u) << "the test binary must not be group-writable";

  LinuxPeerIdentity peer(mine.get());
  ASSERT_TRUE(peer.copyGuestCode());

  EXPECT_EQ(peer.checkValidity(LinuxClientRequirement(self, info.st_uid)), 0);
  EXPECT_EQ(peer.checkValidity(LinuxClientRequirement(self, info.st_uid + 1)),
            kRequirementFailedStatus);
  EXPECT_EQ(peer.checkValidity(LinuxClientRequirement(self + "x", info.st_uid)),
            kRequirementFailedStatus);
  struct OtherRequirement : ClientRequirement {};
  EXPECT_EQ(peer.checkValidity(OtherRequirement()), kRequirementFailedStatus);
}

TEST(LinuxPeerIdentity, ASocketWithoutPeerHasNoCode) {
  UniqueFd lonely(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  LinuxPeerIdentity peer(lonely.get());
  EXPECT_FALSE(peer.copyGuestCode());
  EXPECT_EQ(peer.checkValidity(LinuxClientRequirement("", 0)), kRequirementFailedStatus);
}

}  // namespace
}  // namespace zorvik

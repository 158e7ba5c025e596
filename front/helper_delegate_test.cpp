#include "front/helper_delegate.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/names.h"
#include "front/log_messages.h"
#include "front/shared_service.h"
#include "testing/fake_code_signing.h"
#include "testing/helper_service_access.h"
#include "testing/memory_log_sink.h"

namespace zorvik {
namespace {

using test_support::FakeCodeSigning;
using test_support::FakePeer;
using Status = CodeSigning::OwnTeamID::Status;
const std::string kSignatureFailed = std::string(kSignatureCheckFailed) + "-67050";

TEST(ClientRequirementText, JoinsTheFixedPiecesWithTheTeamIDUnescaped) {
  EXPECT_EQ(clientRequirementText("AB12CD34EF"),
            "identifier \"com.zorvik.vpn\" and anchor apple generic and certificate "
            "leaf[subject.OU] = \"AB12CD34EF\"");
  EXPECT_EQ(clientRequirementText("a\"b"),
            "identifier \"com.zorvik.vpn\" and anchor apple generic and certificate "
            "leaf[subject.OU] = \"a\"b\"");
}

struct AdmissionCase {
  const char* name;
  CodeSigning::OwnTeamID own;
  bool compiles;
  bool peerFound;
  std::int32_t peerStatus;
  std::vector<std::string> startupRecords;
  std::vector<std::string> connectionRecords;
  bool admitted;
};

void PrintTo(const AdmissionCase& c, std::ostream* out) { *out << c.name; }

class Admission : public testing::TestWithParam<AdmissionCase> {};

TEST_P(Admission, LogsTheFixedRecordsInOrderAndDecides) {
  const AdmissionCase& c = GetParam();
  auto sink = std::make_shared<test_support::MemoryLogSink>();
  SystemLog daemonLog(sink, kHelperMachServiceName, "daemon");
  auto signing = std::make_shared<FakeCodeSigning>(c.own, c.compiles);

  HelperDelegate delegate(signing, daemonLog);
  EXPECT_EQ(sink->messages(), c.startupRecords) << "at start-up";
  sink->clear();

  FakePeer peer(c.peerFound, c.peerStatus);
  EXPECT_EQ(delegate.shouldAcceptNewConnection(peer), c.admitted);
  EXPECT_EQ(sink->messages(), c.connectionRecords) << "for the connection";
  for (const auto& record : sink->records()) {
    EXPECT_EQ(record.level, LogLevel::error) << record.message;
    EXPECT_EQ(record.category, "daemon");
    EXPECT_EQ(record.subsystem, kHelperMachServiceName);
  }
  if (peer.checkedAgainst) {
    EXPECT_EQ(peer.checkedAgainst, delegate.requirement().get());
  }
}

INSTANTIATE_TEST_SUITE_P(
    HelperDelegate, Admission,
    testing::Values(
        AdmissionCase{"Admitted", {Status::found, "TEAM"}, true, true, 0, {}, {}, true},
        AdmissionCase{
            "NoOwnCode", {Status::noCode, ""}, true, true, 0, {}, {kUntrustedRejected}, false},
        AdmissionCase{"NoOwnTeamID",
                      {Status::noTeamID, ""},
                      true,
                      true,
                      0,
                      {kOwnTeamIDUnreadable},
                      {kUntrustedRejected},
                      false},
        AdmissionCase{"EmptyOwnTeamID",
                      {Status::found, ""},
                      true,
                      true,
                      0,
                      {kOwnTeamIDUnreadable},
                      {kUntrustedRejected},
                      false},
        AdmissionCase{"RequirementDoesNotCompile",
                      {Status::found, "TEAM"},
                      false,
                      true,
                      0,
                      {},
                      {kUntrustedRejected},
                      false},
        AdmissionCase{"PeerCodeNotFound",
                      {Status::found, "TEAM"},
                      true,
                      false,
                      0,
                      {},
                      {kNoClientSecCode, kUntrustedRejected},
                      false},
        AdmissionCase{"PeerFailsRequirement",
                      {Status::found, "TEAM"},
                      true,
                      true,
                      kRequirementFailedStatus,
                      {},
                      {kSignatureFailed, kUntrustedRejected},
                      false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HelperDelegate, CompilesTheRequirementOnceFromTheOwnTeamID) {
  SystemLog daemonLog(nullptr, kHelperMachServiceName, "daemon");
  auto signing =
      std::make_shared<FakeCodeSigning>(CodeSigning::OwnTeamID{Status::found, "XYZ987"}, true);
  HelperDelegate delegate(signing, daemonLog);
  FakePeer peer(true, 0);
  delegate.shouldAcceptNewConnection(peer);
  delegate.shouldAcceptNewConnection(peer);
  EXPECT_EQ(signing->compiledTexts(), std::vector<std::string>{clientRequirementText("XYZ987")});
}

TEST(SharedService, RacingFirstCallersGetTheSameObject) {
  HelperSettings settings;
  settings.runDir = "/nonexistent/zorvik-shared-service-test";
  settings.journalPath = "/nonexistent/zorvik-shared-service-test/journal";
  configureSharedService(settings);
  std::shared_ptr<HelperService> first, second;
  std::thread a([&] { first = sharedService(); });
  std::thread b([&] { second = sharedService(); });
  a.join();
  b.join();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(sharedService(), first);
  EXPECT_EQ(test_support::HelperServiceAccess(*first).runDir(), settings.runDir)
      << "built with the configured settings";
}

}  // namespace
}  // namespace zorvik

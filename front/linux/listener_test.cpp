#include "front/linux/listener.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <fstream>
#include <set>

#include "front/linux/code_signing.h"
#include "front/linux/peer_identity.h"
#include "testing/listener_harness.h"
#include "testing/unix_socket.h"

namespace zorvik {
namespace {

using namespace test_support;

const std::string kSignatureFailed = std::string(kSignatureCheckFailed) + "-67050";

TEST(SocketListener, VersionOvertakesAPendingStartAndQueuedRepliesKeepTheirOrder) {
  auto service = std::make_shared<BlockingProtocol>();
  ListenerHarness harness(service);
  TestClient client(harness.socketPath());

  client.send(R"({"id":"s","method":"startTunnel","config":"[Interface]"})");
  ASSERT_TRUE(eventually([&] { return service->startsWaiting() == 1; }));
  client.send(R"({"id":5,"method":"status"})");
  client.send(R"({"id":6,"method":"getVersion"})");

  EXPECT_EQ(client.reply(), Json::parse(R"({"id":6,"version":"1"})"));
  service->releaseStart();
  EXPECT_EQ(client.reply(), Json::parse(R"({"id":"s","ok":true,"error":null})"));
  EXPECT_EQ(client.reply(),
            Json::parse(R"({"id":5,"active":true,"rx":1536,"tx":7,"handshakeAge":42})"));
  EXPECT_EQ(service->configs(), std::vector<std::string>{"[Interface]"});
}

TEST(SocketListener, AFailedStartCarriesTheErrorText) {
  auto service = std::make_shared<BlockingProtocol>();
  service->startOk = false;
  service->releaseStart();
  ListenerHarness harness(service);
  TestClient client(harness.socketPath());
  client.send(R"({"id":1,"method":"startTunnel"})");
  EXPECT_EQ(client.reply(), Json::parse(R"({"id":1,"ok":false,"error":"нет секции [Interface]"})"));
  client.send(R"({"id":2,"method":"stopTunnel"})");
  EXPECT_EQ(client.reply(), Json::parse(R"({"id":2,"ok":true,"error":null})"));
  EXPECT_EQ(service->configs(), std::vector<std::string>{""})
      << "a missing config is the empty text";
}

TEST(SocketListener, ManyPipelinedRequestsEachGetOneWholeReply) {
  auto service = std::make_shared<BlockingProtocol>();
  ListenerHarness harness(service);
  TestClient client(harness.socketPath());
  constexpr int kCount = 300;
  std::string batch;
  for (int i = 0; i < kCount; ++i) {
    batch += "{\"id\":" + std::to_string(i) + ",\"method\":\"" + (i % 2 ? "status" : "getVersion") +
             "\"}\n";
  }
  ctl::sendAll(client.fd(), batch);
  std::vector<bool> seen(kCount, false);
  for (int i = 0; i < kCount; ++i) {
    const Json reply = client.reply();
    ASSERT_TRUE(reply.is_object());
    const int id = reply.at("id").get<int>();
    ASSERT_FALSE(seen.at(id)) << "two replies for " << id;
    seen[id] = true;
    EXPECT_EQ(reply.contains("version"), id % 2 == 0) << reply.dump();
  }
}

TEST(SocketListener, BadRequestsAreAnsweredAndTheConnectionGoesOn) {
  auto service = std::make_shared<BlockingProtocol>();
  ListenerHarness harness(service);
  TestClient client(harness.socketPath());
  const std::pair<const char*, const char*> cases[] = {
      {"{\"id\":1,", R"({"id":null,"error":"bad request: not valid JSON"})"},
      {R"({"id":2,"method":"format"})",
       R"({"id":2,"error":"bad request: unknown method \"format\""})"},
      {R"({"id":3,"method":"startTunnel","config":["a"]})",
       R"({"id":3,"error":"bad request: config must be a string"})"},
  };
  for (const auto& [request, expected] : cases) {
    client.send(request);
    EXPECT_EQ(client.reply(), Json::parse(expected)) << request;
  }
  client.send(R"({"id":4,"method":"getVersion"})");
  EXPECT_EQ(client.reply(), Json::parse(R"({"id":4,"version":"1"})"));
  EXPECT_TRUE(service->configs().empty()) << "no bad request reached the service";
}

TEST(SocketListener, ALineOverTheLimitClosesOnlyItsConnection) {
  auto service = std::make_shared<BlockingProtocol>();
  ListenerHarness harness(service);
  TestClient other(harness.socketPath());
  TestClient flooder(harness.socketPath());
  const std::string twoMiB(2u << 20, ' ');
  try {
    ctl::sendAll(flooder.fd(), twoMiB);
  } catch (const std::runtime_error&) {
    // The helper may close while the rest is still being written.
  }
  EXPECT_TRUE(flooder.closedByHelper());
  other.send(R"({"id":1,"method":"getVersion"})");
  EXPECT_EQ(other.reply(), Json::parse(R"({"id":1,"version":"1"})"));
}

TEST(SocketListener, TheLineLimitIsInclusive) {
  ListenerOptions options;
  options.maxLineBytes = 64;
  ListenerHarness harness(std::make_shared<BlockingProtocol>(), fakePeers(true, 0),
                          std::make_shared<FakeCodeSigning>(), options);
  std::string request = R"({"id":1,"method":"getVersion"})";
  request.resize(options.maxLineBytes, ' ');
  TestClient client(harness.socketPath());
  client.send(request);
  EXPECT_EQ(client.reply(), Json::parse(R"({"id":1,"version":"1"})"));
  client.sendIfOpen(request + " ");
  EXPECT_TRUE(client.closedByHelper());
}

struct BoundCase {
  const char* name;
  std::size_t total;
  std::size_t perUser;
};

void PrintTo(const BoundCase& c, std::ostream* out) { *out << c.name; }

class SocketListenerBound : public testing::TestWithParam<BoundCase> {};

// Every client of these tests is one user: the per-user share bounds it as the total does.
TEST_P(SocketListenerBound, ConnectionsOverTheBoundAreClosedAtOnce) {
  ListenerOptions options;
  options.maxConnections = GetParam().total;
  options.maxConnectionsPerUser = GetParam().perUser;
  ListenerHarness harness(std::make_shared<BlockingProtocol>(), fakePeers(true, 0),
                          std::make_shared<FakeCodeSigning>(), options);
  auto first = std::make_unique<TestClient>(harness.socketPath());
  TestClient second(harness.socketPath());
  for (TestClient* client : {first.get(), &second}) {
    client->send(R"({"id":1,"method":"getVersion"})");
    ASSERT_EQ(client->reply(), Json::parse(R"({"id":1,"version":"1"})"));
  }
  TestClient third(harness.socketPath());
  EXPECT_TRUE(third.closedByHelper());

  first.reset();
  ASSERT_TRUE(harness.closedConnections(1));
  TestClient fourth(harness.socketPath());
  fourth.send(R"({"id":4,"method":"getVersion"})");
  EXPECT_EQ(fourth.reply(), Json::parse(R"({"id":4,"version":"1"})"));
}

INSTANTIATE_TEST_SUITE_P(Bounds, SocketListenerBound,
                         testing::Values(BoundCase{"Total", 2, 8}, BoundCase{"PerUser", 64, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SocketListener, AConnectionWithoutACompleteRequestByTheDeadlineIsClosed) {
  ListenerOptions options;
  options.firstRequestDeadline = 200ms;
  ListenerHarness harness(std::make_shared<BlockingProtocol>(), fakePeers(true, 0),
                          std::make_shared<FakeCodeSigning>(), options);
  TestClient asked(harness.socketPath());
  asked.send(R"({"id":1,"method":"getVersion"})");
  ASSERT_EQ(asked.reply().at("id"), 1);
  TestClient silent(harness.socketPath());
  ctl::sendAll(silent.fd(), R"({"id":2,"method":)");
  EXPECT_TRUE(silent.closedByHelper());
  asked.send(R"({"id":3,"method":"getVersion"})");
  EXPECT_EQ(asked.reply().at("id"), 3) << "a connection that asked in time is kept";
}

struct BackPressureCase {
  const char* name;
  std::size_t maxPendingRequests;
  std::size_t maxPendingBytes;
};

void PrintTo(const BackPressureCase& c, std::ostream* out) { *out << c.name; }

class SocketListenerBackPressure : public testing::TestWithParam<BackPressureCase> {};

// The version request comes after a start that may not be pending yet: it is read, and
// answered, only once the first start's reply has made room. Another connection's first
// request gets through meanwhile.
TEST_P(SocketListenerBackPressure, ReadingWaitsForRoom) {
  ListenerOptions options;
  options.maxPendingRequests = GetParam().maxPendingRequests;
  options.maxPendingBytes = GetParam().maxPendingBytes;
  auto service = std::make_shared<BlockingProtocol>();
  ListenerHarness harness(service, fakePeers(true, 0), std::make_shared<FakeCodeSigning>(),
                          options);
  TestClient client(harness.socketPath());
  client.send(R"({"id":"a","method":"startTunnel","config":""})");
  ASSERT_TRUE(eventually([&] { return service->startsWaiting() == 1; }));
  client.send(R"({"id":"b","method":"startTunnel","config":")" + std::string(100, 'x') + R"("})");
  client.send(R"({"id":"v","method":"getVersion"})");

  TestClient other(harness.socketPath());
  other.send(R"({"id":"o","method":"getVersion"})");
  EXPECT_EQ(other.reply().at("id"), "o");

  service->releaseStart();
  EXPECT_EQ(client.reply().at("id"), "a");
  std::set<std::string> rest;
  for (int i = 0; i < 2; ++i) rest.insert(client.reply().at("id").get<std::string>());
  EXPECT_EQ(rest, (std::set<std::string>{"b", "v"}));
}

INSTANTIATE_TEST_SUITE_P(Limits, SocketListenerBackPressure,
                         testing::Values(BackPressureCase{"PendingRequests", 2, 8u << 20},
                                         BackPressureCase{"PendingBytes", 4, 64}),
                         [](const auto& info) { return std::string(info.param.name); });

std::string statusRequests(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i)
    lines += "{\"id\":" + std::to_string(i) + ",\"method\":\"status\"}\n";
  return lines;
}

TEST(SocketListener, RepliesToAClientThatDoesNotReadHoldUpNoOne) {
  ListenerOptions options;
  options.maxQueuedReplyBytes = 64u << 20;
  options.sendTimeout = std::chrono::hours(1);
  auto service = std::make_shared<BlockingProtocol>();
  ListenerHarness harness(service, fakePeers(true, 0), std::make_shared<FakeCodeSigning>(),
                          options);
  constexpr int kCount = 20000;  // far more reply bytes than the socket holds
  TestClient flooder(harness.socketPath());
  ctl::sendAll(flooder.fd(), statusRequests(kCount));
  EXPECT_TRUE(eventually([&] { return service->statusesAnswered() == kCount; }))
      << service->statusesAnswered() << " answered";
  TestClient other(harness.socketPath());
  other.send(R"({"id":"o","method":"status"})");
  EXPECT_EQ(other.reply().at("id"), "o");
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(flooder.reply().at("id"), i);
}

TEST(SocketListener, AClientWhoseQueuedRepliesPassTheCapIsDropped) {
  ListenerOptions options;
  options.maxQueuedReplyBytes = 4096;
  options.sendTimeout = std::chrono::hours(1);  // only the cap can drop it
  ListenerHarness harness(std::make_shared<BlockingProtocol>(), fakePeers(true, 0),
                          std::make_shared<FakeCodeSigning>(), options);
  TestClient flooder(harness.socketPath());
  try {
    ctl::sendAll(flooder.fd(), statusRequests(20000));
  } catch (const std::runtime_error&) {
    // Dropped while the rest was still being written.
  }
  EXPECT_TRUE(harness.closedConnections(1));
  TestClient other(harness.socketPath());
  other.send(R"({"id":"o","method":"status"})");
  EXPECT_EQ(other.reply().at("id"), "o");
}

TEST(SocketListener, AReplyToAClientThatHasGoneIsDropped) {
  auto service = std::make_shared<BlockingProtocol>();
  ListenerHarness harness(service);
  {
    TestClient client(harness.socketPath());
    client.send(R"({"id":1,"method":"startTunnel","config":""})");
    ASSERT_TRUE(eventually([&] { return service->startsWaiting() == 1; }));
  }
  service->releaseStart();
  ASSERT_TRUE(harness.closedConnections(1));
  TestClient next(harness.socketPath());
  next.send(R"({"id":2,"method":"status"})");
  EXPECT_EQ(next.reply().at("id"), 2);
}

TEST(SocketListener, AClientThatOnlyHalfClosesStillGetsItsReply) {
  auto service = std::make_shared<BlockingProtocol>();
  ListenerHarness harness(service);
  TestClient client(harness.socketPath());
  client.send(R"({"id":1,"method":"startTunnel","config":""})");
  ASSERT_EQ(::shutdown(client.fd(), SHUT_WR), 0);
  ASSERT_TRUE(eventually([&] { return service->startsWaiting() == 1; }));
  service->releaseStart();
  EXPECT_EQ(client.reply(), Json::parse(R"({"id":1,"ok":true,"error":null})"));
  EXPECT_TRUE(client.closedByHelper());
  EXPECT_TRUE(harness.closedConnections(1));
}

struct RefusalCase {
  const char* name;
  bool peerFound;
  std::int32_t status;
  std::vector<std::string> records;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class SocketListenerRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(SocketListenerRefusal, ClosesWithoutReadingAndLogsWhy) {
  const RefusalCase& c = GetParam();
  auto service = std::make_shared<BlockingProtocol>();
  ListenerHarness harness(service, fakePeers(c.peerFound, c.status));
  TestClient client(harness.socketPath());
  client.sendIfOpen(R"({"id":1,"method":"startTunnel","config":""})");
  EXPECT_TRUE(client.closedByHelper());
  EXPECT_TRUE(eventually([&] { return harness.sink->messages().size() >= c.records.size(); }));
  EXPECT_EQ(harness.sink->messages(), c.records);
  EXPECT_TRUE(service->configs().empty()) << "a refused peer reached the service";
}

INSTANTIATE_TEST_SUITE_P(
    InjectedPeers, SocketListenerRefusal,
    testing::Values(RefusalCase{"NoPeerCode", false, 0, {kNoClientSecCode, kUntrustedRejected}},
                    RefusalCase{"RequirementFailed",
                                true,
                                kRequirementFailedStatus,
                                {kSignatureFailed, kUntrustedRejected}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SocketListener, RefusalsPastTheFirstOfAWindowAreCounted) {
  auto harness = std::make_unique<ListenerHarness>(
      std::make_shared<BlockingProtocol>(), fakePeers(false, 0),
      std::make_shared<FakeCodeSigning>(), ListenerOptions{}, std::chrono::hours(1));
  for (int i = 0; i < 5; ++i) {
    TestClient client(harness->socketPath());
    EXPECT_TRUE(client.closedByHelper());
  }
  const auto sink = harness->sink;
  EXPECT_TRUE(eventually([&] { return sink->messages().size() >= 2; }));
  harness.reset();
  EXPECT_EQ(sink->messages(), (std::vector<std::string>{kNoClientSecCode, kUntrustedRejected,
                                                        std::string(kRefusalsCounted) + "4"}));
}

TEST(SocketListener, AHelperThatCannotReadItsOwnOwnerRefusesEveryone) {
  TempDir nowhere;
  auto signing = std::make_shared<LinuxCodeSigning>((nowhere.path() / "missing").string());
  ListenerHarness harness(std::make_shared<BlockingProtocol>(), fakePeers(true, 0), signing);
  EXPECT_EQ(harness.sink->messages(), std::vector<std::string>{kOwnTeamIDUnreadable});
  for (int i = 0; i < 2; ++i) {
    TestClient client(harness.socketPath());
    EXPECT_TRUE(client.closedByHelper());
  }
  EXPECT_TRUE(eventually([&] { return harness.sink->messages().size() >= 3; }));
  EXPECT_EQ(
      harness.sink->messages(),
      (std::vector<std::string>{kOwnTeamIDUnreadable, kUntrustedRejected, kUntrustedRejected}));
}

class SocketListenerStartUp : public testing::Test {
 protected:
  std::unique_ptr<LinuxListener> listenOn(const std::string& path) {
    ListenerOptions options;
    options.socketPath = path;
    return std::make_unique<LinuxListener>(
        options, delegate, daemonLog, [] { return std::make_shared<BlockingProtocol>(); },
        fakePeers(true, 0));
  }

  TempDir dir;
  std::string path = (dir.path() / "helper.sock").string();
  SystemLog daemonLog{nullptr, kHelperMachServiceName, "daemon"};
  HelperDelegate delegate{std::make_shared<FakeCodeSigning>(), daemonLog};
};

TEST_F(SocketListenerStartUp, BindsWithModeForEveryoneAndRemovesItsSocketAtTheEnd) {
  auto listener = listenOn(path);
  struct stat info {};
  ASSERT_EQ(::lstat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0666u);
  listener.reset();
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(SocketListenerStartUp, ReplacesAStaleSocket) {
  { const UniqueFd stale = bindUnixSocket(path, false); }
  auto listener = listenOn(path);
  listener->resume();
  TestClient client(path);
  client.send(R"({"id":1,"method":"getVersion"})");
  EXPECT_EQ(client.reply().at("version"), "1");
}

TEST_F(SocketListenerStartUp, RefusesToStartBesideALiveHelper) {
  auto live = listenOn(path);
  live->resume();
  try {
    listenOn(path);
    FAIL() << "a second listener started";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()),
              "cannot listen on " + path + ": another helper is already answering on it");
  }
  TestClient client(path);
  client.send(R"({"id":1,"method":"getVersion"})");
  EXPECT_EQ(client.reply().at("version"), "1") << "the first helper still serves";
}

TEST_F(SocketListenerStartUp, LeavesAFileThatIsNotASocketAlone) {
  std::ofstream(path) << "precious";
  EXPECT_THROW(listenOn(path), std::runtime_error);
  std::ifstream kept(path);
  std::string content;
  kept >> content;
  EXPECT_EQ(content, "precious");
}

}  // namespace
}  // namespace zorvik

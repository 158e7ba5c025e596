// The listener over the real tunnel service, with the fake daemon and fake tools.
#include <gtest/gtest.h>

#include "testing/listener_harness.h"
#include "testing/tunnel_fixture.h"

namespace zorvik {
namespace {

using test_support::ListenerHarness;
using test_support::TestClient;

class ListenerWithService : public test_support::TunnelTest {
 protected:
  ListenerHarness& listen() {
    harness = std::make_unique<ListenerHarness>(svc().shared_from_this());
    return *harness;
  }
  static std::string startLine(const std::string& id, const std::string& config) {
    return jsonLine({{"id", id}, {"method", "startTunnel"}, {"config", config}});
  }

  std::unique_ptr<ListenerHarness> harness;
};

TEST_F(ListenerWithService, AStatusQueuedBehindAStartReportsWhatTheStartLeft) {
  TestClient client(listen().socketPath());
  ctl::sendAll(client.fd(), startLine("up", test_support::tunnelConfig()) + "\n" +
                                R"({"id":"after-up","method":"status"})" + "\n" +
                                startLine("bad", "[Interface]\n") + "\n" +
                                R"({"id":"after-bad","method":"status"})" + "\n");

  EXPECT_EQ(client.reply(), Json::parse(R"({"id":"up","ok":true,"error":null})"));
  const Json afterUp = client.reply();
  EXPECT_EQ(afterUp.at("id"), "after-up");
  EXPECT_EQ(afterUp.at("active"), true) << afterUp.dump();
  const Json failed = client.reply();
  EXPECT_EQ(failed.at("id"), "bad");
  EXPECT_EQ(failed.at("ok"), false);
  EXPECT_TRUE(failed.at("error").is_string() && !failed.at("error").get<std::string>().empty());
  EXPECT_EQ(client.reply(),
            Json::parse(R"({"id":"after-bad","active":false,"rx":0,"tx":0,"handshakeAge":null})"));
}

TEST_F(ListenerWithService, TwoConnectionsSeeOneTunnel) {
  auto& harness = listen();
  TestClient first(harness.socketPath());
  first.send(startLine("1", test_support::tunnelConfig()));
  ASSERT_EQ(first.reply().at("ok"), true);

  // Connected once the start is done: a connection silent past the first-request deadline
  // is closed, and a start under a sanitizer can take longer than that.
  TestClient second(harness.socketPath());
  second.send(R"({"id":2,"method":"status"})");
  EXPECT_EQ(second.reply().at("active"), true);
  second.send(R"({"id":3,"method":"stopTunnel"})");
  EXPECT_EQ(second.reply(), Json::parse(R"({"id":3,"ok":true,"error":null})"));
  first.send(R"({"id":4,"method":"status"})");
  EXPECT_EQ(first.reply(),
            Json::parse(R"({"id":4,"active":false,"rx":0,"tx":0,"handshakeAge":null})"));
}

TEST_F(ListenerWithService, ADisconnectWhileUpLeavesTheTunnelUp) {
  auto& harness = listen();
  {
    TestClient client(harness.socketPath());
    client.send(startLine("1", test_support::tunnelConfig()));
    ASSERT_EQ(client.reply().at("ok"), true);
  }
  ASSERT_TRUE(harness.closedConnections(1));

  TestClient later(harness.socketPath());
  later.send(R"({"id":2,"method":"status"})");
  EXPECT_EQ(later.reply().at("active"), true);
  EXPECT_NE(daemon(), nullptr) << "the tunnel daemon was stopped by the disconnect";
}

}  // namespace
}  // namespace zorvik

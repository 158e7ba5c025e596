#include "service/endpoint.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

namespace zorvik {
namespace {

using namespace std::chrono_literals;

TEST(ResolveEndpointHost, AnIPv4LiteralIsUsedUnchanged) {
  EXPECT_EQ(resolveEndpointHost("203.0.113.5"), "203.0.113.5");
}

TEST(ResolveEndpointHost, AHostNameResolvesToItsFirstIPv4Address) {
  EXPECT_EQ(resolveEndpointHost("localhost"), "127.0.0.1");
}

TEST(ResolveEndpointHost, NothingForNamesWithoutAnIPv4Address) {
  for (const std::string host : {"no-such-host.invalid", "[2001", "::1", ""}) {
    EXPECT_EQ(resolveEndpointHost(host), std::nullopt) << host;
  }
  EXPECT_EQ(resolveEndpointHost(std::string("203.0.113.5\0evil", 16)), std::nullopt);
}

// A resolver that does not answer: nothing once the deadline passes, and its answer, when it
// comes after all, is dropped without touching the caller's state.
TEST(ResolveEndpointHost, NothingPastTheDeadlineAndALateAnswerIsDropped) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  auto answered = std::make_shared<std::atomic<bool>>(false);
  const HostLookup late = [released, answered](const std::string&) -> std::optional<std::string> {
    released.wait();
    answered->store(true);
    return "198.51.100.7";
  };
  EXPECT_EQ(resolveEndpointHost("vpn.example.com", 50ms, late), std::nullopt);
  release.set_value();
  while (!answered->load()) std::this_thread::sleep_for(1ms);

  const HostLookup prompt = [](const std::string& host) -> std::optional<std::string> {
    return host == "vpn.example.com" ? std::optional<std::string>("198.51.100.7") : std::nullopt;
  };
  EXPECT_EQ(resolveEndpointHost("vpn.example.com", 10s, prompt), "198.51.100.7");
  EXPECT_EQ(resolveEndpointHost("other.example.com", 10s, prompt), std::nullopt);
}

}  // namespace
}  // namespace zorvik

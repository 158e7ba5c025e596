#include "config/uapi_client.h"

#include <gtest/gtest.h>
#include <sys/un.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "base/service_error.h"
#include "testing/unix_test_peer.h"

namespace zorvik {
namespace {

using std::chrono::milliseconds;
using test_support::readRequest;
using test_support::UnixTestPeer;
using test_support::writeAll;

/// The message of the error uapiTransact throws, or "" when it returns.
std::string transactError(const std::string& path) {
  try {
    uapiTransact(path, "get=1\n\n", milliseconds(1000));
  } catch (const ServiceError& e) {
    return e.msg;
  }
  return "";
}

void pauseMs(int ms) { std::this_thread::sleep_for(milliseconds(ms)); }

TEST(UAPITransact, SendsTheRequestAndReturnsTheAnswer) {
  std::mutex mutex;
  std::string received;
  UnixTestPeer peer([&](int fd) {
    const std::string request = readRequest(fd);
    {
      std::lock_guard lock(mutex);
      received = request;
    }
    writeAll(fd, "errno=0\n\n");
  });
  EXPECT_EQ(uapiTransact(peer.path(), "set=1\nx=1\n\n"), "errno=0\n\n");
  std::lock_guard lock(mutex);
  EXPECT_EQ(received, "set=1\nx=1\n\n");
}

TEST(UAPITransact, RequestEndsAtItsFirstNul) {
  std::promise<std::string> received;
  UnixTestPeer peer([&](int fd) { received.set_value(readRequest(fd)); });
  // No empty line reaches the peer, so its read ends when the client gives up.
  uapiTransact(peer.path(), std::string_view("get=1\n\0tail\n\n", 13), milliseconds(300));
  auto request = received.get_future();
  ASSERT_EQ(request.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(request.get(), "get=1\n");
}

TEST(UAPITransact, AnswerEndsOnlyAtTheFinalEmptyLine) {
  // The answer has an empty line in the middle, arrives in pieces and ends with
  // its two line feeds in separate writes; it must come back whole.
  const std::string first = "a=1\n\nb=2\n";
  UnixTestPeer peer([&](int fd) {
    readRequest(fd);
    writeAll(fd, first);
    pauseMs(50);
    writeAll(fd, "c=3\n");
    pauseMs(50);
    writeAll(fd, "\n");
    test_support::waitForClose(fd);
  });
  EXPECT_EQ(uapiTransact(peer.path(), "get=1\n\n", milliseconds(3000)), first + "c=3\n\n");
}

TEST(UAPITransact, StopsAtTheEmptyLineWithoutWaitingForClose) {
  // The peer keeps the connection open after answering and notes whether the
  // client closed it; a client waiting for end of stream would not have.
  std::promise<bool> clientClosed;
  UnixTestPeer peer([&](int fd) {
    readRequest(fd);
    writeAll(fd, "errno=0\n\n");
    clientClosed.set_value(test_support::waitForClose(fd));
  });
  EXPECT_EQ(uapiTransact(peer.path(), "get=1\n\n", milliseconds(60000)), "errno=0\n\n");
  auto closed = clientClosed.get_future();
  ASSERT_EQ(closed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(closed.get());
}

TEST(UAPITransact, ReadsAnswersLongerThanTheBuffer) {
  std::string answer;
  for (int i = 0; answer.size() < 3 * 4096 + 100; ++i)
    answer += "line" + std::to_string(i) + "=x\n";
  answer += "\n";
  UnixTestPeer peer([&](int fd) {
    readRequest(fd);
    // Odd-sized pieces so the reads straddle the buffer size.
    for (std::size_t at = 0; at < answer.size(); at += 1000) {
      writeAll(fd, std::string_view(answer).substr(at, 1000));
      pauseMs(5);
    }
    test_support::waitForClose(fd);
  });
  EXPECT_EQ(uapiTransact(peer.path(), "get=1\n\n", milliseconds(5000)), answer);
}

TEST(UAPITransact, AFloodWithoutTheEmptyLineEndsAtOneMebibyte) {
  UnixTestPeer peer([&](int fd) {
    readRequest(fd);
    const std::string chunk(64 * 1024, 'x');
    // Until the client hangs up; bounded so a broken client cannot keep the test going.
    for (int i = 0; i < 1024 && zorvik::writeAll(fd, chunk, sendNoSignal); ++i) {
    }
  });
  EXPECT_EQ(uapiTransact(peer.path(), "get=1\n\n", milliseconds(5000)),
            std::string(std::size_t{1} << 20, 'x'));
}

TEST(UAPITransact, PeerClosingWithoutAnswerGivesEmptyText) {
  UnixTestPeer peer([](int fd) { readRequest(fd); });
  EXPECT_EQ(uapiTransact(peer.path(), "set=1\n\n", milliseconds(3000)), "");
}

TEST(UAPITransact, PartialAnswerBeforeCloseIsReturned) {
  UnixTestPeer peer([](int fd) {
    readRequest(fd);
    writeAll(fd, "errno=0\n");
  });
  EXPECT_EQ(uapiTransact(peer.path(), "set=1\n\n", milliseconds(3000)), "errno=0\n");
}

TEST(UAPITransact, SilentPeerEndsAtTheTimeOutWithWhatCame) {
  UnixTestPeer peer([](int fd) {
    readRequest(fd);
    writeAll(fd, "partial=1\n");
    test_support::waitForClose(fd);  // never finishes the answer
  });
  EXPECT_EQ(uapiTransact(peer.path(), "get=1\n\n", milliseconds(200)), "partial=1\n");
}

TEST(UAPITransact, TricklingPeerIsCutOffAtTheDeadline) {
  // A byte every 50 ms never lets a single read time out; the exchange as a
  // whole must still end.
  std::atomic<bool> stop{false};
  UnixTestPeer peer([&](int fd) {
    readRequest(fd);
    for (int i = 0; i < 200 && !stop; ++i) {
      if (send(fd, "x", 1, MSG_NOSIGNAL) != 1) return;
      pauseMs(50);
    }
  });
  const std::string answer = uapiTransact(peer.path(), "get=1\n\n", milliseconds(300));
  stop = true;
  EXPECT_FALSE(answer.empty());
  EXPECT_LT(answer.size(), 200u) << "the read went on past the deadline";
}

TEST(UAPITransact, PeerClosingBeforeReadingDoesNotKillTheProcess) {
  // Without MSG_NOSIGNAL/SO_NOSIGPIPE the write into the closed connection
  // would raise SIGPIPE and end the test binary.
  UnixTestPeer peer([](int) {});
  for (int i = 0; i < 20; ++i) {
    pauseMs(5);
    EXPECT_EQ(uapiTransact(peer.path(), std::string(256 * 1024, 'x'), milliseconds(1000)), "");
  }
}

TEST(UAPITransact, InvalidUTF8BecomesReplacementCharacters) {
  UnixTestPeer peer([](int fd) {
    readRequest(fd);
    writeAll(fd, "name=\xFF\xC3(\xE2\x80\n\n");
  });
  EXPECT_EQ(uapiTransact(peer.path(), "get=1\n\n", milliseconds(3000)),
            "name=\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD\n\n");
}

TEST(UAPITransact, UnreachablePathsFailToConnect) {
  UnixTestPeer peer([](int) {});
  const std::string regularFile = peer.directory() + "/plain";
  FILE* f = fopen(regularFile.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);

  sockaddr_un address{};
  // Fits with its terminating zero, and one byte more that would not.
  const std::string longest = "/" + std::string(sizeof address.sun_path - 2, 'a');
  const std::string tooLong = longest + "a";
  // A path that is the real socket's path once cut at the field's size.
  std::string cutToPeer = peer.path();
  cutToPeer.insert(0, sizeof address.sun_path - cutToPeer.size(), '/');
  cutToPeer += ".sock";
  ASSERT_GT(cutToPeer.size(), sizeof address.sun_path - 1);

  for (const std::string& path :
       {peer.directory() + "/missing.sock", regularFile, peer.directory(), std::string(), longest,
        tooLong, cutToPeer, peer.path() + std::string(1, '\0') + "x"}) {
    EXPECT_EQ(transactError(path), "connect(UAPI) failed") << path;
  }
}

TEST(ParseTransferTotals, SumsEveryCounterLine) {
  struct Case {
    const char* name;
    std::string answer;
    std::uint64_t rx;
    std::uint64_t tx;
  };
  const Case cases[] = {
      {"empty", "", 0, 0},
      {"twoPeers", "public_key=aa\nrx_bytes=100\ntx_bytes=200\npublic_key=bb\nrx_bytes=5\n\n", 105,
       200},
      {"emptyOrWordAddsZero", "rx_bytes=\ntx_bytes=lots\nrx_bytes=7\n", 7, 0},
      {"blankBeforeEquals", "rx_bytes =9\ntx_bytes= 9\n tx_bytes=9\n", 0, 0},
      {"signs", "rx_bytes=+12\ntx_bytes=-0\nrx_bytes=-3\n", 12, 0},
      {"carriageReturn", "rx_bytes=5\r\ntx_bytes=6\n", 0, 6},
      {"max", "rx_bytes=18446744073709551615\n", UINT64_MAX, 0},
      {"beyond64Bits", "rx_bytes=18446744073709551616\ntx_bytes=1\n", 0, 1},
      {"sumSaturates", "tx_bytes=18446744073709551615\ntx_bytes=2\n", 0, UINT64_MAX},
      {"noFinalLineFeed", "rx_bytes=1\ntx_bytes=2", 1, 2},
      {"nonAsciiDigits", "rx_bytes=\u0661\n", 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseTransferTotals(c.answer), std::make_pair(c.rx, c.tx)) << c.name;
  }
}

TEST(ParseLastHandshake, TheLatestPeersPairInRange) {
  using std::chrono::nanoseconds;
  using std::chrono::seconds;
  using std::chrono::system_clock;
  const auto at = [](std::int64_t sec, std::int64_t nsec) {
    return system_clock::time_point(
        std::chrono::duration_cast<system_clock::duration>(seconds(sec) + nanoseconds(nsec)));
  };
  struct Case {
    const char* name;
    std::string answer;
    std::optional<system_clock::time_point> expected;
  };
  const Case cases[] = {
      {"none", "public_key=aa\nrx_bytes=1\n", std::nullopt},
      {"never", "public_key=aa\nlast_handshake_time_sec=0\nlast_handshake_time_nsec=0\n",
       std::nullopt},
      {"one", "public_key=aa\nlast_handshake_time_sec=1765280000\nlast_handshake_time_nsec=5\n",
       at(1765280000, 5)},
      {"latestOfTwoPeers",
       "public_key=aa\nlast_handshake_time_sec=1765280009\npublic_key=bb\n"
       "last_handshake_time_sec=1765280001\nlast_handshake_time_nsec=9\n",
       at(1765280009, 0)},
      {"pairsDoNotMixAcrossPeers",
       "public_key=aa\nlast_handshake_time_sec=0\npublic_key=bb\nlast_handshake_time_nsec=7\n",
       at(0, 7)},
      {"secondsPastTheClock", "last_handshake_time_sec=18446744073709551615\n", std::nullopt},
      {"nanosecondsOutOfRange", "last_handshake_time_sec=5\nlast_handshake_time_nsec=1000000000\n",
       std::nullopt},
      {"notANumber", "last_handshake_time_sec=soon\n", std::nullopt},
      {"badPeerLeftOut",
       "public_key=aa\nlast_handshake_time_sec=x\npublic_key=bb\nlast_handshake_time_sec=3\n",
       at(3, 0)},
  };
  for (const auto& c : cases) EXPECT_EQ(parseLastHandshake(c.answer), c.expected) << c.name;
}

TEST(UAPIDaemonCounters, AsksForStateAndSums) {
  std::mutex mutex;
  std::string received;
  UnixTestPeer peer([&](int fd) {
    const std::string request = readRequest(fd);
    {
      std::lock_guard lock(mutex);
      received = request;
    }
    writeAll(fd, "rx_bytes=100\ntx_bytes=200\nlast_handshake_time_sec=7\nrx_bytes=5\nerrno=0\n\n");
  });
  const DaemonCounters counters = uapiDaemonCounters(peer.path());
  EXPECT_EQ(counters,
            (DaemonCounters{true, 105, 200,
                            std::chrono::system_clock::time_point(std::chrono::seconds(7))}));
  EXPECT_EQ(handshakeAgeSeconds(
                counters, std::chrono::system_clock::time_point(std::chrono::milliseconds(9999))),
            2u);
  std::lock_guard lock(mutex);
  EXPECT_EQ(received, "get=1\n\n");
}

TEST(UAPIDaemonCounters, FailuresAreNoAnswer) {
  const DaemonCounters none;
  EXPECT_EQ(uapiDaemonCounters(std::nullopt), none);
  EXPECT_EQ(uapiDaemonCounters(std::string("/nonexistent/x.sock")), none);
  UnixTestPeer silent([](int fd) { readRequest(fd); });
  EXPECT_EQ(uapiDaemonCounters(silent.path(), milliseconds(500)), none);
  UnixTestPeer failing([](int fd) {
    readRequest(fd);
    writeAll(fd, "rx_bytes=5\nerrno=-5\n\n");
  });
  EXPECT_EQ(uapiDaemonCounters(failing.path()), none) << "an error answer says nothing";
  EXPECT_EQ(handshakeAgeSeconds(none, std::chrono::system_clock::now()), std::nullopt);
}

}  // namespace
}  // namespace zorvik

// Test-only: a library the testbed preloads into the genuine zorvikctl (LD_PRELOAD), so that a
// local user's own copy of the admitted client misbehaves towards the helper as any program of
// that user could (docs/SECURITY.md, "Known limits"). Without ZORVIK_ABUSE in the environment
// it does nothing and zorvikctl runs as usual; with it, it does what the variable says, prints
// what it saw on standard output and exits before zorvikctl's main:
//   hold N SECONDS           N connections, each silent; each second "after S open M" (M of
//                            them still open S seconds after they were made)
//   flood N COUNT SECONDS METHOD [BYTES]
//                            N connections, each sending COUNT requests of METHOD (status,
//                            startTunnel with a configuration of BYTES bytes) and reading
//                            nothing; after SECONDS, "closed C sent S" (connections the helper
//                            closed, requests written in all)
//   pipeline N COUNT SECONDS METHOD [BYTES]
//                            as flood, but once all are written, reads until COUNT replies
//                            came on each connection (or SECONDS passed); then "answered A
//                            sent S"
//   connect N                N connections one after another, each until the helper closes
//                            it; then "closed C"
// It links nothing of the project: it must not stand in for zorvikctl's own symbols.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* socketPath() {
  const char* path = std::getenv("ZORVIK_ABUSE_SOCKET");
  return path && *path ? path : "/var/run/com.zorvik.vpn.helper.sock";
}

int connectToHelper() {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath(), sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// True once the helper has closed `fd`, whether or not replies are still unread there.
bool closedByHelper(int fd, int waitMs) {
  pollfd entry{fd, POLLRDHUP, 0};
  return ::poll(&entry, 1, waitMs) > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

int hold(int count, int seconds) {
  std::vector<int> fds;
  for (int i = 0; i < count; ++i) {
    const int fd = connectToHelper();
    if (fd >= 0) fds.push_back(fd);
  }
  std::printf("connected %zu\n", fds.size());
  std::fflush(stdout);
  const auto began = Clock::now();
  for (int second = 1; second <= seconds; ++second) {
    std::this_thread::sleep_until(began + std::chrono::seconds(second));
    int open = 0;
    for (int fd : fds) open += !closedByHelper(fd, 0);
    std::printf("after %d open %d\n", second, open);
    std::fflush(stdout);
  }
  return 0;
}

std::string requestLine(int id, const std::string& method, std::size_t configBytes) {
  std::string line = "{\"id\":" + std::to_string(id) + ",\"method\":\"" + method + "\"";
  if (method == "startTunnel") line += ",\"config\":\"" + std::string(configBytes, 'x') + "\"";
  return line + "}\n";
}

// Reads until `count` reply lines came, the helper closed `fd` or `until`; the lines that came.
int readReplies(int fd, int count, Clock::time_point until) {
  int lines = 0;
  char chunk[64 * 1024];
  while (lines < count && Clock::now() < until) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 100) <= 0) continue;
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) break;
    for (ssize_t i = 0; i < got; ++i) lines += chunk[i] == '\n';
  }
  return lines;
}

int flood(int connections, int count, int seconds, const std::string& method,
          std::size_t configBytes, bool readAtTheEnd) {
  const auto until = Clock::now() + std::chrono::seconds(seconds);
  std::atomic<int> closed{0};
  std::atomic<int> answered{0};
  std::atomic<long> sent{0};
  std::vector<std::thread> threads;
  for (int c = 0; c < connections; ++c) {
    threads.emplace_back([&, c] {
      const int fd = connectToHelper();
      if (fd < 0) return;
      // A send blocks while the helper reads nothing; the time-out lets the thread look at the
      // clock. Replies are never read.
      const timeval slice{0, 200000};
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice);
      bool open = true;
      for (int i = 0; i < count && open && Clock::now() < until; ++i) {
        const std::string line = requestLine(c * count + i, method, configBytes);
        std::size_t done = 0;
        while (done < line.size() && Clock::now() < until) {
          const ssize_t n = ::send(fd, line.data() + done, line.size() - done, MSG_NOSIGNAL);
          if (n > 0) {
            done += static_cast<std::size_t>(n);
          } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            continue;
          } else {
            open = false;
            break;
          }
        }
        if (done == line.size()) ++sent;
      }
      if (readAtTheEnd) {
        answered += readReplies(fd, count, until);
      } else {
        while (open && Clock::now() < until) open = !closedByHelper(fd, 100);
        if (!open) ++closed;
      }
      ::close(fd);
    });
  }
  for (auto& thread : threads) thread.join();
  if (readAtTheEnd) {
    std::printf("answered %d sent %ld\n", answered.load(), sent.load());
  } else {
    std::printf("closed %d sent %ld\n", closed.load(), sent.load());
  }
  return 0;
}

int connectMany(int count) {
  int closed = 0;
  for (int i = 0; i < count; ++i) {
    const int fd = connectToHelper();
    if (fd < 0) continue;
    closed += closedByHelper(fd, 5000);
    ::close(fd);
  }
  std::printf("closed %d\n", closed);
  return 0;
}

int run(const std::string& what) {
  std::istringstream words(what);
  std::string mode;
  words >> mode;
  if (mode == "hold") {
    int count = 0, seconds = 0;
    if (words >> count >> seconds) return hold(count, seconds);
  } else if (mode == "flood" || mode == "pipeline") {
    int connections = 0, count = 0, seconds = 0;
    std::string method;
    std::size_t bytes = 0;
    if (words >> connections >> count >> seconds >> method) {
      words >> bytes;
      return flood(connections, count, seconds, method, bytes, mode == "pipeline");
    }
  } else if (mode == "connect") {
    int count = 0;
    if (words >> count) return connectMany(count);
  }
  std::fprintf(stderr, "front_abuse: cannot read ZORVIK_ABUSE=\"%s\"\n", what.c_str());
  return 64;
}

__attribute__((constructor)) void abuseInsteadOfMain() {
  const char* what = std::getenv("ZORVIK_ABUSE");
  if (!what) return;
  const int status = run(what);
  std::fflush(stdout);
  std::_Exit(status);
}

}  // namespace

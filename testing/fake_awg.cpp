// A stand-in for the tunnel daemon in tests: keeps its start, readiness, UAPI
// and stop contract, and misbehaves on request. Linux only (reads /proc).
//
// Started as `fake_awg utun` with WG_TUN_NAME_FILE set, it writes the interface
// name into that file, serves "<run dir>/<name>.sock" and exits 0 on SIGTERM or
// SIGINT, removing the socket. Any other command line exits 64.
//
// Environment (all optional):
//   FAKE_AWG_RUN_DIR=dir          socket directory (default /var/run/amneziawg)
//   FAKE_AWG_IFACE=name           interface name (default utun7)
//   FAKE_AWG_NAME_DELAY_MS=n      wait before writing the name file
//   FAKE_AWG_SOCKET_DELAY_MS=n    wait after the name before creating the socket
//   FAKE_AWG_NAME_MODE=mode       normal ("<name>\n"), empty (empty file),
//                                 blank ("  \n") or none (file not written)
//   FAKE_AWG_SOCKET_NAME=file     socket file name instead of "<name>.sock"
//   FAKE_AWG_NO_SOCKET=1          never create a socket
//   FAKE_AWG_SET_ERRNO=e          answer every "set" with "errno=e", applying nothing
//                                 (without it, a set is judged as the daemon judges it)
//   FAKE_AWG_SPLIT_MS=n           write each answer's final "\n" separately, n ms later
//   FAKE_AWG_ANSWER_PAD=n         put at least n bytes of "padding=..." lines
//                                 before every get answer
//   FAKE_AWG_CLOSE_WITHOUT_ANSWER=1  read the request, close without answering
//   FAKE_AWG_NEVER_ANSWER=1       read the request, keep the connection open unanswered
//   FAKE_AWG_FLOOD=1              answer "set" with "flood=..." lines, never the empty
//                                 line, until the client closes
//   FAKE_AWG_EXIT_NOW=s           exit at once with status s, before anything else
//   FAKE_AWG_EXIT_AFTER_MS=n      exit n ms after start with FAKE_AWG_EXIT_STATUS (default 1)
//   FAKE_AWG_RX_BYTES=n, FAKE_AWG_TX_BYTES=n   counters of the "get" answer (default 0)
//   FAKE_AWG_LINK=1               make the interface, as the real daemon does (a TUN device
//                                 no process reads, with ip(8)), before the name file;
//                                 delete it at the exit
//   FAKE_AWG_HANDSHAKE_FILE=file  the "get" answer's last handshake: the file's change time
//                                 once it exists, 0 (never) before
//   FAKE_AWG_RECORD=file          append every request as "request <length>\n",
//                                 the request's bytes, then "\n"
//   FAKE_AWG_DUMP=file            at start write "arg <a>", "env <NAME=value>",
//                                 "fd <n> <target>" and the SigBlk/SigIgn lines of
//                                 /proc/self/status, one per line
//
// A "set=1" request is applied line by line as the daemon does (fake_uapi_device.h):
// "errno=0", "errno=-22" for an unknown key or a value it does not take, "errno=-71"
// for a line without "="; what came before a failing line stays applied. "get=1"
// echoes what was set. Any other operation is not answered: the connection closes.
//
// Connections are served one at a time; every wait also watches for SIGTERM and
// SIGINT, so the process never outlives a test that stops it.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/fd_io.h"
#include "base/unix_address.h"
#include "platform/socket_io.h"
#include "testing/fake_uapi_device.h"

namespace {

int signalPipe[2] = {-1, -1};
std::string socketPath;

void onSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(signalPipe[1], &byte, 1);
}

std::string env(const char* name, const std::string& fallback = "") {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

long envNumber(const char* name, long fallback) {
  const std::string value = env(name);
  return value.empty() ? fallback : std::strtol(value.c_str(), nullptr, 10);
}

// Runs ip(8) with `arguments` and waits for it; its failure is the scenario's to see.
void runIp(std::vector<std::string> arguments) {
  // By its path: the helper gives the daemon no PATH.
  arguments.insert(arguments.begin(), "/usr/sbin/ip");
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

using Clock = std::chrono::steady_clock;
const Clock::time_point started = Clock::now();

// The socket this process made, so that it never removes one a newer daemon put at the path.
ino_t socketInode = 0;

// The interface this process made with FAKE_AWG_LINK.
std::string madeLink;

[[noreturn]] void finish(int status) {
  if (!madeLink.empty()) runIp({"tuntap", "del", "dev", madeLink, "mode", "tun"});
  struct stat info {};
  if (!socketPath.empty() && stat(socketPath.c_str(), &info) == 0 && info.st_ino == socketInode)
    unlink(socketPath.c_str());
  std::_Exit(status);
}

/// Milliseconds until the FAKE_AWG_EXIT_AFTER_MS deadline, or -1 without one.
int msUntilExit() {
  const long after = envNumber("FAKE_AWG_EXIT_AFTER_MS", -1);
  if (after < 0) return -1;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
  return static_cast<int>(after > elapsed ? after - elapsed : 0);
}

/// Waits up to `ms` (-1: no limit) for `fd` to be readable; ends the process on
/// a signal or at the exit deadline. True when `fd` became readable.
bool waitFor(int fd, int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    int left = -1;
    if (ms >= 0) {
      left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
      if (left < 0) left = 0;
    }
    const int exitIn = msUntilExit();
    const bool exitFirst = exitIn >= 0 && (left < 0 || exitIn < left);
    pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {fd, POLLIN, 0}};
    const int ready = poll(fds, fd >= 0 ? 2 : 1, exitFirst ? exitIn : left);
    if (ready < 0) continue;  // EINTR: the handler has written to the pipe
    if (fds[0].revents) finish(0);
    if (exitFirst && ready == 0) finish(static_cast<int>(envNumber("FAKE_AWG_EXIT_STATUS", 1)));
    if (fd >= 0 && fds[1].revents) return true;
    if (ready == 0 && left == 0) return false;
  }
}

void pause(long ms) {
  if (ms > 0) waitFor(-1, static_cast<int>(ms));
}

void dumpProcess(const std::string& path, int argc, char** argv) {
  std::vector<std::string> lines;
  for (int i = 1; i < argc; ++i) lines.push_back(std::string("arg ") + argv[i]);
  for (char** e = environ; *e; ++e) lines.push_back(std::string("env ") + *e);
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == dirfd(dir)) continue;
      const int fd = std::atoi(entry->d_name);
      if (fd == signalPipe[0] || fd == signalPipe[1]) continue;
      char target[4096] = {};
      const std::string link = std::string("/proc/self/fd/") + entry->d_name;
      const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      lines.push_back("fd " + std::string(entry->d_name) + " " + (n > 0 ? target : "?"));
    }
    closedir(dir);
  }
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("SigBlk:") || line.starts_with("SigIgn:")) lines.push_back(line);
  }
  std::ofstream out(path, std::ios::trunc);
  for (const auto& line : lines) out << line << '\n';
}

void writeNameFile(const std::string& iface) {
  const std::string path = env("WG_TUN_NAME_FILE");
  const std::string mode = env("FAKE_AWG_NAME_MODE", "normal");
  if (path.empty() || mode == "none") return;
  std::string text = iface + "\n";
  if (mode == "empty") text.clear();
  if (mode == "blank") text = "  \n";
  // Written in one go so a reader never sees half a name.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  [[maybe_unused]] ssize_t n = write(fd, text.data(), text.size());
  close(fd);
}

int listenAt(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // Bound under a temporary name and renamed once listening, so a client that
  // sees the socket's name can always connect.
  const std::string temp = path + ".tmp";
  const auto address = zorvik::unixSocketAddress(temp);
  if (fd < 0 || !address) {
    std::fprintf(stderr, "fake_awg: cannot make a socket at %s\n", path.c_str());
    finish(70);
  }
  unlink(temp.c_str());
  if (bind(fd, address->get(), address->length) != 0 || listen(fd, 8) != 0 ||
      rename(temp.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "fake_awg: bind %s: %s\n", path.c_str(), std::strerror(errno));
    finish(70);
  }
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) socketInode = info.st_ino;
  return fd;
}

/// Reads one request, up to its empty line or the end of the stream.
std::string readRequest(int fd) {
  std::string request;
  char buffer[1024];
  while (!request.ends_with("\n\n")) {
    if (!waitFor(fd, 10000)) break;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  return request;
}

void record(const std::string& request) {
  const std::string path = env("FAKE_AWG_RECORD");
  if (path.empty()) return;
  std::ofstream out(path, std::ios::app | std::ios::binary);
  out << "request " << request.size() << '\n' << request << '\n';
}

zorvik::test_support::FakeUAPIDevice device;

/// With FAKE_AWG_HANDSHAKE_FILE, the peers' last handshake: the file's change time once it is
/// there, "0" (never) until then; nothing without the switch.
std::optional<std::string> handshakeSeconds() {
  const std::string path = env("FAKE_AWG_HANDSHAKE_FILE");
  if (path.empty()) return std::nullopt;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return "0";
  return std::to_string(info.st_mtime);
}

/// The answer to a request; nothing for an operation the daemon does not know.
std::optional<std::string> answerTo(const std::string& request) {
  std::string body;
  if (request.starts_with("set=1\n")) {
    const std::string fixed = env("FAKE_AWG_SET_ERRNO");
    const std::string_view lines = std::string_view(request).substr(6);
    body = "errno=" + (fixed.empty() ? std::to_string(device.set(lines)) : fixed) + "\n\n";
  } else if (request == "get=1\n\n") {
    body = device.get(env("FAKE_AWG_RX_BYTES", "0"), env("FAKE_AWG_TX_BYTES", "0"),
                      handshakeSeconds());
    body += "errno=0\n\n";
  } else if (request.starts_with("get=1\n")) {
    body = "errno=-22\n\n";
  } else {
    return std::nullopt;
  }
  std::string answer;
  // Only a get answer carries lines besides its errno; a set answer is that line alone.
  const long pad = request.starts_with("set=1\n") ? 0 : envNumber("FAKE_AWG_ANSWER_PAD", 0);
  while (static_cast<long>(answer.size()) < pad)
    answer += "padding=" + std::string(100, 'x') + "\n";
  return answer + body;
}

/// Writes lines without end until the client goes away; a signal still ends the process.
void flood(int client) {
  const std::string lines = [] {
    std::string text;
    while (text.size() < 64 * 1024) text += "flood=" + std::string(100, 'x') + "\n";
    return text;
  }();
  for (;;) {
    pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {client, POLLOUT, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents) finish(0);
    if (fds[1].revents & (POLLERR | POLLHUP)) return;
    if (fds[1].revents & POLLOUT &&
        send(client, lines.data(), lines.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
        errno != EAGAIN && errno != EINTR) {
      return;
    }
  }
}

void serve(int client) {
  const std::string request = readRequest(client);
  // A client that closes without a byte only probed whether anyone listens: no request.
  if (request.empty()) return;
  record(request);
  if (!env("FAKE_AWG_CLOSE_WITHOUT_ANSWER").empty()) return;
  if (!env("FAKE_AWG_NEVER_ANSWER").empty()) {
    // Until the client gives up and closes, or a signal ends the process.
    char byte;
    while (waitFor(client, -1) && read(client, &byte, 1) > 0) {
    }
    return;
  }
  if (!env("FAKE_AWG_FLOOD").empty() && request.starts_with("set=1\n")) {
    flood(client);
    return;
  }
  const auto reply = answerTo(request);
  if (!reply) return;
  const std::string& answer = *reply;
  const long split = envNumber("FAKE_AWG_SPLIT_MS", -1);
  if (split < 0) {
    zorvik::writeAll(client, answer, zorvik::sendNoSignal);
    return;
  }
  zorvik::writeAll(client, answer.substr(0, answer.size() - 1), zorvik::sendNoSignal);
  pause(split);
  zorvik::writeAll(client, "\n", zorvik::sendNoSignal);
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::string status = env("FAKE_AWG_EXIT_NOW"); !status.empty()) {
    return std::atoi(status.c_str());
  }
  if (argc != 2 || std::strcmp(argv[1], "utun") != 0) {
    std::fprintf(stderr, "usage: fake_awg utun\n");
    return 64;
  }
  // Kept for the life of the process: the signal handler writes to it.
  if (pipe2(signalPipe, O_CLOEXEC) != 0) return 71;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  if (const std::string dump = env("FAKE_AWG_DUMP"); !dump.empty()) dumpProcess(dump, argc, argv);

  const std::string runDir = env("FAKE_AWG_RUN_DIR", "/var/run/amneziawg");
  const std::string iface = env("FAKE_AWG_IFACE", "utun7");
  pause(envNumber("FAKE_AWG_NAME_DELAY_MS", 0));
  if (!env("FAKE_AWG_LINK").empty()) {
    runIp({"tuntap", "add", "dev", iface, "mode", "tun"});
    madeLink = iface;
  }
  writeNameFile(iface);
  std::printf("fake_awg: interface %s\n", iface.c_str());
  std::fflush(stdout);

  pause(envNumber("FAKE_AWG_SOCKET_DELAY_MS", 0));
  int listener = -1;
  if (env("FAKE_AWG_NO_SOCKET").empty()) {
    mkdir(runDir.c_str(), 0755);
    const std::string path = runDir + "/" + env("FAKE_AWG_SOCKET_NAME", iface + ".sock");
    listener = listenAt(path);
    socketPath = path;
  }
  for (;;) {
    if (!waitFor(listener, -1)) continue;
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    serve(client);
    close(client);
  }
}

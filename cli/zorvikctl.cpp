// zorvikctl: the command-line client of the Linux stand-in helper.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/fd_io.h"
#include "cli/ctl_arguments.h"
#include "cli/ctl_connection.h"
#include "cli/ctl_exchange.h"
#include "wire/wire_format.h"

using namespace zorvik::ctl;

namespace {

// A start waits for the tunnel daemon for up to about 15 s; leave it plenty.
constexpr std::chrono::seconds kReplyTimeout{60};
constexpr std::chrono::seconds kPatience{1};
constexpr int kRequestId = 1;
constexpr const char* kClosedWithoutReply =
    "the helper closed the connection without replying (it serves only the zorvikctl installed "
    "beside it; its log says why)";

int fail(int exitCode, const std::string& message) {
  std::cerr << "zorvikctl: " << message << "\n";
  return exitCode;
}

std::string readConfig(const std::string& source) {
  const bool standardInput = source == "-";
  const std::string name = standardInput ? "standard input" : source;
  zorvik::UniqueFd file(
      standardInput ? -1 : zorvik::openRetryingEINTR(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!standardInput && !file)
    throw std::runtime_error("cannot read " + name + ": " + std::strerror(errno));
  auto read = zorvik::readToEnd(standardInput ? STDIN_FILENO : file.get(), zorvik::kMaxLineBytes);
  if (read.error != 0)
    throw std::runtime_error("cannot read " + name + ": " + std::strerror(read.error));
  if (read.overLimit) throw std::runtime_error(name + " is larger than 1 MiB");
  return std::move(read.bytes);
}

// Waits for the reply to our request; replies to other ids are not ours.
int awaitReply(LineReader& reader, const Invocation& invocation) {
  const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
  bool toldWaiting = false;
  std::string line;
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return fail(kExitUnreachable, "no reply from the helper within " +
                                        std::to_string(kReplyTimeout.count()) + " s");
    }
    const auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::min<std::chrono::steady_clock::duration>(kPatience, deadline - now));
    switch (reader.readLine(line, slice)) {
      case LineReader::Result::timedOut:
        if (!toldWaiting) std::cerr << "zorvikctl: waiting for the helper…\n";
        toldWaiting = true;
        continue;
      case LineReader::Result::closed:
        return fail(kExitUnreachable, kClosedWithoutReply);
      case LineReader::Result::tooLong:
        return fail(kExitUnreachable, "the helper's reply is too long");
      case LineReader::Result::line:
        break;
    }
    if (replyId(line) != kRequestId) continue;
    const Outcome outcome = interpretReply(invocation, line);
    std::cout << outcome.out << std::flush;
    std::cerr << outcome.err;
    return outcome.exitCode;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::signal(SIGPIPE, SIG_IGN);
  const ParsedArguments parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.help) {
    std::cout << usageText();
    return kExitSuccess;
  }
  if (!parsed.invocation) {
    std::cerr << "zorvikctl: " << parsed.error << "\n" << usageText();
    return kExitUnreachable;
  }
  const Invocation& invocation = *parsed.invocation;

  try {
    std::string config;
    if (invocation.command == Command::start) config = readConfig(invocation.configSource);
    const std::string request = requestLine(invocation, kRequestId, config);
    if (request.size() - 1 > zorvik::kMaxLineBytes) {
      return fail(kExitUnreachable,
                  "the configuration is too large to send (over 1 MiB as a request)");
    }
    zorvik::UniqueFd socket = connectToHelper(invocation.socketPath);
    try {
      sendAll(socket.get(), request);
    } catch (const HelperClosedConnection&) {
      // A refused client can find the connection closed before its request is out.
      return fail(kExitUnreachable, kClosedWithoutReply);
    }
    LineReader reader(socket.get());
    return awaitReply(reader, invocation);
  } catch (const std::exception& error) {
    return fail(kExitUnreachable, error.what());
  }
}

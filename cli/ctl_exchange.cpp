#include "cli/ctl_exchange.h"

#include <array>
#include <cstdio>
#include <stdexcept>

#include "wire/wire_format.h"

namespace zorvik::ctl {
namespace {

Outcome failure(int exitCode, std::string message) {
  return {exitCode, {}, "zorvikctl: " + std::move(message) + "\n"};
}

std::string shortened(std::string_view text) {
  constexpr std::size_t kShown = 200;
  return text.size() <= kShown ? std::string(text) : std::string(text.substr(0, kShown)) + "...";
}

WireMethod methodFor(Command command) {
  switch (command) {
    case Command::version:
      return WireMethod::getVersion;
    case Command::start:
      return WireMethod::startTunnel;
    case Command::stop:
      return WireMethod::stopTunnel;
    case Command::status:
      break;
  }
  return WireMethod::status;
}

Outcome unexpected(std::string_view line) {
  return failure(kExitUnreachable, "unexpected reply from the helper: " + shortened(line));
}

Outcome resultOutcome(const Json& reply, std::string_view line, const char* verb,
                      const char* done) {
  const auto ok = reply.find("ok");
  if (ok == reply.end() || !ok->is_boolean()) return unexpected(line);
  if (ok->get<bool>()) return {kExitSuccess, std::string(done) + "\n", {}};
  const auto error = reply.find("error");
  std::string text =
      error != reply.end() && error->is_string() ? error->get<std::string>() : "no reason given";
  return failure(kExitHelperFailed, std::string(verb) + " failed: " + text);
}

Outcome statusOutcome(const Json& reply, std::string_view line, bool json) {
  const auto active = reply.find("active");
  const auto rx = reply.find("rx");
  const auto tx = reply.find("tx");
  // Parsed non-negative integers are unsigned; anything else is not a byte count.
  if (active == reply.end() || !active->is_boolean() || rx == reply.end() ||
      !rx->is_number_unsigned() || tx == reply.end() || !tx->is_number_unsigned()) {
    return unexpected(line);
  }
  // Absent from an older helper's reply; seconds, or null before the first handshake.
  const auto age = reply.find("handshakeAge");
  if (age != reply.end() && !age->is_null() && !age->is_number_unsigned()) return unexpected(line);
  if (json) return {kExitSuccess, jsonLine(reply) + "\n", {}};
  const auto received = rx->get<std::uint64_t>();
  const auto sent = tx->get<std::uint64_t>();
  std::string out = std::string("state: ") + (active->get<bool>() ? "up" : "down") + "\n";
  out += "received: " + std::to_string(received) + " bytes (" + humanSize(received) + ")\n";
  out += "sent: " + std::to_string(sent) + " bytes (" + humanSize(sent) + ")\n";
  if (age != reply.end()) {
    out += age->is_null()
               ? std::string("last handshake: none\n")
               : "last handshake: " + std::to_string(age->get<std::uint64_t>()) + " s ago\n";
  }
  return {kExitSuccess, out, {}};
}

}  // namespace

std::string requestLine(const Invocation& invocation, int id, const std::string& config) {
  return zorvik::requestLine(id, methodFor(invocation.command), config);
}

std::optional<std::int64_t> replyId(std::string_view line) {
  const Json reply = Json::parse(line, nullptr, false);
  if (!reply.is_object()) return std::nullopt;
  const auto id = reply.find("id");
  if (id == reply.end() || !id->is_number_integer()) return std::nullopt;
  return id->get<std::int64_t>();
}

Outcome interpretReply(const Invocation& invocation, std::string_view line) {
  const Json reply = Json::parse(line, nullptr, false);
  if (!reply.is_object()) return unexpected(line);
  // A reply without any of its own fields is the helper rejecting the request itself.
  const auto error = reply.find("error");
  if (!reply.contains("ok") && error != reply.end() && error->is_string()) {
    return failure(kExitHelperFailed,
                   "the helper rejected the request: " + error->get<std::string>());
  }
  switch (invocation.command) {
    case Command::version: {
      const auto version = reply.find("version");
      if (version == reply.end() || !version->is_string()) return unexpected(line);
      return {kExitSuccess, version->get<std::string>() + "\n", {}};
    }
    case Command::start:
      return resultOutcome(reply, line, "start", "tunnel started");
    case Command::stop:
      return resultOutcome(reply, line, "stop", "tunnel stopped");
    case Command::status:
      return statusOutcome(reply, line, invocation.json);
  }
  return unexpected(line);
}

std::string humanSize(std::uint64_t bytes) {
  static constexpr std::array<const char*, 6> kUnits = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024.0;
  std::size_t unit = 0;
  // Switch units before rounding would print "1024.0".
  while (value >= 1023.95 && unit + 1 < kUnits.size()) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

}  // namespace zorvik::ctl

#include "wire/wire_format.h"

#include <stdexcept>

namespace zorvik {
namespace {

constexpr WireMethod kMethods[] = {WireMethod::getVersion, WireMethod::startTunnel,
                                   WireMethod::stopTunnel, WireMethod::status};

std::optional<WireMethod> methodNamed(const std::string& name) {
  for (const WireMethod method : kMethods) {
    if (name == methodName(method)) return method;
  }
  return std::nullopt;
}

ParsedRequestLine problem(Json id, std::string text) {
  return {std::nullopt, std::move(id), std::move(text)};
}

/// Copying, comparing and writing a JSON value recurse once per level, so a line
/// nested deeper than this is refused before it becomes a value.
constexpr std::size_t kMaxNesting = 64;

/// Whether arrays and objects in `line` nest deeper than kMaxNesting; brackets
/// inside strings do not count. Malformed text is left to the parser.
bool nestedTooDeeply(std::string_view line) {
  std::size_t depth = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : line) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxNesting) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

}  // namespace

const char* methodName(WireMethod method) {
  switch (method) {
    case WireMethod::getVersion:
      return "getVersion";
    case WireMethod::startTunnel:
      return "startTunnel";
    case WireMethod::stopTunnel:
      return "stopTunnel";
    case WireMethod::status:
      return "status";
  }
  return "";
}

std::string requestLine(std::int64_t id, WireMethod method, const std::string& config) {
  Json request = {{"id", id}, {"method", methodName(method)}};
  if (method == WireMethod::startTunnel) request["config"] = config;
  try {
    return request.dump() + "\n";
  } catch (const Json::type_error&) {
    throw std::invalid_argument("the configuration is not valid UTF-8 text");
  }
}

ParsedRequestLine parseRequestLine(std::string_view line) {
  if (nestedTooDeeply(line)) return problem(nullptr, "nested too deeply");
  Json object = Json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (object.is_discarded()) return problem(nullptr, "not valid JSON");
  if (!object.is_object()) return problem(nullptr, "not a JSON object");

  const auto id = object.find("id");
  if (id == object.end()) return problem(nullptr, "missing id");
  const auto method = object.find("method");
  if (method == object.end() || !method->is_string()) {
    return problem(*id, "missing method");
  }
  const auto known = methodNamed(method->get<std::string>());
  if (!known) return problem(*id, "unknown method " + jsonLine(*method).substr(0, 80));

  WireRequest request{*id, *known, {}};
  if (*known == WireMethod::startTunnel) {
    const auto config = object.find("config");
    if (config != object.end() && !config->is_null()) {
      if (!config->is_string()) return problem(*id, "config must be a string");
      request.config = config->get<std::string>();
    }
  }
  return {std::move(request), *id, {}};
}

std::string jsonLine(const Json& object) {
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string versionReplyLine(const Json& id, const std::string& version) {
  return jsonLine({{"id", id}, {"version", version}}) + "\n";
}

std::string resultReplyLine(const Json& id, bool ok, const std::optional<std::string>& error) {
  Json reply = {{"id", id}, {"ok", ok}, {"error", nullptr}};
  if (error) reply["error"] = *error;
  return jsonLine(reply) + "\n";
}

std::string statusReplyLine(const Json& id, bool active, std::uint64_t rx, std::uint64_t tx,
                            std::optional<std::uint64_t> handshakeAge) {
  Json reply = {{"id", id}, {"active", active}, {"rx", rx}, {"tx", tx}, {"handshakeAge", nullptr}};
  if (handshakeAge) reply["handshakeAge"] = *handshakeAge;
  return jsonLine(reply) + "\n";
}

std::string badRequestLine(const Json& id, const std::string& problem) {
  return jsonLine({{"id", id}, {"error", "bad request: " + problem}}) + "\n";
}

}  // namespace zorvik

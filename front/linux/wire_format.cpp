#include "front/linux/wire_format.h"

namespace zorvik {
namespace {

std::optional<WireMethod> methodNamed(const std::string& name) {
  if (name == "getVersion") return WireMethod::getVersion;
  if (name == "startTunnel") return WireMethod::startTunnel;
  if (name == "stopTunnel") return WireMethod::stopTunnel;
  if (name == "status") return WireMethod::status;
  return std::nullopt;
}

ParsedRequestLine problem(Json id, std::string text) {
  return {std::nullopt, std::move(id), std::move(text)};
}

}  // namespace

ParsedRequestLine parseRequestLine(std::string_view line) {
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

std::string statusReplyLine(const Json& id, bool active, std::uint64_t rx, std::uint64_t tx) {
  return jsonLine({{"id", id}, {"active", active}, {"rx", rx}, {"tx", tx}}) + "\n";
}

std::string badRequestLine(const Json& id, const std::string& problem) {
  return jsonLine({{"id", id}, {"error", "bad request: " + problem}}) + "\n";
}

}  // namespace zorvik

#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace zorvik {

/// Objects keep their keys in the order written, so replies read as documented.
using Json = nlohmann::ordered_json;

// The Linux stand-in's wire format: one JSON object per line each way. Every
// request carries an `id`, echoed back unchanged in its reply.

/// The longest line either side accepts, without its line break; the peer of a
/// longer one is dropped.
inline constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

/// The four operations of the helper protocol, as requests name them.
enum class WireMethod { getVersion, startTunnel, stopTunnel, status };

/// The name a request gives `method`: "getVersion", "startTunnel", ...
const char* methodName(WireMethod method);

/// The request line for `method` with `id`, ending in "\n"; `config` goes with
/// startTunnel only. Throws std::invalid_argument when the configuration is not
/// valid UTF-8.
std::string requestLine(std::int64_t id, WireMethod method, const std::string& config = {});

/// One request line, understood.
struct WireRequest {
  Json id;
  WireMethod method;
  std::string config;  ///< startTunnel only; missing or null is the empty text
};

/// A request line, or why it is not one (with the id when it could be read).
struct ParsedRequestLine {
  std::optional<WireRequest> request;
  Json id;              ///< for the bad-request reply; null when unknown
  std::string problem;  ///< set when `request` is absent
};

/// Parses one line (without its line break).
ParsedRequestLine parseRequestLine(std::string_view line);

// Reply lines, each ending with "\n".

/// {"id":...,"version":"..."}
std::string versionReplyLine(const Json& id, const std::string& version);
/// {"id":...,"ok":...,"error":null|"..."}
std::string resultReplyLine(const Json& id, bool ok, const std::optional<std::string>& error);
/// {"id":...,"active":...,"rx":...,"tx":...,"handshakeAge":seconds|null}
std::string statusReplyLine(const Json& id, bool active, std::uint64_t rx, std::uint64_t tx,
                            std::optional<std::uint64_t> handshakeAge);
/// {"id":...,"error":"bad request: <problem>"}
std::string badRequestLine(const Json& id, const std::string& problem);

/// The object as one line; invalid UTF-8 in strings is replaced, never thrown on.
std::string jsonLine(const Json& object);

}  // namespace zorvik

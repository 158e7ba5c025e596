// The Linux front's request parser over arbitrary lines, with the reply the
// listener would write for it.
#include <string>

#include "fuzz/fuzz_check.h"
#include "wire/wire_format.h"

using namespace zorvik;
using zorvik::fuzz::require;

namespace {

std::string replyFor(const ParsedRequestLine& parsed) {
  if (!parsed.request) return badRequestLine(parsed.id, parsed.problem);
  const WireRequest& request = *parsed.request;
  switch (request.method) {
    case WireMethod::getVersion:
      return versionReplyLine(request.id, "1");
    case WireMethod::startTunnel:
      return resultReplyLine(request.id, false, request.config);
    case WireMethod::stopTunnel:
      return resultReplyLine(request.id, true, std::nullopt);
    case WireMethod::status:
      return statusReplyLine(request.id, true, 1, 2, 3);
  }
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view line = fuzz::asText(data, size);
  const ParsedRequestLine parsed = parseRequestLine(line);
  require(parsed.request.has_value() == parsed.problem.empty(),
          "a line is both a request and a problem, or neither");
  if (parsed.request) require(parsed.request->id == parsed.id, "two different ids");

  // Every reply is one line of JSON that carries the request's id back.
  const std::string reply = replyFor(parsed);
  require(reply.ends_with('\n') && reply.find('\n') == reply.size() - 1, "a reply is not one line");
  const Json back = Json::parse(reply, nullptr, /*allow_exceptions=*/false);
  require(back.is_object(), "a reply is not a JSON object");
  require(back.contains("id") && jsonLine(back["id"]) == jsonLine(parsed.id),
          "a reply does not carry the request's id");
  return 0;
}

#include "front/linux/request_dispatch.h"

#include "wire/wire_format.h"

namespace zorvik {

void dispatchRequestLine(const std::shared_ptr<ConnectionChannel>& channel,
                         ZorvikHelperProtocol& service, std::string_view line,
                         PendingBytes::Hold hold) {
  ParsedRequestLine parsed = parseRequestLine(line);
  if (!parsed.request) {
    channel->write(badRequestLine(parsed.id, parsed.problem));
    return;
  }
  const Json id = std::move(parsed.request->id);
  auto ticket = std::make_shared<ReplyTicket>(channel, std::move(hold));
  switch (parsed.request->method) {
    case WireMethod::getVersion:
      service.getVersion(
          [ticket, id](std::string version) { ticket->send(versionReplyLine(id, version)); });
      break;
    case WireMethod::startTunnel:
      service.startTunnel(std::move(parsed.request->config),
                          [ticket, id](bool ok, std::optional<std::string> error) {
                            ticket->send(resultReplyLine(id, ok, error));
                          });
      break;
    case WireMethod::stopTunnel:
      service.stopTunnel([ticket, id](bool ok, std::optional<std::string> error) {
        ticket->send(resultReplyLine(id, ok, error));
      });
      break;
    case WireMethod::status:
      service.status([ticket, id](bool active, std::uint64_t rx, std::uint64_t tx,
                                  std::optional<std::uint64_t> handshakeAge) {
        ticket->send(statusReplyLine(id, active, rx, tx, handshakeAge));
      });
      break;
  }
}

}  // namespace zorvik

// Placeholder until the tunnel operations are built; every call fails loudly.
#include <stdexcept>

#include "service/helper_service.h"

namespace zorvik {

void HelperService::startTunnel(std::string, ResultReply) {
  throw std::logic_error("startTunnel is not built yet");
}
void HelperService::stopTunnel(ResultReply) { throw std::logic_error("stopTunnel is not built yet"); }
void HelperService::status(StatusReply) { throw std::logic_error("status is not built yet"); }

}  // namespace zorvik

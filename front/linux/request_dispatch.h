#pragma once

#include <memory>
#include <string_view>

#include "front/linux/connection_channel.h"
#include "front/linux/pending_bytes.h"
#include "service/helper_protocol.h"

namespace zorvik {

/// What every admitted connection talks to: turns one request line into a call
/// on the service and each reply into one line on `channel`. A line that is not
/// a request is answered with a bad-request line at once. `hold` is the line's share of
/// the pending bound, kept until its reply.
void dispatchRequestLine(const std::shared_ptr<ConnectionChannel>& channel,
                         ZorvikHelperProtocol& service, std::string_view line,
                         PendingBytes::Hold hold);

}  // namespace zorvik

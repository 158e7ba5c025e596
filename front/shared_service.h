#pragma once

#include <chrono>
#include <memory>

#include "service/helper_service.h"

namespace zorvik {

/// Sets what the shared service is built with; call once at start-up, before
/// the first connection can be admitted.
void configureSharedService(HelperSettings settings);

/// The process's one service object: created by the first call (safe when two
/// first connections race), the same object for every caller, never released.
std::shared_ptr<HelperService> sharedService();

/// Start-up, before the listener opens: when a tunnel journal of an earlier
/// process is there, creates the shared service and has it undo what the
/// journal records, waiting at most `patience` (requests queue behind it
/// anyway). Without a journal nothing is created.
void replayTunnelJournal(std::chrono::milliseconds patience = std::chrono::minutes(2));

}  // namespace zorvik

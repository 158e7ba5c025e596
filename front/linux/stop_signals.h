#pragma once

#include "base/system_log.h"

namespace zorvik {

/// Gives SIGTERM and SIGINT their default action back and blocks them in the calling thread and
/// in every thread it starts later. Call it first in main, before any thread exists, so that
/// only stopOnFirstSignal receives them (children start with an empty mask all the same).
void blockStopSignals();

/// Waits for SIGTERM or SIGINT, blocked by blockStopSignals, and runs stopOnSignal with it and
/// `daemonLog`; the service's queue then ends the process. Call it once, from the main thread.
[[noreturn]] void stopOnFirstSignal(const SystemLog& daemonLog);

}  // namespace zorvik

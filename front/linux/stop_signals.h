#pragma once

namespace zorvik {

/// Gives SIGTERM and SIGINT their default action back and blocks them in the calling thread and
/// in every thread it starts later. Call it first in main, before any thread exists, so that
/// only waitForStopSignal receives them (children start with an empty mask all the same).
void blockStopSignals();

/// Waits for SIGTERM or SIGINT, blocked by blockStopSignals, and returns its number.
int waitForStopSignal();

}  // namespace zorvik

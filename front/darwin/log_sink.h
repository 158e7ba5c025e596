#pragma once

#include <memory>

#include "base/system_log.h"

namespace zorvik {

/// A sink that writes to the unified system log: one os_log object per subsystem and
/// category, created on first use and kept; info and error map to the levels of the same name.
std::shared_ptr<LogSink> makeSystemLogSink();

}  // namespace zorvik

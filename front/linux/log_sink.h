#pragma once

#include <memory>

#include "base/system_log.h"

namespace zorvik {

/// The Linux stand-in for the unified system log: "<category> <level>: <message>"
/// lines on standard error, one write each so lines of different threads stay whole.
std::shared_ptr<LogSink> makeSystemLogSink();

}  // namespace zorvik

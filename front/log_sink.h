#pragma once

#include <memory>

#include "base/system_log.h"

namespace zorvik {

/// The platform's system log as a sink. On macOS the unified log: one os_log object per
/// subsystem and category, created on first use and kept; info and error map to the levels
/// of the same name (front/darwin/log_sink.mm). On the Linux stand-in "<category> <level>:
/// <message>" lines on standard error, one write each so lines of different threads stay
/// whole (front/linux/log_sink.cpp).
std::shared_ptr<LogSink> makeSystemLogSink();

}  // namespace zorvik

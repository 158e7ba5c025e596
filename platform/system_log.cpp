#include "platform/system_log.h"

#include <unistd.h>

#include "base/fd_io.h"

namespace zorvik {

SystemLog::SystemLog(std::shared_ptr<LogSink> sink, std::string subsystem, std::string category)
    : sink_(std::move(sink)), subsystem_(std::move(subsystem)), category_(std::move(category)) {}

void SystemLog::info(const std::string& message) const {
  if (sink_) sink_->write(subsystem_, category_, LogLevel::info, message);
}

void SystemLog::error(const std::string& message) const {
  if (sink_) sink_->write(subsystem_, category_, LogLevel::error, message);
}

void StderrLogSink::write(const std::string&, const std::string& category, LogLevel level,
                          const std::string& message) {
  std::string line = category + (level == LogLevel::info ? " info: " : " error: ") + message + "\n";
  // One write per record keeps lines from different threads whole.
  writeAll(STDERR_FILENO, line);
}

}  // namespace zorvik

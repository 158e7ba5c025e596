#include "base/system_log.h"

namespace zorvik {

SystemLog::SystemLog(std::shared_ptr<LogSink> sink, std::string subsystem, std::string category)
    : sink_(std::move(sink)), subsystem_(std::move(subsystem)), category_(std::move(category)) {}

void SystemLog::info(const std::string& message) const {
  if (sink_) sink_->write(subsystem_, category_, LogLevel::info, message);
}

void SystemLog::error(const std::string& message) const {
  if (sink_) sink_->write(subsystem_, category_, LogLevel::error, message);
}

}  // namespace zorvik

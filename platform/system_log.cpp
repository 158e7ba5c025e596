#include "platform/system_log.h"


namespace zorvik {

SystemLog::SystemLog(std::shared_ptr<LogSink> sink, std::string subsystem, std::string category)
    : sink_(std::move(sink)), subsystem_(std::move(subsystem)), category_(std::move(category)) {}

void SystemLog::info(const std::string& message) const {
  if (sink_) sink_->write(subsystem_, category_, LogLevel::info, message);
}

void SystemLog::error(const std::string& message) const {
  if (sink_) sink_->write(subsystem_, category_, LogLevel::error, message);
}

void MemoryLogSink::write(const std::string& subsystem, const std::string& category,
                          LogLevel level, const std::string& message) {
  std::lock_guard lock(mutex_);
  records_.push_back({subsystem, category, level, message});
}

std::vector<MemoryLogSink::Record> MemoryLogSink::records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

std::vector<std::string> MemoryLogSink::messages() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& r : records_) out.push_back(r.message);
  return out;
}

void MemoryLogSink::clear() {
  std::lock_guard lock(mutex_);
  records_.clear();
}

}  // namespace zorvik

#include "testing/memory_log_sink.h"

namespace zorvik::test_support {

void MemoryLogSink::write(const std::string& subsystem, const std::string& category, LogLevel level,
                          const std::string& message) {
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

}  // namespace zorvik::test_support

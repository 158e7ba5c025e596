#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "base/system_log.h"

namespace zorvik::test_support {

/// Keeps every record in memory, for tests to read.
class MemoryLogSink final : public LogSink {
 public:
  struct Record {
    std::string subsystem;
    std::string category;
    LogLevel level;
    std::string message;
    bool operator==(const Record&) const = default;
  };

  void write(const std::string& subsystem, const std::string& category, LogLevel level,
             const std::string& message) override;

  std::vector<Record> records() const;
  /// Just the messages, in order, for compact assertions.
  std::vector<std::string> messages() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<Record> records_;
};

}  // namespace zorvik::test_support

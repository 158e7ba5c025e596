#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorvik {

enum class LogLevel { info, error };

/// Where system log records end up: the unified log on macOS, standard error
/// on Linux, memory in tests. Implementations must be thread-safe.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void write(const std::string& subsystem, const std::string& category, LogLevel level,
                     const std::string& message) = 0;
};

/// A log object with a fixed subsystem and category, like an os_log_t.
class SystemLog {
 public:
  SystemLog(std::shared_ptr<LogSink> sink, std::string subsystem, std::string category);

  void info(const std::string& message) const;
  void error(const std::string& message) const;

  const std::string& subsystem() const { return subsystem_; }
  const std::string& category() const { return category_; }

 private:
  std::shared_ptr<LogSink> sink_;
  std::string subsystem_;
  std::string category_;
};

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

}  // namespace zorvik

#pragma once

#include <memory>
#include <string>

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

 private:
  std::shared_ptr<LogSink> sink_;
  std::string subsystem_;
  std::string category_;
};

}  // namespace zorvik

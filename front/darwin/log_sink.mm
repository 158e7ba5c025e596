#include "front/log_sink.h"

#include <os/log.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace zorvik {
namespace {

class DarwinLogSink final : public LogSink {
 public:
  void write(const std::string& subsystem, const std::string& category, LogLevel level,
             const std::string& message) override {
    os_log_t log = logFor(subsystem, category);
    // The messages are public: they carry no secrets and must be readable in the log.
    if (level == LogLevel::info) {
      os_log_info(log, "%{public}s", message.c_str());
    } else {
      os_log_error(log, "%{public}s", message.c_str());
    }
  }

 private:
  os_log_t logFor(const std::string& subsystem, const std::string& category) {
    std::lock_guard lock(mutex_);
    // An object under ARC or a plain pointer, as OS_OBJECT_USE_OBJC decides; auto& fits both.
    auto& log = logs_[{subsystem, category}];
    if (!log) log = os_log_create(subsystem.c_str(), category.c_str());
    return log;
  }

  std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, os_log_t> logs_;
};

}  // namespace

std::shared_ptr<LogSink> makeSystemLogSink() { return std::make_shared<DarwinLogSink>(); }

}  // namespace zorvik

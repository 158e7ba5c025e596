#include "front/log_sink.h"

#include <unistd.h>

#include "base/fd_io.h"

namespace zorvik {
namespace {

class LinuxLogSink final : public LogSink {
 public:
  void write(const std::string&, const std::string& category, LogLevel level,
             const std::string& message) override {
    writeAll(STDERR_FILENO,
             category + (level == LogLevel::info ? " info: " : " error: ") + message + "\n");
  }
};

}  // namespace

std::shared_ptr<LogSink> makeSystemLogSink() { return std::make_shared<LinuxLogSink>(); }

}  // namespace zorvik

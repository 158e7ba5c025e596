#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/system_log.h"

namespace zorvik {

/// Followed by the number of refused connections whose records were not written.
inline constexpr const char* kRefusalsCounted = "ещё отклонено недоверенных подключений: ";

/// The sink the delegate logs to on Linux: what it logs while it admits a connection is held
/// back, and of refused connections only the first of each window is written as logged; the
/// others of that window are counted, and the count is written once the window is over. Any
/// local user can connect as fast as the machine allows; the log must not grow with that.
class RefusalLog final : public LogSink {
 public:
  /// A refused connection a second in full: enough to see who is refused and why.
  static constexpr std::chrono::milliseconds kWindow{1000};

  explicit RefusalLog(std::shared_ptr<LogSink> sink, std::chrono::milliseconds window = kWindow);
  /// Writes the count still held back.
  ~RefusalLog() override;
  RefusalLog(const RefusalLog&) = delete;
  RefusalLog& operator=(const RefusalLog&) = delete;

  void write(const std::string& subsystem, const std::string& category, LogLevel level,
             const std::string& message) override;

  /// One admission on the calling thread: what this thread logs meanwhile is held back.
  class Admission {
   public:
    explicit Admission(RefusalLog& log);
    /// Without finish(), the records held back are written as they came.
    ~Admission();
    Admission(const Admission&) = delete;
    Admission& operator=(const Admission&) = delete;

    /// Writes an admitted connection's records, or has a refused one's written or counted.
    void finish(bool admitted);

   private:
    friend class RefusalLog;
    struct Record {
      std::string subsystem;
      std::string category;
      LogLevel level;
      std::string message;
    };
    RefusalLog& log_;
    Admission* outer_;
    std::vector<Record> records_;
    bool finished_ = false;
  };

 private:
  using Clock = std::chrono::steady_clock;

  void writeAll(const std::vector<Admission::Record>& records);
  void refused(std::vector<Admission::Record> records);
  void writeCountWhenDue();
  /// With mutex_ held.
  void writeCountHeld();

  const std::shared_ptr<LogSink> sink_;
  const std::chrono::milliseconds window_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Clock::time_point> windowEnd_;
  std::size_t counted_ = 0;
  std::string countSubsystem_;
  std::string countCategory_;
  bool stopping_ = false;
  std::thread countWriter_;
};

}  // namespace zorvik

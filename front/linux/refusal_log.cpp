#include "front/linux/refusal_log.h"

namespace zorvik {
namespace {

// The admission under way on this thread, if any; the innermost when they nest.
thread_local RefusalLog::Admission* currentAdmission = nullptr;

}  // namespace

RefusalLog::RefusalLog(std::shared_ptr<LogSink> sink, std::chrono::milliseconds window)
    : sink_(std::move(sink)), window_(window) {
  countWriter_ = std::thread([this] { writeCountWhenDue(); });
}

RefusalLog::~RefusalLog() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  countWriter_.join();
}

void RefusalLog::write(const std::string& subsystem, const std::string& category, LogLevel level,
                       const std::string& message) {
  for (Admission* admission = currentAdmission; admission; admission = admission->outer_) {
    if (&admission->log_ == this) {
      admission->records_.push_back({subsystem, category, level, message});
      return;
    }
  }
  if (sink_) sink_->write(subsystem, category, level, message);
}

void RefusalLog::writeAll(const std::vector<Admission::Record>& records) {
  if (!sink_) return;
  for (const auto& record : records)
    sink_->write(record.subsystem, record.category, record.level, record.message);
}

void RefusalLog::refused(std::vector<Admission::Record> records) {
  std::unique_lock lock(mutex_);
  const auto now = Clock::now();
  if (windowEnd_ && now < *windowEnd_) {
    ++counted_;
    if (!records.empty()) {
      countSubsystem_ = records.back().subsystem;
      countCategory_ = records.back().category;
    }
    return;
  }
  // A window whose count the writer has not reached yet comes first.
  if (counted_ > 0) writeCountHeld();
  windowEnd_ = now + window_;
  lock.unlock();
  changed_.notify_all();
  writeAll(records);
}

void RefusalLog::writeCountHeld() {
  const std::string message = kRefusalsCounted + std::to_string(counted_);
  counted_ = 0;
  if (sink_) sink_->write(countSubsystem_, countCategory_, LogLevel::error, message);
}

void RefusalLog::writeCountWhenDue() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (!windowEnd_) {
      changed_.wait(lock);
      continue;
    }
    const auto end = *windowEnd_;
    if (Clock::now() < end) {
      changed_.wait_until(lock, end);
      continue;
    }
    if (counted_ > 0) writeCountHeld();
    if (windowEnd_ == end) windowEnd_.reset();
  }
  if (counted_ > 0) writeCountHeld();
}

RefusalLog::Admission::Admission(RefusalLog& log) : log_(log), outer_(currentAdmission) {
  currentAdmission = this;
}

RefusalLog::Admission::~Admission() {
  currentAdmission = outer_;
  if (!finished_) log_.writeAll(records_);
}

void RefusalLog::Admission::finish(bool admitted) {
  if (finished_) return;
  finished_ = true;
  currentAdmission = outer_;
  if (admitted) {
    log_.writeAll(records_);
  } else {
    log_.refused(std::move(records_));
  }
}

}  // namespace zorvik

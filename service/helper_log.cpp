#include "service/helper_log.h"

#include <ctime>
#include <exception>

#include "base/fd_io.h"
#include "base/system_log.h"
#include "platform/append_file.h"

namespace zorvik {

std::string formatLogTimestamp(std::chrono::system_clock::time_point time) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  if (::gmtime_r(&seconds, &utc) == nullptr) return "0000-00-00 00:00:00 +0000";
  char text[64];
  std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc);
  return std::string(text, length);
}

std::string formatLogRecord(std::chrono::system_clock::time_point time, std::string_view message) {
  // Appended piece by piece: GCC 12 at -O2 warns (wrongly) about "[" + a temporary.
  std::string record = "[";
  record += formatLogTimestamp(time);
  record += "] ";
  record.append(message);
  record += '\n';
  return record;
}

bool appendLogRecord(const std::string& path, std::string_view message) {
  try {
    std::string record = formatLogRecord(std::chrono::system_clock::now(), message);
    UniqueFd file = openAppendOnly(path);
    // One write of the whole record: with O_APPEND, concurrent writers cannot
    // interleave inside it or overwrite it.
    return file && writeAll(file.get(), record);
  } catch (const std::exception&) {
    return false;  // out of memory: the system log record stands
  }
}

void writeLogLine(const SystemLog& log, const std::string& logPath, const std::string& message) {
  try {
    log.info(message);
  } catch (const std::exception&) {
    // A sink that fails must not cost the file record, nor reach the caller.
  }
  appendLogRecord(logPath, message);
}

}  // namespace zorvik

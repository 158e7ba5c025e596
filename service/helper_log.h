#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace zorvik {

/// `time` in UTC as "YYYY-MM-DD hh:mm:ss +0000".
std::string formatLogTimestamp(std::chrono::system_clock::time_point time);

/// One helper log record: "[" timestamp "] " message and a line feed.
std::string formatLogRecord(std::chrono::system_clock::time_point time, std::string_view message);

/// Appends a record of `message`, stamped now, to the file at `path` with one
/// write. Returns false when the record could not be written; never throws.
bool appendLogRecord(const std::string& path, std::string_view message);

class SystemLog;

/// What logLine does: `message` to the system log `log`, then appended to the
/// helper log file at `logPath`. Never throws.
void writeLogLine(const SystemLog& log, const std::string& logPath, const std::string& message);

}  // namespace zorvik

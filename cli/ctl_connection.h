#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

#include "base/unique_fd.h"
#include "wire/wire_format.h"

namespace zorvik::ctl {

/// Connects to the helper's socket; throws std::runtime_error with the reason,
/// e.g. "cannot connect to PATH: No such file or directory".
UniqueFd connectToHelper(const std::string& socketPath);

/// The helper closed the connection before the request was written.
class HelperClosedConnection : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Writes `data` whole, without SIGPIPE; throws HelperClosedConnection when the
/// helper has closed the connection, std::runtime_error on any other failure.
void sendAll(int fd, const std::string& data);

/// Reads newline-terminated lines from a socket, each bounded in length.
class LineReader {
 public:
  enum class Result { line, closed, timedOut, tooLong };

  explicit LineReader(int fd, std::size_t maxLineBytes = kMaxLineBytes)
      : fd_(fd), maxLineBytes_(maxLineBytes) {}

  /// Waits at most `wait` for the next line and puts it (without "\n") in `line`.
  /// A read error counts as closed.
  Result readLine(std::string& line, std::chrono::milliseconds wait);

 private:
  int fd_;
  std::size_t maxLineBytes_;
  std::string buffer_;
};

}  // namespace zorvik::ctl

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "wire/wire_format.h"

namespace zorvik {

/// Splits a received byte stream into lines. Each byte is looked at once however the stream
/// is cut into reads: a line sent a byte at a time costs as much as one sent whole.
class LineBuffer {
 public:
  explicit LineBuffer(std::size_t maxLineBytes = kMaxLineBytes) : maxLineBytes_(maxLineBytes) {}

  /// Appends received bytes; lines returned by next() are invalid from here on.
  void append(std::string_view bytes);
  /// The next complete line, without its "\n", valid until the next call; nothing when none
  /// is complete or the stream is over the limit.
  std::optional<std::string_view> next();
  /// A line, complete or not, is longer than the limit: the stream cannot go on.
  bool overLimit() const { return overLimit_; }
  /// Bytes held that belong to no line returned yet.
  std::size_t unread() const { return buffer_.size() - start_; }
  /// How many bytes the search for line ends has looked at, over the buffer's life.
  std::size_t scannedBytes() const { return scannedTotal_; }

 private:
  /// Lets go of the bytes of lines already returned when nothing else is held.
  void releaseReturned();

  std::size_t maxLineBytes_;
  std::string buffer_;
  std::size_t start_ = 0;    ///< where the first line not yet returned begins
  std::size_t scanned_ = 0;  ///< bytes from start_ on known to hold no "\n"
  std::size_t scannedTotal_ = 0;
  bool overLimit_ = false;
};

}  // namespace zorvik

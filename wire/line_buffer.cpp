#include "wire/line_buffer.h"

#include <cstring>

namespace zorvik {
namespace {

// A buffer that once held a long line gives its memory back when it empties, rather than
// keep a megabyte per idle connection.
constexpr std::size_t kKeptCapacity = 64 * 1024;

}  // namespace

void LineBuffer::releaseReturned() {
  if (start_ != buffer_.size()) return;
  buffer_.clear();
  if (buffer_.capacity() > kKeptCapacity) std::string().swap(buffer_);
  start_ = 0;
}

void LineBuffer::append(std::string_view bytes) {
  releaseReturned();
  if (start_ > buffer_.size() / 2) {
    // Moving the rest forward once it is the smaller part keeps each byte's moves constant.
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
}

std::optional<std::string_view> LineBuffer::next() {
  if (overLimit_) return std::nullopt;
  // The line returned last is gone now: a connection that sent one long request and waits
  // for its reply holds no megabyte meanwhile.
  releaseReturned();
  const std::size_t from = start_ + scanned_;
  const std::size_t length = buffer_.size() - from;
  const void* found = length ? std::memchr(buffer_.data() + from, '\n', length) : nullptr;
  if (!found) {
    scannedTotal_ += length;
    scanned_ += length;
    overLimit_ = scanned_ > maxLineBytes_;
    return std::nullopt;
  }
  const auto end = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
  scannedTotal_ += end - from + 1;
  const std::string_view line(buffer_.data() + start_, end - start_);
  start_ = end + 1;
  scanned_ = 0;
  if (line.size() > maxLineBytes_) {
    overLimit_ = true;
    return std::nullopt;
  }
  return line;
}

}  // namespace zorvik

#include "front/linux/pending_bytes.h"

#include <malloc.h>

#include <algorithm>

#include "front/linux/connection_channel.h"
#include "wire/wire_format.h"

namespace zorvik {
namespace {

// Requests of a few megabytes at once: more than clients ever send, what a flood leaves behind.
constexpr std::size_t kTrimAfterBytes = 4 * kMaxLineBytes;

}  // namespace

PendingBytes::Hold::Hold(Hold&& other) noexcept
    : owner_(std::move(other.owner_)), bytes_(other.bytes_) {
  other.bytes_ = 0;
}

PendingBytes::Hold& PendingBytes::Hold::operator=(Hold&& other) noexcept {
  if (this != &other) {
    release();
    owner_ = std::move(other.owner_);
    bytes_ = other.bytes_;
    other.bytes_ = 0;
  }
  return *this;
}

void PendingBytes::Hold::release() {
  if (owner_) owner_->giveBack(bytes_);
  owner_.reset();
  bytes_ = 0;
}

std::optional<PendingBytes::Hold> PendingBytes::tryHold(
    std::size_t bytes, bool alone, const std::shared_ptr<ConnectionChannel>& waiter) {
  std::lock_guard lock(mutex_);
  if (!alone && held_ + bytes > limit_) {
    const auto same = [&](const std::weak_ptr<ConnectionChannel>& other) {
      return !other.owner_before(waiter) && !waiter.owner_before(other);
    };
    if (std::none_of(waiters_.begin(), waiters_.end(), same)) waiters_.push_back(waiter);
    return std::nullopt;
  }
  held_ += bytes;
  peak_ = std::max(peak_, held_);
  return Hold(shared_from_this(), bytes);
}

void PendingBytes::connectionEnded() {
  {
    std::lock_guard lock(mutex_);
    if (held_ > 0 || peak_ < kTrimAfterBytes) return;
    peak_ = 0;
  }
  // glibc would keep what the flood's buffers freed in its arenas for good; a few ms, once per
  // flood, on the thread of a connection that has ended.
  ::malloc_trim(0);
}

std::size_t PendingBytes::held() const {
  std::lock_guard lock(mutex_);
  return held_;
}

void PendingBytes::giveBack(std::size_t bytes) {
  std::vector<std::weak_ptr<ConnectionChannel>> waiters;
  {
    std::lock_guard lock(mutex_);
    held_ -= bytes;
    waiters.swap(waiters_);
  }
  // Each looks again and waits anew if its line still does not fit.
  for (const auto& waiter : waiters) {
    if (auto channel = waiter.lock()) channel->wake();
  }
}

}  // namespace zorvik

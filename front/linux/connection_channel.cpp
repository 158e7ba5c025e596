#include "front/linux/connection_channel.h"

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace zorvik {
namespace {

// A queue that once held many replies gives its memory back when it empties.
constexpr std::size_t kKeptQueueCapacity = 64 * 1024;

}  // namespace

ConnectionChannel::ConnectionChannel(UniqueFd socket, std::size_t maxQueuedBytes)
    : maxQueuedBytes_(maxQueuedBytes),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      socket_(std::move(socket)) {
  if (!wake_) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void ConnectionChannel::wake() {
  // Under the lock: close() may be ending the descriptor, whose number could then be another's.
  std::lock_guard lock(mutex_);
  if (!wake_) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
}

void ConnectionChannel::clearWake() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(wake_.get(), &count, sizeof count);
}

bool ConnectionChannel::queueHeld(const std::string& line) {
  if (closed_ || dropped_ || abandoned_) return false;
  const std::size_t queued = queued_.size() - sentOffset_;
  // One reply always fits, however long its echoed id.
  if (queued > 0 && queued + line.size() > maxQueuedBytes_) {
    dropped_ = true;
    std::string().swap(queued_);
    sentOffset_ = 0;
    return false;
  }
  if (sentOffset_ > queued_.size() / 2) {
    queued_.erase(0, sentOffset_);
    sentOffset_ = 0;
  }
  queued_ += line;
  return true;
}

bool ConnectionChannel::write(const std::string& line) {
  std::lock_guard lock(mutex_);
  return queueHeld(line);
}

std::optional<std::size_t> ConnectionChannel::send() {
  std::lock_guard lock(mutex_);
  if (closed_ || dropped_ || abandoned_) return std::nullopt;
  std::size_t sent = 0;
  while (sentOffset_ < queued_.size()) {
    const ssize_t n = ::send(socket_.get(), queued_.data() + sentOffset_,
                             queued_.size() - sentOffset_, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) return std::nullopt;
    sentOffset_ += static_cast<std::size_t>(n);
    sent += static_cast<std::size_t>(n);
  }
  if (sentOffset_ == queued_.size()) {
    queued_.clear();
    sentOffset_ = 0;
    if (queued_.capacity() > kKeptQueueCapacity) std::string().swap(queued_);
  }
  return sent;
}

std::size_t ConnectionChannel::queuedBytes() {
  std::lock_guard lock(mutex_);
  return queued_.size() - sentOffset_;
}

void ConnectionChannel::abandon() {
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  wake();
}

bool ConnectionChannel::ending() {
  std::lock_guard lock(mutex_);
  return abandoned_ || dropped_;
}

void ConnectionChannel::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  socket_.reset();
  // The finished connection's record lives until the next accept; its descriptors need not.
  wake_.reset();
  std::string().swap(queued_);
  sentOffset_ = 0;
}

void ConnectionChannel::replyPending() {
  std::lock_guard lock(mutex_);
  ++pending_;
}

void ConnectionChannel::replyDone(const std::string* line) {
  {
    std::lock_guard lock(mutex_);
    --pending_;
    if (line) queueHeld(*line);
  }
  wake();
}

std::size_t ConnectionChannel::pendingReplies() {
  std::lock_guard lock(mutex_);
  return pending_;
}

ReplyTicket::ReplyTicket(std::shared_ptr<ConnectionChannel> channel, PendingBytes::Hold hold)
    : channel_(std::move(channel)), hold_(std::move(hold)) {
  channel_->replyPending();
}

ReplyTicket::~ReplyTicket() { done(nullptr); }

void ReplyTicket::send(const std::string& line) { done(&line); }

void ReplyTicket::done(const std::string* line) {
  if (done_.exchange(true)) return;
  channel_->replyDone(line);
  // After the reply is queued: a connection woken by the bytes given back sees it.
  hold_.release();
}

}  // namespace zorvik

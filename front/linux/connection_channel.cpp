#include "front/linux/connection_channel.h"

#include <sys/socket.h>

#include "base/fd_io.h"
#include "platform/socket_io.h"

namespace zorvik {

ConnectionChannel::ConnectionChannel(UniqueFd socket) : socket_(std::move(socket)) {}

bool ConnectionChannel::write(const std::string& line) {
  std::lock_guard lock(writeMutex_);
  if (closed_) return false;
  if (writeAll(socket_.get(), line, sendNoSignal)) return true;
  // A half-written line would garble the stream; end the connection instead.
  ::shutdown(socket_.get(), SHUT_RDWR);
  return false;
}

void ConnectionChannel::abandon() {
  {
    std::lock_guard lock(writeMutex_);
    if (!closed_) ::shutdown(socket_.get(), SHUT_RDWR);
  }
  std::lock_guard lock(pendingMutex_);
  abandoned_ = true;
  pendingChanged_.notify_all();
}

void ConnectionChannel::close() {
  std::lock_guard lock(writeMutex_);
  closed_ = true;
  socket_.reset();
}

void ConnectionChannel::replyPending() {
  std::lock_guard lock(pendingMutex_);
  ++pending_;
}

void ConnectionChannel::replyDone() {
  std::lock_guard lock(pendingMutex_);
  --pending_;
  pendingChanged_.notify_all();
}

bool ConnectionChannel::hasPendingReplies() {
  std::lock_guard lock(pendingMutex_);
  return pending_ > 0;
}

void ConnectionChannel::waitForReplies() {
  std::unique_lock lock(pendingMutex_);
  pendingChanged_.wait(lock, [&] { return pending_ == 0 || abandoned_; });
}

ReplyTicket::ReplyTicket(std::shared_ptr<ConnectionChannel> channel)
    : channel_(std::move(channel)) {
  channel_->replyPending();
}

ReplyTicket::~ReplyTicket() {
  if (!done_.exchange(true)) channel_->replyDone();
}

void ReplyTicket::send(const std::string& line) {
  if (done_.exchange(true)) return;
  channel_->write(line);
  channel_->replyDone();
}

}  // namespace zorvik

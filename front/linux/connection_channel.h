#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/unique_fd.h"
#include "front/linux/pending_bytes.h"

namespace zorvik {

/// One connection's socket as its own thread and the repliers share it. Replies are queued
/// here, whole lines, and sent by the connection's thread only: a peer that reads slowly or not
/// at all holds up nobody but itself. Once the connection is closed or dropped, replies are
/// dropped.
class ConnectionChannel {
 public:
  /// `socket` is non-blocking. Throws std::system_error when no wake descriptor can be made.
  ConnectionChannel(UniqueFd socket, std::size_t maxQueuedBytes);

  /// The socket, for the connection's own thread.
  int fd() const { return socket_.get(); }
  /// Readable when the connection's thread has something new to look at.
  int wakeFd() const { return wake_.get(); }
  /// Makes wakeFd() readable.
  void wake();
  /// The connection's thread, once wakeFd() was readable.
  void clearWake();

  /// Queues `line` for the connection's thread. A line that would take what is queued over
  /// the cap drops the connection: its peer does not read its replies. False when the
  /// connection is gone.
  bool write(const std::string& line);
  /// The connection's thread: sends what is queued as far as the socket takes it without
  /// waiting; the bytes sent, or nothing when the connection is broken or dropped.
  std::optional<std::size_t> send();
  /// Bytes queued and not yet sent.
  std::size_t queuedBytes();

  /// Has the connection's thread end the connection; the descriptor stays open.
  void abandon();
  /// Whether the connection is to end: abandoned, or dropped for its queued replies.
  bool ending();
  /// Closes both descriptors; later replies are dropped.
  void close();

  /// Counts a request whose reply is still to come.
  void replyPending();
  /// Counts that reply as done, queuing `line` first when there is one, and wakes the
  /// connection's thread.
  void replyDone(const std::string* line);
  /// Requests whose replies are still to come.
  std::size_t pendingReplies();

 private:
  bool queueHeld(const std::string& line);

  const std::size_t maxQueuedBytes_;
  std::mutex mutex_;
  UniqueFd wake_;
  UniqueFd socket_;
  std::string queued_;
  std::size_t sentOffset_ = 0;
  std::size_t pending_ = 0;
  bool closed_ = false;
  bool dropped_ = false;
  bool abandoned_ = false;
};

/// The one reply a request gets. Sending twice sends once; a ticket destroyed
/// unsent (its reply closure dropped) still counts as done, so nobody waits for it.
/// It holds the request's bytes against the pending bound until then.
class ReplyTicket {
 public:
  ReplyTicket(std::shared_ptr<ConnectionChannel> channel, PendingBytes::Hold hold);
  ~ReplyTicket();
  ReplyTicket(const ReplyTicket&) = delete;
  ReplyTicket& operator=(const ReplyTicket&) = delete;

  void send(const std::string& line);

 private:
  void done(const std::string* line);

  std::shared_ptr<ConnectionChannel> channel_;
  PendingBytes::Hold hold_;
  std::atomic<bool> done_{false};
};

}  // namespace zorvik

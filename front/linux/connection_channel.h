#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "base/unique_fd.h"

namespace zorvik {

/// One connection's socket as its reader and its repliers share it. Writes are
/// whole lines, one at a time; once the connection is closed, replies are dropped.
class ConnectionChannel {
 public:
  explicit ConnectionChannel(UniqueFd socket);

  /// The socket, for reading on the connection's own thread.
  int fd() const { return socket_.get(); }

  /// Writes `line` whole, without SIGPIPE; false when the connection is gone.
  /// A peer that does not read for the send time-out loses its connection.
  bool write(const std::string& line);

  /// Wakes a blocked reader and anyone waiting for replies; the descriptor stays open.
  void abandon();
  /// Closes the descriptor; later replies are dropped.
  void close();

  /// Counts a request whose reply is still to come.
  void replyPending();
  /// Counts that reply as delivered (or dropped).
  void replyDone();
  /// Waits until every pending reply is done, or the channel is abandoned.
  void waitForReplies();
  /// Whether a request's reply is still to come.
  bool hasPendingReplies();

 private:
  std::mutex writeMutex_;
  UniqueFd socket_;
  bool closed_ = false;

  std::mutex pendingMutex_;
  std::condition_variable pendingChanged_;
  std::size_t pending_ = 0;
  bool abandoned_ = false;
};

/// The one reply a request gets. Sending twice sends once; a ticket destroyed
/// unsent (its reply closure dropped) still counts as done, so nobody waits for it.
class ReplyTicket {
 public:
  explicit ReplyTicket(std::shared_ptr<ConnectionChannel> channel);
  ~ReplyTicket();
  ReplyTicket(const ReplyTicket&) = delete;
  ReplyTicket& operator=(const ReplyTicket&) = delete;

  void send(const std::string& line);

 private:
  std::shared_ptr<ConnectionChannel> channel_;
  std::atomic<bool> done_{false};
};

}  // namespace zorvik

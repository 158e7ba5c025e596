#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zorvik {

class ConnectionChannel;

/// The bytes of the request lines that all connections together have handed to the service
/// and whose replies are still to come: what a flood of large requests would pile up in the
/// service's queue.
class PendingBytes : public std::enable_shared_from_this<PendingBytes> {
 public:
  explicit PendingBytes(std::size_t limit) : limit_(limit) {}

  /// Bytes taken until the reply; given back when it is destroyed.
  class Hold {
   public:
    Hold() = default;
    Hold(Hold&& other) noexcept;
    Hold& operator=(Hold&& other) noexcept;
    ~Hold() { release(); }
    void release();

   private:
    friend class PendingBytes;
    Hold(std::shared_ptr<PendingBytes> owner, std::size_t bytes)
        : owner_(std::move(owner)), bytes_(bytes) {}
    std::shared_ptr<PendingBytes> owner_;
    std::size_t bytes_ = 0;
  };

  /// A hold on `bytes` when they fit under the limit, or when the connection has nothing else
  /// pending (`alone`): each client gets one request through whatever the others hold. Nothing
  /// otherwise, and `waiter` is woken when bytes are given back.
  std::optional<Hold> tryHold(std::size_t bytes, bool alone,
                              const std::shared_ptr<ConnectionChannel>& waiter);
  std::size_t held() const;
  /// A connection has ended: when nothing is held now and a flood was held since the last
  /// time, the memory freed meanwhile goes back to the system.
  void connectionEnded();

 private:
  void giveBack(std::size_t bytes);

  const std::size_t limit_;
  mutable std::mutex mutex_;
  std::size_t held_ = 0;
  std::size_t peak_ = 0;  ///< the most held since the memory was last given back
  std::vector<std::weak_ptr<ConnectionChannel>> waiters_;
};

}  // namespace zorvik

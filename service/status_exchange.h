#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace zorvik {

/// The daemon's counters asked for off the service queue, one exchange at a time: status
/// requests that come while an exchange is under way share its answer, so none waits behind
/// another for a daemon that does not answer, and the queue waits for none of them.
class StatusExchange {
 public:
  using Totals = std::pair<std::uint64_t, std::uint64_t>;
  using Answer = std::function<void(Totals)>;

  /// Gives `answer` the totals of the exchange under way, or of `exchange` run now on a worker
  /// thread of its own. Every answer is called exactly once, on that thread.
  void join(std::function<Totals()> exchange, Answer answer);

  /// Waits until no exchange is under way and its answers are given: at most one exchange.
  void waitUntilIdle();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable idle;
    bool running = false;
    std::vector<Answer> waiting;
  };
  static void run(const std::shared_ptr<State>& state, const std::function<Totals()>& exchange);

  // Shared with the worker, which may outlive this object.
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace zorvik

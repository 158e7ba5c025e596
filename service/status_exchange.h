#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "config/uapi_client.h"

namespace zorvik {

/// The daemon's counters asked for off the service queue, one exchange at a time: status
/// requests that come while an exchange is under way share its answer, so none waits behind
/// another for a daemon that does not answer, and the queue waits for none of them.
class StatusExchange {
 public:
  using Totals = DaemonCounters;
  using Answer = std::function<void(const Totals&)>;

  StatusExchange() = default;
  /// Lets the exchange under way end (its own deadline bounds it) and answers its waiters.
  ~StatusExchange();
  StatusExchange(const StatusExchange&) = delete;
  StatusExchange& operator=(const StatusExchange&) = delete;

  /// Gives `answer` the totals of the exchange under way, or of `exchange` run now on the
  /// worker thread. Every answer is called exactly once, on that thread.
  void join(std::function<Totals()> exchange, Answer answer);

  /// Waits until no exchange is under way and its answers are given: at most one exchange.
  void waitUntilIdle();

 private:
  void work();
  /// Runs the exchange asked for and gives its answers; `lock` is held before and after.
  void runExchange(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<Totals()> exchange_;  // asked for, not yet taken by the worker
  bool running_ = false;              // from the first join until its answers are given
  bool stopping_ = false;
  bool workerEnded_ = false;  // the worker returned after lingering idle; join before a new one
  std::vector<Answer> waiting_;
  /// How long the worker waits for the next exchange before it ends.
  static constexpr std::chrono::seconds kIdleLinger{1};
  // Started at an exchange and kept while status requests keep coming: a thread that is
  // already there wakes sooner than a new one is scheduled.
  std::thread worker_;
};

}  // namespace zorvik

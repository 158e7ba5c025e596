#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace zorvik {

/// One worker thread running submitted work one item at a time, in submission
/// order. Destruction runs what is already queued, then joins the worker.
class SerialQueue {
 public:
  SerialQueue();
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  /// Queues `work` and returns at once. Work submitted after shutdown is dropped.
  void async(std::function<void()> work);

  /// Queues `work` to run once `delay` has passed, after what was queued before its time; the
  /// worker waits for it without a thread of its own. Work still waiting for its time at
  /// shutdown is dropped.
  void asyncAfter(std::chrono::steady_clock::duration delay, std::function<void()> work);

  /// Runs what is queued, then stops and joins the worker. Safe to call twice.
  void shutdown();

  /// True on the queue's own worker thread.
  bool isCurrent() const;

 private:
  // Shared with the worker, so a queue dropped from inside its own work item
  // leaves the worker a valid state to finish with.
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> pending;
    /// Work waiting for its time, earliest first.
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> timed;
    bool stopping = false;
  };
  static void run(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
  std::thread worker_;
};

}  // namespace zorvik

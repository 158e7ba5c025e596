#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
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
    bool stopping = false;
  };
  static void run(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
  std::thread worker_;
};

}  // namespace zorvik

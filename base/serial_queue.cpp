#include "base/serial_queue.h"

namespace zorvik {

SerialQueue::SerialQueue() : state_(std::make_shared<State>()) {
  worker_ = std::thread([state = state_] { run(state); });
}

SerialQueue::~SerialQueue() { shutdown(); }

void SerialQueue::async(std::function<void()> work) {
  // Once the work is queued it may run and drop the last owner of this queue
  // before we get to notify, so nothing of `this` is touched after the push.
  const std::shared_ptr<State> state = state_;
  {
    std::lock_guard lock(state->mutex);
    if (state->stopping) return;
    state->pending.push_back(std::move(work));
  }
  state->wake.notify_one();
}

void SerialQueue::asyncAfter(std::chrono::steady_clock::duration delay,
                             std::function<void()> work) {
  const std::shared_ptr<State> state = state_;
  {
    std::lock_guard lock(state->mutex);
    if (state->stopping) return;
    state->timed.emplace(std::chrono::steady_clock::now() + delay, std::move(work));
  }
  // The worker may be waiting for a later time, or for nothing.
  state->wake.notify_one();
}

void SerialQueue::shutdown() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_one();
  if (!worker_.joinable()) return;
  // Joining from the worker itself would deadlock; it finishes on its own.
  if (isCurrent()) {
    worker_.detach();
  } else {
    worker_.join();
  }
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }

void SerialQueue::run(const std::shared_ptr<State>& state) {
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock lock(state->mutex);
      for (;;) {
        // Work whose time has come joins the end of the line, in the order of its times.
        while (!state->stopping && !state->timed.empty() &&
               state->timed.begin()->first <= std::chrono::steady_clock::now()) {
          state->pending.push_back(std::move(state->timed.begin()->second));
          state->timed.erase(state->timed.begin());
        }
        if (state->stopping || !state->pending.empty()) break;
        if (state->timed.empty()) {
          state->wake.wait(lock);
        } else {
          state->wake.wait_until(lock, state->timed.begin()->first);
        }
      }
      if (state->pending.empty()) return;
      work = std::move(state->pending.front());
      state->pending.pop_front();
    }
    try {
      work();
    } catch (...) {
      // The work reports its own failures where it can; the queue must go on
      // serving what comes after it, and no exception may end the thread.
    }
  }
}

}  // namespace zorvik

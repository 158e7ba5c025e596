#include "service/status_exchange.h"

#include <thread>

namespace zorvik {

void StatusExchange::join(std::function<Totals()> exchange, Answer answer) {
  {
    std::lock_guard lock(state_->mutex);
    state_->waiting.push_back(std::move(answer));
    if (state_->running) return;
    state_->running = true;
  }
  try {
    std::thread([state = state_, exchange] { run(state, exchange); }).detach();
  } catch (...) {
    // No thread to spare: the exchange runs here, bounded by its own deadline, and the
    // answers waiting for it are not left behind.
    run(state_, exchange);
  }
}

void StatusExchange::waitUntilIdle() {
  std::unique_lock lock(state_->mutex);
  state_->idle.wait(lock, [this] { return !state_->running; });
}

void StatusExchange::run(const std::shared_ptr<State>& state,
                         const std::function<Totals()>& exchange) {
  Totals totals{0, 0};
  try {
    totals = exchange();
  } catch (...) {
    // Counted as no answer, as a daemon that does not answer is.
  }
  std::unique_lock lock(state->mutex);
  // Those who join while the answers go out get the same totals: fresh enough, and nobody is
  // left behind an exchange that has ended.
  while (!state->waiting.empty()) {
    std::vector<Answer> answers;
    answers.swap(state->waiting);
    lock.unlock();
    for (const Answer& answer : answers) {
      try {
        answer(totals);
      } catch (...) {
      }
    }
    lock.lock();
  }
  state->running = false;
  lock.unlock();
  state->idle.notify_all();
}

}  // namespace zorvik

#include "service/status_exchange.h"

namespace zorvik {

StatusExchange::~StatusExchange() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void StatusExchange::join(std::function<Totals()> exchange, Answer answer) {
  std::unique_lock lock(mutex_);
  waiting_.push_back(std::move(answer));
  if (running_) return;
  running_ = true;
  exchange_ = std::move(exchange);
  // A worker that ended idle is joined here; it returned right after saying so.
  if (workerEnded_ && worker_.joinable()) {
    worker_.join();
    workerEnded_ = false;
  }
  if (!worker_.joinable()) {
    try {
      worker_ = std::thread([this] { work(); });
    } catch (...) {
      // No thread to spare: the exchange runs here, bounded by its own deadline, and the
      // answers waiting for it are not left behind.
      runExchange(lock);
      return;
    }
  }
  lock.unlock();
  changed_.notify_all();
}

void StatusExchange::waitUntilIdle() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !running_; });
}

void StatusExchange::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // Idle for a while, it ends, so an idle helper keeps no thread for a tunnel's status.
    if (!changed_.wait_for(lock, kIdleLinger, [this] { return stopping_ || exchange_; })) {
      workerEnded_ = true;
      return;
    }
    // One asked for before the stop is still run, so its waiters are answered.
    if (exchange_) {
      runExchange(lock);
    } else {
      return;
    }
  }
}

void StatusExchange::runExchange(std::unique_lock<std::mutex>& lock) {
  const std::function<Totals()> exchange = std::move(exchange_);
  exchange_ = nullptr;
  lock.unlock();
  Totals totals;
  try {
    totals = exchange();
  } catch (...) {
    // Counted as no answer, as a daemon that does not answer is.
  }
  lock.lock();
  // Those who join while the answers go out get the same totals: fresh enough, and nobody is
  // left behind an exchange that has ended.
  while (!waiting_.empty()) {
    std::vector<Answer> answers;
    answers.swap(waiting_);
    lock.unlock();
    for (const Answer& answer : answers) {
      try {
        answer(totals);
      } catch (...) {
      }
    }
    lock.lock();
  }
  running_ = false;
  changed_.notify_all();
}

}  // namespace zorvik

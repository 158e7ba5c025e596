#include "base/serial_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <vector>

namespace zorvik {
namespace {

TEST(SerialQueue, RunsWorkInSubmissionOrderOnOneThread) {
  std::vector<int> order;
  std::vector<std::thread::id> threads;
  {
    SerialQueue queue;
    for (int i = 0; i < 100; ++i) {
      queue.async([&, i] {
        order.push_back(i);
        threads.push_back(std::this_thread::get_id());
      });
    }
  }  // destruction drains
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  for (auto id : threads) EXPECT_EQ(id, threads.front());
  EXPECT_NE(threads.front(), std::this_thread::get_id());
}

TEST(SerialQueue, AsyncReturnsBeforeTheWorkRuns) {
  SerialQueue queue;
  std::promise<void> release;
  auto released = release.get_future().share();
  std::atomic<bool> ran{false};
  queue.async([released] { released.wait(); });
  queue.async([&] { ran = true; });
  EXPECT_FALSE(ran.load());
  release.set_value();
  queue.shutdown();
  EXPECT_TRUE(ran.load());
}

TEST(SerialQueue, IsCurrentOnlyOnTheWorker) {
  SerialQueue queue;
  std::promise<bool> onWorker;
  queue.async([&] { onWorker.set_value(queue.isCurrent()); });
  EXPECT_TRUE(onWorker.get_future().get());
  EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueue, WorkAfterShutdownIsDropped) {
  SerialQueue queue;
  queue.shutdown();
  bool ran = false;
  queue.async([&] { ran = true; });
  queue.shutdown();
  EXPECT_FALSE(ran);
}

// Timed work runs in the order of its times, on the worker, whatever the order it was queued
// in; work whose time has not come by the shutdown is dropped, and the shutdown does not wait
// for it.
TEST(SerialQueue, TimedWorkRunsInTheOrderOfItsTimesAndIsDroppedAtShutdown) {
  using std::chrono::hours;
  using std::chrono::milliseconds;
  std::vector<int> order;
  std::promise<void> last;
  bool late = false;
  SerialQueue queue;
  queue.asyncAfter(hours(1), [&] { late = true; });
  queue.asyncAfter(milliseconds(60), [&] {
    order.push_back(3);
    last.set_value();
  });
  queue.asyncAfter(milliseconds(20), [&] { order.push_back(2); });
  queue.async([&] { order.push_back(1); });
  ASSERT_EQ(last.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  queue.shutdown();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_FALSE(late);
}

// Repeated so that the work often drops the queue while async is still returning;
// async must not touch the queue then (the sanitizer builds see it if it does).
TEST(SerialQueue, MayBeDestroyedFromItsOwnWork) {
  for (int round = 0; round < 200; ++round) {
    auto queue = std::make_shared<SerialQueue>();
    std::promise<void> done;
    auto* raw = queue.get();
    raw->async([owned = std::move(queue), &done]() mutable {
      owned.reset();  // last owner, on the worker thread
      done.set_value();
    });
    ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "round " << round;
  }
}

}  // namespace
}  // namespace zorvik

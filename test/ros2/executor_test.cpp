// The executor sleeps until something is due, takes one sample per subscription on a wake, lets
// futures time out, and spins each node in one executor on one thread at a time.

#include "ros2/executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "harness.h"

namespace {

using F64Array = std_msgs::msg::Float64MultiArray;

class Ros2Executor : public ros2_test::Ros2Test {
 protected:
  void SetUp() override {
    Ros2Test::SetUp();
    node_ = node("executor_test");
  }
  ros2::Node::SharedPtr node_;
};

// Cancel, new entities and timer changes each trigger a guard condition that must be reset, or
// every later wait returns at once; resetting a canceled timer wakes the waiting executor.
TEST_F(Ros2Executor, SleepsWhileNothingIsDueAndWakesForAResetTimer) {
  exec_.cancel();
  exec_.spin();
  auto sub = node_->create_subscription<F64Array>("idle", 10, [](const F64Array&) {});
  std::atomic<int> ticks{0}, wakes{0};
  auto timer = node_->create_wall_timer(20ms, [&] { ticks.fetch_add(1); });
  timer->cancel();
  timer->reset();
  timer->cancel();
  exec_.spin_once(0ns);
  std::thread spinner([&] {
    exec_.spin_once();
    wakes.fetch_add(1);
  });
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(wakes.load() + ticks.load(), 0);
  timer->reset();
  EXPECT_TRUE(ros2_test::wait_until([&] { return wakes.load() == 1; }));
  spinner.join();
  EXPECT_TRUE(spin_until([&] { return ticks.load() == 1; }));
  std::promise<void> never;
  EXPECT_EQ(exec_.spin_until_future_complete(never.get_future(), 30ms),
            ros2::FutureReturnCode::TIMEOUT);
}

// A busy topic cannot hold the others back. Readers of the same process get the samples before
// publish() returns.
TEST_F(Ros2Executor, AWakeTakesOneSamplePerSubscription) {
  int busy = 0, other = 0;
  auto busy_sub =
      node_->create_subscription<F64Array>("busy", 100, [&](const F64Array&) { ++busy; });
  auto other_sub =
      node_->create_subscription<F64Array>("other", 10, [&](const F64Array&) { ++other; });
  auto busy_pub = node_->create_publisher<F64Array>("busy", 100);
  auto other_pub = node_->create_publisher<F64Array>("other", 10);
  ASSERT_TRUE(ros2_test::wait_until([&] {
    return busy_pub->get_subscription_count() + other_pub->get_subscription_count() == 2;
  }));
  for (int i = 0; i < 20; ++i) busy_pub->publish(F64Array{});
  other_pub->publish(F64Array{});
  exec_.spin_once(2s);
  EXPECT_EQ(std::make_pair(busy, other), std::make_pair(1, 1));
  exec_.spin_some();
  EXPECT_EQ(busy, 20);
}

TEST_F(Ros2Executor, SpinningTwiceAndAddingANodeToASecondExecutorThrow) {
  ros2::Executor other;
  EXPECT_THROW(other.add_node(node_), std::runtime_error);
  std::string nested;
  auto timer = node_->create_wall_timer(1ms, [&] {
    try {
      exec_.spin_some();
    } catch (const std::runtime_error& e) {
      nested = e.what();
    }
    exec_.cancel();
  });
  exec_.spin();
  EXPECT_EQ(nested, "spin_some() called while already spinning");
  exec_.remove_node(node_);
  EXPECT_NO_THROW(other.add_node(node_));
}

}  // namespace

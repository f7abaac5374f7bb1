// The executor sleeps until something is due, a wake for a sample allocates nothing, and it is
// spun by one thread at a time with each node in one executor.

#include "ros2/executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "harness.h"

namespace {

// Allocations made by the thread that set counting.
thread_local bool t_counting = false;
std::atomic<int> g_allocations{0};

}  // namespace

// Replaced as a pair: GCC cannot see that free() here matches the malloc() in new.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (t_counting) g_allocations.fetch_add(1);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace std::chrono_literals;
using ros2_test::wait_until;
using F64Array = std_msgs::msg::Float64MultiArray;

class Ros2Executor : public ::testing::Test {
 protected:
  void SetUp() override {
    ros2_test::init();
    node_ = std::make_shared<ros2::Node>("executor_test");
    exec_.add_node(node_);
  }
  void TearDown() override { ros2::shutdown(); }

  ros2::Executor exec_;
  ros2::Node::SharedPtr node_;
};

TEST_F(Ros2Executor, SleepsWhileNothingIsDueAfterCancelEntityChangesAndTimerChanges) {
  // Each of these triggers a guard condition that must be reset, or every later wait returns
  // at once.
  exec_.cancel();
  exec_.spin();
  auto sub = node_->create_subscription<F64Array>("idle", 10, [](const F64Array&) {});
  auto timer = node_->create_wall_timer(10s, [] {});
  timer->cancel();
  timer->reset();
  timer->cancel();
  exec_.spin_once(0ns);

  std::atomic<int> wakes{0};
  std::thread spinner([&] {
    exec_.spin_once();  // nothing is due: returns only on cancel()
    wakes.fetch_add(1);
  });
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(wakes.load(), 0);
  exec_.cancel();
  spinner.join();
}

TEST_F(Ros2Executor, ResettingACanceledTimerWakesTheWaitingExecutor) {
  std::atomic<int> ticks{0};
  auto timer = node_->create_wall_timer(20ms, [&] { ticks.fetch_add(1); });
  timer->cancel();
  std::thread spinner([&] { exec_.spin(); });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ticks.load(), 0);
  timer->reset();
  EXPECT_TRUE(wait_until([&] { return ticks.load() > 0; }));
  exec_.cancel();
  spinner.join();
}

TEST_F(Ros2Executor, AWakeForASampleAllocatesNothingOnceWarm) {
  int received = 0;
  auto sub = node_->create_subscription<F64Array>(
      "warm", 10, [&](const F64Array& m) { received += m.data.size() == 6; });
  auto pub = node_->create_publisher<F64Array>("warm", 10);
  ASSERT_TRUE(wait_until([&] { return pub->get_subscription_count() > 0; }));
  F64Array m;
  m.layout.dim = {{"values", 6, 6}};
  m.data = {1, 2, 3, 4, 5, 6};
  pub->publish(m);
  ASSERT_TRUE(ros2_test::spin_until(exec_, [&] { return received == 1; }));
  pub->publish(m);
  t_counting = true;
  exec_.spin_once(2s);
  t_counting = false;
  EXPECT_EQ(received, 2);
  EXPECT_EQ(g_allocations.load(), 0);
}

// A busy topic cannot hold the others back: each wake takes one sample per subscription.
TEST_F(Ros2Executor, EachWakeRunsOneSamplePerSubscription) {
  int busy = 0, stop = 0;
  auto busy_sub =
      node_->create_subscription<F64Array>("busy", 100, [&](const F64Array&) { ++busy; });
  auto stop_sub =
      node_->create_subscription<F64Array>("stop", 10, [&](const F64Array&) { ++stop; });
  auto busy_pub = node_->create_publisher<F64Array>("busy", 100);
  auto stop_pub = node_->create_publisher<F64Array>("stop", 10);
  ASSERT_TRUE(wait_until([&] {
    return busy_pub->get_subscription_count() > 0 && stop_pub->get_subscription_count() > 0;
  }));
  exec_.spin_some();
  // Readers of the same process get the samples before publish() returns.
  for (int i = 0; i < 20; ++i) busy_pub->publish(F64Array{});
  stop_pub->publish(F64Array{});
  exec_.spin_once(1s);
  EXPECT_EQ(std::make_pair(busy, stop), std::make_pair(1, 1));
  exec_.spin_some();
  EXPECT_EQ(busy, 20);
}

TEST_F(Ros2Executor, SpinningTwiceAndAddingANodeToASecondExecutorThrow) {
  ros2::Executor other;
  EXPECT_THROW(other.add_node(node_), std::runtime_error);
  bool nested_threw = false;
  auto timer = node_->create_wall_timer(1ms, [&] {
    try {
      exec_.spin_some();
    } catch (const std::runtime_error& e) {
      nested_threw = std::string(e.what()) == "spin_some() called while already spinning";
    }
    exec_.cancel();
  });
  exec_.spin();
  EXPECT_TRUE(nested_threw);
  exec_.remove_node(node_);
  EXPECT_NO_THROW(other.add_node(node_));
}

}  // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "controller_frame/interpolator.h"
#include "controller_frame/steady_loop_clock.h"
#include "support/interpolator_test_fixture.h"

namespace brenvik {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using testing::CommandCounter;
using testing::Counted;
using testing::InterpolatorTest;

class InterpolatorRunTest : public InterpolatorTest {
 protected:
  void SetUp() override {
    InterpolatorTest::SetUp();
    start_ = clock_->now();
    // Each period's work starts with the first motor read: record its time, then spend the
    // scripted work time.
    arm_.motors[0]->on_position_read = [this] {
      period_starts_.push_back(clock_->now());
      const size_t k = period_starts_.size() - 1;
      clock_->advance(k < work_.size() ? work_[k] : default_work_);
    };
  }

  // Runs the real loop for `periods` periods on the fake clock; returns its console output.
  std::string runPeriods(int periods) {
    clock_->on_sleep = [this, periods] {
      if (static_cast<int>(period_starts_.size()) >= periods) {
        interpolator_->requestExit();
      }
    };
    ::testing::internal::CaptureStdout();
    interpolator_->run();
    return ::testing::internal::GetCapturedStdout();
  }

  nanoseconds start_{};
  std::vector<nanoseconds> period_starts_;
  std::vector<nanoseconds> work_;
  nanoseconds default_work_ = microseconds(3400);
};

// With 3.4 ms of work per period (the default here) the periods stay on the 5 ms grid.
TEST_F(InterpolatorRunTest, PeriodsStartOnAbsoluteDeadlines) {
  runPeriods(1000);
  ASSERT_EQ(period_starts_.size(), 1000u);
  for (size_t k = 0; k < period_starts_.size(); ++k) {
    ASSERT_EQ(period_starts_[k], start_ + k * milliseconds(5)) << "period " << k;
  }
  ASSERT_EQ(clock_->deadlines.size(), 1000u);
  for (size_t k = 0; k < clock_->deadlines.size(); ++k) {
    ASSERT_EQ(clock_->deadlines[k], start_ + (k + 1) * milliseconds(5));
  }
  EXPECT_EQ(interpolator_->overrunCount(), 0u);
  // current_time_ is the monotonic time since the loop started.
  EXPECT_NEAR(interpolator_->currentTime(), 999 * 0.005, 1e-9);
}

TEST_F(InterpolatorRunTest, OverrunIsCountedAndNextPeriodStartsAtOnce) {
  work_.assign(20, microseconds(1000));
  work_[10] = microseconds(7000);  // period 10 runs from 50 ms to 57 ms
  const std::string out = runPeriods(20);
  EXPECT_EQ(interpolator_->overrunCount(), 1u);
  EXPECT_EQ(count(out, "Control period overrun"), 1);
  EXPECT_NE(out.find("2.000 ms after its deadline"), std::string::npos) << out;
  EXPECT_EQ(period_starts_[10], start_ + milliseconds(50));
  EXPECT_EQ(period_starts_[11], start_ + milliseconds(57));  // at once
  EXPECT_EQ(period_starts_[12], start_ + milliseconds(60));  // back on the grid
  EXPECT_EQ(period_starts_[19], start_ + milliseconds(95));
}

TEST_F(InterpolatorRunTest, LongOverrunSkipsPassedDeadlinesWithoutBurst) {
  work_.assign(10, microseconds(500));
  work_[3] = microseconds(23000);  // 15 ms .. 38 ms
  runPeriods(10);
  EXPECT_EQ(interpolator_->overrunCount(), 1u);
  EXPECT_EQ(period_starts_[4], start_ + milliseconds(38));
  EXPECT_EQ(period_starts_[5], start_ + milliseconds(40));
  EXPECT_EQ(period_starts_[6], start_ + milliseconds(45));
}

TEST_F(InterpolatorRunTest, ExitRequestedBeforeRunReturnsAtOnce) {
  interpolator_->requestExit();
  interpolator_->run();
  EXPECT_TRUE(period_starts_.empty());
  EXPECT_EQ(arm_.dynamics->calls, 0);
}

TEST(SteadyLoopClock, SleepsUntilAbsoluteDeadline) {
  SteadyLoopClock clock;
  const nanoseconds before = clock.now();
  const nanoseconds deadline = before + milliseconds(2);
  clock.sleepUntil(deadline);
  EXPECT_GE(clock.now(), deadline);
  clock.sleepUntil(before);  // a passed deadline returns at once
  EXPECT_LT(clock.now() - before, std::chrono::seconds(1));
}

// The real loop on its own thread while the command side works on the queue and the switches.
// The loop ends through the exit request once the command side is done and at least kPeriods
// periods have run.
TEST_F(InterpolatorTest, LoopThreadWithConcurrentCommandSide) {
  constexpr int kPeriods = 3000;
  std::atomic<int> periods{0};
  std::atomic<bool> command_side_done{false};
  clock_->on_sleep = [&] {
    if (periods.fetch_add(1) + 1 >= kPeriods && command_side_done.load()) {
      interpolator_->requestExit();
    }
  };
  interpolator_->setStatusPublisher(std::make_shared<testing::NoopStatusPublisher>());
  interpolator_->addStatusTopic(Interpolator::kActualJointState, "current_actual_joint");
  interpolator_->addStatusTopic(Interpolator::kTcpPose, "tcp_pose");
  std::thread control([&] { interpolator_->run(); });
  int added = 0;
  for (int i = 0; i < 200; ++i) {
    const std::vector<double> start = interpolator_->getMotionStartPoint();
    if (i % 3 == 0) {
      std::vector<double> goal = start;
      for (double& q : goal) {
        q += (i % 2 == 0) ? 0.01 : -0.01;
      }
      interpolator_->addCmd(makeMove<Counted<AllAxisesJointPlanCmd>>(goal, 1.0, start));
    } else {
      interpolator_->addCmd(makeIo<Counted<SetIoCmd>>(1, i));
    }
    ++added;
    // The loop may empty the queue between any two calls: only exercise them.
    static_cast<void>(interpolator_->isCmdQueueEmpty());
    static_cast<void>(interpolator_->getLastCmd());
    EXPECT_EQ(interpolator_->setCollisionSensitivity({4.0, 1.0, 1.0}), 0);
    interpolator_->setCollisionEnable(i % 2 == 0);
    interpolator_->setDragTeachingEnable(i % 5 == 0);
    if (i == 150) {
      interpolator_->requestStop();
    }
    if (i == 160) {
      static_cast<void>(interpolator_->recover());
    }
    static_cast<void>(interpolator_->getActualJointPositions());
    static_cast<void>(interpolator_->overrunCount());
    static_cast<void>(interpolator_->idleFlag());
  }
  command_side_done = true;
  control.join();
  EXPECT_EQ(added, 200);
  EXPECT_GE(periods.load(), kPeriods);
  EXPECT_EQ(interpolator_->overrunCount(), 0u);
  EXPECT_FALSE(arm_.collision_detector->sensitivity_commands.empty());
  interpolator_.reset();
  EXPECT_EQ(CommandCounter::live, 0);
}

}  // namespace
}  // namespace brenvik

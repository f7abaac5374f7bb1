#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/logger.h"
#include "controller_frame/all_axises_joint_plan_cmd.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/set_io_cmd.h"
#include "controller_frame/trapezoid_planner.h"
#include "support/fake_loop_clock.h"
#include "support/motion_test_arm.h"
#include "support/setpoint_checker.h"

namespace brenvik::testing {

// Live Counted<...> commands: one never deleted keeps `live` above zero.
struct CommandCounter {
  static inline std::atomic<int> live{0};
};
template <class Command>
struct Counted : Command {
  template <class... Args>
  explicit Counted(Args&&... args) : Command(std::forward<Args>(args)...) {
    ++CommandCounter::live;
  }
  ~Counted() override { --CommandCounter::live; }
};

// Drives an Interpolator on a MotionTestArm period by period with synthetic time, capturing the
// console output. With a checker, every period's setpoint must keep the motion rules.
class InterpolatorTest : public ::testing::Test {
 public:
  void SetUp() override { build({}); }
  void TearDown() override {
    interpolator_.reset();
    EXPECT_EQ(CommandCounter::live, 0) << "a command was leaked";
    EXPECT_EQ(checker_ ? checker_->violations() : 0u, 0u) << checker_->firstViolation();
    Logger::instance()->reset();
  }
  void build(const MotionTestArmOptions& options, bool checked = false) {
    interpolator_.reset();
    Logger::instance()->reset();
    Logger::instance()->display_level_ = 1;
    CommandCounter::live = 0;
    arm_ = makeMotionTestArm(options);
    clock_ = std::make_shared<FakeLoopClock>();
    interpolator_ = std::make_unique<Interpolator>(arm_.robot, clock_);
    checker_.reset();
    if (checked) checker_.emplace(arm_.robot->robot_para_);
    periods_ = 0;
  }
  // Runs n periods; returns their console output.
  std::string step(int n = 1) {
    ::testing::internal::CaptureStdout();
    for (int i = 0; i < n; ++i, ++periods_) {
      interpolator_->update(periods_ * Interpolator::kPeriod);
      if (checker_)
        checker_->check(interpolator_->refJointState().positions, Interpolator::kPeriod);
    }
    return ::testing::internal::GetCapturedStdout();
  }
  // Runs periods until done() holds (at most limit); returns the number run.
  template <class Predicate>
  int stepUntil(Predicate done, int limit, std::string* out = nullptr) {
    int n = 0;
    for (; !done() && n < limit; ++n) {
      const std::string text = step();
      if (out != nullptr) *out += text;
    }
    return n;
  }
  static bool ended(const AbstractCmdInterface* cmd) {
    const int s = cmd->cmd_status.load();
    return s == cmd_status::kSucceeded || s == cmd_status::kFailed || s == cmd_status::kStopped;
  }
  // A planned trapezoid move of every axis from the start point to goal, limited by scale x the
  // axis limits.
  Counted<AllAxisesJointPlanCmd>* makeMove(const std::vector<double>& goal, double scale = 1.0) {
    const std::vector<double> start = interpolator_->getMotionStartPoint();
    auto* cmd = new Counted<AllAxisesJointPlanCmd>(arm_.robot);
    for (size_t i = 0; i < goal.size(); ++i) {
      const AxisPara& axis = arm_.robot->robot_para_.axis_paras[i];
      const double a = scale * axis.max_joint_acc;
      const TrapezoidPlannerInput in{0, start[i], goal[i], 0, 0, scale * axis.max_joint_vel, a, -a};
      cmd->traj_interface_ptrs_.push_back(std::make_unique<TrapezoidPlanner>());
      cmd->traj_interface_ptrs_.back()->setInput(&in);
    }
    cmd->vel_scale = cmd->acc_scale = scale;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(cmd->planAllJoints(), 0);
    ::testing::internal::GetCapturedStdout();
    return cmd;
  }
  Counted<SetIoCmd>* makeIo(int id, int value, bool block = false) {
    auto* cmd = new Counted<SetIoCmd>(arm_.robot);
    cmd->ctrl_io_id = id;
    cmd->io_cmd = value;
    cmd->is_block = block;
    return cmd;
  }
  static int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
  }

  MotionTestArm arm_;
  std::shared_ptr<FakeLoopClock> clock_;
  std::unique_ptr<Interpolator> interpolator_;
  std::optional<SetpointChecker> checker_;
  int periods_ = 0;
};

}  // namespace brenvik::testing

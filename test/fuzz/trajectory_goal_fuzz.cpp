// Any FollowJointTrajectory goal (names, points, times, tolerances, stamp) through the command
// node's goal check and planner; an accepted one runs on the simulated arm: nothing crashes or
// hangs, a refusal always says why, and the setpoints of an accepted goal stay finite, inside the
// joint limits and within the velocity and acceleration limits.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "common/logger.h"
#include "fuzz_controller.h"
#include "ros2/ros2.h"
#include "support/setpoint_checker.h"

namespace {

using Goal = brenvik::RobotCmdRosTwoWrapper::FollowJointTrajectory::Goal;

using brenvik::fuzz::Controller;

Controller* controller = nullptr;

std::string jointName(FuzzedDataProvider& in) {
  static const char* const kNames[] = {"joint1", "joint2", "joint3", "joint4",
                                       "joint5", "joint6", "joint0", ""};
  if (in.ConsumeIntegralInRange<int>(0, 9) == 0) return in.ConsumeRandomLengthString(12);
  return kNames[in.ConsumeIntegralInRange<int>(0, 7)];
}

double number(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0:
      return in.ConsumeFloatingPoint<double>();
    case 1:
      return std::nan("");
    default:
      return in.ConsumeFloatingPointInRange<double>(-2.0, 2.0);
  }
}

Goal goal(FuzzedDataProvider& in) {
  Goal g;
  int names = 5;
  if (in.ConsumeBool()) {
    // The arm's own names in some order: the goals that get planned and run.
    g.trajectory.joint_names = {"joint1", "joint2", "joint3", "joint4", "joint5"};
    for (int i = 4; i > 0; --i) {
      std::swap(g.trajectory.joint_names[i],
                g.trajectory.joint_names[in.ConsumeIntegralInRange<int>(0, i)]);
    }
  } else {
    names = in.ConsumeIntegralInRange<int>(0, 7);
    for (int i = 0; i < names; ++i) g.trajectory.joint_names.push_back(jointName(in));
  }
  if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
    g.trajectory.header.stamp.sec = in.ConsumeIntegral<int32_t>();
    g.trajectory.header.stamp.nanosec = in.ConsumeIntegral<uint32_t>();
  }
  const int points = in.ConsumeIntegralInRange<int>(0, 12);
  int32_t sec = 0;
  for (int k = 0; k < points; ++k) {
    trajectory_msgs::msg::JointTrajectoryPoint p;
    const int values = in.ConsumeBool() ? names : in.ConsumeIntegralInRange<int>(0, 7);
    for (int i = 0; i < values; ++i) p.positions.push_back(number(in));
    sec += in.ConsumeIntegralInRange<int32_t>(-1, 3);
    p.time_from_start.sec =
        in.ConsumeIntegralInRange<int>(0, 15) == 0 ? in.ConsumeIntegral<int32_t>() : sec;
    p.time_from_start.nanosec = in.ConsumeIntegral<uint32_t>();
    g.trajectory.points.push_back(p);
  }
  for (auto* tolerances : {&g.path_tolerance, &g.goal_tolerance}) {
    const int n = in.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < n; ++i) {
      control_msgs::msg::JointTolerance t;
      t.name = jointName(in);
      t.position = number(in);
      tolerances->push_back(t);
    }
  }
  g.goal_time_tolerance.sec = in.ConsumeIntegralInRange<int32_t>(-1, 3);
  g.goal_time_tolerance.nanosec = in.ConsumeIntegral<uint32_t>();
  return g;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    std::abort();
  }
  setenv("ROS_LOCALHOST_ONLY", "1", 1);
  const char* argv[] = {"trajectory_goal_fuzz", "--ros-args", "--log-level", "fatal"};
  ros2::init(4, argv);
  brenvik::Logger::instance()->display_level_ = 1;
  controller = new Controller();
  // The drives start disabled: enable them, so that accepted goals run.
  controller->node->serveOnCallback(std_msgs::msg::Bool{true});
  for (int k = 0; k < 1000 && !controller->interpolator->enableFlag(); ++k) {
    controller->step();
  }
  if (!controller->interpolator->enableFlag()) {
    std::fprintf(stderr, "the simulated drives did not enable\n");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  brenvik::Logger::instance()->reset();
  brenvik::RobotCmdRosTwoWrapper::GoalPlan plan = controller->node->planGoal(goal(in));
  if (!plan.cmd) {
    if (plan.error_string.empty()) {
      std::fprintf(stderr, "goal refused with code %d and no reason\n", plan.error_code);
      std::abort();
    }
    return 0;
  }
  // An accepted goal runs to its end on the arm, every setpoint checked.
  brenvik::testing::SetpointChecker checker(controller->robot->robot_para_);
  brenvik::Interpolator& interpolator = *controller->interpolator;
  interpolator.addCmd(plan.cmd.release());
  for (int k = 0; k < 5000 && !(interpolator.isCmdQueueEmpty() && k > 0); ++k) {
    controller->step();
    checker.check(interpolator.refJointState().positions, brenvik::Interpolator::kPeriod);
  }
  if (checker.violations() != 0) {
    std::fprintf(stderr, "%s\n", checker.firstViolation().c_str());
    std::abort();
  }
  return 0;
}

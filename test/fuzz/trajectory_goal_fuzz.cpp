// Any trajectory goal through the goal check and planner: a refusal says why; an accepted goal
// runs on the simulated arm with every setpoint inside the joint, velocity and acceleration limits.

#include "fuzz_controller.h"
#include "support/setpoint_checker.h"

namespace {

brenvik::fuzz::Controller* controller = nullptr;

std::string jointName(FuzzedDataProvider& in) {
  static const char* const kNames[] = {"joint1", "joint2", "joint3", "joint4",
                                       "joint5", "joint6", "joint0", ""};
  if (in.ConsumeIntegralInRange<int>(0, 9) == 0) return in.ConsumeRandomLengthString(12);
  return kNames[in.ConsumeIntegralInRange<int>(0, 7)];
}

double number(FuzzedDataProvider& in) { return brenvik::fuzz::number(in, 8, 2.0); }

brenvik::RobotCmdRosTwoWrapper::FollowJointTrajectory::Goal goal(FuzzedDataProvider& in) {
  brenvik::RobotCmdRosTwoWrapper::FollowJointTrajectory::Goal g;
  auto& names = g.trajectory.joint_names;
  if (in.ConsumeBool()) {  // the arm's own names in some order: goals that get planned and run
    names = {"joint1", "joint2", "joint3", "joint4", "joint5"};
    for (int i = 4; i > 0; --i) std::swap(names[i], names[in.ConsumeIntegralInRange<int>(0, i)]);
  } else {
    for (int i = in.ConsumeIntegralInRange<int>(0, 7); i > 0; --i) names.push_back(jointName(in));
  }
  if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
    g.trajectory.header.stamp.sec = in.ConsumeIntegral<int32_t>();
    g.trajectory.header.stamp.nanosec = in.ConsumeIntegral<uint32_t>();
  }
  int32_t sec = 0;
  for (int k = in.ConsumeIntegralInRange<int>(0, 12); k > 0; --k) {
    trajectory_msgs::msg::JointTrajectoryPoint& p = g.trajectory.points.emplace_back();
    const int values =
        in.ConsumeBool() ? static_cast<int>(names.size()) : in.ConsumeIntegralInRange<int>(0, 7);
    for (int i = 0; i < values; ++i) p.positions.push_back(number(in));
    sec += in.ConsumeIntegralInRange<int32_t>(-1, 3);
    p.time_from_start.sec =
        in.ConsumeIntegralInRange<int>(0, 15) == 0 ? in.ConsumeIntegral<int32_t>() : sec;
    p.time_from_start.nanosec = in.ConsumeIntegral<uint32_t>();
  }
  for (auto* tolerances : {&g.path_tolerance, &g.goal_tolerance}) {
    for (int i = in.ConsumeIntegralInRange<int>(0, 3); i > 0; --i) {
      control_msgs::msg::JointTolerance& t = tolerances->emplace_back();
      t.name = jointName(in);
      t.position = number(in);
    }
  }
  g.goal_time_tolerance.sec = in.ConsumeIntegralInRange<int32_t>(-1, 3);
  g.goal_time_tolerance.nanosec = in.ConsumeIntegral<uint32_t>();
  return g;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  controller = brenvik::fuzz::startController("trajectory_goal_fuzz");
  // The drives start disabled: enable them, so that accepted goals run.
  controller->node->serveOnCallback(std_msgs::msg::Bool{true});
  for (int k = 0; k < 1000 && !controller->interpolator->enableFlag(); ++k) controller->step();
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
    if (!plan.error_string.empty()) return 0;
    std::fprintf(stderr, "goal refused with code %d and no reason\n", plan.error_code);
    std::abort();
  }
  // An accepted goal runs to its end on the arm, every setpoint checked.
  brenvik::testing::SetpointChecker checker(controller->robot->robot_para_);
  brenvik::Interpolator& interpolator = *controller->interpolator;
  interpolator.addCmd(plan.cmd.release());
  for (int k = 0; k < 5000 && !(interpolator.isCmdQueueEmpty() && k > 0); ++k) {
    controller->step();
    checker.check(interpolator.refJointState().positions, brenvik::Interpolator::kPeriod);
  }
  if (checker.violations() == 0) return 0;
  std::fprintf(stderr, "%s\n", checker.firstViolation().c_str());
  std::abort();
}

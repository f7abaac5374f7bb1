// Any trajectory goal: a refusal says why; an accepted one runs with every setpoint in limits.

#include "fuzz_controller.h"
#include "support/setpoint_checker.h"

namespace {

using namespace brenvik::fuzz;
using Goal = brenvik::RobotCmdRosTwoWrapper::FollowJointTrajectory::Goal;

Controller* controller = nullptr;

std::string jointName(FuzzedDataProvider& in) {
  static const char* const kNames[] = {"joint1", "joint2", "joint3", "joint4",
                                       "joint5", "joint6", "joint0", ""};
  if (in.ConsumeIntegralInRange<int>(0, 9) == 0) return in.ConsumeRandomLengthString(12);
  return kNames[in.ConsumeIntegralInRange<int>(0, 7)];
}

Goal goal(FuzzedDataProvider& in) {
  Goal g;
  auto& names = g.trajectory.joint_names;
  if (in.ConsumeBool()) {  // the arm's own names in some order: goals that get planned and run
    names = {"joint1", "joint2", "joint3", "joint4", "joint5"};
    for (int i = 4; i > 0; --i) std::swap(names[i], names[in.ConsumeIntegralInRange<int>(0, i)]);
  } else {
    for (int i = in.ConsumeIntegralInRange<int>(0, 7); i > 0; --i) names.push_back(jointName(in));
  }
  if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
    g.trajectory.header.stamp = {in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<uint32_t>()};
  int32_t sec = 0;
  for (int k = in.ConsumeIntegralInRange<int>(0, 12); k > 0; --k) {
    trajectory_msgs::msg::JointTrajectoryPoint& p = g.trajectory.points.emplace_back();
    const int values =
        in.ConsumeBool() ? static_cast<int>(names.size()) : in.ConsumeIntegralInRange<int>(0, 7);
    for (int i = 0; i < values; ++i) p.positions.push_back(number(in, 8, 2.0));
    sec += in.ConsumeIntegralInRange<int32_t>(-1, 3);
    p.time_from_start = {
        in.ConsumeIntegralInRange<int>(0, 15) == 0 ? in.ConsumeIntegral<int32_t>() : sec,
        in.ConsumeIntegral<uint32_t>()};
  }
  for (auto* tolerances : {&g.path_tolerance, &g.goal_tolerance})
    for (int i = in.ConsumeIntegralInRange<int>(0, 3); i > 0; --i)
      tolerances->push_back({jointName(in), number(in, 8, 2.0)});
  g.goal_time_tolerance = {in.ConsumeIntegralInRange<int32_t>(-1, 3),
                           in.ConsumeIntegral<uint32_t>()};
  return g;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  controller = startController("trajectory_goal_fuzz", true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  brenvik::Logger::instance()->reset();
  brenvik::RobotCmdRosTwoWrapper::GoalPlan plan = controller->node->planGoal(goal(in));
  if (!plan.cmd && plan.error_string.empty())
    fail("refused without a reason: " + std::to_string(plan.error_code));
  if (!plan.cmd) return 0;
  brenvik::testing::SetpointChecker checker(controller->robot->robot_para_);
  auto& interpolator = *controller->interpolator;
  interpolator.addCmd(plan.cmd.release());
  for (int k = 0; k < 5000 && !(interpolator.isCmdQueueEmpty() && k > 0); ++k) {
    controller->step();
    checker.check(interpolator.refJointState().positions, brenvik::Interpolator::kPeriod);
  }
  if (checker.violations() > 0) fail(checker.firstViolation());
  return 0;
}

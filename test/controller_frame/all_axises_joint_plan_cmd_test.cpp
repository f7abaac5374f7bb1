#include "controller_frame/all_axises_joint_plan_cmd.h"

#include <gtest/gtest.h>

#include "controller_frame/motion_codes.h"
#include "controller_frame/trapezoid_planner.h"
#include "support/motion_test_arm.h"

namespace brenvik {
namespace {

// A command of n axes, with a trapezoid axis from 0 to h under vmax and aa for each (h, vmax, aa).
struct Cmd {
  explicit Cmd(int n, const std::vector<double>& axes = {}) {
    testing::MotionTestArmOptions options;
    options.axis_num = n;
    cmd = std::make_unique<AllAxisesJointPlanCmd>(testing::makeMotionTestArm(options).robot);
    for (size_t k = 0; k + 2 < axes.size(); k += 3) {
      auto planner = std::make_unique<TrapezoidPlanner>();
      const TrapezoidPlannerInput in{0, 0, axes[k], 0, 0, axes[k + 1], axes[k + 2], -axes[k + 2]};
      planner->setInput(&in);
      cmd->traj_interface_ptrs_.push_back(std::move(planner));
    }
  }
  int plan() {
    ::testing::internal::CaptureStdout();
    const int r = cmd->planAllJoints();
    out = ::testing::internal::GetCapturedStdout();
    return r;
  }
  const TrajectoryInterface& axis(int i) const { return *cmd->traj_interface_ptrs_[i]; }
  std::unique_ptr<AllAxisesJointPlanCmd> cmd;
  std::string out;
};

// Golden values: every axis takes the common Ta, Tv within its own limits, only Vv differs. Axis
// 2 would need 0.9 rad/s against 0.5 (1.8 times longer), then 2 rad/s² against 0.5 (twice).
TEST(PlanAllJoints, SynchronisedGoldenValuesAtThePhaseBoundaries) {
  const struct {
    std::vector<double> axes, Vv;  // (h, vmax, aa) per axis; Vv per axis, then Ta and Tv
    const char* line;              // printed while planning
  } cases[] = {
      {{0.25, 1, 1, 1, 1, 1, -1, 1, 1}, {0.25, 1, -1, 1, 0}, "traject_motion_time:1.000000\n"},
      {{1, 10, 1, 0.9, 0.5, 100, 0, 1, 1}, {1 / 1.8, 0.5, 0, 1.8, 0}, "stretched 1.800000 times"},
      {{1, 0.5, 5, 0.4, 1, 0.5, 0, 1, 1}, {0.25, 0.1, 0, 0.2, 3.8}, "stretched 2.000000 times"}};
  for (const auto& c : cases) {
    Cmd cmd(3, c.axes);
    ASSERT_EQ(cmd.plan(), planner_result::kOk);
    EXPECT_NE(cmd.out.find(c.line), std::string::npos) << cmd.out;
    const double Ta = c.Vv[3], Tv = c.Vv[4];
    for (int i = 0; i < 3; ++i) {
      const TrajectoryInterface& p = cmd.axis(i);
      const double h = c.axes[3 * i], v = c.Vv[i];
      const TrapezoidPlanResult& r = *p.getPlanResult();
      EXPECT_EQ(std::vector<double>({r.Ta, r.Tv, r.Vv}), std::vector<double>({Ta, Tv, v}));
      EXPECT_DOUBLE_EQ(p.getMotionTime(), 2 * Ta + Tv) << i;
      EXPECT_DOUBLE_EQ(p.calPosition(Ta, nullptr), v * Ta / 2) << i;
      EXPECT_DOUBLE_EQ(p.calPosition(Ta + Tv, nullptr), h - v * Ta / 2) << i;
      EXPECT_EQ(p.calPosition(2 * Ta + Tv, nullptr), h) << i;
    }
  }
}

// A failing axis stops the planning; a command without one planner per axis is refused.
TEST(PlanAllJoints, FailuresAndMissingPlanners) {
  Cmd failing(3, {1, 1, 1, 1, 0, 1, 1, 1, 1}), none(2), short_of_one(3, {1, 1, 1});
  EXPECT_EQ(failing.plan(), planner_result::kInvalidInput);
  EXPECT_NE(failing.out.find("The 2 axis plan fail!!! ,error code =-3\n"), std::string::npos);
  EXPECT_EQ(dynamic_cast<const TrapezoidPlanner&>(failing.axis(2)).planStatus(), 0);
  EXPECT_EQ(none.plan(), planner_result::kNoPlanners);
  EXPECT_EQ(none.out, "It does not have a trajectory_interface when joint plan\n");
  EXPECT_EQ(short_of_one.plan(), planner_result::kInvalidInput);
  EXPECT_EQ(short_of_one.out,
            "Input traj_interface_ptrs_ size not equal robot_para_.axis_num!!!\n");
}

}  // namespace
}  // namespace brenvik

#include "controller_frame/all_axises_joint_plan_cmd.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "controller_frame/cubic_planner.h"
#include "controller_frame/motion_codes.h"
#include "controller_frame/trapezoid_planner.h"
#include "support/motion_test_arm.h"

namespace brenvik {
namespace {

using testing::makeMotionTestArm;
using testing::MotionTestArmOptions;

class PlanAllJointsTest : public ::testing::Test {
 public:
  std::shared_ptr<Robot> robot(int n) {
    MotionTestArmOptions options;
    options.axis_num = n;
    return makeMotionTestArm(options).robot;
  }

  // Adds a trapezoid axis moving `distance` with limits vmax = aa = 1.
  static void addTrapezoid(AllAxisesJointPlanCmd& cmd, double distance, double vmax = 1.0,
                           double aa = 1.0) {
    auto planner = std::make_unique<TrapezoidPlanner>();
    TrapezoidPlannerInput in;
    in.q1 = distance;
    in.vmax = vmax;
    in.aa = aa;
    in.ad = -aa;
    planner->setInput(&in);
    cmd.traj_interface_ptrs_.push_back(std::move(planner));
  }

  static int planCaptured(AllAxisesJointPlanCmd& cmd, std::string& out) {
    ::testing::internal::CaptureStdout();
    const int r = cmd.planAllJoints();
    out = ::testing::internal::GetCapturedStdout();
    return r;
  }
};

TEST_F(PlanAllJointsTest, SlowestAxisIsReference) {
  AllAxisesJointPlanCmd cmd(robot(3));
  EXPECT_EQ(cmd.cmd_type, cmd_type::kJointTrajectory);
  EXPECT_EQ(cmd.cmd_status.load(), cmd_status::kQueued);
  EXPECT_FALSE(cmd.is_block.load());
  EXPECT_EQ(cmd.axis_num, 3);
  addTrapezoid(cmd, 0.25);  // 1.0 s
  addTrapezoid(cmd, 1.0);   // 2.0 s
  addTrapezoid(cmd, -1.0);  // 2.0 s, tie: axis 2 stays reference
  std::string out;
  ASSERT_EQ(planCaptured(cmd, out), planner_result::kOk);
  EXPECT_NE(out.find("motion_time=1.000000\n"), std::string::npos);
  EXPECT_NE(out.find("traject_motion_time:1.000000\ntraject_motion_time:2.000000\n"
                     "traject_motion_time:2.000000\n"),
            std::string::npos);
  EXPECT_NE(out.find("All axises replan suceess.\n"), std::string::npos);
  // Axes 1 and 3 re-planned (two rePlan reports), axis 2 not.
  size_t replans = 0;
  for (size_t p = out.find("Vv="); p != std::string::npos; p = out.find("Vv=", p + 1)) {
    ++replans;
  }
  EXPECT_EQ(replans, 2u);
  for (const auto& planner : cmd.traj_interface_ptrs_) {
    EXPECT_DOUBLE_EQ(planner->getMotionTime(), 2.0);
    EXPECT_DOUBLE_EQ(planner->getPlanResult()->Ta, 1.0);
  }
  EXPECT_DOUBLE_EQ(cmd.traj_interface_ptrs_[0]->getPlanResult()->Vv, 0.25);
  EXPECT_DOUBLE_EQ(cmd.traj_interface_ptrs_[2]->getPlanResult()->Vv, -1.0);
}

TEST_F(PlanAllJointsTest, FailingAxisStopsPlanning) {
  AllAxisesJointPlanCmd cmd(robot(3));
  addTrapezoid(cmd, 1.0);
  addTrapezoid(cmd, 1.0, 0.0);
  addTrapezoid(cmd, 1.0);
  std::string out;
  EXPECT_EQ(planCaptured(cmd, out), planner_result::kInvalidInput);
  const size_t first_time = out.find("motion_time=2.000000\n");
  const size_t failure = out.find("The 2 axis plan fail!!! ,error code =-3\n");
  ASSERT_NE(first_time, std::string::npos);
  ASSERT_NE(failure, std::string::npos);
  EXPECT_LT(first_time, failure);
  auto* third = dynamic_cast<TrapezoidPlanner*>(cmd.traj_interface_ptrs_[2].get());
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->planStatus(), 0);  // never planned
}

TEST_F(PlanAllJointsTest, CubicAxesKeepTheirDurations) {
  AllAxisesJointPlanCmd cmd(robot(2));
  for (double end : {2.0, 3.0}) {
    auto planner = std::make_unique<CubicPlanner>();
    const CubicPlannerInput in{{0.0, 0.5, 1.0, 0.2}, {0.0, 1.0, 1.5, end}};
    planner->setInput(&in);
    cmd.traj_interface_ptrs_.push_back(std::move(planner));
  }
  std::string out;
  ASSERT_EQ(planCaptured(cmd, out), planner_result::kOk);
  EXPECT_EQ(out.find("traject_motion_time:"), std::string::npos);
  EXPECT_NE(out.find("All axises plan suceess.\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(cmd.traj_interface_ptrs_[0]->getMotionTime(), 2.0);
  EXPECT_DOUBLE_EQ(cmd.traj_interface_ptrs_[1]->getMotionTime(), 3.0);
}

struct RefusalCase {
  const char* name;
  int axes;
  void (*add)(AllAxisesJointPlanCmd&);
  int code;
  const char* message;
};

class PlanAllJointsRefusal : public PlanAllJointsTest,
                             public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PlanAllJointsRefusal, RefusedBeforeQueueing) {
  AllAxisesJointPlanCmd cmd(robot(GetParam().axes));
  GetParam().add(cmd);
  std::string out;
  EXPECT_EQ(planCaptured(cmd, out), GetParam().code);
  EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanAllJointsRefusal,
    ::testing::Values(
        RefusalCase{"zero_vmax", 2,
                    [](AllAxisesJointPlanCmd& cmd) {
                      PlanAllJointsTest::addTrapezoid(cmd, 1.0);
                      PlanAllJointsTest::addTrapezoid(cmd, 1.0, 0.0);
                    },
                    planner_result::kInvalidInput, "The 2 axis plan fail!!! ,error code =-3\n"},
        RefusalCase{"two_cubic_knots", 1,
                    [](AllAxisesJointPlanCmd& cmd) {
                      auto planner = std::make_unique<CubicPlanner>();
                      const CubicPlannerInput in{{0.0, 1.0}, {0.0, 1.0}};
                      planner->setInput(&in);
                      cmd.traj_interface_ptrs_.push_back(std::move(planner));
                    },
                    planner_result::kInvalidInput, "The 1 axis plan fail!!! ,error code =-3\n"},
        RefusalCase{"no_planners", 2, [](AllAxisesJointPlanCmd&) {}, planner_result::kNoPlanners,
                    "It does not have a trajectory_interface when joint plan\n"},
        RefusalCase{"fewer_planners_than_axes", 3,
                    [](AllAxisesJointPlanCmd& cmd) { PlanAllJointsTest::addTrapezoid(cmd, 1.0); },
                    planner_result::kInvalidInput,
                    "Input traj_interface_ptrs_ size not equal robot_para_.axis_num!!!"}),
    [](const ::testing::TestParamInfo<RefusalCase>& param_info) { return param_info.param.name; });

// Seeded random 5-axis moves: after synchronisation every axis ends together at its goal and
// moves monotonically and continuously.
TEST_F(PlanAllJointsTest, RandomSynchronisedMovesKeepInvariants) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> position(-2.0, 2.0);
  std::uniform_real_distribution<double> limit(0.2, 2.0);
  for (int trial = 0; trial < 40; ++trial) {
    AllAxisesJointPlanCmd cmd(robot(5));
    std::vector<double> goals;
    for (int i = 0; i < 5; ++i) {
      goals.push_back(position(rng));
      addTrapezoid(cmd, goals.back(), limit(rng), limit(rng));
    }
    std::string out;
    ASSERT_EQ(planCaptured(cmd, out), planner_result::kOk);
    const double total = cmd.traj_interface_ptrs_[0]->getMotionTime();
    for (int i = 0; i < 5; ++i) {
      const TrajectoryInterface& p = *cmd.traj_interface_ptrs_[i];
      EXPECT_DOUBLE_EQ(p.getMotionTime(), total);
      int reached = 0;
      EXPECT_DOUBLE_EQ(p.calPosition(total, &reached), goals[i]);
      EXPECT_EQ(reached, 1);
      const double sign = goals[i] > 0.0 ? 1.0 : -1.0;
      double previous = 0.0;
      for (int k = 1; k <= 1000; ++k) {
        const double q = p.calPosition(total * k / 1000.0, nullptr);
        ASSERT_GE(sign * (q - previous), -1e-9);
        ASSERT_LT(std::fabs(q - previous), 0.05);
        previous = q;
      }
      EXPECT_NEAR(previous, goals[i], 1e-9);
    }
  }
}

}  // namespace
}  // namespace brenvik

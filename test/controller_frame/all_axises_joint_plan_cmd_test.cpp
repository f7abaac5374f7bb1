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

std::shared_ptr<Robot> robot(int n) {
  testing::MotionTestArmOptions options;
  options.axis_num = n;
  return testing::makeMotionTestArm(options).robot;
}

// A trapezoid axis from 0 to `distance` with limits vmax and aa.
void addTrapezoid(AllAxisesJointPlanCmd& cmd, double distance, double vmax = 1.0, double aa = 1.0) {
  auto planner = std::make_unique<TrapezoidPlanner>();
  const TrapezoidPlannerInput in{0.0, 0.0, distance, 0.0, 0.0, vmax, aa, -aa};
  planner->setInput(&in);
  cmd.traj_interface_ptrs_.push_back(std::move(planner));
}

int planCaptured(AllAxisesJointPlanCmd& cmd, std::string& out) {
  ::testing::internal::CaptureStdout();
  const int r = cmd.planAllJoints();
  out = ::testing::internal::GetCapturedStdout();
  return r;
}

struct SyncAxis {
  double h, vmax, aa, Vv;  // distance and limits; the synchronised cruise velocity
};

struct SyncCase {
  const char* name;
  SyncAxis axes[3];
  double Ta, Tv;     // the common phase durations
  const char* line;  // printed while planning
};

// Plain: axes of 1 s, 2 s and 2 s take the slowest's durations (of the tie, axis 2 is the
// reference). Velocity: axis 1's triangle of 2 s would drive axis 2 at 0.9 rad/s against 0.5,
// 1.8 times longer. Acceleration: axis 1 speeds up in 0.1 s; axis 2 would accelerate at 2 rad/s²
// against 0.5: twice as long, a quarter of the acceleration. Axis 3 of both stays where it is.
const SyncCase kSyncCases[] = {
    {"Plain",
     {{0.25, 1, 1, 0.25}, {1, 1, 1, 1}, {-1, 1, 1, -1}},
     1,
     0,
     "traject_motion_time:1.000000\ntraject_motion_time:2.000000\ntraject_motion_time:2.000000\n"},
    {"Velocity",
     {{1, 10, 1, 1 / 1.8}, {0.9, 0.5, 100, 0.5}, {0, 1, 1, 0}},
     1.8,
     0,
     "The 2 axis needs the motion stretched 1.800000 times"},
    {"Acceleration",
     {{1, 0.5, 5, 0.25}, {0.4, 1, 0.5, 0.1}, {0, 1, 1, 0}},
     0.2,
     3.8,
     "The 2 axis needs the motion stretched 2.000000 times"}};

class PlanAllJointsSync : public ::testing::TestWithParam<SyncCase> {};

// Every axis takes the common phase durations within its own limits, and only its cruise velocity
// differs: golden values at the phase boundaries.
TEST_P(PlanAllJointsSync, GoldenValuesAtThePhaseBoundaries) {
  const SyncCase& c = GetParam();
  AllAxisesJointPlanCmd cmd(robot(3));
  for (const SyncAxis& axis : c.axes) addTrapezoid(cmd, axis.h, axis.vmax, axis.aa);
  std::string out;
  ASSERT_EQ(planCaptured(cmd, out), planner_result::kOk);
  EXPECT_NE(out.find(c.line), std::string::npos) << out;
  const bool stretched = std::string(c.line).find("stretched") != std::string::npos;
  EXPECT_EQ(out.find("stretched") != std::string::npos, stretched);
  EXPECT_NE(out.find("All axises replan suceess.\n"), std::string::npos);
  const double total = 2 * c.Ta + c.Tv;
  for (int i = 0; i < 3; ++i) {
    const TrajectoryInterface& p = *cmd.traj_interface_ptrs_[i];
    const double h = c.axes[i].h, v = c.axes[i].Vv;
    EXPECT_DOUBLE_EQ(p.getPlanResult()->Ta, c.Ta) << i;
    EXPECT_DOUBLE_EQ(p.getPlanResult()->Tv, c.Tv) << i;
    EXPECT_DOUBLE_EQ(p.getMotionTime(), total) << i;
    EXPECT_DOUBLE_EQ(p.getPlanResult()->Vv, v) << i;
    EXPECT_LE(p.limitStretch(), 1.0 + 1e-12) << i;
    EXPECT_DOUBLE_EQ(p.calPosition(c.Ta, nullptr), v * c.Ta / 2) << i;
    EXPECT_DOUBLE_EQ(p.calPosition(c.Ta + c.Tv, nullptr), h - v * c.Ta / 2) << i;
    EXPECT_EQ(p.calPosition(total, nullptr), h) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PlanAllJointsSync, ::testing::ValuesIn(kSyncCases),
                         [](const auto& c) { return std::string(c.param.name); });

TEST(PlanAllJoints, FailingAxisStopsPlanning) {
  AllAxisesJointPlanCmd cmd(robot(3));
  addTrapezoid(cmd, 1.0);
  addTrapezoid(cmd, 1.0, 0.0);
  addTrapezoid(cmd, 1.0);
  std::string out;
  EXPECT_EQ(planCaptured(cmd, out), planner_result::kInvalidInput);
  EXPECT_NE(out.find("motion_time=2.000000\nTrapezoidPlanner::plan\n"), std::string::npos);
  EXPECT_NE(out.find("The 2 axis plan fail!!! ,error code =-3\n"), std::string::npos);
  EXPECT_EQ(dynamic_cast<TrapezoidPlanner&>(*cmd.traj_interface_ptrs_[2]).planStatus(), 0);
}

TEST(PlanAllJoints, CubicAxesKeepTheirDurations) {
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
  EXPECT_DOUBLE_EQ(cmd.traj_interface_ptrs_[1]->getMotionTime(), 3.0);
}

TEST(PlanAllJoints, CommandsWithoutOnePlannerPerAxisAreRefused) {
  AllAxisesJointPlanCmd none(robot(2)), short_of_one(robot(3));
  addTrapezoid(short_of_one, 1.0);
  std::string out;
  EXPECT_EQ(planCaptured(none, out), planner_result::kNoPlanners);
  EXPECT_EQ(out, "It does not have a trajectory_interface when joint plan\n");
  EXPECT_EQ(planCaptured(short_of_one, out), planner_result::kInvalidInput);
  EXPECT_EQ(out, "Input traj_interface_ptrs_ size not equal robot_para_.axis_num!!!\n");
}

// Seeded random 5-axis moves with random limits, some axes staying where they are: every axis
// ends together at its goal, and its planned peaks, and its densely sampled speed, stay within
// its own limits.
TEST(PlanAllJoints, RandomSynchronisedMovesStayWithinEveryAxisLimits) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> position(-2.0, 2.0), limit(0.05, 3.0);
  int stretched = 0;
  for (int trial = 0; trial < 200; ++trial) {
    AllAxisesJointPlanCmd cmd(robot(5));
    std::vector<double> goals, vmax, aa;
    for (int i = 0; i < 5; ++i) {
      goals.push_back(rng() % 5 == 0 ? 0.0 : position(rng));
      vmax.push_back(limit(rng));
      aa.push_back(limit(rng));
      addTrapezoid(cmd, goals.back(), vmax.back(), aa.back());
    }
    std::string out;
    ASSERT_EQ(planCaptured(cmd, out), planner_result::kOk) << trial;
    stretched += out.find("stretched") != std::string::npos ? 1 : 0;
    const double total = cmd.traj_interface_ptrs_[0]->getMotionTime();
    for (int i = 0; i < 5; ++i) {
      const TrajectoryInterface& p = *cmd.traj_interface_ptrs_[i];
      ASSERT_DOUBLE_EQ(p.getMotionTime(), total);
      ASSERT_EQ(p.calPosition(total, nullptr), goals[i]);
      const MotionBounds b = p.motionBounds();
      ASSERT_LE(b.max_speed, vmax[i] * (1 + 1e-9)) << trial << " axis " << i;
      ASSERT_LE(b.max_acceleration, aa[i] * (1 + 1e-9)) << trial << " axis " << i;
      double previous = 0.0;
      for (int k = 1; k <= 500; ++k) {
        const double q = p.calPosition(total * k / 500, nullptr);
        ASSERT_LE(std::fabs(q - previous) / (total / 500), vmax[i] * (1 + 1e-9));
        previous = q;
      }
    }
  }
  EXPECT_GT(stretched, 20);  // the stretch is exercised, not only the plain re-plan
}

}  // namespace
}  // namespace brenvik

#include "controller_frame/joint_move_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "controller_frame/trapezoid_planner.h"
#include "support/motion_test_arm.h"

namespace brenvik {
namespace {

using Points = std::vector<std::vector<double>>;

// Five axes with joint limits [-3, 3], max_joint_vel 2, max_joint_acc 4, threshold 0.01.
class JointMoveBuilderTest : public ::testing::Test {
 protected:
  JointMoveBuilderTest()
      : arm_(testing::makeMotionTestArm()),
        builder_(arm_.robot, [this](const std::string& line) { info_.push_back(line); }) {}

  JointMove pointToPoint(const std::vector<double>& target, double vel = 1.0, double acc = 1.0) {
    ::testing::internal::CaptureStdout();
    JointMove move = builder_.pointToPoint(start_, target, vel, acc);
    ::testing::internal::GetCapturedStdout();
    return move;
  }
  JointMove spline(const Points& points, const std::vector<double>& times) {
    ::testing::internal::CaptureStdout();
    JointMove move = builder_.spline(start_, points, times);
    ::testing::internal::GetCapturedStdout();
    return move;
  }

  testing::MotionTestArm arm_;
  std::vector<std::string> info_;
  JointMoveBuilder builder_;
  std::vector<double> start_ = std::vector<double>(5, 0.0);
};

TEST_F(JointMoveBuilderTest, PointToPointIsPlannedAndSynchronised) {
  const JointMove move = pointToPoint({1.0, -0.5, 0.25, 2.0, -1.0}, 0.5, 0.5);
  ASSERT_EQ(move.result, joint_move_result::kOk) << move.message;
  ASSERT_EQ(move.cmd->traj_interface_ptrs_.size(), 5u);
  const double duration = move.cmd->traj_interface_ptrs_[3]->getMotionTime();
  for (const auto& planner : move.cmd->traj_interface_ptrs_) {
    EXPECT_DOUBLE_EQ(planner->getMotionTime(), duration);
  }
  ASSERT_EQ(info_.size(), 5u);
  EXPECT_EQ(info_[0], "TrapezoidPlannerInput:0.000000,1.000000,1.000000,2.000000,-2.000000\n");
  EXPECT_FALSE(move.cmd->is_block);
}

TEST_F(JointMoveBuilderTest, PointToPointRefusals) {
  JointMove move = pointToPoint({1.0, 3.5, 0.0, 0.0, 0.0});
  EXPECT_EQ(move.result, joint_move_result::kOutOfRange);
  EXPECT_EQ(move.message,
            "The 1st point 2st axim angle is over range. Please send viable command again.\n");
  EXPECT_EQ(move.cmd, nullptr);

  move = pointToPoint({1.0, 0.5, std::numeric_limits<double>::quiet_NaN(), 0.0, 0.0});
  EXPECT_EQ(move.result, joint_move_result::kNotFinite);

  move = pointToPoint({1.0, 0.5});
  EXPECT_EQ(move.result, joint_move_result::kWrongSize);

  // A zero scale would plan an endless move.
  move = pointToPoint({1.0, 0.5, 0.5, 0.5, 0.5}, 0.0, 1.0);
  EXPECT_EQ(move.result, joint_move_result::kPlanFailed);
  EXPECT_EQ(move.message, "planAllJoints Failed,error code=-3\n");

  move = pointToPoint({3.0, 0.5, 0.5, 0.5, 0.5}, 0.01, 0.01);
  EXPECT_EQ(move.result, joint_move_result::kTooLong);
}

// Axis 1 is slow to accelerate and sets a long triangle; axis 2, re-planned into that triangle,
// would need 0.9 rad/s against its limit of 0.5: the move is stretched until it fits.
TEST_F(JointMoveBuilderTest, PointToPointIsStretchedUntilEveryAxisKeepsItsLimits) {
  AxisPara& axis1 = arm_.robot->robot_para_.axis_paras[0];
  axis1.max_joint_vel = 10.0;
  axis1.max_joint_acc = 1.0;
  AxisPara& axis2 = arm_.robot->robot_para_.axis_paras[1];
  axis2.max_joint_vel = 0.5;
  axis2.max_joint_acc = 100.0;
  const JointMove move = pointToPoint({1.0, 0.9, 0.1, 0.1, 0.1});
  ASSERT_EQ(move.result, joint_move_result::kOk) << move.message;
  EXPECT_DOUBLE_EQ(move.cmd->traj_interface_ptrs_[1]->motionBounds().max_speed, 0.5);
  EXPECT_DOUBLE_EQ(move.cmd->traj_interface_ptrs_[0]->getMotionTime(), 3.6);
}

// An arm that settled just beyond a limit is moved back in, never further out.
TEST_F(JointMoveBuilderTest, MovesFromJustBeyondALimitBackInAreAccepted) {
  start_ = {3.0005, 0.0, -3.0005, 0.0, 0.0};
  EXPECT_EQ(pointToPoint({2.5, 0.1, -2.5, 0.0, 0.0}).result, joint_move_result::kOk);
  const std::vector<double> in = {2.9, 0, -2.9, 0, 0};
  EXPECT_EQ(spline({in, in, in, in}, {0.5, 1.0, 1.5, 2.0}).result, joint_move_result::kOk);
  EXPECT_EQ(pointToPoint({3.0005, 0.1, -2.5, 0.0, 0.0}).result, joint_move_result::kOutOfRange);
}

TEST_F(JointMoveBuilderTest, SplineFromAFirstPointAtZeroKeepsItsKnots) {
  const JointMove move =
      spline({{0.005, 0, 0, 0, 0}, {0.3, 0.1, 0, 0, 0}, {0.6, 0.2, 0, 0, 0}, {0.9, 0.3, 0, 0, 0}},
             {0.0, 1.0, 2.0, 3.0});
  ASSERT_EQ(move.result, joint_move_result::kOk) << move.message;
  const auto& planner = *move.cmd->traj_interface_ptrs_[0];
  EXPECT_DOUBLE_EQ(planner.getMotionTime(), 3.0);
  EXPECT_DOUBLE_EQ(planner.calPosition(0.0, nullptr), 0.005);
  double first = 0.0;
  double last = 0.0;
  ASSERT_EQ(planner.getStartAndGoal(&first, &last), 0);
  EXPECT_DOUBLE_EQ(last, 0.9);
}

TEST_F(JointMoveBuilderTest, SplineWithALateFirstPointStartsFromTheStart) {
  start_ = {0.1, 0.1, 0.1, 0.1, 0.1};
  const JointMove move =
      spline({{0.2, 0, 0, 0, 0}, {0.3, 0, 0, 0, 0}, {0.4, 0, 0, 0, 0}, {0.5, 0, 0, 0, 0}},
             {0.5, 1.0, 1.5, 2.0});
  ASSERT_EQ(move.result, joint_move_result::kOk) << move.message;
  for (const auto& planner : move.cmd->traj_interface_ptrs_) {
    EXPECT_DOUBLE_EQ(planner->calPosition(0.0, nullptr), 0.1);
  }
  EXPECT_DOUBLE_EQ(move.cmd->traj_interface_ptrs_[0]->calPosition(0.5, nullptr), 0.2);
}

struct SplineRefusal {
  const char* name;
  Points points;
  std::vector<double> times;
  int result;
  const char* message;  // expected message, or a part of it
};

void PrintTo(const SplineRefusal& c, std::ostream* os) { *os << c.name; }

class JointMoveBuilderSplineRefusal : public JointMoveBuilderTest,
                                      public ::testing::WithParamInterface<SplineRefusal> {};

TEST_P(JointMoveBuilderSplineRefusal, NothingIsPlanned) {
  const SplineRefusal& c = GetParam();
  const JointMove move = spline(c.points, c.times);
  EXPECT_EQ(move.result, c.result) << move.message;
  EXPECT_NE(move.message.find(c.message), std::string::npos) << move.message;
  EXPECT_EQ(move.cmd, nullptr);
}

const std::vector<double> kZero(5, 0.0);
const std::vector<double> kTimes = {0.0, 1.0, 2.0, 3.0};

INSTANTIATE_TEST_SUITE_P(
    Cases, JointMoveBuilderSplineRefusal,
    ::testing::Values(SplineRefusal{"three_points",
                                    {kZero, kZero, kZero},
                                    {0.0, 1.0, 2.0},
                                    joint_move_result::kTooFewPoints,
                                    "There are not eough point to get cubicspline.\n"},
                      SplineRefusal{
                          "third_point_over_range",
                          {kZero, kZero, {0, 3.1, 0, 0, 0}, kZero},
                          kTimes,
                          joint_move_result::kOutOfRange,
                          "The 3st point 2st axim angle is over range. Please send viable command "
                          "again.\n"},
                      SplineRefusal{"short_point",
                                    {kZero, {0, 0, 0, 0}, kZero, kZero},
                                    kTimes,
                                    joint_move_result::kWrongSize,
                                    "The 2st point has 4 joint values"},
                      SplineRefusal{"times_repeat",
                                    {kZero, kZero, kZero, kZero},
                                    {0.0, 1.0, 1.0, 2.0},
                                    joint_move_result::kTimesNotIncreasing,
                                    "times must strictly increase"},
                      SplineRefusal{"negative_time",
                                    {kZero, kZero, kZero, kZero},
                                    {-1.0, 1.0, 2.0, 3.0},
                                    joint_move_result::kTimesNotIncreasing,
                                    "The 1st point's time"},
                      SplineRefusal{"nan_time",
                                    {kZero, kZero, kZero, kZero},
                                    {0.0, 1.0, std::numeric_limits<double>::quiet_NaN(), 3.0},
                                    joint_move_result::kTimesNotIncreasing,
                                    "The 3st point's time"},
                      SplineRefusal{"first_point_jumps",
                                    {{0.5, 0, 0, 0, 0}, kZero, kZero, kZero},
                                    kTimes,
                                    joint_move_result::kStartJump,
                                    "from the arm on axis 1"},
                      SplineRefusal{"too_fast",
                                    {kZero, {2.5, 0, 0, 0, 0}, {-2.5, 0, 0, 0, 0}, kZero},
                                    {0.0, 1.0, 2.0, 3.0},
                                    joint_move_result::kExceedsLimits,
                                    "axis 1 reaches"},
                      SplineRefusal{"too_sharp",
                                    {kZero, {0, 0.3, 0, 0, 0}, kZero, kZero},
                                    {0.0, 0.5, 1.0, 3.0},
                                    joint_move_result::kExceedsLimits,
                                    "The planned motion of axis 2 accelerates at"},
                      SplineRefusal{"longer_than_the_time_limit",
                                    {kZero, kZero, kZero, kZero},
                                    {0.0, 10.0, 20.0, 21.0},
                                    joint_move_result::kTooLong,
                                    "longer than the 20.000000 s"}),
    [](const ::testing::TestParamInfo<SplineRefusal>& param_info) {
      return param_info.param.name;
    });

TEST_F(JointMoveBuilderTest, SplineThatOvershootsALimitBetweenItsPointsIsRefused) {
  arm_.robot->robot_para_.axis_paras[2].max_joint_vel = 10.0;
  const std::vector<double> near_limit = {0, 0, 2.9, 0, 0};
  const JointMove move = spline({kZero, near_limit, near_limit, near_limit}, kTimes);
  EXPECT_EQ(move.result, joint_move_result::kExceedsLimits);
  EXPECT_NE(move.message.find("axis 3 leaves its limits"), std::string::npos) << move.message;
}

TEST(JointMoveBuilderPoseTest, QuaternionToTransform) {
  const double position[3] = {0.1, 0.2, 0.3};
  const double zero[4] = {0.0, 0.0, 0.0, 0.0};
  Eigen::Matrix4d expected = Eigen::Matrix4d::Identity();
  expected.block<3, 1>(0, 3) << 0.1, 0.2, 0.3;
  EXPECT_TRUE(JointMoveBuilder::poseMatrix(position, zero).isApprox(expected));

  // Half a turn about z, given unnormalised.
  const double half_turn[4] = {0.0, 0.0, 2.0, 0.0};
  expected.block<3, 3>(0, 0) = Eigen::Vector3d(-1.0, -1.0, 1.0).asDiagonal();
  EXPECT_TRUE(JointMoveBuilder::poseMatrix(position, half_turn).isApprox(expected, 1e-12));

  const double quarter_x[4] = {std::sqrt(0.5), 0.0, 0.0, std::sqrt(0.5)};
  const Eigen::Matrix4d pose = JointMoveBuilder::poseMatrix(position, quarter_x);
  const Eigen::Matrix3d rotation =
      Eigen::AngleAxisd(M_PI / 2, Eigen::Vector3d::UnitX()).toRotationMatrix();
  EXPECT_TRUE((pose.block<3, 3>(0, 0) - rotation).isZero(1e-12));
}

TEST(JointMoveBuilderAxisOrderTest, PermutationOfAxisNamesPicksByName) {
  using Order = std::vector<int>;
  EXPECT_EQ(JointMoveBuilder::axisOrder({"joint3", "joint1", "joint2"}, 3), (Order{1, 2, 0}));
  EXPECT_EQ(JointMoveBuilder::axisOrder({"joint1", "joint2", "joint3"}, 3), (Order{0, 1, 2}));
  // Anything else keeps index order.
  for (const std::vector<std::string>& names :
       std::vector<std::vector<std::string>>{{},
                                             {"joint2", "joint1"},
                                             {"shoulder", "elbow", "wrist"},
                                             {"joint1", "joint1", "joint2"},
                                             {"joint1", "joint2", "joint4"},
                                             {"joint01", "joint2", "joint3"},
                                             {"joint", "joint2", "joint3"},
                                             {"joint1", "joint2", "joint99999999999999999999"}}) {
    EXPECT_EQ(JointMoveBuilder::axisOrder(names, 3), (Order{0, 1, 2}));
  }
}

TEST(JointMoveBuilderCruiseTest, CruiseAtExactlyTheVelocityLimitIsAccepted) {
  // Sampled every 5 ms, a cruise at the limit reads a rounding error above it.
  testing::MotionTestArmOptions options;
  options.max_joint_vel = 1.5;
  options.max_joint_acc = 3.0;
  const testing::MotionTestArm arm = testing::makeMotionTestArm(options);
  const JointMoveBuilder builder(arm.robot, [](const std::string&) {});
  ::testing::internal::CaptureStdout();
  const JointMove move =
      builder.pointToPoint(std::vector<double>(5, 0.0), {2.5, 2.0, -2.5, 1.5, -1.0}, 1.0, 1.0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(move.result, joint_move_result::kOk) << move.message;
}

}  // namespace
}  // namespace brenvik

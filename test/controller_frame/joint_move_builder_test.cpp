#include "controller_frame/joint_move_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

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

// Sampled every 5 ms, a cruise at the limit reads a rounding error above it.
TEST_F(JointMoveBuilderTest, CruiseAtExactlyTheVelocityLimitIsAccepted) {
  for (AxisPara& axis : arm_.robot->robot_para_.axis_paras) {
    axis.max_joint_vel = 1.5;
    axis.max_joint_acc = 3.0;
  }
  const JointMove move = pointToPoint({2.5, 2.0, -2.5, 1.5, -1.0});
  EXPECT_EQ(move.result, joint_move_result::kOk) << move.message;
}

// An arm that settled just beyond a limit is moved back in, never further out.
TEST_F(JointMoveBuilderTest, MovesFromJustBeyondALimitBackInAreAccepted) {
  start_ = {3.0005, 0.0, -3.0005, 0.0, 0.0};
  EXPECT_EQ(pointToPoint({2.5, 0.1, -2.5, 0.0, 0.0}).result, joint_move_result::kOk);
  const std::vector<double> in = {2.9, 0, -2.9, 0, 0};
  EXPECT_EQ(spline({in, in, in, in}, {0.5, 1.0, 1.5, 2.0}).result, joint_move_result::kOk);
  EXPECT_EQ(pointToPoint({3.0005, 0.1, -2.5, 0.0, 0.0}).result, joint_move_result::kOutOfRange);
}

// A spline of exactly the trajectory time limit is still accepted.
// A first point at 0 s near the arm gives its place to the arm's position: no jump at all.
TEST_F(JointMoveBuilderTest, SplineFromAFirstPointAtZeroStartsExactlyAtTheArm) {
  const JointMove move =
      spline({{0.005, 0, 0, 0, 0}, {0.3, 0.1, 0, 0, 0}, {0.6, 0.2, 0, 0, 0}, {0.9, 0.3, 0, 0, 0}},
             {0.0, 1.0, 2.0, 20.0});
  ASSERT_EQ(move.result, joint_move_result::kOk) << move.message;
  const auto& planner = *move.cmd->traj_interface_ptrs_[0];
  EXPECT_DOUBLE_EQ(planner.getMotionTime(), 20.0);
  EXPECT_DOUBLE_EQ(planner.calPosition(0.0, nullptr), start_[0]);
  EXPECT_DOUBLE_EQ(planner.calPosition(2.0, nullptr), 0.6);
  EXPECT_DOUBLE_EQ(planner.calPosition(20.0, nullptr), 0.9);
}

// Values beyond the axes are ignored, whatever they are.
TEST_F(JointMoveBuilderTest, SplineWithALateFirstPointStartsFromTheStart) {
  start_ = {0.1, 0.1, 0.1, 0.1, 0.1};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const JointMove move =
      spline({{0.2, 0, 0, 0, 0, nan}, {0.3, 0, 0, 0, 0, 99}, {0.4, 0, 0, 0, 0}, {0.5, 0, 0, 0, 0}},
             {0.5, 1.0, 1.5, 2.0});
  ASSERT_EQ(move.result, joint_move_result::kOk) << move.message;
  for (const auto& planner : move.cmd->traj_interface_ptrs_) {
    EXPECT_DOUBLE_EQ(planner->calPosition(0.0, nullptr), 0.1);
  }
  EXPECT_DOUBLE_EQ(move.cmd->traj_interface_ptrs_[0]->calPosition(0.5, nullptr), 0.2);
}

struct Refusal {
  const char* name;
  Points points;  // a point-to-point move to points[0] when there are no times
  std::vector<double> times;
  int result;
  const char* message;  // expected message, or a part of it
  double scale = 1.0;   // velocity and acceleration scale of a point-to-point move
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class JointMoveBuilderRefusal : public JointMoveBuilderTest,
                                public ::testing::WithParamInterface<Refusal> {};

TEST_P(JointMoveBuilderRefusal, NothingIsPlanned) {
  const Refusal& c = GetParam();
  const JointMove move =
      c.times.empty() ? pointToPoint(c.points[0], c.scale, c.scale) : spline(c.points, c.times);
  EXPECT_EQ(move.result, c.result) << move.message;
  EXPECT_NE(move.message.find(c.message), std::string::npos) << move.message;
  EXPECT_EQ(move.cmd, nullptr);
}

using namespace joint_move_result;
const std::vector<double> kZero(5, 0.0);
const std::vector<double> kTimes = {0.0, 1.0, 2.0, 3.0};
const double kNan = std::numeric_limits<double>::quiet_NaN();

Refusal row(const char* name, Points points, std::vector<double> times, int result,
            const char* message, double scale = 1.0) {
  return {name, std::move(points), std::move(times), result, message, scale};
}

// zero_scale would plan an endless move. too_sharp: 0.3 rad out and back within 0.5 s each way.
// overshoot: the spline rises through 2.95 rad and must turn back before it can stay there.
const Refusal kRefusals[] = {
    row("over_range", {{1, 3.5, 0, 0, 0}}, {}, kOutOfRange,
        "The 1st point 2st axim angle is over range. Please send viable command again.\n"),
    row("not_a_number", {{1, 0.5, kNan, 0, 0}}, {}, kNotFinite,
        "The 1st point 3st axis value is not a number.\n"),
    row("short_target", {{1, 0.5}}, {}, kWrongSize,
        "The 1st point has 2 joint values, fewer than the 5 axes.\n"),
    row("zero_scale", {{1, 0.5, 0.5, 0.5, 0.5}}, {}, kPlanFailed,
        "planAllJoints Failed,error code=-3\n", 0.0),
    row("slow_move", {{3, 0.5, 0.5, 0.5, 0.5}}, {}, kTooLong, "longer than the 20.000000 s", 0.01),
    row("only_point_at_zero", {kZero}, {0}, kTooFewPoints,
        "The trajectory's only point is at 0 s: it needs a point after 0 s.\n"),
    row("third_point_over_range", {kZero, kZero, {0, 3.1, 0, 0, 0}, kZero}, kTimes, kOutOfRange,
        "The 3st point 2st axim angle is over range."),
    row("short_point", {kZero, {0, 0, 0, 0}, kZero, kZero}, kTimes, kWrongSize,
        "The 2st point has 4 joint values"),
    row("times_repeat", {kZero, kZero, kZero, kZero}, {0, 1, 1, 2}, kTimesNotIncreasing,
        "The 3st point's time 1.000000 s does not follow 1.000000 s: times must strictly "
        "increase from 0 s.\n"),
    row("negative_time", {kZero, kZero, kZero, kZero}, {-1, 1, 2, 3}, kTimesNotIncreasing,
        "The 1st point's time"),
    row("nan_time", {kZero, kZero, kZero, kZero}, {0, 1, kNan, 3}, kTimesNotIncreasing,
        "The 3st point's time"),
    row("first_point_jumps", {{0.5, 0, 0, 0, 0}, kZero, kZero, kZero}, kTimes, kStartJump,
        "The first point at 0 s is 0.500000 rad from the arm on axis 1 (more than 0.010000): "
        "the arm would jump.\n"),
    row("too_fast", {kZero, {2.5, 0, 0, 0, 0}, {-2.5, 0, 0, 0, 0}, kZero}, kTimes, kExceedsLimits,
        "The planned motion of axis 1 reaches"),
    row("too_sharp", {kZero, {0, 0.3, 0, 0, 0}, kZero, kZero}, {0, 0.5, 1, 3}, kExceedsLimits,
        "The planned motion of axis 2 accelerates at"),
    row("overshoot",
        {{0, 0, 1.5, 0, 0}, {0, 0, 2.95, 0, 0}, {0, 0, 2.95, 0, 0}, {0, 0, 2.95, 0, 0}},
        {2, 4, 6, 8}, kExceedsLimits,
        "The planned motion of axis 3 leaves its limits at 4.754322 s (3.052882 rad).\n"),
    row("longer_than_the_time_limit", {kZero, kZero, kZero, kZero}, {0, 10, 20, 21}, kTooLong,
        "The move takes 21.000000 s, longer than the 20.000000 s a trajectory may run.\n")};

INSTANTIATE_TEST_SUITE_P(Cases, JointMoveBuilderRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& param_info) { return param_info.param.name; });

TEST(JointMoveBuilderPoseTest, QuaternionToTransform) {
  const double position[3] = {0.1, 0.2, 0.3};
  const Eigen::AngleAxisd turn(0.7, Eigen::Vector3d(1, 2, 3).normalized());
  const Eigen::Quaterniond q(turn);
  // Given unnormalised; a zero quaternion is no rotation.
  const double doubled[4] = {2 * q.x(), 2 * q.y(), 2 * q.z(), 2 * q.w()}, zero[4] = {0, 0, 0, 0};
  Eigen::Matrix4d expected = Eigen::Matrix4d::Identity();
  expected.block<3, 1>(0, 3) << 0.1, 0.2, 0.3;
  EXPECT_TRUE(JointMoveBuilder::poseMatrix(position, zero).isApprox(expected, 1e-12));
  expected.block<3, 3>(0, 0) = turn.toRotationMatrix();
  EXPECT_TRUE(JointMoveBuilder::poseMatrix(position, doubled).isApprox(expected, 1e-12));
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

}  // namespace
}  // namespace brenvik

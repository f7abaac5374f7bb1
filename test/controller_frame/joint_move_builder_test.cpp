#include "controller_frame/joint_move_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "support/motion_test_arm.h"

namespace brenvik {
namespace {

using Points = std::vector<std::vector<double>>;
using namespace joint_move_result;

// Five axes with joint limits [-3, 3], max_joint_vel 2, max_joint_acc 4, threshold 0.01.
class JointMoveBuilderTest : public ::testing::Test {
 protected:
  // A move to points[0] at `scale` when there are no times, else a spline.
  JointMove build(const Points& points, const std::vector<double>& times = {}, double scale = 1) {
    ::testing::internal::CaptureStdout();
    JointMove move = times.empty() ? builder_.pointToPoint(start_, points[0], scale, scale)
                                   : builder_.spline(start_, points, times);
    ::testing::internal::GetCapturedStdout();
    return move;
  }
  double at(const JointMove& move, int axis, double t) {
    return move.cmd->traj_interface_ptrs_[axis]->calPosition(t, nullptr);
  }

  testing::MotionTestArm arm_ = testing::makeMotionTestArm();
  std::vector<std::string> info_;
  JointMoveBuilder builder_{arm_.robot, [this](const std::string& line) { info_.push_back(line); }};
  std::vector<double> start_ = std::vector<double>(5, 0.0);
};

TEST_F(JointMoveBuilderTest, PointToPointIsPlannedAndSynchronised) {
  const JointMove move = build({{1.0, -0.5, 0.25, 2.0, -1.0}}, {}, 0.5);
  ASSERT_EQ(move.result, kOk) << move.message;
  ASSERT_EQ(move.cmd->traj_interface_ptrs_.size(), 5u);
  for (const auto& planner : move.cmd->traj_interface_ptrs_) {
    EXPECT_DOUBLE_EQ(planner->getMotionTime(), move.cmd->traj_interface_ptrs_[3]->getMotionTime());
  }
  ASSERT_EQ(info_.size(), 5u);
  EXPECT_EQ(info_[0], "TrapezoidPlannerInput:0.000000,1.000000,1.000000,2.000000,-2.000000\n");
  // Sampled every 5 ms, a cruise at exactly the velocity limit reads a rounding error above it.
  for (AxisPara& axis : arm_.robot->robot_para_.axis_paras) {
    axis.max_joint_vel = 1.5;
    axis.max_joint_acc = 3.0;
  }
  EXPECT_EQ(build({{2.5, 2.0, -2.5, 1.5, -1.0}}).result, kOk);
  // An arm that settled just beyond a limit is moved back in, never further out.
  start_ = {3.0005, 0.0, -3.0005, 0.0, 0.0};
  EXPECT_EQ(build({{2.5, 0.1, -2.5, 0.0, 0.0}}).result, kOk);
  const std::vector<double> in = {2.9, 0, -2.9, 0, 0};
  EXPECT_EQ(build({in, in, in, in}, {0.5, 1.0, 1.5, 2.0}).result, kOk);
  EXPECT_EQ(build({{3.0005, 0.1, -2.5, 0.0, 0.0}}).result, kOutOfRange);
}

// A first point at 0 s near the arm gives its place to the arm, a late one is reached from it;
// values beyond the axes are ignored; exactly the trajectory time limit is accepted.
TEST_F(JointMoveBuilderTest, SplinesStartExactlyAtTheArm) {
  JointMove move =
      build({{0.005, 0, 0, 0, 0}, {0.3, 0.1, 0, 0, 0}, {0.6, 0.2, 0, 0, 0}, {0.9, 0.3, 0, 0, 0}},
            {0.0, 1.0, 2.0, 20.0});
  ASSERT_EQ(move.result, kOk) << move.message;
  EXPECT_EQ(std::vector<double>({at(move, 0, 0), at(move, 0, 2), at(move, 0, 20)}),
            std::vector<double>({0.0, 0.6, 0.9}));
  start_ = {0.1, 0.1, 0.1, 0.1, 0.1};
  move =
      build({{0.2, 0, 0, 0, 0, NAN}, {0.3, 0, 0, 0, 0, 99}, {0.4, 0, 0, 0, 0}, {0.5, 0, 0, 0, 0}},
            {0.5, 1.0, 1.5, 2.0});
  ASSERT_EQ(move.result, kOk) << move.message;
  for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(at(move, i, 0.0), 0.1);
  EXPECT_DOUBLE_EQ(at(move, 0, 0.5), 0.2);
}

// A zero scale would plan an endless move; the spline through 2.95 rad overshoots the limit.
TEST_F(JointMoveBuilderTest, RefusalsPlanNothing) {
  const std::vector<double> o(5, 0.0), t = {0.0, 1.0, 2.0, 3.0}, p = {0.5, 0, 0, 0, 0};
  const std::vector<double> up = {0, 0, 2.95, 0, 0}, far = {1, 0.5, 0.5, 0.5, 0.5};
  const struct {
    Points points;
    std::vector<double> times;
    int result;
    const char* message;  // expected, or a part of it
    double scale = 1;
  } rows[] = {
      {{{1, 3.5, 0, 0, 0}}, {}, kOutOfRange, "1st point 2st axim angle is over range. Please"},
      {{{1, 0.5, NAN, 0, 0}}, {}, kNotFinite, "The 1st point 3st axis value is not a number.\n"},
      {{{1, 0.5}}, {}, kWrongSize, "The 1st point has 2 joint values, fewer than the 5 axes."},
      {{far}, {}, kPlanFailed, "planAllJoints Failed,error code=-3\n", 0},
      {{far}, {}, kTooLong, "The move takes 50.500000 s", 0.01},
      {{o}, {0}, kTooFewPoints, "The trajectory's only point is at 0 s: it needs a point after"},
      {{o, {0, 0, 0, 0}, o, o}, t, kWrongSize, "The 2st point has 4 joint values"},
      {{o, o, o, o}, {0, 1, 1, 2}, kTimesNotIncreasing, "3st point's time 1.000000 s does not"},
      {{o, o, o, o}, {-1, 1, 2, 3}, kTimesNotIncreasing, "The 1st point's time"},
      {{o, o, o, o}, {0, 1, NAN, 3}, kTimesNotIncreasing, "The 3st point's time"},
      {{p, o, o, o}, t, kStartJump, "0.500000 rad from the arm on axis 1 (more than 0.010000)"},
      {{o, {2.5, 0, 0, 0, 0}, {-2.5, 0, 0, 0, 0}, o}, t, kExceedsLimits, "axis 1 reaches"},
      {{o, {0, 0, 0.3, 0, 0}, o, o}, {0, 0.5, 1, 3}, kExceedsLimits, "axis 3 accelerates at"},
      {{{0, 0, 1.5, 0, 0}, up, up, up},
       {2, 4, 6, 8},
       kExceedsLimits,
       "The planned motion of axis 3 leaves its limits at 4.754322 s (3.052882 rad).\n"},
      {{o, o, o, o},
       {0, 10, 20, 21},
       kTooLong,
       "The move takes 21.000000 s, longer than the 20.000000 s a trajectory may run.\n"}};
  for (const auto& row : rows) {
    const JointMove move = build(row.points, row.times, row.scale);
    EXPECT_EQ(move.result, row.result) << move.message;
    EXPECT_NE(move.message.find(row.message), std::string::npos) << row.message << move.message;
    EXPECT_EQ(move.cmd, nullptr) << row.message;
  }
}

// A permutation of joint1..jointN picks by name; anything else keeps index order.
TEST(JointMoveBuilderAxisOrderTest, PermutationOfAxisNamesPicksByName) {
  using Order = std::vector<int>;
  EXPECT_EQ(JointMoveBuilder::axisOrder({"joint3", "joint1", "joint2"}, 3), (Order{1, 2, 0}));
  for (std::string list : {"joint1 joint2 joint3", "", "joint2 joint1", "shoulder elbow wrist",
                           "joint1 joint1 joint2", "joint1 joint2 joint4", "joint01 joint2 joint3",
                           "joint joint2 joint3", "joint1 joint2 joint99999999999999999999"}) {
    std::vector<std::string> names;
    for (std::istringstream in(list); in >> list;) names.push_back(list);
    EXPECT_EQ(JointMoveBuilder::axisOrder(names, 3), (Order{0, 1, 2})) << list;
  }
}

}  // namespace
}  // namespace brenvik

#include "controller_frame/cubic_planner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "controller_frame/motion_codes.h"

namespace brenvik {
namespace {

int plan(CubicPlanner& planner, const CubicPlannerInput& in, std::string* out = nullptr) {
  planner.setInput(&in);
  ::testing::internal::CaptureStdout();
  const int r = planner.plan();
  const std::string text = ::testing::internal::GetCapturedStdout();
  if (out != nullptr) *out = text;
  return r;
}

// Knots (0, 0), (1, 1), (2, 0) by hand: the clamped system gives M = (6, −6, 6), so on the first
// segment q = 3t² − 2t³ and q' = 6t(1 − t): q(0.25) = 0.15625, the peak q(1) = 1 at rest, the
// fastest 1.5 rad/s at t = 0.5, the sharpest 6 rad/s² at the first knot. Two knots (0, 0), (1, 1)
// make the same first segment.
TEST(CubicPlanner, GoldenValuesAndBounds) {
  CubicPlanner planner;
  std::string out;
  ASSERT_EQ(plan(planner, {{0.0, 1.0, 0.0}, {0.0, 1.0, 2.0}}, &out), planner_result::kOk);
  EXPECT_EQ(out, "CubicPlanner::plan finish!\n");
  int at_end = -1, after = -1;
  EXPECT_NEAR(planner.calPosition(0.25, nullptr), 0.15625, 1e-15);
  EXPECT_EQ(planner.calPosition(1.0, nullptr), 1.0);
  EXPECT_NEAR(planner.calPosition(2.0, &at_end), 0.0, 1e-15);
  EXPECT_EQ(planner.calPosition(2.001, &after), 0.0);
  EXPECT_EQ(std::make_pair(at_end, after), std::make_pair(0, 1));  // reached only after the end
  const MotionBounds b = planner.motionBounds();
  EXPECT_EQ(std::make_tuple(b.max_position, b.max_position_time, b.max_acceleration_time),
            std::make_tuple(1.0, 1.0, 0.0));
  const double got[] = {b.min_position, b.max_speed, b.max_speed_time, b.max_acceleration};
  const double expected[] = {0.0, 1.5, 0.5, 6.0};
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[k], expected[k], 1e-12) << k;
  ASSERT_EQ(plan(planner, {{0.0, 1.0}, {0.0, 1.0}}), planner_result::kOk);
  EXPECT_EQ(std::make_pair(planner.calPosition(0.25, nullptr), planner.motionBounds().max_speed),
            std::make_pair(0.15625, 1.5));
}

// Each refusal names the value and plans nothing; so are no positions and a trapezoid input.
TEST(CubicPlanner, InvalidInputIsRefusedWithTheValueNamed) {
  const std::pair<CubicPlannerInput, const char*> cases[] = {
      {{{0.0}, {0.0}}, "at least 2 knots, got 1"},
      {{{0.0, 1.0, 2.0}, {0.0, 1.0}}, "3 positions but 2"},
      {{{0.0, 1.0, 2.0}, {0.0, 1.0, 1.0}}, "time 2=1"},
      {{{0.0, NAN, 2.0}, {0.0, 1.0, 2.0}}, "position 1=nan"},
      {{{0.0, 1.0, 2.0}, {0.0, NAN, 2.0}}, "time 1=nan"}};
  for (const auto& c : cases) {
    CubicPlanner planner;
    std::string out;
    EXPECT_EQ(plan(planner, c.first, &out), planner_result::kInvalidInput) << c.second;
    EXPECT_NE(out.find(c.second), std::string::npos) << out;
    EXPECT_TRUE(std::isnan(planner.calPosition(0.5, nullptr)) &&
                std::isnan(planner.motionBounds().max_position));
  }
  CubicPlanner planner;
  const CubicPlannerInput empty;
  const TrapezoidPlannerInput trapezoid;
  double start = 0.3, goal = -0.4;
  planner.setInput(&empty);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(planner.getStartAndGoal(&start, &goal), -1);
  planner.setInput(&trapezoid);
  EXPECT_EQ(planner.plan(), planner_result::kInvalidInput);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "get start and goal error.\nCubicPlanner has no cubic input\n");
  EXPECT_EQ(start, 0.3);
}

}  // namespace
}  // namespace brenvik

#include "controller_frame/cubic_planner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
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
  EXPECT_EQ(std::make_pair(b.max_position, b.max_position_time), std::make_pair(1.0, 1.0));
  EXPECT_EQ(b.max_acceleration_time, 0.0);
  const double got[] = {b.min_position, b.max_speed, b.max_speed_time, b.max_acceleration};
  const double expected[] = {0.0, 1.5, 0.5, 6.0};
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[k], expected[k], 1e-12) << k;
  ASSERT_EQ(plan(planner, {{0.0, 1.0}, {0.0, 1.0}}), planner_result::kOk);
  EXPECT_NEAR(planner.calPosition(0.25, nullptr), 0.15625, 1e-15);
  EXPECT_NEAR(planner.motionBounds().max_speed, 1.5, 1e-12);
}

// Each refusal names the value and plans nothing. Without positions there is no start and goal;
// a trapezoid input is refused.
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

// Seeded random knots: the spline passes through every knot and starts and ends at rest; its
// analytic bounds hold the densely sampled motion and are reached (a sample misses an extremum by
// at most what the next derivative's bound allows over dt).
TEST(CubicPlanner, RandomSplinesInterpolateTheirKnotsWithinTheirBounds) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> position(-2.0, 2.0), gap(0.05, 1.0);
  for (int trial = 0; trial < 60; ++trial) {
    SCOPED_TRACE(trial);
    CubicPlannerInput in;
    for (double t = 0.0; static_cast<int>(in.times.size()) < 3 + trial % 20; t += gap(rng)) {
      in.positions.push_back(position(rng));
      in.times.push_back(t);
    }
    CubicPlanner planner;
    ASSERT_EQ(plan(planner, in), planner_result::kOk);
    double start = 0.0, goal = 0.0;
    ASSERT_EQ(planner.getStartAndGoal(&start, &goal), 0);
    ASSERT_EQ(std::make_pair(start, goal), std::make_pair(in.positions[0], in.positions.back()));
    for (size_t k = 0; k < in.times.size(); ++k) {
      ASSERT_NEAR(planner.calPosition(in.times[k], nullptr), in.positions[k], 1e-9);
    }
    const MotionBounds b = planner.motionBounds();
    const double end = in.times.back(), dt = end / 20000, a = b.max_acceleration;
    double previous = in.positions[0], low = previous, high = previous, fastest = 0.0;
    double previous_speed = 0.0, sharpest = 0.0;
    for (int k = 1; k <= 20000; ++k) {
      const double q = planner.calPosition(k * dt, nullptr), v = (q - previous) / dt;
      low = std::min(low, q);
      high = std::max(high, q);
      fastest = std::max(fastest, std::fabs(v));
      if (k > 1) sharpest = std::max(sharpest, std::fabs(v - previous_speed) / dt);
      previous = q;
      previous_speed = v;
    }
    ASSERT_TRUE(low >= b.min_position - 1e-12 && low <= b.min_position + a * dt * dt);
    ASSERT_TRUE(high <= b.max_position + 1e-12 && high >= b.max_position - a * dt * dt);
    ASSERT_TRUE(fastest <= b.max_speed + 1e-9 && fastest >= b.max_speed - a * dt);
    ASSERT_LE(sharpest, a * (1 + 1e-6));
    ASSERT_NEAR(sharpest, a, 2e-2 * a);
    ASSERT_LE(std::fabs(planner.calPosition(dt, nullptr) - in.positions[0]), a * dt * dt);
    ASSERT_LE(std::fabs(planner.calPosition(end - dt, nullptr) - previous), a * dt * dt);
  }
}

}  // namespace
}  // namespace brenvik

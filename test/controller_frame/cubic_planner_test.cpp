#include "controller_frame/cubic_planner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "controller_frame/motion_codes.h"

namespace brenvik {
namespace {

int planQuietly(CubicPlanner& planner, const CubicPlannerInput& in, std::string* out = nullptr) {
  planner.setInput(&in);
  ::testing::internal::CaptureStdout();
  const int r = planner.plan();
  const std::string text = ::testing::internal::GetCapturedStdout();
  if (out != nullptr) {
    *out = text;
  }
  return r;
}

TEST(CubicPlanner, ThreeKnotGoldenValues) {
  CubicPlanner planner;
  std::string out;
  ASSERT_EQ(planQuietly(planner, {{0.0, 1.0, 0.0}, {0.0, 1.0, 2.0}}, &out), planner_result::kOk);
  EXPECT_EQ(out, "CubicPlanner::plan finish!\n");
  int reached = -1;
  EXPECT_NEAR(planner.calPosition(0.0, &reached), 0.0, 1e-12);
  EXPECT_EQ(reached, 0);
  EXPECT_NEAR(planner.calPosition(1.0, &reached), 1.0, 1e-12);
  EXPECT_NEAR(planner.calPosition(2.0, &reached), 0.0, 1e-12);
  EXPECT_EQ(reached, 0);  // at the last knot time: value, not yet reached
  EXPECT_NEAR(planner.calPosition(2.001, &reached), 0.0, 1e-12);
  EXPECT_EQ(reached, 1);
  // Zero slope at both ends.
  const double h = 1e-6;
  EXPECT_NEAR((planner.calPosition(h, nullptr) - planner.calPosition(0.0, nullptr)) / h, 0.0, 1e-4);
  EXPECT_NEAR((planner.calPosition(2.0, nullptr) - planner.calPosition(2.0 - h, nullptr)) / h, 0.0,
              1e-4);
  // Symmetric knots give a symmetric spline.
  EXPECT_NEAR(planner.calPosition(0.5, nullptr), planner.calPosition(1.5, nullptr), 1e-12);
  EXPECT_DOUBLE_EQ(planner.getMotionTime(), 2.0);
  EXPECT_EQ(planner.getPlanResult(), nullptr);
  EXPECT_EQ(planner.replanFlag(), 0);
  EXPECT_EQ(planner.rePlan(nullptr), planner_result::kOk);
}

TEST(CubicPlanner, StartAndGoal) {
  CubicPlanner planner;
  const CubicPlannerInput in{{0.3, 1.0, -0.4}, {0.0, 1.0, 2.0}};
  planner.setInput(&in);
  double start = 0.0;
  double goal = 0.0;
  EXPECT_EQ(planner.getStartAndGoal(&start, &goal), 0);
  EXPECT_DOUBLE_EQ(start, 0.3);
  EXPECT_DOUBLE_EQ(goal, -0.4);
  // Without positions both stay as they were.
  const CubicPlannerInput empty;
  planner.setInput(&empty);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(planner.getStartAndGoal(&start, &goal), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "get start and goal error.\n");
  EXPECT_DOUBLE_EQ(start, 0.3);
  EXPECT_DOUBLE_EQ(goal, -0.4);
}

struct CubicInvalidCase {
  const char* name;
  CubicPlannerInput in;
  const char* message;
};

class CubicPlannerInvalidInput : public ::testing::TestWithParam<CubicInvalidCase> {};

TEST_P(CubicPlannerInvalidInput, RefusedWithNamedValue) {
  CubicPlanner planner;
  std::string out;
  EXPECT_EQ(planQuietly(planner, GetParam().in, &out), planner_result::kInvalidInput);
  EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
  EXPECT_TRUE(std::isnan(planner.calPosition(0.5, nullptr)));
}

const double kNan = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, CubicPlannerInvalidInput,
    ::testing::Values(
        CubicInvalidCase{"two_knots", {{0.0, 1.0}, {0.0, 1.0}}, "at least 3 knots, got 2"},
        CubicInvalidCase{"no_knots", {{}, {}}, "at least 3 knots, got 0"},
        CubicInvalidCase{"lengths_differ", {{0.0, 1.0, 2.0}, {0.0, 1.0}}, "3 positions but 2"},
        CubicInvalidCase{"repeated_time", {{0.0, 1.0, 2.0}, {0.0, 1.0, 1.0}}, "time 2=1"},
        CubicInvalidCase{"falling_time", {{0.0, 1.0, 2.0}, {0.0, 2.0, 1.0}}, "time 2=1"},
        CubicInvalidCase{"nan_position", {{0.0, kNan, 2.0}, {0.0, 1.0, 2.0}}, "position 1=nan"},
        CubicInvalidCase{"nan_time", {{0.0, 1.0, 2.0}, {0.0, kNan, 2.0}}, "time 1=nan"}),
    [](const ::testing::TestParamInfo<CubicInvalidCase>& param_info) {
      return param_info.param.name;
    });

TEST(CubicPlanner, TrapezoidInputIsRefused) {
  CubicPlanner planner;
  TrapezoidPlannerInput trapezoid;
  planner.setInput(&trapezoid);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(planner.plan(), planner_result::kInvalidInput);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("no cubic input"), std::string::npos);
}

// Seeded random knots: the spline passes through every knot, value and slope are continuous at
// the knots, and it ends at the last knot with zero end slopes.
TEST(CubicPlanner, RandomSplinesInterpolateKnots) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> position(-2.0, 2.0);
  std::uniform_real_distribution<double> gap(0.05, 1.0);
  for (int trial = 0; trial < 50; ++trial) {
    const int n = 3 + trial % 20;
    CubicPlannerInput in;
    double t = 0.0;
    for (int k = 0; k < n; ++k) {
      in.positions.push_back(position(rng));
      in.times.push_back(t);
      t += gap(rng);
    }
    CubicPlanner planner;
    ASSERT_EQ(planQuietly(planner, in), planner_result::kOk);
    for (int k = 0; k < n; ++k) {
      ASSERT_NEAR(planner.calPosition(in.times[k], nullptr), in.positions[k], 1e-9);
    }
    // Value and slope continuous across every inner knot.
    const double e = 1e-7;
    for (int k = 1; k < n - 1; ++k) {
      const double x = in.times[k];
      const double left = planner.calPosition(x - e, nullptr);
      const double right = planner.calPosition(x + e, nullptr);
      ASSERT_NEAR(left, right, 1e-4) << "trial " << trial << " knot " << k;
      const double left_slope = (in.positions[k] - left) / e;
      const double right_slope = (right - in.positions[k]) / e;
      ASSERT_NEAR(left_slope, right_slope, 1e-2 * (1.0 + std::fabs(left_slope)));
    }
    const double end = in.times.back();
    const double h = 1e-7;
    EXPECT_NEAR((planner.calPosition(h, nullptr) - in.positions.front()) / h, 0.0, 1e-3);
    EXPECT_NEAR((in.positions.back() - planner.calPosition(end - h, nullptr)) / h, 0.0, 1e-3);
    int reached = 0;
    EXPECT_DOUBLE_EQ(planner.calPosition(end + 0.001, &reached), in.positions.back());
    EXPECT_EQ(reached, 1);
  }
}

}  // namespace
}  // namespace brenvik

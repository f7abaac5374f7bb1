#include "controller_frame/trapezoid_planner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "controller_frame/motion_codes.h"

namespace brenvik {
namespace {

TrapezoidPlannerInput input(double q0, double q1, double vmax = 1.0, double aa = 1.0,
                            double v0 = 0.0, double v1 = 0.0) {
  TrapezoidPlannerInput in;
  in.q0 = q0;
  in.q1 = q1;
  in.v0 = v0;
  in.v1 = v1;
  in.vmax = vmax;
  in.aa = aa;
  in.ad = -aa;
  return in;
}

int planQuietly(TrapezoidPlanner& planner, const TrapezoidPlannerInput& in,
                std::string* out = nullptr) {
  planner.setInput(&in);
  ::testing::internal::CaptureStdout();
  const int r = planner.plan();
  const std::string text = ::testing::internal::GetCapturedStdout();
  if (out != nullptr) *out = text;
  return r;
}

struct GoldenCase {
  const char* name;
  double q0, q1, Vv, Ta, Tv, Td;
  std::vector<std::pair<double, double>> samples;  // (t, q), phase boundaries first
};

class TrapezoidGoldenTest : public ::testing::TestWithParam<GoldenCase> {};

// vmax = aa = 1: the plan, its samples at the phase boundaries, the goal reached from Tall on,
// and the bounds of the motion.
TEST_P(TrapezoidGoldenTest, PhasesSamplesAndBounds) {
  const GoldenCase& c = GetParam();
  TrapezoidPlanner planner;
  ASSERT_EQ(planQuietly(planner, input(c.q0, c.q1)), planner_result::kOk);
  const TrapezoidPlanResult& r = *planner.getPlanResult();
  EXPECT_DOUBLE_EQ(r.Vv, c.Vv);
  EXPECT_DOUBLE_EQ(r.Ta, c.Ta);
  EXPECT_DOUBLE_EQ(r.Tv, c.Tv);
  EXPECT_DOUBLE_EQ(r.Td, c.Td);
  EXPECT_DOUBLE_EQ(planner.getMotionTime(), c.Ta + c.Tv + c.Td);
  for (const auto& [t, q] : c.samples) EXPECT_DOUBLE_EQ(planner.calPosition(t, nullptr), q) << t;
  int reached = 0;
  EXPECT_EQ(planner.calPosition(r.Tall, &reached), c.q1);
  EXPECT_EQ(reached, 1);
  EXPECT_EQ(planner.calPosition(0.0, &reached), c.q0);
  EXPECT_EQ(reached, r.Tall == 0.0 ? 1 : 0);
  const MotionBounds b = planner.motionBounds();
  EXPECT_EQ(b.min_position, std::min(c.q0, c.q1));
  EXPECT_EQ(b.max_position, std::max(c.q0, c.q1));
  EXPECT_DOUBLE_EQ(b.max_speed, std::fabs(c.Vv));
  EXPECT_DOUBLE_EQ(b.max_acceleration, r.Tall > 0.0 ? 1.0 : 0.0);
  EXPECT_EQ(planner.limitStretch(), 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, TrapezoidGoldenTest,
    ::testing::Values(GoldenCase{"Full", 0, 1, 1, 1, 0, 1, {{0.5, 0.125}, {1, 0.5}, {1.5, 0.875}}},
                      GoldenCase{
                          "Triangle", 0, 0.25, 0.5, 0.5, 0, 0.5, {{0.5, 0.125}, {0.75, 0.21875}}},
                      GoldenCase{"Negative", 0, -1, -1, 1, 0, 1, {{1, -0.5}, {1.5, -0.875}}},
                      GoldenCase{"NegativeTriangle", 0, -0.25, -0.5, 0.5, 0, 0.5, {{0.5, -0.125}}},
                      GoldenCase{"Cruise", 0, 3, 1, 1, 2, 1, {{1, 0.5}, {3, 2.5}, {3.5, 2.875}}},
                      GoldenCase{"ZeroDistance", 0.3, 0.3, 0, 0, 0, 0, {{1, 0.3}}}),
    [](const ::testing::TestParamInfo<GoldenCase>& c) { return std::string(c.param.name); });

TEST(TrapezoidPlanner, PrintsItsPlanAndKeepsItOnFailure) {
  TrapezoidPlanner planner;
  std::string out;
  ASSERT_EQ(planQuietly(planner, input(0.0, 1.0), &out), planner_result::kOk);
  EXPECT_EQ(out,
            "TrapezoidPlanner::plan\n1\nv0:0\nv1:0\nvmax:1\naa:1\nad:-1\nh:1\n"
            "TrapezoidPlanner::plan finish!\n");
  EXPECT_EQ(planQuietly(planner, input(0.0, 0.1, 1.0, 1.0, 1.0), &out), planner_result::kTooClose);
  EXPECT_DOUBLE_EQ(planner.getMotionTime(), 2.0);
  double start = 0.0, goal = 0.0;
  EXPECT_EQ(planner.getStartAndGoal(&start, &goal), 0);
  EXPECT_EQ(goal, 0.1);
}

// Re-planned into a reference's durations: half the distance, half the velocity; an axis that
// stays where it is holds.
TEST(TrapezoidPlanner, RePlanFitsTheDistanceIntoTheReferenceDurations) {
  TrapezoidPlanner reference, half, still;
  ASSERT_EQ(planQuietly(reference, input(0.0, 2.0)), planner_result::kOk);
  ASSERT_EQ(planQuietly(half, input(0.0, 1.0)), planner_result::kOk);
  ASSERT_EQ(planQuietly(still, input(0.3, 0.3)), planner_result::kOk);
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(half.rePlan(reference.getPlanResult()), planner_result::kOk);
  ASSERT_EQ(still.rePlan(reference.getPlanResult()), planner_result::kOk);
  EXPECT_EQ(half.rePlan(nullptr), planner_result::kInvalidInput);
  TrapezoidPlanResult zero;
  EXPECT_EQ(half.rePlan(&zero), planner_result::kInvalidInput);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Ta=1.000000,Td=1.000000,Tall=3.000000,Tv=1.000000;\n"
                     "q0=0.000000,q1=1.000000,v0=0.000000,v1=0.000000;\nVv=0.500000;\n"),
            std::string::npos);
  EXPECT_DOUBLE_EQ(half.getPlanResult()->Vv, 0.5);
  EXPECT_DOUBLE_EQ(half.getMotionTime(), 3.0);
  EXPECT_DOUBLE_EQ(half.calPosition(1.5, nullptr), reference.calPosition(1.5, nullptr) / 2.0);
  EXPECT_EQ(half.calPosition(3.0, nullptr), 1.0);
  for (double t : {0.0, 1.0, 1.7, 3.0}) EXPECT_EQ(still.calPosition(t, nullptr), 0.3) << t;
}

struct InvalidCase {
  const char* name;
  TrapezoidPlannerInput in;
  const char* message;
  int code = planner_result::kInvalidInput;
};

class TrapezoidPlannerInvalidInput : public ::testing::TestWithParam<InvalidCase> {};

// Not planned: sampling gives no number a motor could take.
TEST_P(TrapezoidPlannerInvalidInput, RefusedWithItsMessage) {
  TrapezoidPlanner planner;
  std::string out;
  EXPECT_EQ(planQuietly(planner, GetParam().in, &out), GetParam().code);
  EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
  EXPECT_EQ(planner.planStatus(), GetParam().code);
  EXPECT_TRUE(std::isnan(planner.calPosition(0.5, nullptr)));
  EXPECT_TRUE(std::isnan(planner.motionBounds().max_speed));
}

TrapezoidPlannerInput withField(double TrapezoidPlannerInput::*field, double value) {
  TrapezoidPlannerInput in = input(0.0, 1.0);
  in.*field = value;
  return in;
}

const double kNan = std::numeric_limits<double>::quiet_NaN();
using In = TrapezoidPlannerInput;

INSTANTIATE_TEST_SUITE_P(
    Cases, TrapezoidPlannerInvalidInput,
    ::testing::Values(InvalidCase{"zero_distance_with_speed", input(0.3, 0.3, 1.0, 1.0, 0.5, 0.5),
                                  "too close to plan-...\n", planner_result::kTooClose},
                      // Slowing from 1 to 0 needs 0.5; only 0.1 is available.
                      InvalidCase{"too_close_for_v0", input(0.0, 0.1, 1.0, 1.0, 1.0, 0.0),
                                  "too close to plan+...\n", planner_result::kTooClose},
                      InvalidCase{"v0_over_vmax", input(0.0, 1.0, 1.0, 1.0, 2.0, 0.0),
                                  "You set v0 over vmax, or v1 over vmax!\n",
                                  planner_result::kOverVmax},
                      InvalidCase{"zero_vmax", withField(&In::vmax, 0.0), "vmax=0"},
                      InvalidCase{"zero_aa", withField(&In::aa, 0.0), "aa=0"},
                      InvalidCase{"positive_ad", withField(&In::ad, 1.0), "ad=1"},
                      InvalidCase{"nan_q1", withField(&In::q1, kNan), "q1=nan"},
                      InvalidCase{"inf_q0", withField(&In::q0, INFINITY), "q0=inf"},
                      InvalidCase{"overflowing_distance", input(-1.7e308, 1.7e308), "not finite"}),
    [](const ::testing::TestParamInfo<InvalidCase>& c) { return std::string(c.param.name); });

TEST(TrapezoidPlanner, CubicInputIsRefused) {
  TrapezoidPlanner planner;
  CubicPlannerInput cubic{{0.0, 1.0, 2.0}, {0.0, 1.0, 2.0}};
  planner.setInput(&cubic);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(planner.plan(), planner_result::kInvalidInput);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("no trapezoid input"), std::string::npos);
}

// Seeded random moves, boundary velocities included: the analytic bounds against the densely
// sampled motion; with zero boundary velocities the motion is monotone, continuous, within vmax
// and ends exactly at the goal.
TEST(TrapezoidPlanner, RandomMovesKeepInvariantsAndTheirBoundsMatchTheSampledMotion) {
  std::mt19937 rng(20261206);
  std::uniform_real_distribution<double> position(-3.0, 3.0), limit(0.05, 3.0), unit(-1.0, 1.0);
  int checked = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const double q0 = position(rng), q1 = position(rng), vmax = limit(rng), aa = limit(rng);
    const bool at_rest = trial % 2 == 0;
    const double v0 = at_rest ? 0.0 : unit(rng) * vmax, v1 = at_rest ? 0.0 : unit(rng) * vmax;
    TrapezoidPlanner planner;
    const int r = planQuietly(planner, input(q0, q1, vmax, aa, v0, v1));
    if (!at_rest && r == planner_result::kTooClose) continue;
    ASSERT_EQ(r, planner_result::kOk) << trial;
    ++checked;
    const double total = planner.getMotionTime();
    const MotionBounds b = planner.motionBounds();
    const int steps = 4000;
    const double dt = total / steps;
    double previous = q0, low = q0, high = q0, fastest = std::max(std::fabs(v0), std::fabs(v1));
    for (int k = 1; k <= steps; ++k) {
      const double q = planner.calPosition(k * dt, nullptr);
      low = std::min(low, q);
      high = std::max(high, q);
      fastest = std::max(fastest, std::fabs(q - previous) / dt);
      if (at_rest) {
        ASSERT_GE((q1 > q0 ? 1 : -1) * (q - previous), -1e-12) << trial << " " << k;
      }
      previous = q;
    }
    ASSERT_GE(low, b.min_position - 1e-9) << trial;
    ASSERT_LE(high, b.max_position + 1e-9) << trial;
    ASSERT_NEAR(low, b.min_position, 1e-4 * (1 + total)) << trial;
    ASSERT_NEAR(high, b.max_position, 1e-4 * (1 + total)) << trial;
    ASSERT_LE(fastest, b.max_speed * (1 + 1e-9) + 1e-12) << trial;
    ASSERT_NEAR(fastest, b.max_speed, 2e-3 * b.max_speed + 1e-9) << trial;
    ASSERT_LE(b.max_speed, vmax * (1 + 1e-12));
    ASSERT_LE(b.max_acceleration, aa * (1 + 1e-12));
    ASSERT_EQ(planner.calPosition(total, nullptr), q1);
  }
  EXPECT_GT(checked, 300);
}

}  // namespace
}  // namespace brenvik

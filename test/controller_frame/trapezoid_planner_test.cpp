#include "controller_frame/trapezoid_planner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "controller_frame/motion_codes.h"

namespace brenvik {
namespace {

using planner_result::kInvalidInput;
using planner_result::kOk;
using planner_result::kOverVmax;
using planner_result::kTooClose;

TrapezoidPlannerInput input(double q0, double q1, double vmax = 1.0, double aa = 1.0,
                            double v0 = 0.0, double v1 = 0.0) {
  return {0.0, q0, q1, v0, v1, vmax, aa, -aa};
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
  TrapezoidPlannerInput in;
  double Vv, Ta, Tv, Td, low, high;  // the plan and the motion's extreme positions
  std::vector<double> tq;            // (t, q) pairs at and between the phase boundaries
};

// "Reverse" starts and ends at full speed away from its goal: the motion overshoots both ends.
// "Decelerate" only slows down: its ramp from v0 to v1 covers the whole distance.
const GoldenCase kGolden[] = {
    {"Full", input(0, 1), 1, 1, 0, 1, 0, 1, {0.5, 0.125, 1, 0.5, 1.5, 0.875}},
    {"Triangle", input(0, 0.25), 0.5, 0.5, 0, 0.5, 0, 0.25, {0.5, 0.125, 0.75, 0.21875}},
    {"Negative", input(0, -1), -1, 1, 0, 1, -1, 0, {1, -0.5, 1.5, -0.875}},
    {"FastTriangle", input(0, 0.125, 1, 2), 0.5, 0.25, 0, 0.25, 0, 0.125, {0.375, 0.109375}},
    {"FastNegTriangle", input(0, -0.125, 1, 2), -0.5, 0.25, 0, 0.25, -0.125, 0, {0.25, -0.0625}},
    {"Cruise", input(0, 3), 1, 1, 2, 1, 0, 3, {1, 0.5, 3, 2.5, 3.5, 2.875}},
    {"FastNegCruise", input(1, -2, 1, 2), -1, 0.5, 2.5, 0.5, -2, 1, {0.25, 0.9375, 3.25, -1.9375}},
    {"Reverse", input(0, -1, 1, 1, 1, 1), -1, 2, 1, 2, -1.5, 0.5, {1, 0.5, 2, 0, 3, -1, 4, -1.5}},
    {"Decelerate", input(0, 0.125, 1, 1, 0.5), 0.5, 0, 0, 0.5, 0, 0.125, {0.25, 0.09375}},
    {"BoostedTriangle", input(0, 3, 3, 1, 1, 1), 2, 1, 0, 1, 0, 3, {0.5, 0.625, 1.5, 2.375}},
    {"BoostedNegTriangle", input(0, -3, 3, 1, -1, -1), -2, 1, 0, 1, -3, 0, {0.5, -0.625}},
    {"ZeroDistance", input(0.3, 0.3), 0, 0, 0, 0, 0.3, 0.3, {1, 0.3}}};

class TrapezoidGoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(TrapezoidGoldenTest, PhasesSamplesAndBounds) {
  const GoldenCase& c = GetParam();
  TrapezoidPlanner planner;
  ASSERT_EQ(planQuietly(planner, c.in), kOk);
  const TrapezoidPlanResult& r = *planner.getPlanResult();
  EXPECT_DOUBLE_EQ(r.Vv, c.Vv);
  EXPECT_DOUBLE_EQ(r.Ta, c.Ta);
  EXPECT_DOUBLE_EQ(r.Tv, c.Tv);
  EXPECT_DOUBLE_EQ(r.Td, c.Td);
  EXPECT_DOUBLE_EQ(planner.getMotionTime(), c.Ta + c.Tv + c.Td);
  for (size_t k = 0; k < c.tq.size(); k += 2) {
    EXPECT_DOUBLE_EQ(planner.calPosition(c.tq[k], nullptr), c.tq[k + 1]) << c.tq[k];
  }
  int reached = 0;
  EXPECT_EQ(planner.calPosition(r.Tall, &reached), c.in.q1);
  EXPECT_EQ(reached, 1);
  EXPECT_EQ(planner.calPosition(0.0, &reached), c.in.q0);
  EXPECT_EQ(reached, c.in.q0 == c.in.q1 ? 1 : 0);
  const MotionBounds b = planner.motionBounds();
  EXPECT_DOUBLE_EQ(b.min_position, c.low);
  EXPECT_DOUBLE_EQ(b.max_position, c.high);
  EXPECT_DOUBLE_EQ(b.max_speed,
                   std::max({std::fabs(c.Vv), std::fabs(c.in.v0), std::fabs(c.in.v1)}));
  EXPECT_DOUBLE_EQ(b.max_acceleration, r.Tall > 0.0 ? c.in.aa : 0.0);
  EXPECT_EQ(planner.limitStretch(), 1.0);
  double start = 0.0, goal = 0.0;
  EXPECT_EQ(planner.getStartAndGoal(&start, &goal), 0);
  EXPECT_EQ(std::make_pair(start, goal), std::make_pair(c.in.q0, c.in.q1));
}

INSTANTIATE_TEST_SUITE_P(Profiles, TrapezoidGoldenTest, ::testing::ValuesIn(kGolden),
                         [](const auto& c) { return std::string(c.param.name); });

// Half the reference's distance in its durations: half its velocity (the synchronisation of
// several axes is checked with planAllJoints). A missing or zero-length reference is refused.
TEST(TrapezoidPlanner, RePlanFitsTheDistanceIntoTheReferenceDurations) {
  TrapezoidPlanner reference, half;
  ASSERT_EQ(planQuietly(reference, input(0.0, 2.0)), kOk);
  ASSERT_EQ(planQuietly(half, input(0.0, 1.0)), kOk);
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(half.rePlan(reference.getPlanResult()), kOk);
  EXPECT_EQ(half.rePlan(nullptr), kInvalidInput);
  const TrapezoidPlanResult zero;
  EXPECT_EQ(half.rePlan(&zero), kInvalidInput);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("Ta=1.000000,Td=1.000000,Tall=3.000000,Tv=1.000000;\n"
                     "q0=0.000000,q1=1.000000,v0=0.000000,v1=0.000000;\nVv=0.500000;\n"),
            0u);
  EXPECT_NE(out.find("2Tv+Ta+Td=0 is not positive"), std::string::npos) << out;
  EXPECT_DOUBLE_EQ(half.getMotionTime(), 3.0);
  EXPECT_DOUBLE_EQ(half.calPosition(1.5, nullptr), reference.calPosition(1.5, nullptr) / 2.0);
}

struct InvalidCase {
  const char* name;
  TrapezoidPlannerInput in;
  const char* message;
  int code = kInvalidInput;
};

TrapezoidPlannerInput withField(double TrapezoidPlannerInput::*field, double value) {
  TrapezoidPlannerInput in = input(0.0, 1.0);
  in.*field = value;
  return in;
}

using In = TrapezoidPlannerInput;
// too_close_for_v0: slowing from 1 to 0 needs 0.5; only 0.1 is available.
const InvalidCase kInvalid[] = {
    {"still_with_speed", input(0.3, 0.3, 1, 1, 0.5, 0.5), "too close to plan-...\n", kTooClose},
    {"too_close_for_v0", input(0, 0.1, 1, 1, 1, 0), "too close to plan+...\n", kTooClose},
    {"v0_over_vmax", input(0, 1, 1, 1, 2), "You set v0 over vmax, or v1 over vmax!\n", kOverVmax},
    {"zero_vmax", withField(&In::vmax, 0.0), "vmax=0"},
    {"zero_aa", withField(&In::aa, 0.0), "aa=0"},
    {"positive_ad", withField(&In::ad, 1.0), "ad=1"},
    {"nan_q1", withField(&In::q1, std::numeric_limits<double>::quiet_NaN()), "q1=nan"},
    {"inf_q0", withField(&In::q0, INFINITY), "q0=inf"},
    {"overflowing_distance", input(-1.7e308, 1.7e308), "not finite"}};

class TrapezoidPlannerInvalidInput : public ::testing::TestWithParam<InvalidCase> {};

// Not planned: sampling gives no number a motor could take, and the previous plan is kept.
TEST_P(TrapezoidPlannerInvalidInput, RefusedWithItsMessage) {
  TrapezoidPlanner planner;
  std::string out;
  ASSERT_EQ(planQuietly(planner, input(0.0, 1.0), &out), kOk);
  EXPECT_EQ(out,
            "TrapezoidPlanner::plan\n1\nv0:0\nv1:0\nvmax:1\naa:1\nad:-1\nh:1\n"
            "TrapezoidPlanner::plan finish!\n");
  EXPECT_EQ(planQuietly(planner, GetParam().in, &out), GetParam().code);
  EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
  EXPECT_EQ(planner.planStatus(), GetParam().code);
  EXPECT_DOUBLE_EQ(planner.getMotionTime(), 2.0);
  EXPECT_TRUE(std::isnan(planner.calPosition(0.5, nullptr)));
  EXPECT_TRUE(std::isnan(planner.motionBounds().max_speed));
}

INSTANTIATE_TEST_SUITE_P(Cases, TrapezoidPlannerInvalidInput, ::testing::ValuesIn(kInvalid),
                         [](const auto& c) { return std::string(c.param.name); });

TEST(TrapezoidPlanner, CubicInputIsRefused) {
  TrapezoidPlanner planner;
  const CubicPlannerInput cubic{{0.0, 1.0, 2.0}, {0.0, 1.0, 2.0}};
  planner.setInput(&cubic);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(planner.plan(), kInvalidInput);
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
    if (!at_rest && r == kTooClose) continue;
    ASSERT_EQ(r, kOk) << trial;
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

#include "controller_frame/trapezoid_planner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

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

// Plans quietly and returns the code.
int planQuietly(TrapezoidPlanner& planner, const TrapezoidPlannerInput& in,
                std::string* out = nullptr) {
  planner.setInput(&in);
  ::testing::internal::CaptureStdout();
  const int r = planner.plan();
  const std::string text = ::testing::internal::GetCapturedStdout();
  if (out != nullptr) {
    *out = text;
  }
  return r;
}

TEST(TrapezoidPlanner, FullProfileOfUnitMove) {
  TrapezoidPlanner planner;
  std::string out;
  ASSERT_EQ(planQuietly(planner, input(0.0, 1.0), &out), planner_result::kOk);
  const TrapezoidPlanResult& r = *planner.getPlanResult();
  EXPECT_DOUBLE_EQ(r.Ta, 1.0);
  EXPECT_DOUBLE_EQ(r.Td, 1.0);
  EXPECT_DOUBLE_EQ(r.Sa, 0.5);
  EXPECT_DOUBLE_EQ(r.Sd, 0.5);
  EXPECT_DOUBLE_EQ(r.Sv, 0.0);
  EXPECT_DOUBLE_EQ(r.Tv, 0.0);
  EXPECT_DOUBLE_EQ(r.Tall, 2.0);
  EXPECT_DOUBLE_EQ(r.Vv, 1.0);
  EXPECT_EQ(planner.planStatus(), 1);
  EXPECT_EQ(out,
            "TrapezoidPlanner::plan\n1\nv0:0\nv1:0\nvmax:1\naa:1\nad:-1\nh:1\n"
            "TrapezoidPlanner::plan finish!\n");
  // Phase boundaries: end of acceleration, the whole move.
  int reached = -1;
  EXPECT_DOUBLE_EQ(planner.calPosition(0.0, &reached), 0.0);
  EXPECT_EQ(reached, 0);
  EXPECT_DOUBLE_EQ(planner.calPosition(0.5, &reached), 0.125);
  EXPECT_DOUBLE_EQ(planner.calPosition(1.0, &reached), 0.5);
  EXPECT_DOUBLE_EQ(planner.calPosition(1.5, &reached), 0.875);
  EXPECT_DOUBLE_EQ(planner.calPosition(2.0, &reached), 1.0);
  EXPECT_EQ(reached, 1);
  EXPECT_DOUBLE_EQ(planner.calPosition(3.0, &reached), 1.0);
  EXPECT_EQ(reached, 1);
  EXPECT_DOUBLE_EQ(planner.getMotionTime(), 2.0);
}

TEST(TrapezoidPlanner, TriangularProfileOfShortMove) {
  TrapezoidPlanner planner;
  std::string out;
  ASSERT_EQ(planQuietly(planner, input(0.0, 0.25), &out), planner_result::kOk);
  const TrapezoidPlanResult& r = *planner.getPlanResult();
  EXPECT_DOUBLE_EQ(r.Vv, 0.5);
  EXPECT_DOUBLE_EQ(r.Ta, 0.5);
  EXPECT_DOUBLE_EQ(r.Td, 0.5);
  EXPECT_DOUBLE_EQ(r.Tall, 1.0);
  EXPECT_NE(out.find("TrapezoidPlanner::plan\n0\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(planner.calPosition(0.5, nullptr), 0.125);
}

TEST(TrapezoidPlanner, NegativeMovesAreSymmetric) {
  TrapezoidPlanner planner;
  ASSERT_EQ(planQuietly(planner, input(0.0, -1.0)), planner_result::kOk);
  const TrapezoidPlanResult& r = *planner.getPlanResult();
  EXPECT_DOUBLE_EQ(r.Vv, -1.0);
  EXPECT_DOUBLE_EQ(r.Sa, -0.5);
  EXPECT_DOUBLE_EQ(r.Sd, -0.5);
  EXPECT_DOUBLE_EQ(r.a_acc, -1.0);
  EXPECT_DOUBLE_EQ(r.a_dec, 1.0);
  EXPECT_DOUBLE_EQ(r.Tall, 2.0);
  EXPECT_DOUBLE_EQ(planner.calPosition(1.0, nullptr), -0.5);
  std::string out;
  ASSERT_EQ(planQuietly(planner, input(0.0, -0.25), &out), planner_result::kOk);
  EXPECT_DOUBLE_EQ(planner.getPlanResult()->Vv, -0.5);
  EXPECT_NE(out.find("Vv:-0.5\n"), std::string::npos);
}

TEST(TrapezoidPlanner, FailureKeepsPreviousPlan) {
  TrapezoidPlanner planner;
  ASSERT_EQ(planQuietly(planner, input(0.0, 1.0)), planner_result::kOk);
  EXPECT_EQ(planQuietly(planner, input(0.0, 0.1, 1.0, 1.0, 1.0)), planner_result::kTooClose);
  EXPECT_DOUBLE_EQ(planner.getPlanResult()->Tall, 2.0);
}

// An axis that stays where it is: zero length, at its goal from the start, and a hold when
// synchronised to another axis's durations.
TEST(TrapezoidPlanner, ZeroDistanceIsAProfileOfZeroLengthThatHolds) {
  TrapezoidPlanner planner, reference;
  ASSERT_EQ(planQuietly(planner, input(0.3, 0.3)), planner_result::kOk);
  EXPECT_EQ(planner.getMotionTime(), 0.0);
  int reached = 0;
  EXPECT_EQ(planner.calPosition(0.0, &reached), 0.3);
  EXPECT_EQ(reached, 1);
  ASSERT_EQ(planQuietly(reference, input(0.0, 1.0)), planner_result::kOk);
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(planner.rePlan(reference.getPlanResult()), planner_result::kOk);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(planner.getMotionTime(), 2.0);
  for (double t : {0.0, 0.5, 1.0, 1.7, 2.0}) EXPECT_EQ(planner.calPosition(t, nullptr), 0.3) << t;
}

TEST(TrapezoidPlanner, SamplingAtEndOfCruise) {
  TrapezoidPlanner planner;
  ASSERT_EQ(planQuietly(planner, input(0.0, 3.0)), planner_result::kOk);
  const TrapezoidPlanResult& r = *planner.getPlanResult();
  EXPECT_DOUBLE_EQ(r.Tv, 2.0);
  EXPECT_DOUBLE_EQ(planner.calPosition(r.Ta + r.Tv, nullptr), 0.0 + r.Sa + r.Sv);
  int reached = 0;
  EXPECT_DOUBLE_EQ(planner.calPosition(r.Tall, &reached), 3.0);
  EXPECT_EQ(reached, 1);
}

TEST(TrapezoidPlanner, RePlanHalfDistanceHalvesVelocity) {
  TrapezoidPlanner reference;
  TrapezoidPlanner half;
  ASSERT_EQ(planQuietly(reference, input(0.0, 2.0)), planner_result::kOk);
  ASSERT_EQ(planQuietly(half, input(0.0, 1.0)), planner_result::kOk);
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(half.rePlan(reference.getPlanResult()), planner_result::kOk);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Ta=1.000000,Td=1.000000,Tall=3.000000,Tv=1.000000;\n"), std::string::npos);
  EXPECT_NE(out.find("q0=0.000000,q1=1.000000,v0=0.000000,v1=0.000000;\n"), std::string::npos);
  EXPECT_NE(out.find("Vv=0.500000;\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(half.getPlanResult()->Vv, reference.getPlanResult()->Vv / 2.0);
  EXPECT_DOUBLE_EQ(half.getMotionTime(), reference.getMotionTime());
  EXPECT_NEAR(half.calPosition(half.getMotionTime() - 1e-9, nullptr), 1.0, 1e-6);
  EXPECT_DOUBLE_EQ(half.calPosition(1.5, nullptr), reference.calPosition(1.5, nullptr) / 2.0);
}

TEST(TrapezoidPlanner, RePlanRefusesMissingOrEmptyReference) {
  TrapezoidPlanner planner;
  ASSERT_EQ(planQuietly(planner, input(0.0, 1.0)), planner_result::kOk);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(planner.rePlan(nullptr), planner_result::kInvalidInput);
  TrapezoidPlanResult zero;
  EXPECT_EQ(planner.rePlan(&zero), planner_result::kInvalidInput);
  ::testing::internal::GetCapturedStdout();
  EXPECT_DOUBLE_EQ(planner.getMotionTime(), 2.0);
}

TEST(TrapezoidPlanner, StartAndGoal) {
  TrapezoidPlanner planner;
  const TrapezoidPlannerInput in = input(0.2, -0.7);
  planner.setInput(&in);
  double start = 0.0;
  double goal = 0.0;
  EXPECT_EQ(planner.getStartAndGoal(&start, &goal), 0);
  EXPECT_DOUBLE_EQ(start, 0.2);
  EXPECT_DOUBLE_EQ(goal, -0.7);
  EXPECT_DOUBLE_EQ(planner.getInput()->q1, -0.7);
  EXPECT_EQ(planner.replanFlag(), 1);
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
}

TrapezoidPlannerInput withField(double TrapezoidPlannerInput::*field, double value,
                                double ad = -1.0) {
  TrapezoidPlannerInput in = input(0.0, 1.0);
  in.ad = ad;
  in.*field = value;
  return in;
}

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, TrapezoidPlannerInvalidInput,
    ::testing::Values(
        InvalidCase{"zero_distance_with_speed", input(0.3, 0.3, 1.0, 1.0, 0.5, 0.5),
                    "too close to plan-...\n", planner_result::kTooClose},
        // Slowing from 1 to 0 needs 0.5; only 0.1 is available.
        InvalidCase{"too_close_for_v0", input(0.0, 0.1, 1.0, 1.0, 1.0, 0.0),
                    "too close to plan+...\n", planner_result::kTooClose},
        InvalidCase{"v0_over_vmax", input(0.0, 1.0, 1.0, 1.0, 2.0, 0.0),
                    "You set v0 over vmax, or v1 over vmax!\n", planner_result::kOverVmax},
        InvalidCase{"zero_vmax", withField(&TrapezoidPlannerInput::vmax, 0.0), "vmax=0"},
        InvalidCase{"negative_vmax", withField(&TrapezoidPlannerInput::vmax, -1.0), "vmax=-1"},
        InvalidCase{"zero_aa", withField(&TrapezoidPlannerInput::aa, 0.0), "aa=0"},
        InvalidCase{"positive_ad", withField(&TrapezoidPlannerInput::ad, 1.0, 1.0), "ad=1"},
        InvalidCase{"zero_ad", withField(&TrapezoidPlannerInput::ad, 0.0, 0.0), "ad=0"},
        InvalidCase{"nan_q1", withField(&TrapezoidPlannerInput::q1, kNan), "q1=nan"},
        InvalidCase{"inf_q0", withField(&TrapezoidPlannerInput::q0, kInf), "q0=inf"},
        InvalidCase{"nan_v0", withField(&TrapezoidPlannerInput::v0, kNan), "v0=nan"},
        InvalidCase{"overflowing_distance",
                    [] {
                      TrapezoidPlannerInput in = input(-1.7e308, 1.7e308);
                      return in;
                    }(),
                    "not finite"}),
    [](const ::testing::TestParamInfo<InvalidCase>& param_info) { return param_info.param.name; });

TEST(TrapezoidPlanner, CubicInputIsRefused) {
  TrapezoidPlanner planner;
  CubicPlannerInput cubic{{0.0, 1.0, 2.0}, {0.0, 1.0, 2.0}};
  planner.setInput(&cubic);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(planner.plan(), planner_result::kInvalidInput);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("no trapezoid input"), std::string::npos);
}

// Invariants over seeded random moves: endpoints, monotone position between q0 and q1, velocity
// within vmax, continuity.
TEST(TrapezoidPlanner, RandomMovesKeepInvariants) {
  std::mt19937 rng(20261206);
  std::uniform_real_distribution<double> position(-3.0, 3.0);
  std::uniform_real_distribution<double> limit(0.05, 3.0);
  int planned = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const double q0 = position(rng);
    const double q1 = position(rng);
    const double vmax = limit(rng);
    const double aa = limit(rng);
    TrapezoidPlanner planner;
    ASSERT_EQ(planQuietly(planner, input(q0, q1, vmax, aa)), planner_result::kOk);
    ++planned;
    const double total = planner.getMotionTime();
    ASSERT_GT(total, 0.0);
    EXPECT_DOUBLE_EQ(planner.calPosition(0.0, nullptr), q0);
    int reached = 0;
    EXPECT_DOUBLE_EQ(planner.calPosition(total, &reached), q1);
    EXPECT_EQ(reached, 1);
    const double sign = q1 > q0 ? 1.0 : -1.0;
    const int steps = 2000;
    const double dt = total / steps;
    double previous = q0;
    for (int k = 1; k <= steps; ++k) {
      const double q = planner.calPosition(k * dt, nullptr);
      ASSERT_GE(sign * (q - previous), -1e-12) << "trial " << trial << " step " << k;
      ASSERT_LE(std::fabs(q - previous) / dt, vmax * (1.0 + 1e-6) + 1e-9);
      ASSERT_LE(std::fabs(q - previous), vmax * dt + 1e-9);  // continuity
      ASSERT_LE(std::min(q0, q1) - 1e-12, q);
      ASSERT_GE(std::max(q0, q1) + 1e-12, q);
      previous = q;
    }
  }
  EXPECT_EQ(planned, 300);
}

}  // namespace
}  // namespace brenvik

#include "controller_frame/trapezoid_planner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <tuple>

#include "controller_frame/motion_codes.h"

namespace brenvik {
namespace {

using namespace planner_result;
using In = TrapezoidPlannerInput;

In input(double q0, double q1, double vmax = 1, double aa = 1, double v0 = 0, double v1 = 0) {
  return {0.0, q0, q1, v0, v1, vmax, aa, -aa};
}

int plan(TrapezoidPlanner& planner, const In& in, std::string* out = nullptr) {
  planner.setInput(&in);
  ::testing::internal::CaptureStdout();
  const int r = planner.plan();
  const std::string text = ::testing::internal::GetCapturedStdout();
  if (out != nullptr) *out = text;
  return r;
}

// By hand: the plan (Vv, Ta, Tv, Td), the extreme positions, (t, q) at and between the phase
// boundaries. Starting and ending at full speed away from the goal overshoots both ends.
TEST(TrapezoidPlanner, GoldenPhasesSamplesAndBounds) {
  const struct {
    In in;
    std::vector<double> plan, low_high, tq;
  } cases[] = {
      {input(0, 1), {1, 1, 0, 1}, {0, 1}, {0.5, 0.125, 1, 0.5, 1.5, 0.875}},
      {input(0, 0.25), {0.5, 0.5, 0, 0.5}, {0, 0.25}, {0.5, 0.125, 0.75, 0.21875}},
      {input(0, -1), {-1, 1, 0, 1}, {-1, 0}, {1, -0.5, 1.5, -0.875}},
      {input(0, 0.125, 1, 2), {0.5, 0.25, 0, 0.25}, {0, 0.125}, {0.375, 0.109375}},
      {input(0, -0.125, 1, 2), {-0.5, 0.25, 0, 0.25}, {-0.125, 0}, {0.25, -0.0625}},
      {input(0, 3), {1, 1, 2, 1}, {0, 3}, {1, 0.5, 3, 2.5, 3.5, 2.875}},
      {input(1, -2, 1, 2), {-1, 0.5, 2.5, 0.5}, {-2, 1}, {0.25, 0.9375, 3.25, -1.9375}},
      {input(0, -1, 1, 1, 1, 1), {-1, 2, 1, 2}, {-1.5, 0.5}, {1, 0.5, 2, 0, 3, -1, 4, -1.5}},
      {input(0, 0.125, 1, 1, 0.5), {0.5, 0, 0, 0.5}, {0, 0.125}, {0.25, 0.09375}},
      {input(0, 3, 3, 1, 1, 1), {2, 1, 0, 1}, {0, 3}, {0.5, 0.625, 1.5, 2.375}},
      {input(0, -3, 3, 1, -1, -1), {-2, 1, 0, 1}, {-3, 0}, {0.5, -0.625}},
      {input(0.3, 0.3), {0, 0, 0, 0}, {0.3, 0.3}, {1, 0.3}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.in.q0 << " to " << c.in.q1 << " from v0 " << c.in.v0);
    TrapezoidPlanner planner;
    ASSERT_EQ(plan(planner, c.in), kOk);
    const TrapezoidPlanResult& r = *planner.getPlanResult();
    EXPECT_EQ(std::vector<double>({r.Vv, r.Ta, r.Tv, r.Td}), c.plan);
    EXPECT_DOUBLE_EQ(planner.getMotionTime(), r.Ta + r.Tv + r.Td);
    for (size_t k = 0; k < c.tq.size(); k += 2) {
      EXPECT_DOUBLE_EQ(planner.calPosition(c.tq[k], nullptr), c.tq[k + 1]) << c.tq[k];
    }
    int end = 0, start = 0;
    EXPECT_EQ(std::make_pair(planner.calPosition(0, &start), planner.calPosition(r.Tall, &end)),
              std::make_pair(c.in.q0, c.in.q1));
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(c.in.q0 == c.in.q1 ? 1 : 0, 1));
    const MotionBounds b = planner.motionBounds();
    const double fastest = std::max({std::fabs(r.Vv), std::fabs(c.in.v0), std::fabs(c.in.v1)});
    EXPECT_EQ(
        std::vector<double>({b.min_position, b.max_position, b.max_speed, b.max_acceleration}),
        std::vector<double>({c.low_high[0], c.low_high[1], fastest, r.Tall > 0 ? c.in.aa : 0}));
  }
}

// Refused with the value named, the previous duration kept but no position given; a re-plan needs
// a reference of some length.
TEST(TrapezoidPlanner, RefusalsAndRePlan) {
  const std::tuple<In, const char*, int> rows[] = {
      {input(0.3, 0.3, 1, 1, 0.5, 0.5), "too close to plan-...\n", kTooClose},
      {input(0, 0.1, 1, 1, 1, 0), "too close to plan+...\n", kTooClose},
      {input(0, 1, 1, 1, 2), "You set v0 over vmax, or v1 over vmax!\n", kOverVmax},
      {{0, 0, 1, 0, 0, 0, 1, -1}, "vmax=0", kInvalidInput},
      {{0, 0, 1, 0, 0, 1, 0, -1}, "aa=0", kInvalidInput},
      {{0, 0, 1, 0, 0, 1, 1, 1}, "ad=1", kInvalidInput},
      {{0, 0, NAN, 0, 0, 1, 1, -1}, "q1=nan", kInvalidInput},
      {{0, INFINITY, 1, 0, 0, 1, 1, -1}, "q0=inf", kInvalidInput},
      {input(-1.7e308, 1.7e308), "not finite", kInvalidInput}};
  for (const auto& [in, message, code] : rows) {
    TrapezoidPlanner planner;
    std::string out;
    ASSERT_EQ(plan(planner, input(0.0, 1.0)), kOk);
    EXPECT_EQ(plan(planner, in, &out), code) << message;
    EXPECT_NE(out.find(message), std::string::npos) << out;
    EXPECT_EQ(planner.planStatus(), code);
    EXPECT_DOUBLE_EQ(planner.getMotionTime(), 2.0);
    EXPECT_TRUE(std::isnan(planner.calPosition(0.5, nullptr)) &&
                std::isnan(planner.motionBounds().max_speed));
  }
  TrapezoidPlanner half, cubic;  // re-planned into a reference's durations: the synchronised tests
  const CubicPlannerInput knots{{0.0, 1.0, 2.0}, {0.0, 1.0, 2.0}};
  const TrapezoidPlanResult zero;
  cubic.setInput(&knots);
  ASSERT_EQ(plan(half, input(0.0, 1.0)), kOk);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(cubic.plan(), kInvalidInput);
  EXPECT_EQ(half.rePlan(nullptr), kInvalidInput);
  EXPECT_EQ(half.rePlan(&zero), kInvalidInput);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("no trapezoid input"), std::string::npos) << out;
  EXPECT_NE(out.find("2Tv+Ta+Td=0 is not positive"), std::string::npos) << out;
}

// Seeded random moves, half with boundary velocities: the bounds hold the sampled motion and are
// reached; from rest to rest the motion is monotone; it ends exactly at the goal.
TEST(TrapezoidPlanner, RandomMovesKeepInvariantsAndTheirBoundsMatchTheSampledMotion) {
  std::mt19937 rng(20261206);
  std::uniform_real_distribution<double> position(-3.0, 3.0), limit(0.05, 3.0), unit(-1.0, 1.0);
  for (int trial = 0; trial < 400; ++trial) {
    const double q0 = position(rng), q1 = position(rng), vmax = limit(rng), aa = limit(rng);
    const bool at_rest = trial % 2 == 0;
    const double v0 = at_rest ? 0.0 : unit(rng) * vmax, v1 = at_rest ? 0.0 : unit(rng) * vmax;
    TrapezoidPlanner planner;
    const int r = plan(planner, input(q0, q1, vmax, aa, v0, v1));
    if (!at_rest && r == kTooClose) continue;
    ASSERT_EQ(r, kOk) << trial;
    const double total = planner.getMotionTime(), dt = total / 4000;
    const MotionBounds b = planner.motionBounds();
    double previous = q0, low = q0, high = q0, fastest = std::max(std::fabs(v0), std::fabs(v1));
    for (int k = 1; k <= 4000; ++k) {
      const double q = planner.calPosition(k * dt, nullptr);
      std::tie(low, high) = std::make_pair(std::min(low, q), std::max(high, q));
      fastest = std::max(fastest, std::fabs(q - previous) / dt);
      ASSERT_TRUE(!at_rest || (q1 > q0 ? 1 : -1) * (q - previous) >= -1e-12) << trial << " " << k;
      previous = q;
    }
    SCOPED_TRACE(trial);
    ASSERT_TRUE(low >= b.min_position - 1e-9 && high <= b.max_position + 1e-9);
    ASSERT_NEAR(low, b.min_position, 1e-4 * (1 + total));
    ASSERT_NEAR(high, b.max_position, 1e-4 * (1 + total));
    ASSERT_NEAR(fastest, b.max_speed, 2e-3 * b.max_speed + 1e-9);
    ASSERT_LE(fastest, b.max_speed * (1 + 1e-9) + 1e-12);
    ASSERT_TRUE(b.max_speed <= vmax * (1 + 1e-12) && b.max_acceleration <= aa * (1 + 1e-12));
    ASSERT_EQ(planner.calPosition(total, nullptr), q1);
  }
}

}  // namespace
}  // namespace brenvik

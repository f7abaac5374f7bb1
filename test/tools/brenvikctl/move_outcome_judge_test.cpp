#include "brenvikctl/move_outcome_judge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace brenvikctl {
namespace {

constexpr double kPeriod = 0.005, kGoal = 1.0, kTolerance = 0.01;

// A smooth move of the reference from q0 to q1 during [t0, t1].
double ramp(double t, double t0, double t1, double q0, double q1) {
  const double s = std::clamp((t - t0) / (t1 - t0), 0.0, 1.0);
  return q0 + (q1 - q0) * s * s * (3.0 - 2.0 * s);
}

// The verdict of --wait over a simulated 200 Hz status stream: a reference profile and a drive
// that lags it (first order, 40 ms) or is stuck.
struct Scenario {
  const char* name;
  std::function<double(double)> reference;  // joint 1 reference at t; the command goes at t = 1 s
  std::function<bool(double)> unnormal;
  bool drive_stuck;  // the drive does not follow
  MoveOutcome expected;
  double decided_from, decided_by;  // s, window of the verdict
  double first_sample = 0.0;        // s, the first sample the judge sees
};

const auto kNever = [](double) { return false; };

const Scenario kScenarios[] = {
    {"GoalWhereTheArmRests", [](double) { return kGoal; }, kNever, false, MoveOutcome::kReached,
     1.0, 1.01},
    {"MoveToTheGoal", [](double t) { return ramp(t, 1.02, 2.0, 0.0, kGoal); }, kNever, false,
     MoveOutcome::kReached, 2.05, 2.3},
    {"StoppedHalfway",  // heading for 2, decelerates at 1.5 s and rests short of the goal
     [](double t) {
       const double at = ramp(std::min(t, 1.5), 1.02, 2.0, 0.0, 2 * kGoal);
       return ramp(t, 1.5, 1.7, at, at + 0.1);
     },
     kNever, false, MoveOutcome::kStopped, 3.19, 3.22},
    {"NeverStarted", [](double) { return 0.0; }, kNever, false, MoveOutcome::kRefused, 2.49, 2.52},
    {"QueuedBehindAMoveThatEndsElsewhere",
     [](double t) { return t < 1.6 ? ramp(t, 0.5, 1.6, 0.0, 0.5) : ramp(t, 2.1, 3.0, 0.5, kGoal); },
     kNever, false, MoveOutcome::kReached, 3.05, 3.3},
    {"RefusedBehindAMoveThatEndsElsewhere", [](double t) { return ramp(t, 0.5, 1.6, 0.0, 0.5); },
     kNever, false, MoveOutcome::kRefused, 3.09, 3.12},
    {"ErrorRaisedWithoutMotion", [](double) { return 0.0; }, [](double t) { return t > 1.2; },
     false, MoveOutcome::kRefused, 1.2, 1.21},
    {"ErrorAtSendDecidesOnlyLater", [](double) { return 0.0; }, [](double) { return true; }, false,
     MoveOutcome::kRefused, 2.49, 2.52},
    {"DriveDoesNotFollow", [](double t) { return ramp(t, 1.02, 2.0, 0.0, kGoal); }, kNever, true,
     MoveOutcome::kStopped, 3.49, 3.52},
    {"NoSampleBeforeTheCommand", [](double) { return kGoal; }, kNever, false, MoveOutcome::kReached,
     1.05, 1.06, 1.0},
    {"NeverComesToRest", [](double t) { return std::sin(t); }, kNever, false,
     MoveOutcome::kTimedOut, 60.99, 61.01},
};

class MoveOutcomeJudgeTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(MoveOutcomeJudgeTest, DecidesInItsWindow) {
  const Scenario& s = GetParam();
  MoveOutcomeJudge judge;
  double actual = s.reference(0.0);
  std::vector<double> reference(2);
  for (int k = 0; k * kPeriod < 70.0; ++k) {
    const double t = k * kPeriod;
    if (!judge.sent() && t >= 1.0) judge.commandSent();
    if (t < s.first_sample) continue;
    reference = {s.reference(t), 0.0};
    if (!s.drive_stuck) actual += (reference[0] - actual) * kPeriod / 0.04;
    const MoveOutcome outcome =
        judge.update({1.7e9 + t,  // wall-clock stamps
                      &reference, std::fabs(reference[0] - kGoal) <= kTolerance,
                      std::fabs(actual - kGoal) <= kTolerance, s.unnormal(t)});
    if (outcome == MoveOutcome::kPending) continue;
    EXPECT_EQ(outcome, s.expected) << moveOutcomeName(outcome) << " at " << t;
    EXPECT_GE(t, s.decided_from - 1e-9);
    EXPECT_LE(t, s.decided_by + 1e-9);
    return;
  }
  ADD_FAILURE() << "no verdict";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, MoveOutcomeJudgeTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace brenvikctl

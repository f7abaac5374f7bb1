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

using Profile = std::function<double(double)>;
const Profile kRests = [](double) { return 0.0; }, kAtGoal = [](double) { return kGoal; };
const Profile kToGoal = [](double t) { return ramp(t, 1.02, 2.0, 0.0, kGoal); };
const Profile kNever = kRests, kAlways = [](double) { return 1.0; };
const Profile kElsewhere = [](double t) { return ramp(t, 0.5, 1.6, 0.0, 0.5); };

// The verdict of --wait over a 200 Hz status stream, the command sent at t = 1 s: a joint 1
// reference, an error flag (> 0: raised), a drive that lags it by 40 ms or is stuck.
struct Scenario {
  const char* name;
  Profile reference, unnormal;
  bool drive_stuck;
  MoveOutcome expected;
  double decided_from, decided_by, first_sample;  // s
};

const Scenario kScenarios[] = {
    {"GoalWhereTheArmRests", kAtGoal, kNever, false, MoveOutcome::kReached, 1.0, 1.01, 0},
    {"MoveToTheGoal", kToGoal, kNever, false, MoveOutcome::kReached, 2.05, 2.3, 0},
    {"StoppedHalfway",  // heading for 2, decelerates at 1.5 s and rests short of the goal
     [](double t) { return ramp(std::min(t, 1.5), 1.02, 2.0, 0, 2) + ramp(t, 1.5, 1.7, 0, 0.1); },
     kNever, false, MoveOutcome::kStopped, 3.19, 3.22, 0},
    {"NeverStarted", kRests, kNever, false, MoveOutcome::kRefused, 2.49, 2.52, 0},
    {"QueuedBehindAMoveThatEndsElsewhere",
     [](double t) { return t < 1.6 ? kElsewhere(t) : ramp(t, 2.1, 3.0, 0.5, kGoal); }, kNever,
     false, MoveOutcome::kReached, 3.05, 3.3, 0},
    {"RefusedBehindAMoveThatEndsElsewhere", kElsewhere, kNever, false, MoveOutcome::kRefused, 3.09,
     3.12, 0},
    {"ErrorRaisedWithoutMotion", kRests, [](double t) { return t - 1.2; }, false,
     MoveOutcome::kRefused, 1.2, 1.21, 0},
    {"ErrorAtSendDecidesOnlyLater", kRests, kAlways, false, MoveOutcome::kRefused, 2.49, 2.52, 0},
    {"DriveDoesNotFollow", kToGoal, kNever, true, MoveOutcome::kStopped, 3.49, 3.52, 0},
    {"NoSampleBeforeTheCommand", kAtGoal, kNever, false, MoveOutcome::kReached, 1.05, 1.06, 1.0},
    {"NeverComesToRest", [](double t) { return std::sin(t); }, kNever, false,
     MoveOutcome::kTimedOut, 60.99, 61.01, 0},
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
                      std::fabs(actual - kGoal) <= kTolerance, s.unnormal(t) > 0});
    if (outcome == MoveOutcome::kPending) continue;
    EXPECT_EQ(outcome, s.expected) << moveOutcomeName(outcome) << " at " << t;
    EXPECT_TRUE(t >= s.decided_from - 1e-9 && t <= s.decided_by + 1e-9) << t;
    return;
  }
  ADD_FAILURE() << "no verdict";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, MoveOutcomeJudgeTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace brenvikctl

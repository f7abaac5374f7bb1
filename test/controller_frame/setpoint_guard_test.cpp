#include "controller_frame/setpoint_guard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/motion_test_arm.h"

namespace brenvik {
namespace {

namespace r = setpoint_guard_result;

// Limits of the test arm: ±3 rad, 2 rad/s (0.01 rad per 5 ms), max(4, 2) rad/s² (0.02 rad/s of
// velocity change per period). From rest at kStart; axis 4 settled just beyond its upper limit.
const std::vector<double> kStart = {0.0, 0.0, 2.99999, 3.0005, 0.0};

struct GuardCase {
  const char* name;
  std::vector<double> q;
  int result;
};

class SetpointGuardTable : public ::testing::TestWithParam<GuardCase> {};

TEST_P(SetpointGuardTable, AcceptsOnlyFiniteReachableSetpointsInsideTheRange) {
  SetpointGuard guard(testing::makeMotionTestArm().robot->robot_para_, 0.005);
  guard.reset(kStart);
  EXPECT_EQ(guard.accept(GetParam().q), GetParam().result) << guard.faultText();
  EXPECT_EQ(guard.positions(), GetParam().result == r::kOk ? GetParam().q : kStart);
  if (GetParam().result != r::kOk) {
    EXPECT_EQ(std::string(guard.faultText()).rfind("axis ", 0), 0u) << guard.faultText();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetpointGuardTable,
    ::testing::Values(
        GuardCase{"full_acceleration", {1e-4, -1e-4, 2.99999, 3.0005, 0.0}, r::kOk},
        GuardCase{"over_acceleration", {1.1e-4, 0.0, 2.99999, 3.0005, 0.0}, r::kOverAcceleration},
        GuardCase{"over_velocity", {0.0, 0.011, 2.99999, 3.0005, 0.0}, r::kOverVelocity},
        GuardCase{"not_finite", {0.0, 0.0, 2.99999, 3.0005, NAN}, r::kNotFinite},
        GuardCase{"wrong_size", {0.0, 0.0}, r::kWrongSize},
        GuardCase{"leaves_the_range", {0.0, 0.0, 3.00008, 3.0005, 0.0}, r::kOutOfRange},
        GuardCase{"back_towards_the_range", {0.0, 0.0, 2.99999, 3.0004, 0.0}, r::kOk},
        GuardCase{"further_out", {0.0, 0.0, 2.99999, 3.0006, 0.0}, r::kOutOfRange}),
    [](const ::testing::TestParamInfo<GuardCase>& param_info) { return param_info.param.name; });

// A ramp at the full acceleration passes up to max_joint_vel and not one step beyond; a hold
// makes the next step start from rest again.
TEST(SetpointGuard, VelocityBoundOnARamp) {
  SetpointGuard guard(testing::makeMotionTestArm().robot->robot_para_, 0.005);
  std::vector<double> q(5, 0.0);
  guard.reset(q);
  double v = 0.0;
  for (int k = 0; k < 100; ++k) {
    v = std::min(v + 0.02, 2.0);
    q[0] += v * 0.005;
    ASSERT_EQ(guard.accept(q), r::kOk) << k << " " << guard.faultText();
  }
  EXPECT_NEAR(guard.velocities()[0], 2.0, 1e-9);
  q[0] += 2.015 * 0.005;
  EXPECT_EQ(guard.accept(q), r::kOverVelocity);
  guard.hold();
  q[0] = guard.positions()[0] + 1e-4;
  EXPECT_EQ(guard.accept(q), r::kOk);
  EXPECT_NEAR(guard.velocities()[0], 0.02, 1e-9);
}

}  // namespace
}  // namespace brenvik

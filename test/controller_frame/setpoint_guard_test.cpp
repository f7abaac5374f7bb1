#include "controller_frame/setpoint_guard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/motion_test_arm.h"

namespace brenvik {
namespace {

namespace r = setpoint_guard_result;

// Limits of the test arm: ±3 rad, 2 rad/s (0.01 rad per 5 ms), max(4, 2) rad/s² (0.02 rad/s of
// velocity change per period). From rest at kStart; axis 4 settled just beyond its upper limit.
TEST(SetpointGuard, AcceptsOnlyFiniteReachableSetpointsInsideTheRange) {
  const std::vector<double> kStart = {0.0, 0.0, 2.99999, 3.0005, 0.0};
  const std::vector<std::pair<std::vector<double>, int>> cases = {
      {{1e-4, -1e-4, 2.99999, 3.0005, 0.0}, r::kOk},  // the full acceleration
      {{1.1e-4, 0.0, 2.99999, 3.0005, 0.0}, r::kOverAcceleration},
      {{0.0, 0.011, 2.99999, 3.0005, 0.0}, r::kOverVelocity},
      {{0.0, 0.0, 2.99999, 3.0005, NAN}, r::kNotFinite},
      {{0.0, 0.0}, r::kWrongSize},
      {{0.0, 0.0, 3.00008, 3.0005, 0.0}, r::kOutOfRange},
      {{0.0, 0.0, 2.99999, 3.0004, 0.0}, r::kOk},  // back towards the range
      {{0.0, 0.0, 2.99999, 3.0006, 0.0}, r::kOutOfRange},
      {{0.0, 0.0, 2.99999, 3.0005, -3.0001}, r::kOutOfRange},
      {{0.0, 0.0, 2.99999, 3.0005, -3.0}, r::kOverVelocity}};  // on the limit: in range
  for (const auto& [q, result] : cases) {
    SetpointGuard guard(testing::makeMotionTestArm().robot->robot_para_, 0.005);
    guard.reset(kStart);
    EXPECT_EQ(guard.accept(q), result) << guard.faultText();
    EXPECT_EQ(guard.positions(), result == r::kOk ? q : kStart);
    EXPECT_EQ(result == r::kOk || std::string(guard.faultText()).rfind("axis ", 0) == 0, true);
  }
}

// A ramp at the full acceleration passes up to max_joint_vel and not one step beyond; a hold
// makes the next step start from rest again.
TEST(SetpointGuard, VelocityBoundOnARamp) {
  SetpointGuard guard(testing::makeMotionTestArm().robot->robot_para_, 0.005);
  EXPECT_EQ(guard.accept({9, -9, 0, 0, 0}), r::kOk);  // the first setpoint seeds it
  EXPECT_EQ(guard.velocities(), std::vector<double>(5, 0.0));
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

#include <gtest/gtest.h>

#include <cfloat>

#include "robot_model/collision_detector_brenvik_bot_v5.h"
#include "support/robot_model_test_arms.h"

namespace brenvik {
namespace {

using V = std::vector<double>;
const V kNone, kZero(5, 0.0);

// Bands ±15 times normal factor 2 (±30) or insensitive factor 6 (test::modelPara).
class CollisionDetectorTest : public testing::Test {
 protected:
  void SetUp() override { reset(); }
  void reset() {
    detector_ = CollisionDetectorBrenvikBotV5();
    detector_.initCollisionDetector(para_);
  }
  int detect(const V& measured, const V& estimated = kZero) {
    return detector_.detectCollision(estimated, measured, kNone, kNone, kNone, 0.005);
  }
  V excess(const V& measured, const V& estimated = kZero) {
    return detector_.detectCollisionTorque(estimated, measured, kNone, kNone, kNone, 0.0);
  }
  V admit(const V& measured) {
    return detector_.computeAdmittance(kZero, measured, q_, kNone, kNone, 0.0);
  }
  // Record: time, flag, 7, 5; blocks: flags, signals, lower, upper, measured, estimate/positions.
  V block(int b) {
    const V& record = detector_.getCollisionData();
    return V(record.begin() + 4 + 5 * b, record.begin() + 9 + 5 * b);
  }
  V command(const V& values) {
    detector_.setCollisionSensitivity(values);
    static_cast<void>(detect(kZero));
    return block(3);
  }

  std::shared_ptr<RobotPara> para_ = test::modelPara(test::exampleArm("", kZero));
  CollisionDetectorBrenvikBotV5 detector_;
  const V q_ = {0.1, 0.2, 0.3, 0.4, 0.5};
};

// The first check is unsmoothed; joints 2 and 3 in relative form (5, 3 enter as 2, 3); later
// checks move 0.2 of the step; wrist signals are the torques, never residuals against DBL_MAX.
TEST_F(CollisionDetectorTest, ExcessOverTheBandRecordAndSmoothing) {
  for (const auto& [measured, over] : {std::pair<V, V>{{31, 0, 0, 0, 0}, {1, 0, 0, 0, 0}},
                                       {{-31.5, 0, 0, 0, 0}, {-1.5, 0, 0, 0, 0}},
                                       {{0, 75, 35, 50, 0}, {0, 15, 5, 0, 0}}}) {
    reset();
    EXPECT_EQ(excess(measured), over);
  }
  EXPECT_EQ(block(0), (V{0, 1, 1, 1, 0}));
  reset();
  EXPECT_EQ(detector_.getCollisionData(), (V{0, 0, 7, 5}));
  EXPECT_EQ(detect({29, 5, 3, 0, 0}), collision_result::kNoCollision);
  EXPECT_EQ(block(1), (V{29, 2, 3, 0, 0}));
  EXPECT_EQ(detect({79, 5, 3, 4, 5}, {1, 2, 3, DBL_MAX, DBL_MAX}), collision_result::kCollision);
  EXPECT_EQ(block(1), (V{29 + 10 - 1, 2 - -1, 3 - 3, 0.8, 1.0}));
  reset();
  static_cast<void>(
      detector_.detectCollision({1, 2, 3, 0, 0}, {10, 20, 30, 40, 50}, kNone, kNone, kNone, 1.25));
  EXPECT_EQ(
      detector_.getCollisionData(),
      (V{1.25, 1,  7,  5,  0,  0,   0,  1,  1,  9, -9, 27, 40, 50, -30, -30, -30, -30, -30, 30,
         30,   30, 30, 30, 10, -10, 30, 40, 50, 1, -1, 3,  0,  0,  10,  -10, 30,  40,  50}));
  static_cast<void>(admit(kZero));
  EXPECT_EQ(detector_.getCollisionData().size(), 44u);
  EXPECT_EQ(block(5), (V{0.1, 0.2, 0.2 + 0.3, 0.4, 0.5}));
}

// Levels 0..4 scale the band; mode 1 widens joints 2 and 3 upwards until a collision.
TEST_F(CollisionDetectorTest, SensitivityCommands) {
  command({4, 0, 1, 2, 3});
  EXPECT_EQ(block(2), (V{-90, -30, -15, -15, -30}));
  EXPECT_EQ(command({4.9, 0.5, 1.5, -1, 2.5, 1, 0, 0}), (V{60, 22.5, 90, 15, 30}));
  testing::internal::CaptureStdout();
  for (const V& other : {V{0}, V{}, V{1}, V{2, 0.3}, V{3}, V{5, 0}, V{-1}, V{NAN, 0}, V{1e300}}) {
    EXPECT_EQ(command(other), V(5, 30));
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "setCollisionSensitivity: empty command ignored\n");
  EXPECT_EQ(command({1, 0}), (V{30, 90, 90, 30, 30}));
  EXPECT_EQ(block(2), V(5, -30));
  EXPECT_EQ(detect({0, 200, 0, 0, 0}), collision_result::kNoCollision);  // smoothed to 40
  detector_.setCollisionSensitivity({1, 0.7});
  EXPECT_EQ(detect({0, 200, 0, 0, 0}), collision_result::kCollision);
  command({1, 0.2});
  EXPECT_EQ(detect({200, 0, 0, 0, 0}), collision_result::kCollision);
  EXPECT_EQ(block(3), (V{30, 90, 90, 30, 30}));  // this check still used the wide band
  EXPECT_EQ(command({}), V(5, 30));
}

// Excess 1: velocity 0.005·(−1)/0.5 = −0.01, at rest ×(1 − 0.005·20/0.5) per step while above
// 0.001; a light arm is clamped to velocity 200.
TEST_F(CollisionDetectorTest, AdmittanceMovesPushedJointsDecaysAtRestAndClampsVelocity) {
  V out = admit({31, 31, 0, 0, 0});
  EXPECT_EQ(out[3], DBL_MAX);
  EXPECT_DOUBLE_EQ(out[1], 0.2 + 0.005 * -0.01);
  EXPECT_DOUBLE_EQ(out[2], 0.3 - 0.005 * -0.01);
  double velocity = -0.01;
  int moving_steps = 0;
  for (; out[0] != DBL_MAX && moving_steps < 20; velocity *= 0.8, ++moving_steps) {
    EXPECT_NEAR(out[0], 0.1 + 0.005 * velocity, 1e-15);
    out = admit(kZero);
  }
  EXPECT_EQ(moving_steps, 11);
  for (int i = 5; i < 10; ++i) para_->dynamics_application_para.admittance_para[i] = 1e-6;
  reset();
  EXPECT_EQ(admit({31, 0, 0, -31, 0}), (V{0.1 - 1.0, DBL_MAX, DBL_MAX, 0.4 + 1.0, DBL_MAX}));
}

TEST_F(CollisionDetectorTest, RefusesShortOrUnusableParameters) {
  auto& bounds = para_->dynamics_application_para.signal_bound_para;
  auto& admittance = para_->dynamics_application_para.admittance_para;
  bounds.resize(11);  // no insensitive factor: 10
  reset();
  command({4, 0});
  EXPECT_EQ(block(2)[0], -150.0);
  EXPECT_NO_THROW(static_cast<void>(detect(kZero, {0, 0, 0})));
  EXPECT_THROW(static_cast<void>(detect({0, 0, 0, 0})), std::invalid_argument);
  EXPECT_THROW(static_cast<void>(excess(kZero, {0, 0, 0})), std::invalid_argument);
  EXPECT_THROW(detector_.computeAdmittance(kZero, kZero, {0, 0}, kNone, kNone, 0),
               std::invalid_argument);
  EXPECT_THROW(detector_.initCollisionDetector(nullptr), std::invalid_argument);
  for (int edit = 0; edit < 3; ++edit) {  // 10 bounds, a zero mass, 19 admittance values
    bounds.resize(edit == 0 ? 10 : 11);
    admittance[17] = edit == 0 ? 0.5 : 0.0;
    admittance.resize(edit == 2 ? 19 : 20, 0.5);
    EXPECT_THROW(detector_.initCollisionDetector(para_), std::invalid_argument) << edit;
  }
}

}  // namespace
}  // namespace brenvik

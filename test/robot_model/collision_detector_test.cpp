#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "robot_model/collision_detector_brenvik_bot_v5.h"

namespace brenvik {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// Record offsets: four leading values, then blocks of 5.
constexpr size_t kHeader = 4;
constexpr size_t kBlock = 5;
enum RecordBlock { kFlags, kSignals, kLower, kUpper, kMeasured, kPositions };

const std::vector<double> kNone;
const std::vector<double> kZero(5, 0.0);

// Bands of ±15 on every joint, normal factor 2, insensitive factor 6; admittance with damping
// 2 and mass 0.5 when pushed, damping 20 and mass 0.5 at rest.
std::shared_ptr<RobotPara> detectorPara() {
  auto para = std::make_shared<RobotPara>();
  para->axis_num = 5;
  para->dynamics_application_para.signal_bound_para = {-15, -15, -15, -15, -15, 15,
                                                       15,  15,  15,  15,  2.0, 6.0};
  para->dynamics_application_para.admittance_para = {2,  2,  2,  2,  2,  0.5, 0.5, 0.5, 0.5, 0.5,
                                                     20, 20, 20, 20, 20, 0.5, 0.5, 0.5, 0.5, 0.5};
  return para;
}

class CollisionDetectorTest : public testing::Test {
 protected:
  void SetUp() override { detector_.initCollisionDetector(detectorPara()); }

  int detect(const std::vector<double>& measured, const std::vector<double>& estimated = kZero) {
    return detector_.detectCollision(estimated, measured, kNone, kNone, kNone, 0.005);
  }

  // Block b of the data record after the last check.
  std::vector<double> block(RecordBlock b) {
    const std::vector<double>& record = detector_.getCollisionData();
    const size_t start = kHeader + kBlock * b;
    EXPECT_GE(record.size(), start + kBlock);
    if (record.size() < start + kBlock) {
      return {};
    }
    return {record.begin() + start, record.begin() + start + kBlock};
  }

  // A sensitivity command followed by a check, whose record shows the new limits.
  void command(const std::vector<double>& values) {
    detector_.setCollisionSensitivity(values);
    static_cast<void>(detect(kZero));
  }

  CollisionDetectorBrenvikBotV5 detector_;
};

TEST_F(CollisionDetectorTest, BandIsTheBoundTimesTheFactor) {
  EXPECT_EQ(detect({29, 0, 0, 0, 0}), collision_result::kNoCollision);
  EXPECT_EQ(block(kFlags), std::vector<double>(5, 0.0));

  CollisionDetectorBrenvikBotV5 fresh;
  fresh.initCollisionDetector(detectorPara());
  const std::vector<double> excess =
      fresh.detectCollisionTorque(kZero, {31, 0, 0, 0, 0}, kNone, kNone, kNone, 0.0);
  EXPECT_EQ(excess, (std::vector<double>{1, 0, 0, 0, 0}));
  EXPECT_EQ(fresh.getCollisionData()[1], 1.0);
  EXPECT_EQ(fresh.getCollisionData()[kHeader + kFlags * kBlock], 1.0);
}

TEST_F(CollisionDetectorTest, BelowTheLowerLimitGivesNegativeExcess) {
  const std::vector<double>& excess =
      detector_.detectCollisionTorque(kZero, {-31.5, 0, 0, 0, 0}, kNone, kNone, kNone, 0.0);
  EXPECT_EQ(excess, (std::vector<double>{-1.5, 0, 0, 0, 0}));
}

TEST_F(CollisionDetectorTest, MeasuredTorqueIsSmoothed) {
  EXPECT_EQ(detect(kZero), collision_result::kNoCollision);
  EXPECT_EQ(detect({31, 0, 0, 0, 0}), collision_result::kNoCollision);
  EXPECT_DOUBLE_EQ(block(kSignals)[0], 0.2 * 31);
}

TEST_F(CollisionDetectorTest, JointsTwoAndThreeAreCheckedInRelativeForm) {
  EXPECT_EQ(detect({0, 5, 3, 0, 0}), collision_result::kNoCollision);
  EXPECT_EQ(block(kMeasured), (std::vector<double>{0, 2, 3, 0, 0}));
  EXPECT_EQ(block(kSignals), (std::vector<double>{0, 2, 3, 0, 0}));
}

TEST_F(CollisionDetectorTest, WristSignalsAreTheMeasuredTorques) {
  // The estimate of the wrist joints is DBL_MAX; it never enters their signals.
  const std::vector<double> estimate = {1, 2, 3, DBL_MAX, DBL_MAX};
  EXPECT_EQ(detect({1, 2, 3, 4, 5}, estimate), collision_result::kNoCollision);
  EXPECT_EQ(block(kSignals), (std::vector<double>{0, 0, 0, 4, 5}));
  // Without positions the estimate is the sixth block.
  EXPECT_EQ(detector_.getCollisionData()[kHeader + 5 * kBlock + 3], 0.0);
  static_cast<void>(
      detector_.detectCollisionTorque(estimate, {1, 2, 3, 4, 5}, kNone, kNone, kNone, 0.0));
  EXPECT_EQ(detector_.getCollisionData()[kHeader + 5 * kBlock + 3], DBL_MAX);
  EXPECT_EQ(block(kSignals)[3], 4.0);
}

TEST_F(CollisionDetectorTest, ExcessTorqueReturnsToJointForm) {
  // Relative joint 2 exceeds by 10, joint 3 by 5, joint 4 by 20: joint 4 reports none.
  const std::vector<double>& excess =
      detector_.detectCollisionTorque(kZero, {0, 75, 35, 50, 0}, kNone, kNone, kNone, 0.0);
  EXPECT_EQ(excess, (std::vector<double>{0, 15, 5, 0, 0}));
  EXPECT_EQ(block(kFlags), (std::vector<double>{0, 1, 1, 1, 0}));
}

TEST_F(CollisionDetectorTest, LevelCommandSetsBothFactorsPerJoint) {
  command({4, 0, 1, 2, 3});
  EXPECT_EQ(block(kLower), (std::vector<double>{-90, -30, -15, -15, -30}));
  EXPECT_EQ(block(kUpper), (std::vector<double>{90, 30, 15, 15, 30}));
  // Between the levels the factor is linear; values beyond five joints are ignored.
  command({4.9, 0.5, 1.5, -1, 2.5, 1, 0, 0});
  EXPECT_EQ(block(kUpper), (std::vector<double>{60, 22.5, 90, 15, 30}));
  command({0});
  EXPECT_EQ(block(kLower), std::vector<double>(5, -30));
  EXPECT_EQ(block(kUpper), std::vector<double>(5, 30));
}

TEST_F(CollisionDetectorTest, InsensitiveCommandWidensUpperJointsTwoAndThreeUntilACollision) {
  command({1, 0});
  EXPECT_EQ(block(kLower), std::vector<double>(5, -30));
  EXPECT_EQ(block(kUpper), (std::vector<double>{30, 90, 90, 30, 30}));
  // Smoothed to 40: outside the normal band, inside the wide one.
  EXPECT_EQ(detect({0, 200, 0, 0, 0}), collision_result::kNoCollision);
  detector_.setCollisionSensitivity({1, 0.7});
  EXPECT_EQ(detect({0, 200, 0, 0, 0}), collision_result::kCollision);
  EXPECT_EQ(block(kUpper), std::vector<double>(5, 30));

  command({1, 0.2});
  EXPECT_EQ(detect({200, 0, 0, 0, 0}), collision_result::kCollision);
  // The check that found the collision still used the wide band; the next one does not.
  EXPECT_EQ(block(kUpper), (std::vector<double>{30, 90, 90, 30, 30}));
  static_cast<void>(detect(kZero));
  EXPECT_EQ(block(kUpper), std::vector<double>(5, 30));
}

TEST_F(CollisionDetectorTest, OtherCommandsLeaveTheFactorsAlone) {
  command({4, 2, 2, 2, 2, 2});
  CaptureStdout();
  for (const std::vector<double>& other :
       {std::vector<double>{}, {1}, {2, 0.3}, {3}, {5, 0}, {-1}, {NAN, 0}, {1e300}}) {
    command(other);
  }
  EXPECT_EQ(GetCapturedStdout(), "setCollisionSensitivity: empty command ignored\n");
  EXPECT_EQ(block(kUpper), std::vector<double>(5, 15));
}

TEST(CollisionDetectorInitTest, InsensitiveFactorDefaultsToTen) {
  auto para = detectorPara();
  para->dynamics_application_para.signal_bound_para.resize(11);
  CollisionDetectorBrenvikBotV5 detector;
  detector.initCollisionDetector(para);
  detector.setCollisionSensitivity({4, 0});
  ASSERT_EQ(detector.detectCollision(kZero, kZero, kNone, kNone, kNone, 0.0), 0);
  EXPECT_EQ(detector.getCollisionData()[kHeader + kLower * kBlock], -150.0);
}

TEST(CollisionDetectorInitTest, RefusesShortOrUnusableParameters) {
  CollisionDetectorBrenvikBotV5 detector;
  EXPECT_THROW(detector.initCollisionDetector(nullptr), std::invalid_argument);
  auto bounds = detectorPara();
  bounds->dynamics_application_para.signal_bound_para.resize(10);
  EXPECT_THROW(detector.initCollisionDetector(bounds), std::invalid_argument);
  auto admittance = detectorPara();
  admittance->dynamics_application_para.admittance_para.resize(19);
  EXPECT_THROW(detector.initCollisionDetector(admittance), std::invalid_argument);
  auto massless = detectorPara();
  massless->dynamics_application_para.admittance_para[17] = 0.0;
  EXPECT_THROW(detector.initCollisionDetector(massless), std::invalid_argument);

  detector.initCollisionDetector(detectorPara());
  const std::vector<double> four(4, 0.0);
  EXPECT_THROW(static_cast<void>(detector.detectCollision(kZero, four, kNone, kNone, kNone, 0)),
               std::invalid_argument);
  EXPECT_NO_THROW(
      static_cast<void>(detector.detectCollision({0, 0, 0}, kZero, kNone, kNone, kNone, 0)));
  EXPECT_THROW(detector.detectCollisionTorque({0, 0, 0}, kZero, kNone, kNone, kNone, 0),
               std::invalid_argument);
  EXPECT_THROW(detector.computeAdmittance(kZero, kZero, four, kNone, kNone, 0),
               std::invalid_argument);
}

// ---------------------------------------------------------------------------------------------
// Data record

TEST_F(CollisionDetectorTest, RecordGrowsWithWhatHasBeenComputed) {
  EXPECT_EQ(detector_.getCollisionData(), (std::vector<double>{0, 0, 7, 5}));

  static_cast<void>(
      detector_.detectCollision({1, 2, 3, 0, 0}, {10, 20, 30, 40, 50}, kNone, kNone, kNone, 1.25));
  const std::vector<double> after_check = detector_.getCollisionData();
  const std::vector<double> expected = {
      1.25, 1,   7,   5,   0,   0, 0, 1, 1,  // flags
      9,    -9,  27,  40,  50,               // signals
      -30,  -30, -30, -30, -30,              // lower limits
      30,   30,  30,  30,  30,               // upper limits
      10,   -10, 30,  40,  50,               // measured, detector form
      1,    -1,  3,   0,   0,                // estimated, detector form
      10,   -10, 30,  40,  50,               // smoothed measured
  };
  EXPECT_EQ(after_check, expected);

  const std::vector<double> q = {0.1, 0.2, 0.3, 0.4, 0.5};
  static_cast<void>(detector_.computeAdmittance(kZero, kZero, q, kZero, kZero, 1.5));
  const std::vector<double>& record = detector_.getCollisionData();
  ASSERT_EQ(record.size(), kHeader + 8 * kBlock);
  EXPECT_EQ(record[0], 1.5);
  EXPECT_EQ(block(kPositions), (std::vector<double>{0.1, 0.2, 0.2 + 0.3, 0.4, 0.5}));
  const std::vector<double>* address = &record;
  const double* storage = record.data();
  static_cast<void>(detector_.computeAdmittance(kZero, kZero, q, kZero, kZero, 1.505));
  EXPECT_EQ(&detector_.getCollisionData(), address);
  EXPECT_EQ(detector_.getCollisionData().data(), storage);
}

// ---------------------------------------------------------------------------------------------
// Admittance law

class AdmittanceTest : public CollisionDetectorTest {
 protected:
  const std::vector<double>& admit(const std::vector<double>& measured) {
    return detector_.computeAdmittance(kZero, measured, q_, kNone, kNone, 0.0);
  }

  const std::vector<double> q_ = {0.1, 0.2, 0.3, 0.4, 0.5};
};

TEST_F(AdmittanceTest, RestingArmDoesNotMove) {
  EXPECT_EQ(admit(kZero), std::vector<double>(5, DBL_MAX));
}

TEST_F(AdmittanceTest, PushMovesTheJointAndItsVelocityDecaysAtRest) {
  // Excess 1 on joint 1: force −1, v = 0.005·(−1)/0.5 = −0.01.
  const std::vector<double> first = admit({31, 0, 0, 0, 0});
  EXPECT_DOUBLE_EQ(first[0], 0.1 + 0.005 * -0.01);
  EXPECT_EQ(first[3], DBL_MAX);
  // At rest the velocity shrinks by 1 − 0.005·20/0.5 = 0.8 per step while above 0.001.
  double velocity = -0.01;
  int moving_steps = 0;
  for (int step = 0; step < 20; ++step) {
    const double out = admit(kZero)[0];
    velocity *= 0.8;
    if (out == DBL_MAX) {
      break;
    }
    ++moving_steps;
    EXPECT_NEAR(out, 0.1 + 0.005 * velocity, 1e-15);
  }
  EXPECT_EQ(moving_steps, 10);
}

TEST_F(AdmittanceTest, JointTwoOrThreeMovingSetsBoth) {
  // Relative joint 2 pushed by excess 1: joint 3 keeps its absolute angle.
  const std::vector<double> out = admit({0, 31, 0, 0, 0});
  const double step = 0.005 * -0.01;
  EXPECT_EQ(out[0], DBL_MAX);
  EXPECT_DOUBLE_EQ(out[1], 0.2 + step);
  EXPECT_DOUBLE_EQ(out[2], 0.3 - step);
  EXPECT_EQ(out[3], DBL_MAX);
  EXPECT_EQ(out[4], DBL_MAX);
}

TEST_F(AdmittanceTest, VelocityIsClampedToTwoHundred) {
  auto para = detectorPara();
  auto& admittance = para->dynamics_application_para.admittance_para;
  for (int i = 5; i < 10; ++i) {
    admittance[i] = 1e-6;
  }
  detector_.initCollisionDetector(para);
  const std::vector<double> out = admit({31, 0, 0, -31, 0});
  EXPECT_DOUBLE_EQ(out[0], 0.1 - 1.0);
  EXPECT_DOUBLE_EQ(out[3], 0.4 + 1.0);
  EXPECT_EQ(out[4], DBL_MAX);
}

}  // namespace
}  // namespace brenvik

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <kdl/chainidsolver_recursive_newton_euler.hpp>
#include <optional>
#include <random>
#include <vector>

#include "robot_model/dynamics_brenvik_bot_v5.h"
#include "support/robot_model_kdl_reference.h"
#include "support/robot_model_test_arms.h"

namespace brenvik {
namespace {

const std::vector<double> kZero(5, 0.0);

class RigidBodyTest : public testing::TestWithParam<test::TestArm> {
 protected:
  // A fresh model per estimate: the first call is unsmoothed. Friction parameters are zero.
  std::vector<double> estimate(const std::vector<double>& q, const std::vector<double>& qd,
                               const std::vector<double>& qdd) {
    DynamicsBrenvikBotV5 dynamics;
    dynamics.initDynamics(test::modelPara(GetParam()));
    return dynamics.estimateTorque(q, qd, qdd, 0.0);
  }

  KDL::Chain chain_ = test::dynamicsChain(GetParam().mdh, GetParam().inertial);
};

// At rest (the first samples) the estimate is gravity alone; the wrist joints have none.
TEST_P(RigidBodyTest, FirstEstimateEqualsKdlInverseDynamics) {
  KDL::ChainIdSolver_RNE solver(chain_, KDL::Vector(0.0, 0.0, -9.8));
  const KDL::Wrenches no_wrenches(3, KDL::Wrench::Zero());
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> rate(-3.0, 3.0);
  for (int sample = 0; sample < 2000; ++sample) {
    const std::vector<double> q = test::randomJoints(rng, GetParam());
    std::vector<double> qd(5), qdd(5);
    for (int i = 0; i < 5 && sample >= 20; ++i) {
      qd[i] = rate(rng);
      qdd[i] = 3.0 * rate(rng);
    }
    KDL::JntArray expected(3);
    ASSERT_GE(solver.CartToJnt(test::jntArray(q, 3), test::jntArray(qd, 3), test::jntArray(qdd, 3),
                               no_wrenches, expected),
              0);
    const std::vector<double> torque = estimate(q, qd, qdd);
    for (int j = 0; j < 3; ++j) ASSERT_NEAR(torque[j], expected(j), 1e-9) << sample;
    ASSERT_EQ(std::vector<double>(torque.begin() + 3, torque.end()),
              std::vector<double>(2, DBL_MAX));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Arms, RigidBodyTest,
    testing::ValuesIn(test::withSimArm({test::exampleArm("Example", {0.3, -0.5, 0.7, -0.2, 1.1})})),
    test::armName);

// A massless arm: the estimate is the friction alone.
class FrictionTest : public testing::Test {
 protected:
  void init(int column, double value = 1.0) {
    std::vector<double> friction(11, 0.0);
    friction[column] = value;
    test::TestArm arm = test::exampleArm("", kZero);
    arm.inertial.assign(30, 0.0);
    dynamics_.emplace();
    dynamics_->initDynamics(test::modelPara(arm, friction));
  }

  // Joint velocities (qd1, qd2, qd3), repeated until the smoothed value has settled exactly.
  std::vector<double> estimate(double qd1, double qd2, double qd3, int repeat = 1) {
    std::vector<double> torque;
    for (int i = 0; i < repeat; ++i) {
      torque = dynamics_->estimateTorque(kZero, {qd1, qd2, qd3, 0.0, 0.0}, kZero, 0.0);
    }
    return torque;
  }

  std::optional<DynamicsBrenvikBotV5> dynamics_;
};

TEST_F(FrictionTest, DirectionMemoryIgnoresTheDeadBandAndGrowsOnlyOutward) {
  init(0);
  EXPECT_EQ(estimate(0.01, 0.0, 0.0)[0], 0.0);
  init(0);
  EXPECT_DOUBLE_EQ(estimate(-0.5, 0.0, 0.0)[0], std::tanh(-0.5));  // first call: unsmoothed
  EXPECT_DOUBLE_EQ(estimate(-0.01, 0.0, 0.0, 400)[0], std::tanh(-0.5));
  EXPECT_DOUBLE_EQ(estimate(0.5, 0.0, 0.0, 400)[0], std::tanh(0.5));
  EXPECT_DOUBLE_EQ(estimate(0.2, 0.0, 0.0, 400)[0], std::tanh(0.5));
  EXPECT_DOUBLE_EQ(estimate(0.0, 0.0, 0.0, 400)[0], std::tanh(0.5));
  EXPECT_DOUBLE_EQ(estimate(-0.3, 0.0, 0.0, 400)[0], std::tanh(-0.3));
}

TEST_F(FrictionTest, RelativeAngleTermsMapBackToJoints) {
  struct Case {
    int column;
    std::array<double, 3> qd, torque;
  };
  // Columns: 4 viscous of relative joint 2, 7 viscous of relative joint 3 (= joint 2 + 3),
  // 9 and 10 the 2-3 coupling, which cancels on joint 2; 2, 5, 8 constant offsets.
  for (const Case& c : {Case{4, {0, 0.3, -0.1}, {0, 0.3, 0}}, Case{7, {0, 0.3, 0.2}, {0, 0.5, 0.5}},
                        Case{9, {0, 0.7, -0.4}, {0, 0, std::tanh(-0.4)}},
                        Case{10, {0, 0.3, 0.4}, {0, 0, 0.4}}, Case{2, {0, 0, 0}, {1, 0, 0}},
                        Case{5, {0, 0, 0}, {0, 1, 0}}, Case{8, {0, 0, 0}, {0, 1, 1}}}) {
    init(c.column);
    const std::vector<double> torque = estimate(c.qd[0], c.qd[1], c.qd[2]);
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(torque[j], c.torque[j], 1e-15) << c.column;
  }
}

TEST_F(FrictionTest, SmoothingStepReachesOneMinusPointEightToTheN) {
  init(1);
  EXPECT_EQ(estimate(0.0, 0.0, 0.0)[0], 0.0);
  for (int n = 1; n <= 30; ++n)
    EXPECT_NEAR(estimate(1.0, 0.0, 0.0)[0], 1 - std::pow(0.8, n), 1e-14);
  const std::vector<double>* result = &dynamics_->estimateTorque(kZero, kZero, kZero, 0.0);
  EXPECT_EQ(&dynamics_->estimateTorque(kZero, kZero, kZero, 0.005), result);
  EXPECT_TRUE(dynamics_->getDynamicsVector().empty());
}

TEST(DynamicsParaTest, UsesTheFirstThirtyInertialValuesAndRefusesShortCounts) {
  const test::TestArm arm = test::exampleArm("", {0.3, -0.5, 0.7, -0.2, 1.1});
  test::TestArm fifty = arm;
  fifty.inertial.resize(50, 123.0);
  DynamicsBrenvikBotV5 thirty_model, fifty_model;
  thirty_model.initDynamics(test::modelPara(arm));
  fifty_model.initDynamics(test::modelPara(fifty));
  const std::vector<double> q = {0.1, 0.2, 0.3, 0.4, 0.5};
  EXPECT_EQ(fifty_model.estimateTorque(q, q, q, 0.0), thirty_model.estimateTorque(q, q, q, 0.0));

  DynamicsBrenvikBotV5 dynamics;
  test::TestArm twenty = arm, three_links = arm;
  twenty.inertial.resize(20);
  three_links.mdh.alphas.resize(3);
  EXPECT_THROW(dynamics.initDynamics(nullptr), std::invalid_argument);
  EXPECT_THROW(dynamics.initDynamics(test::modelPara(twenty)), std::invalid_argument);
  EXPECT_THROW(dynamics.initDynamics(test::modelPara(three_links)), std::invalid_argument);
  EXPECT_THROW(dynamics.initDynamics(test::modelPara(arm, std::vector<double>(10))),
               std::invalid_argument);
  EXPECT_THROW(dynamics.initDynamics(test::modelPara(arm, std::vector<double>(12))),
               std::invalid_argument);
  EXPECT_THROW(dynamics.estimateTorque(kZero, kZero, {0, 0, 0, 0}, 0.0), std::invalid_argument);
}

}  // namespace
}  // namespace brenvik

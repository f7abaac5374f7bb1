#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <kdl/chaindynparam.hpp>
#include <kdl/chainidsolver_recursive_newton_euler.hpp>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "robot_model/dynamics_brenvik_bot_v5.h"
#include "support/robot_model_kdl_reference.h"
#include "support/robot_model_test_arms.h"

namespace brenvik {
namespace {

std::shared_ptr<RobotPara> dynamicsPara(const test::TestArm& arm,
                                        std::vector<double> friction = std::vector<double>(11)) {
  auto para = std::make_shared<RobotPara>();
  para->axis_num = 5;
  para->mdh_para = arm.mdh;
  para->dynamics_para.inertial_para = arm.inertial;
  para->dynamics_para.friction_para = std::move(friction);
  return para;
}

std::vector<double> kdlTorques(const KDL::Chain& chain, const std::vector<double>& q,
                               const std::vector<double>& qd, const std::vector<double>& qdd) {
  KDL::ChainIdSolver_RNE solver(chain, KDL::Vector(0.0, 0.0, -9.8));
  KDL::JntArray torques(3);
  const KDL::Wrenches no_wrenches(3, KDL::Wrench::Zero());
  EXPECT_GE(solver.CartToJnt(test::jntArray(q, 3), test::jntArray(qd, 3), test::jntArray(qdd, 3),
                             no_wrenches, torques),
            0);
  return {torques(0), torques(1), torques(2)};
}

// ---------------------------------------------------------------------------------------------
// Rigid body, against KDL

class RigidBodyTest : public testing::TestWithParam<test::TestArm> {};

TEST_P(RigidBodyTest, FirstEstimateEqualsKdlInverseDynamics) {
  const test::TestArm& arm = GetParam();
  const KDL::Chain chain = test::dynamicsChain(arm.mdh, arm.inertial);
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> rate(-3.0, 3.0);
  for (int sample = 0; sample < 2000; ++sample) {
    const std::vector<double> q = test::randomJoints(rng, arm);
    std::vector<double> qd(5);
    std::vector<double> qdd(5);
    for (int i = 0; i < 5; ++i) {
      qd[i] = rate(rng);
      qdd[i] = 3.0 * rate(rng);
    }
    DynamicsBrenvikBotV5 dynamics;
    dynamics.initDynamics(dynamicsPara(arm));
    const std::vector<double>& torque = dynamics.estimateTorque(q, qd, qdd, 0.0);
    const std::vector<double> expected = kdlTorques(chain, q, qd, qdd);
    for (int j = 0; j < 3; ++j) {
      ASSERT_NEAR(torque[j], expected[j], 1e-9) << "sample " << sample << " joint " << j;
    }
  }
}

TEST_P(RigidBodyTest, StaticEstimateIsGravityAndWristJointsHaveNone) {
  const test::TestArm& arm = GetParam();
  const KDL::Chain chain = test::dynamicsChain(arm.mdh, arm.inertial);
  KDL::ChainDynParam parameters(chain, KDL::Vector(0.0, 0.0, -9.8));
  const std::vector<double> zero(5, 0.0);
  for (const std::vector<double>& q : {zero, std::vector<double>{0.4, -0.7, 1.1, 0.2, 0.3},
                                       std::vector<double>{-2.0, 1.2, -0.5, 0, 0}}) {
    DynamicsBrenvikBotV5 dynamics;
    dynamics.initDynamics(dynamicsPara(arm));
    const std::vector<double> torque = dynamics.estimateTorque(q, zero, zero, 0.0);
    KDL::JntArray gravity(3);
    ASSERT_GE(parameters.JntToGravity(test::jntArray(q, 3), gravity), 0);
    ASSERT_EQ(torque.size(), 5u);
    for (int j = 0; j < 3; ++j) {
      EXPECT_NEAR(torque[j], gravity(j), 1e-12);
    }
    EXPECT_EQ(torque[3], DBL_MAX);
    EXPECT_EQ(torque[4], DBL_MAX);
  }
}

INSTANTIATE_TEST_SUITE_P(Arms, RigidBodyTest,
                         testing::Values(test::exampleArm("Example", {0.3, -0.5, 0.7, -0.2, 1.1}),
                                         test::simArm()),
                         test::armName);

// ---------------------------------------------------------------------------------------------
// Friction and smoothing, on a massless arm so that the estimate is the friction alone

class FrictionTest : public testing::Test {
 protected:
  void init(std::vector<double> friction) {
    test::TestArm arm = test::exampleArm("Example", std::vector<double>(5, 0.0));
    arm.inertial.assign(30, 0.0);
    dynamics_.emplace();
    dynamics_->initDynamics(dynamicsPara(arm, std::move(friction)));
  }

  // Torques for joint velocities (qd1, qd2, qd3), all else 0.
  std::vector<double> estimate(double qd1, double qd2, double qd3) {
    const std::vector<double> zero(5, 0.0);
    return dynamics_->estimateTorque(zero, {qd1, qd2, qd3, 0.0, 0.0}, zero, 0.0);
  }

  // Same velocity until the smoothed value has settled on it exactly.
  std::vector<double> settle(double qd1, double qd2, double qd3) {
    std::vector<double> torque;
    for (int i = 0; i < 400; ++i) {
      torque = estimate(qd1, qd2, qd3);
    }
    return torque;
  }

  static std::vector<double> only(int column, double value = 1.0) {
    std::vector<double> friction(11, 0.0);
    friction[column] = value;
    return friction;
  }

  std::optional<DynamicsBrenvikBotV5> dynamics_;
};

TEST_F(FrictionTest, DeadBandLeavesTheDirectionMemoryAlone) {
  init(only(0));
  EXPECT_EQ(estimate(0.01, 0.0, 0.0)[0], 0.0);
  EXPECT_EQ(settle(-0.01, 0.0, 0.0)[0], 0.0);
}

TEST_F(FrictionTest, DirectionSwitchesOnlyTowardsLargerVelocities) {
  init(only(0));
  EXPECT_DOUBLE_EQ(estimate(-0.5, 0.0, 0.0)[0], std::tanh(-0.5));
  EXPECT_DOUBLE_EQ(settle(0.5, 0.0, 0.0)[0], std::tanh(0.5));
  EXPECT_DOUBLE_EQ(settle(0.2, 0.0, 0.0)[0], std::tanh(0.5));
  EXPECT_DOUBLE_EQ(settle(0.0, 0.0, 0.0)[0], std::tanh(0.5));
  EXPECT_DOUBLE_EQ(settle(-0.3, 0.0, 0.0)[0], std::tanh(-0.3));
}

TEST_F(FrictionTest, CouplingDirectionFollowsJointThreeAlone) {
  init(only(9));
  // The coupling term acts on relative joint 2 and 3 with opposite signs: joint 2 feels none.
  const std::vector<double> torque = estimate(0.0, 0.7, -0.4);
  EXPECT_DOUBLE_EQ(torque[1], 0.0);
  EXPECT_DOUBLE_EQ(torque[2], std::tanh(-0.4));
}

TEST_F(FrictionTest, RelativeAngleViscousTermsMapBackToJoints) {
  init(only(4));
  std::vector<double> torque = estimate(0.0, 0.3, -0.1);
  EXPECT_DOUBLE_EQ(torque[1], 0.3);
  EXPECT_DOUBLE_EQ(torque[2], 0.0);

  init(only(7));
  torque = estimate(0.0, 0.3, 0.2);
  EXPECT_DOUBLE_EQ(torque[1], 0.5);
  EXPECT_DOUBLE_EQ(torque[2], 0.5);

  init(only(10));
  torque = estimate(0.0, 0.3, 0.4);
  EXPECT_DOUBLE_EQ(torque[1], 0.0);
  EXPECT_DOUBLE_EQ(torque[2], 0.4);
}

TEST_F(FrictionTest, ConstantOffsetsAct) {
  std::vector<double> friction(11, 0.0);
  friction[2] = 0.1;
  friction[5] = 0.2;
  friction[8] = 0.3;
  init(friction);
  const std::vector<double> torque = estimate(0.0, 0.0, 0.0);
  EXPECT_DOUBLE_EQ(torque[0], 0.1);
  EXPECT_DOUBLE_EQ(torque[1], 0.5);
  EXPECT_DOUBLE_EQ(torque[2], 0.3);
}

TEST_F(FrictionTest, SmoothingStepReachesOneMinusPointEightToTheN) {
  init(only(1));
  EXPECT_EQ(estimate(0.0, 0.0, 0.0)[0], 0.0);
  for (int n = 1; n <= 30; ++n) {
    EXPECT_NEAR(estimate(1.0, 0.0, 0.0)[0], 1.0 - std::pow(0.8, n), 1e-14) << "n = " << n;
  }
}

TEST_F(FrictionTest, ResultStaysInPlace) {
  init(only(1));
  const std::vector<double> zero(5, 0.0);
  const std::vector<double>* first = &dynamics_->estimateTorque(zero, zero, zero, 0.0);
  EXPECT_EQ(&dynamics_->estimateTorque(zero, zero, zero, 0.005), first);
  EXPECT_TRUE(dynamics_->getDynamicsVector().empty());
}

// ---------------------------------------------------------------------------------------------
// Parameter counts

class DynamicsParaTest : public testing::Test {
 protected:
  test::TestArm arm_ = test::exampleArm("Example", {0.3, -0.5, 0.7, -0.2, 1.1});
};

TEST_F(DynamicsParaTest, UsesOnlyTheFirstThreeInertialGroups) {
  std::vector<double> fifty = arm_.inertial;
  fifty.resize(50, 123.0);
  const std::vector<double> q = {0.1, 0.2, 0.3, 0.4, 0.5};
  const std::vector<double> qd = {0.5, -0.4, 0.3, 0.2, 0.1};
  DynamicsBrenvikBotV5 thirty;
  thirty.initDynamics(dynamicsPara(arm_));
  test::TestArm longer = arm_;
  longer.inertial = fifty;
  DynamicsBrenvikBotV5 with_fifty;
  with_fifty.initDynamics(dynamicsPara(longer));
  EXPECT_EQ(with_fifty.estimateTorque(q, qd, qd, 0.0), thirty.estimateTorque(q, qd, qd, 0.0));
}

TEST_F(DynamicsParaTest, RefusesShortCounts) {
  DynamicsBrenvikBotV5 dynamics;
  EXPECT_THROW(dynamics.initDynamics(nullptr), std::invalid_argument);

  test::TestArm few_inertial = arm_;
  few_inertial.inertial.resize(20);
  EXPECT_THROW(dynamics.initDynamics(dynamicsPara(few_inertial)), std::invalid_argument);

  EXPECT_THROW(dynamics.initDynamics(dynamicsPara(arm_, std::vector<double>(10))),
               std::invalid_argument);
  EXPECT_THROW(dynamics.initDynamics(dynamicsPara(arm_, std::vector<double>(12))),
               std::invalid_argument);

  test::TestArm three_links = arm_;
  three_links.mdh.xas.resize(3);
  three_links.mdh.alphas.resize(3);
  EXPECT_THROW(dynamics.initDynamics(dynamicsPara(three_links)), std::invalid_argument);

  dynamics.initDynamics(dynamicsPara(arm_));
  const std::vector<double> four(4, 0.0);
  const std::vector<double> five(5, 0.0);
  EXPECT_THROW(dynamics.estimateTorque(four, five, five, 0.0), std::invalid_argument);
  EXPECT_THROW(dynamics.estimateTorque(five, five, four, 0.0), std::invalid_argument);
}

}  // namespace
}  // namespace brenvik

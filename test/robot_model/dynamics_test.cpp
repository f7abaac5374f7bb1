#include <gtest/gtest.h>

#include <cfloat>
#include <kdl/chainidsolver_recursive_newton_euler.hpp>

#include "robot_model/dynamics_brenvik_bot_v5.h"
#include "support/robot_model_kdl_reference.h"
#include "support/robot_model_test_arms.h"

namespace brenvik {
namespace {

using V = std::vector<double>;
const V kZero(5, 0.0);

class RigidBodyTest : public testing::TestWithParam<test::TestArm> {};

TEST_P(RigidBodyTest, FirstEstimateEqualsKdlInverseDynamics) {
  const KDL::Chain chain = test::dynamicsChain(GetParam().mdh, GetParam().inertial);
  KDL::ChainIdSolver_RNE solver(chain, KDL::Vector(0.0, 0.0, -9.8));
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> rate(-3.0, 3.0);
  for (int sample = 0; sample < 2000; ++sample) {
    const V q = test::randomJoints(rng, GetParam());
    V qd(5), qdd(5);
    for (int i = 0; i < 5 && sample >= 20; ++i) {
      qd[i] = rate(rng);
      qdd[i] = 3.0 * rate(rng);
    }
    KDL::JntArray expected(3);
    ASSERT_GE(solver.CartToJnt(test::jntArray(q, 3), test::jntArray(qd, 3), test::jntArray(qdd, 3),
                               KDL::Wrenches(3, KDL::Wrench::Zero()), expected),
              0);
    DynamicsBrenvikBotV5 dynamics;
    dynamics.initDynamics(test::modelPara(GetParam()));
    const V torque = dynamics.estimateTorque(q, qd, qdd, 0.0);
    for (int j = 0; j < 3; ++j) ASSERT_NEAR(torque[j], expected(j), 1e-9) << sample;
    ASSERT_EQ(V(torque.begin() + 3, torque.end()), V(2, DBL_MAX));
  }
}

INSTANTIATE_TEST_SUITE_P(Arms, RigidBodyTest,
                         testing::Values(test::exampleArm("Example", {0.3, -0.5, 0.7, -0.2, 1.1}),
                                         test::simArm()),
                         test::armName);

struct Friction {
  explicit Friction(int column, double value = 1.0) {
    V friction(11, 0.0);
    friction[column] = value;
    test::TestArm arm = test::exampleArm("", kZero);
    arm.inertial.assign(30, 0.0);
    dynamics.initDynamics(test::modelPara(arm, friction));
  }
  V operator()(double qd1, double qd2, double qd3, int repeat = 1) {
    V torque;
    for (int i = 0; i < repeat; ++i)
      torque = dynamics.estimateTorque(kZero, {qd1, qd2, qd3, 0, 0}, kZero, 0);
    return torque;
  }
  DynamicsBrenvikBotV5 dynamics;
};

// Column 0: tanh of the remembered direction, kept in the dead band, growing only outward;
// 4, 7 viscous and 9, 10 coupling of relative joints 2 and 3; 2, 5, 8 offsets; smoothing 0.2.
TEST(FrictionTest, TermsMapBackToJointsWithDirectionMemoryAndSmoothing) {
  EXPECT_EQ(Friction(0)(0.01, 0, 0)[0], 0.0);
  Friction memory(0);
  using P = std::pair<double, double>;
  for (const auto& [qd, expected] :
       {P{-0.5, -0.5}, P{-0.01, -0.5}, P{0.5, 0.5}, P{0.2, 0.5}, P{0.0, 0.5}, P{-0.3, -0.3}}) {
    EXPECT_DOUBLE_EQ(memory(qd, 0, 0, qd == -0.5 ? 1 : 400)[0], std::tanh(expected)) << qd;
  }
  struct Case {
    int column;
    std::array<double, 3> qd, torque;
  };
  for (const Case& c : {Case{4, {0, 0.3, -0.1}, {0, 0.3, 0}}, Case{7, {0, 0.3, 0.2}, {0, 0.5, 0.5}},
                        Case{9, {0, 0.7, -0.4}, {0, 0, std::tanh(-0.4)}},
                        Case{10, {0, 0.3, 0.4}, {0, 0, 0.4}}, Case{2, {0, 0, 0}, {1, 0, 0}},
                        Case{5, {0, 0, 0}, {0, 1, 0}}, Case{8, {0, 0, 0}, {0, 1, 1}}}) {
    const V torque = Friction(c.column)(c.qd[0], c.qd[1], c.qd[2]);
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(torque[j], c.torque[j], 1e-15) << c.column;
  }
  Friction smoothed(1);
  EXPECT_EQ(smoothed(0, 0, 0)[0], 0.0);
  for (int n = 1; n <= 30; ++n) EXPECT_NEAR(smoothed(1, 0, 0)[0], 1 - std::pow(0.8, n), 1e-14);
}

TEST(DynamicsParaTest, UsesTheFirstThirtyInertialValuesAndRefusesShortCounts) {
  const test::TestArm arm = test::exampleArm("", {0.3, -0.5, 0.7, -0.2, 1.1});
  test::TestArm fifty = arm, twenty = arm, three_links = arm;
  fifty.inertial.resize(50, 123.0);
  twenty.inertial.resize(20);
  three_links.mdh.alphas.resize(3);
  DynamicsBrenvikBotV5 thirty_model, fifty_model, dynamics;
  thirty_model.initDynamics(test::modelPara(arm));
  fifty_model.initDynamics(test::modelPara(fifty));
  const V q = {0.1, 0.2, 0.3, 0.4, 0.5};
  EXPECT_EQ(fifty_model.estimateTorque(q, q, q, 0.0), thirty_model.estimateTorque(q, q, q, 0.0));
  EXPECT_THROW(dynamics.initDynamics(nullptr), std::invalid_argument);
  for (const auto& para : {test::modelPara(twenty), test::modelPara(three_links),
                           test::modelPara(arm, V(10)), test::modelPara(arm, V(12))}) {
    EXPECT_THROW(dynamics.initDynamics(para), std::invalid_argument);
  }
  EXPECT_THROW(dynamics.estimateTorque(kZero, kZero, {0, 0, 0, 0}, 0.0), std::invalid_argument);
}

}  // namespace
}  // namespace brenvik

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <array>
#include <cmath>
#include <kdl/chainfksolverpos_recursive.hpp>
#include <random>
#include <string>
#include <vector>

#include "robot_model/brenvik_bot_v3_kinematics.h"
#include "support/robot_model_kdl_reference.h"
#include "support/robot_model_test_arms.h"

namespace brenvik {
namespace {

using test::kPi;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

constexpr int kRandomSamples = 3000;

int setArm(BrenvikBotV3Kinematics& kinematics, const MdhPara& mdh) {
  return kinematics.setMdhPara(mdh.zds, mdh.xas, mdh.alphas, mdh.qzeros);
}

// ---------------------------------------------------------------------------------------------
// Parameter check

class MdhParaTest : public testing::Test {
 protected:
  // Returns the result and stores what was printed.
  int set(const std::vector<double>& zds, const std::vector<double>& xas,
          const std::vector<double>& alphas, const std::vector<double>& qzeros) {
    CaptureStdout();
    const int result = kinematics_.setMdhPara(zds, xas, alphas, qzeros);
    output_ = GetCapturedStdout();
    return result;
  }

  BrenvikBotV3Kinematics kinematics_;
  test::TestArm arm_ = test::exampleArm("Example", {0.1, -0.2, 0.3, 0.0, 0.5});
  std::string output_;
};

TEST_F(MdhParaTest, AcceptsTwistsWithinOneDegreeAndPrintsTheTable) {
  std::vector<double> alphas = arm_.mdh.alphas;
  alphas[4] += 0.01;
  EXPECT_EQ(set(arm_.mdh.zds, arm_.mdh.xas, alphas, arm_.mdh.qzeros), kinematics_result::kOk);
  EXPECT_EQ(output_,
            "\033[42m ######################mdh para##########################\033[0m\n"
            "0(zd xa alpha qzero)=(0.200000,0.000000,0.000000,0.100000)\n"
            "1(zd xa alpha qzero)=(0.000000,0.050000,1.570796,-0.200000)\n"
            "2(zd xa alpha qzero)=(0.000000,0.300000,0.000000,0.300000)\n"
            "3(zd xa alpha qzero)=(0.000000,0.250000,0.000000,0.000000)\n"
            "4(zd xa alpha qzero)=(0.100000,0.020000,-1.560796,0.500000)\n");
}

TEST_F(MdhParaTest, TwistToleranceIsOneDegree) {
  std::vector<double> alphas = arm_.mdh.alphas;
  alphas[1] += 0.01745;
  EXPECT_EQ(set(arm_.mdh.zds, arm_.mdh.xas, alphas, arm_.mdh.qzeros), kinematics_result::kOk);
  alphas[1] = arm_.mdh.alphas[1] - 0.01746;
  EXPECT_EQ(set(arm_.mdh.zds, arm_.mdh.xas, alphas, arm_.mdh.qzeros),
            kinematics_result::kWrongArmType);
}

TEST_F(MdhParaTest, RejectsAnotherArmType) {
  std::vector<double> alphas = arm_.mdh.alphas;
  alphas[4] = kPi / 2;
  EXPECT_EQ(set(arm_.mdh.zds, arm_.mdh.xas, alphas, arm_.mdh.qzeros),
            kinematics_result::kWrongArmType);
  EXPECT_EQ(output_, "alpha sequence not equal\nthe input robot type is not right!!!\n");
}

TEST_F(MdhParaTest, RejectsANanTwist) {
  std::vector<double> alphas = arm_.mdh.alphas;
  alphas[2] = std::nan("");
  EXPECT_EQ(set(arm_.mdh.zds, arm_.mdh.xas, alphas, arm_.mdh.qzeros),
            kinematics_result::kWrongArmType);
}

TEST_F(MdhParaTest, RejectsVectorsOfAnotherLength) {
  const std::vector<double> six(6, 0.0);
  EXPECT_EQ(set(six, six, six, six), kinematics_result::kSizeMismatch);
  EXPECT_EQ(output_, "the size of zds,xas,alphas,qzeros not equal\n");
  const std::vector<double> four(4, 0.0);
  EXPECT_EQ(set(arm_.mdh.zds, arm_.mdh.xas, arm_.mdh.alphas, four),
            kinematics_result::kSizeMismatch);
}

TEST_F(MdhParaTest, RejectedParametersKeepThePreviousOnes) {
  const std::vector<double> q = {0.3, -0.4, 0.5, 0.6, -0.7};
  // Never set: all parameters zero, so every joint turns about the same axis.
  EXPECT_TRUE(kinematics_.forwardKinematics({0.0, 0.0, 0.0, 0.0, 0.0}).isIdentity(0.0));
  ASSERT_EQ(set(arm_.mdh.zds, arm_.mdh.xas, arm_.mdh.alphas, arm_.mdh.qzeros),
            kinematics_result::kOk);
  const Eigen::Matrix4d before = kinematics_.forwardKinematics(q);
  std::vector<double> alphas = arm_.mdh.alphas;
  alphas[0] = 1.0;
  ASSERT_EQ(set(arm_.mdh.xas, arm_.mdh.zds, alphas, arm_.mdh.qzeros),
            kinematics_result::kWrongArmType);
  EXPECT_EQ(kinematics_.forwardKinematics(q), before);
}

// ---------------------------------------------------------------------------------------------
// Forward kinematics

TEST(ForwardKinematicsTest, ZeroLengthsGiveTheProductOfTheTwists) {
  BrenvikBotV3Kinematics kinematics;
  const std::vector<double> zero(5, 0.0);
  const std::vector<double> alphas = {0.0, kPi / 2, 0.0, 0.0, -kPi / 2};
  ASSERT_EQ(kinematics.setMdhPara(zero, zero, alphas, zero), kinematics_result::kOk);
  Eigen::Matrix3d rotation = Eigen::Matrix3d::Identity();
  for (double alpha : alphas) {
    rotation = rotation * Eigen::AngleAxisd(alpha, Eigen::Vector3d::UnitX()).toRotationMatrix();
  }
  const Eigen::Matrix4d pose = kinematics.forwardKinematics(zero);
  EXPECT_TRUE((pose.topLeftCorner<3, 3>().isApprox(rotation, 1e-15)));
  EXPECT_TRUE((pose.topRightCorner<3, 1>().isZero(0.0)));
  EXPECT_EQ(pose.row(3), Eigen::RowVector4d(0.0, 0.0, 0.0, 1.0));
}

TEST(ForwardKinematicsTest, ReadsOnlyTheFirstFiveJointsAndRefusesFewer) {
  BrenvikBotV3Kinematics kinematics;
  const test::TestArm arm = test::exampleArm("Example", std::vector<double>(5, 0.0));
  CaptureStdout();
  ASSERT_EQ(setArm(kinematics, arm.mdh), kinematics_result::kOk);
  GetCapturedStdout();
  EXPECT_EQ(kinematics.forwardKinematics({0.1, 0.2, 0.3, 0.4, 0.5, 9.0}),
            kinematics.forwardKinematics({0.1, 0.2, 0.3, 0.4, 0.5}));
  EXPECT_THROW(kinematics.forwardKinematics({0.1, 0.2, 0.3, 0.4}), std::invalid_argument);
}

// ---------------------------------------------------------------------------------------------
// Cross-checks on whole arms

class ArmKinematicsTest : public testing::TestWithParam<test::TestArm> {
 protected:
  void SetUp() override {
    CaptureStdout();
    const int result = setArm(kinematics_, GetParam().mdh);
    GetCapturedStdout();
    ASSERT_EQ(result, kinematics_result::kOk);
  }

  // All solutions of a pose, with the solver's lines kept off the test output.
  std::vector<std::vector<double>> allSolutions(const Eigen::Matrix4d& pose) const {
    std::vector<std::vector<double>> solutions;
    CaptureStdout();
    const int result = kinematics_.getAllInverseSolutions(pose, solutions);
    GetCapturedStdout();
    EXPECT_EQ(result, kinematics_result::kOk);
    return solutions;
  }

  // Every solution of the pose of q has that pose, and one of them is q (modulo 2π).
  void expectRoundTrip(const std::vector<double>& q) const {
    const Eigen::Matrix4d pose = kinematics_.forwardKinematics(q);
    const auto solutions = allSolutions(pose);
    ASSERT_FALSE(solutions.empty()) << "q = " << Eigen::Map<const Eigen::VectorXd>(q.data(), 5);
    bool found_q = false;
    for (const auto& solution : solutions) {
      ASSERT_EQ(solution.size(), 5u);
      const double error = (kinematics_.forwardKinematics(solution) - pose).cwiseAbs().maxCoeff();
      ASSERT_LT(error, 1e-9) << "q = " << Eigen::Map<const Eigen::VectorXd>(q.data(), 5).transpose()
                             << "\nsolution = "
                             << Eigen::Map<const Eigen::VectorXd>(solution.data(), 5).transpose();
      bool same = true;
      for (int i = 0; i < 5; ++i) {
        same = same && test::angleDistance(solution[i], q[i]) < 1e-8;
      }
      found_q = found_q || same;
    }
    // Within the elbow singularity q's own arm type fails by design.
    const double theta3 = q[2] + GetParam().mdh.qzeros[2] - kPi / 2;
    if (std::fabs(std::remainder(theta3, 2 * kPi)) <
        BrenvikBotV3Kinematics::kJ3SingularityThreshold + 1e-9) {
      return;
    }
    ASSERT_TRUE(found_q) << "q = " << Eigen::Map<const Eigen::VectorXd>(q.data(), 5).transpose();
  }

  BrenvikBotV3Kinematics kinematics_;
};

TEST_P(ArmKinematicsTest, ForwardKinematicsMatchesKdl) {
  const KDL::Chain chain = test::kinematicsChain(GetParam().mdh);
  KDL::ChainFkSolverPos_recursive solver(chain);
  std::mt19937 rng(20261206);
  for (int sample = 0; sample < kRandomSamples; ++sample) {
    const std::vector<double> q = test::randomJoints(rng, GetParam());
    KDL::Frame frame;
    ASSERT_GE(solver.JntToCart(test::jntArray(q, 5), frame), 0);
    const double error =
        (kinematics_.forwardKinematics(q) - test::toMatrix(frame)).cwiseAbs().maxCoeff();
    ASSERT_LT(error, 1e-12) << "sample " << sample;
  }
}

TEST_P(ArmKinematicsTest, EverySolutionReproducesThePoseAndOneIsTheJointVector) {
  std::mt19937 rng(7);
  for (int sample = 0; sample < kRandomSamples; ++sample) {
    SCOPED_TRACE("sample " + std::to_string(sample));
    expectRoundTrip(test::randomJoints(rng, GetParam()));
    if (HasFatalFailure()) {
      return;
    }
  }
}

TEST_P(ArmKinematicsTest, WristZeroAndHorizontalToolPosesRoundTrip) {
  // θ5 of 0 makes one term of the closed form nearly 0/0; joints 2..4 summing to ±π/2 put the
  // tool axis horizontal, where the general θ5 formula loses all precision.
  const std::vector<double>& qzero = GetParam().mdh.qzeros;
  const std::vector<std::vector<double>> cases = {
      {0.4, 0.3, 0.2, 0.1, -qzero[4]},
      {-qzero[0], 0.3, 0.2, 0.1, -qzero[4]},
      {0.3, 0.6, 0.5, 0.4707963267948966 - qzero[1] - qzero[2] - qzero[3], 0.7},
      {-0.4, 0.2, 0.9, -2.6707963267948966 - qzero[1] - qzero[2] - qzero[3], -1.1},
      {0.0, 0.6, 0.5, 0.4707963267948966 - qzero[1] - qzero[2] - qzero[3], -qzero[4]},
  };
  for (const auto& q : cases) {
    expectRoundTrip(q);
  }
}

TEST_P(ArmKinematicsTest, ElbowSingularityFailsWithMinusOne) {
  // Joint 3 such that the closed form's θ3 is 0.0001 (elbow solution 1).
  const std::vector<double> q = {0.2, 0.1, 0.0001 + kPi / 2 - GetParam().mdh.qzeros[2], 0.3, 0.4};
  const std::vector<double> untouched = {7.0, 7.0, 7.0};
  std::vector<double> joints = untouched;
  CaptureStdout();
  const int result =
      kinematics_.inverseKinematicsByArmType(kinematics_.forwardKinematics(q), {1, 1}, joints);
  const std::string output = GetCapturedStdout();
  EXPECT_EQ(result, kinematics_result::kSingular);
  EXPECT_EQ(output, "j3 singularity error!!!\n");
  EXPECT_EQ(joints, untouched);
}

TEST_P(ArmKinematicsTest, UnreachableAndOnAxisPosesHaveNoSolution) {
  Eigen::Matrix4d far = kinematics_.forwardKinematics({0.1, 0.2, 0.3, 0.4, 0.5});
  far.topRightCorner<3, 1>() *= 10.0;
  Eigen::Matrix4d on_axis = kinematics_.forwardKinematics({0.1, 0.2, 0.3, 0.4, 0.5});
  on_axis(0, 3) = 0.0;
  on_axis(1, 3) = 0.0;
  for (const Eigen::Matrix4d& pose : {far, on_axis}) {
    for (const std::array<int, 2> arm_type : {std::array<int, 2>{0, 0}, {1, 0}, {1, 1}, {0, 1}}) {
      std::vector<double> joints;
      CaptureStdout();
      const int result = kinematics_.inverseKinematicsByArmType(pose, arm_type, joints);
      const std::string output = GetCapturedStdout();
      EXPECT_EQ(result, kinematics_result::kNoSolution);
      EXPECT_EQ(output, "inverseKinematics not a number!!!!\n");
      ASSERT_EQ(joints.size(), 5u);
    }
    EXPECT_TRUE(allSolutions(pose).empty());
  }
}

std::vector<test::TestArm> arms() {
  std::vector<test::TestArm> result = {
      test::exampleArm("ExampleZeroQzero", std::vector<double>(5, 0.0)),
      test::exampleArm("ExampleQzero", {0.3, -0.5, 0.7, -0.2, 1.1}),
      test::simArm(),
  };
  return result;
}

INSTANTIATE_TEST_SUITE_P(Arms, ArmKinematicsTest, testing::ValuesIn(arms()), test::armName);

// ---------------------------------------------------------------------------------------------
// Arm types and output

class ArmTypeTest : public testing::Test {
 protected:
  void SetUp() override {
    CaptureStdout();
    const int result = setArm(kinematics_, test::exampleArm("Example", {0, 0, 0, 0, 0}).mdh);
    GetCapturedStdout();
    ASSERT_EQ(result, kinematics_result::kOk);
  }

  int solve(const Eigen::Matrix4d& pose, const std::array<int, 2>& arm_type,
            std::vector<double>& joints) {
    CaptureStdout();
    const int result = kinematics_.inverseKinematicsByArmType(pose, arm_type, joints);
    output_ = GetCapturedStdout();
    return result;
  }

  BrenvikBotV3Kinematics kinematics_;
  std::string output_;
};

TEST_F(ArmTypeTest, PrintsTheArmTypeAndTheSolution) {
  const std::vector<double> q = {0.1, 0.2, 0.3, 0.4, 0.5};
  std::vector<double> joints;
  ASSERT_EQ(solve(kinematics_.forwardKinematics(q), {1, 1}, joints), kinematics_result::kOk);
  EXPECT_EQ(output_, "armtype=[1,1]\n0.100000,0.200000,0.300000,0.400000,0.500000,\n");
}

TEST_F(ArmTypeTest, ReferenceJointsChooseTheArmType) {
  // A pose all four arm types reach, each with other joints.
  const Eigen::Matrix4d pose = kinematics_.forwardKinematics({0.2, 0.9, 1.3, 0.1, 0.4});
  struct Case {
    std::vector<double> ref;
    std::array<int, 2> arm_type;
  };
  const std::vector<Case> cases = {
      {{0.0, 0.0, 0.0, 0.0, 0.0}, {1, 1}},  {{-kPi / 2, 0.0, -kPi / 2, 0.0, 0.0}, {0, 0}},
      {{1.5, 0.0, -1.5, 0.0, 0.0}, {1, 1}}, {{kPi / 2, 0.0, -1.6, 0.0, 0.0}, {0, 0}},
      {{3.0, 0.0, 2.0, 0.0, 0.0}, {0, 1}},
  };
  for (const Case& c : cases) {
    std::vector<double> by_reference;
    std::vector<double> by_type;
    CaptureStdout();
    const int result = kinematics_.inverseKinematics(pose, c.ref, by_reference);
    GetCapturedStdout();
    EXPECT_EQ(result, solve(pose, c.arm_type, by_type));
    EXPECT_EQ(by_reference, by_type);
  }
  std::vector<double> joints;
  EXPECT_THROW(static_cast<void>(kinematics_.inverseKinematics(pose, {0.0, 0.0}, joints)),
               std::invalid_argument);
}

TEST_F(ArmTypeTest, SolutionsComeInArmTypeOrder) {
  // Far out in front: reaching the wrist centre over the shoulder would need the shoulder offset
  // twice more, so only the two elbow solutions of the shoulder in front exist.
  const Eigen::Matrix4d pose = kinematics_.forwardKinematics({0.4, 0.3, 0.2, 0.1, 0.0});
  std::vector<std::vector<double>> solutions;
  CaptureStdout();
  EXPECT_EQ(kinematics_.getAllInverseSolutions(pose, solutions), kinematics_result::kOk);
  GetCapturedStdout();
  std::vector<double> joints;
  EXPECT_EQ(solve(pose, {0, 0}, joints), kinematics_result::kNoSolution);
  EXPECT_EQ(solve(pose, {0, 1}, joints), kinematics_result::kNoSolution);
  ASSERT_EQ(solutions.size(), 2u);
  ASSERT_EQ(solve(pose, {1, 0}, joints), kinematics_result::kOk);
  EXPECT_EQ(solutions[0], joints);
  ASSERT_EQ(solve(pose, {1, 1}, joints), kinematics_result::kOk);
  EXPECT_EQ(solutions[1], joints);
  EXPECT_NE(solutions[0][2], solutions[1][2]);
}

TEST_F(ArmTypeTest, ShoulderChoiceSplitsJointOneAtPlusMinusHalfPi) {
  const Eigen::Matrix4d pose = kinematics_.forwardKinematics({0.2, 0.9, 1.3, 0.1, 0.4});
  std::vector<double> front;
  std::vector<double> back;
  ASSERT_EQ(solve(pose, {1, 1}, front), kinematics_result::kOk);
  ASSERT_EQ(solve(pose, {0, 1}, back), kinematics_result::kOk);
  EXPECT_LE(std::fabs(front[0]), kPi / 2);
  EXPECT_GE(std::fabs(back[0]), kPi / 2);
  EXPECT_NEAR(test::angleDistance(front[0], back[0]), kPi, 1e-12);
}

TEST(ReservedOperationTest, DoesNothing) {
  BrenvikBotV3Kinematics kinematics;
  EXPECT_EQ(kinematics.reservedOperation(), kinematics_result::kOk);
}

}  // namespace
}  // namespace brenvik

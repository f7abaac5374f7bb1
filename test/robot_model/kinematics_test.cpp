#include <gtest/gtest.h>

#include <kdl/chainfksolverpos_recursive.hpp>

#include "robot_model/brenvik_bot_v3_kinematics.h"
#include "support/robot_model_kdl_reference.h"
#include "support/robot_model_test_arms.h"

namespace brenvik {
namespace {

using test::kPi;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using Joints = std::vector<double>;
using namespace kinematics_result;

TEST(MdhParaTest, ChecksSizeAndTwistsWithinOneDegree) {
  std::string out;
  const auto set = [&](int index, double delta, size_t size) {
    MdhPara mdh = test::exampleArm("", {0.1, -0.2, 0.3, 0.0, 0.5}).mdh;
    mdh.alphas[index] += delta;
    for (auto* v : {&mdh.zds, &mdh.xas, &mdh.alphas, &mdh.qzeros}) v->resize(size);
    CaptureStdout();
    const int result =
        BrenvikBotV3Kinematics().setMdhPara(mdh.zds, mdh.xas, mdh.alphas, mdh.qzeros);
    out += GetCapturedStdout();
    return result;
  };
  EXPECT_EQ((std::vector<int>{set(1, -0.01745, 5), set(1, 0.01746, 5), set(4, kPi, 5),
                              set(2, NAN, 5), set(0, 0, 6)}),
            (std::vector<int>{kOk, kWrongArmType, kWrongArmType, kWrongArmType, kSizeMismatch}));
  EXPECT_NE(out.find("\n4(zd xa alpha qzero)=(0.100000,0.020000,"), std::string::npos) << out;
  EXPECT_NE(out.find("the input robot type is not right!!!\nalpha"), std::string::npos);
  EXPECT_NE(out.find("right!!!\nthe size of zds,xas,alphas,qzeros not equal\n"), out.npos);
}

class ArmKinematicsTest : public testing::TestWithParam<test::TestArm> {
 protected:
  void SetUp() override {
    const MdhPara& m = GetParam().mdh;
    CaptureStdout();
    const int result = kinematics_.setMdhPara(m.zds, m.xas, m.alphas, m.qzeros);
    GetCapturedStdout();
    ASSERT_EQ(result, kOk);
  }
  int solve(const Eigen::Matrix4d& pose, const std::array<int, 2>& type, Joints& joints) {
    CaptureStdout();
    const int result = kinematics_.inverseKinematicsByArmType(pose, type, joints);
    output_ = GetCapturedStdout();
    return result;
  }
  double error(const Joints& q, const Eigen::Matrix4d& pose) const {
    return (kinematics_.forwardKinematics(q) - pose).cwiseAbs().maxCoeff();
  }
  // Elbow angle θ3 of q; |θ3| < 0.0004 is the singularity where q's own arm type fails.
  double theta3(const Joints& q) const {
    return std::remainder(q[2] + GetParam().mdh.qzeros[2] - kPi / 2, 2 * kPi);
  }
  // Every solution reaches the pose of q; one is q (mod 2π) unless at the elbow singularity.
  void expectRoundTrip(const Joints& q) {
    const Eigen::Matrix4d pose = kinematics_.forwardKinematics(q);
    std::vector<Joints> solutions;
    EXPECT_EQ(kinematics_.getAllInverseSolutions(pose, solutions), kOk);
    bool found_q = false;
    for (const Joints& s : solutions) {
      ASSERT_LT(error(s, pose), 1e-9);
      bool same = true;
      for (int i = 0; i < 5; ++i) same = same && test::angleDistance(s[i], q[i]) < 1e-8;
      found_q = found_q || same;
    }
    ASSERT_TRUE(found_q || std::fabs(theta3(q)) < 0.0004 + 1e-9) << q[0] << " " << q[2];
  }

  BrenvikBotV3Kinematics kinematics_;
  std::string output_;
};

TEST_P(ArmKinematicsTest, InverseKinematicsAnswersTheSolutionNearestTheReference) {
  const test::TestArm& arm = GetParam();
  ASSERT_EQ(kinematics_.setJointLimits(arm.min_joint, arm.max_joint), kOk);
  const KDL::Chain chain = test::kinematicsChain(arm.mdh);
  KDL::ChainFkSolverPos_recursive solver(chain);
  const auto distance = [](const Joints& a, const Joints& b) {
    return (Eigen::Map<const Eigen::VectorXd>(a.data(), 5) - Eigen::VectorXd::Map(b.data(), 5))
        .squaredNorm();
  };
  const auto inside = [&](Joints& s) {  // wraps s to (−π, π]
    bool in = true;
    for (int i = 0; i < 5; ++i) {
      s[i] = std::remainder(s[i], 2 * kPi);
      in = in && s[i] >= arm.min_joint[i] && s[i] <= arm.max_joint[i];
    }
    return in;
  };
  std::mt19937 rng(11);
  CaptureStdout();
  for (int sample = 0; sample < 3000 && !HasFatalFailure(); ++sample) {
    const Joints q = test::randomJoints(rng, arm), ref = test::randomJoints(rng, arm);
    expectRoundTrip(q);
    if (std::fabs(theta3(q)) < 0.001) continue;  // the elbow singularity
    const Eigen::Matrix4d pose = kinematics_.forwardKinematics(q);
    Joints joints;
    std::vector<Joints> all;
    ASSERT_EQ(kinematics_.inverseKinematics(pose, ref, joints), kOk) << sample;
    static_cast<void>(kinematics_.getAllInverseSolutions(pose, all));
    KDL::Frame frame;
    ASSERT_GE(solver.JntToCart(test::jntArray(q, 5), frame), 0);
    ASSERT_LT((test::toMatrix(frame) - pose).cwiseAbs().maxCoeff(), 1e-12) << sample;
    ASSERT_LT(error(joints, pose), 1e-9) << sample;
    Joints wrapped = joints;
    ASSERT_TRUE(inside(wrapped) && wrapped == joints) << sample;
    for (Joints s : all) {
      const bool counts = inside(s) && error(s, pose) < 1e-9;
      ASSERT_TRUE(!counts || distance(joints, ref) <= distance(s, ref) + 1e-7) << sample;
    }
  }
  // θ5 = 0 (a 0/0 in the general θ5 term) and joints 2..4 summing to ±π/2 (tool horizontal).
  const Joints& z = arm.mdh.qzeros;
  const double horizontal = kPi / 2 - z[1] - z[2] - z[3];
  for (const Joints& q : {Joints{0.4, 0.3, 0.2, 0.1, -z[4]}, Joints{-z[0], 0.3, 0.2, 0.1, -z[4]},
                          Joints{0.3, 0.6, 0.5, horizontal - 1.1, 0.7},
                          Joints{-0.4, 0.2, 0.9, -horizontal - 1.1, -1.1},
                          Joints{0.0, 0.6, 0.5, horizontal - 1.1, -z[4]}}) {
    expectRoundTrip(q);
  }
  GetCapturedStdout();
}

// Closed-form θ3 of 0.0001 (elbow solution 1) is singular; far or on the base axis: no solution.
TEST_P(ArmKinematicsTest, SingularUnreachableAndOnAxisPosesFail) {
  Joints joints = {7.0};
  const double q3 = 0.0001 + kPi / 2 - GetParam().mdh.qzeros[2];
  EXPECT_EQ(solve(kinematics_.forwardKinematics({0.2, 0.1, q3, 0.3, 0.4}), {1, 1}, joints),
            kSingular);
  EXPECT_EQ(output_ + std::to_string(joints.size()), "j3 singularity error!!!\n1");
  Eigen::Matrix4d far = kinematics_.forwardKinematics({0.1, 0.2, 0.3, 0.4, 0.5}), on_axis = far;
  far.topRightCorner<3, 1>() *= 10.0;
  on_axis.topRightCorner<2, 1>().setZero();
  for (int type = 0; type < 8; ++type) {
    EXPECT_EQ(solve(type < 4 ? far : on_axis, {type / 2 % 2, type % 2}, joints), kNoSolution);
    EXPECT_EQ(output_, "inverseKinematics not a number!!!!\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Arms, ArmKinematicsTest,
    testing::Values(test::exampleArm("ExampleZeroQzero", {0, 0, 0, 0, 0}),
                    test::exampleArm("ExampleQzero", {0.3, -0.5, 0.7, -0.2, 1.1}), test::simArm()),
    test::armName);

class ArmTypeTest : public ArmKinematicsTest {};

// Refusals; far out in front only the two elbow solutions of the shoulder in front exist.
TEST_P(ArmTypeTest, RefusalsAndArmTypeOrder) {
  const Joints q = {0.2, 0.5, -0.9, 0.3, 0.4};
  Eigen::Matrix4d twisted = kinematics_.forwardKinematics(q);
  twisted.topLeftCorner<3, 3>() *= Eigen::AngleAxisd(0.23, Eigen::Vector3d::UnitX()).matrix();
  Joints joints = {7.0};
  CaptureStdout();
  std::vector<int> results = {kinematics_.inverseKinematics(twisted, q, joints),
                              kinematics_.setJointLimits(Joints(5, -0.1), Joints(5, 0.1))};
  results.push_back(kinematics_.inverseKinematics(kinematics_.forwardKinematics(q), q, joints));
  results.push_back(kinematics_.setJointLimits({1, 1, 1, 1, 1}, {0, 0, 0, 0, 0}));
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(results,
            (std::vector<int>{kUnreachableOrientation, kOk, kOutsideJointLimits, kSizeMismatch}));
  EXPECT_EQ(joints, Joints{7.0});
  EXPECT_NE(out.find("the pose leaves the joint limits (axis 1"), std::string::npos) << out;
  EXPECT_THROW(static_cast<void>(kinematics_.inverseKinematics(twisted, {0.0, 0.0, 0.0}, joints)),
               std::invalid_argument);
  EXPECT_THROW(kinematics_.forwardKinematics({0.1, 0.2, 0.3, 0.4}), std::invalid_argument);

  const Eigen::Matrix4d pose = kinematics_.forwardKinematics({0.4, 0.3, 0.2, 0.1, 0.0});
  std::vector<Joints> solutions, by_type(2);
  EXPECT_EQ(kinematics_.getAllInverseSolutions(pose, solutions), kOk);
  EXPECT_EQ((std::vector<int>{solve(pose, {0, 0}, joints), solve(pose, {0, 1}, joints),
                              solve(pose, {1, 0}, by_type[0]), solve(pose, {1, 1}, by_type[1])}),
            (std::vector<int>{kNoSolution, kNoSolution, kOk, kOk}));
  EXPECT_EQ(solutions, by_type);
  EXPECT_NE(by_type[0][2], by_type[1][2]);
  EXPECT_EQ(kinematics_.reservedOperation(), kOk);
}

INSTANTIATE_TEST_SUITE_P(Example, ArmTypeTest,
                         testing::Values(test::exampleArm("ZeroQzero", {0, 0, 0, 0, 0})),
                         test::armName);

}  // namespace
}  // namespace brenvik

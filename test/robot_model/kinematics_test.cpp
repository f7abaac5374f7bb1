#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <array>
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
using ArmType = std::array<int, 2>;

struct MdhCase {
  const char* name;
  size_t size;      // of all four vectors
  int alpha_index;  // twist changed by alpha_delta
  double alpha_delta;
  int result;
  const char* output;  // nullptr: the parameter table
};

class MdhParaTest : public testing::TestWithParam<MdhCase> {};

TEST_P(MdhParaTest, ChecksSizeAndTwists) {
  const MdhCase& c = GetParam();
  MdhPara mdh = test::exampleArm("", {0.1, -0.2, 0.3, 0.0, 0.5}).mdh;
  mdh.alphas[c.alpha_index] += c.alpha_delta;
  for (auto* v : {&mdh.zds, &mdh.xas, &mdh.alphas, &mdh.qzeros}) v->resize(c.size);
  BrenvikBotV3Kinematics kinematics;
  const std::vector<double> q = {0.3, -0.4, 0.5, 0.6, -0.7};
  const Eigen::Matrix4d unset = kinematics.forwardKinematics(q);
  CaptureStdout();
  EXPECT_EQ(kinematics.setMdhPara(mdh.zds, mdh.xas, mdh.alphas, mdh.qzeros), c.result);
  const std::string output = GetCapturedStdout();
  if (c.output != nullptr) {
    EXPECT_EQ(output, c.output);
    EXPECT_EQ(kinematics.forwardKinematics(q), unset);  // parameters stay zero
    return;
  }
  const std::string table =
      "\033[42m ######################mdh para##########################\033[0m\n"
      "0(zd xa alpha qzero)=(0.200000,0.000000,0.000000,0.100000)\n";
  EXPECT_EQ(output.compare(0, table.size(), table), 0) << output;
  EXPECT_NE(output.find("\n4(zd xa alpha qzero)=(0.100000,0.020000,"), std::string::npos);
}

constexpr const char* kWrongType =
    "alpha sequence not equal\nthe input robot type is not right!!!\n";
INSTANTIATE_TEST_SUITE_P(
    Cases, MdhParaTest,
    testing::Values(MdhCase{"Exact", 5, 0, 0.0, kinematics_result::kOk, nullptr},
                    MdhCase{"JustInsideOneDegree", 5, 1, -0.01745, kinematics_result::kOk, nullptr},
                    MdhCase{"JustOutsideOneDegree", 5, 1, 0.01746, -2, kWrongType},
                    MdhCase{"FlippedLastTwist", 5, 4, kPi, -2, kWrongType},
                    MdhCase{"NanTwist", 5, 2, NAN, -2, kWrongType},
                    MdhCase{"SixLinks", 6, 0, 0.0, -1,
                            "the size of zds,xas,alphas,qzeros not equal\n"}),
    [](const testing::TestParamInfo<MdhCase>& c) { return std::string(c.param.name); });

class ArmKinematicsTest : public testing::TestWithParam<test::TestArm> {
 protected:
  void SetUp() override {
    const MdhPara& m = GetParam().mdh;
    CaptureStdout();
    const int result = kinematics_.setMdhPara(m.zds, m.xas, m.alphas, m.qzeros);
    GetCapturedStdout();
    ASSERT_EQ(result, kinematics_result::kOk);
  }

  int solve(const Eigen::Matrix4d& pose, const ArmType& type, std::vector<double>& joints) {
    CaptureStdout();
    const int result = kinematics_.inverseKinematicsByArmType(pose, type, joints);
    output_ = GetCapturedStdout();
    return result;
  }

  // Every solution reaches the pose of q, and one is q itself (modulo 2π) unless q lies within
  // the elbow singularity, where its own arm type fails by design.
  void expectRoundTrip(const std::vector<double>& q) {
    const Eigen::Matrix4d pose = kinematics_.forwardKinematics(q);
    std::vector<std::vector<double>> solutions;
    CaptureStdout();
    EXPECT_EQ(kinematics_.getAllInverseSolutions(pose, solutions), kinematics_result::kOk);
    GetCapturedStdout();
    bool found_q = false;
    for (const auto& s : solutions) {
      ASSERT_LT((kinematics_.forwardKinematics(s) - pose).cwiseAbs().maxCoeff(), 1e-9);
      bool same = true;
      for (int i = 0; i < 5; ++i) same = same && test::angleDistance(s[i], q[i]) < 1e-8;
      found_q = found_q || same;
    }
    const double theta3 = std::remainder(q[2] + GetParam().mdh.qzeros[2] - kPi / 2, 2 * kPi);
    ASSERT_TRUE(found_q || std::fabs(theta3) < 0.0004 + 1e-9)
        << Eigen::Map<const Eigen::RowVectorXd>(q.data(), 5);
  }

  BrenvikBotV3Kinematics kinematics_;
  std::string output_;
};

TEST_P(ArmKinematicsTest, InverseSolutionsReproduceThePoseAndIncludeTheJoints) {
  std::mt19937 rng(7);
  for (int sample = 0; sample < 3000 && !HasFatalFailure(); ++sample) {
    expectRoundTrip(test::randomJoints(rng, GetParam()));
  }
  // θ5 = 0 (a 0/0 in the general θ5 term) and joints 2..4 summing to ±π/2 (tool axis
  // horizontal, where the general term is rounding noise).
  const std::vector<double>& z = GetParam().mdh.qzeros;
  const double horizontal = kPi / 2 - z[1] - z[2] - z[3];
  for (const auto& q : std::vector<std::vector<double>>{{0.4, 0.3, 0.2, 0.1, -z[4]},
                                                        {-z[0], 0.3, 0.2, 0.1, -z[4]},
                                                        {0.3, 0.6, 0.5, horizontal - 1.1, 0.7},
                                                        {-0.4, 0.2, 0.9, -horizontal - 1.1, -1.1},
                                                        {0.0, 0.6, 0.5, horizontal - 1.1, -z[4]}}) {
    expectRoundTrip(q);
  }
}

TEST_P(ArmKinematicsTest, SingularUnreachableAndOnAxisPosesFail) {
  const std::vector<double> untouched = {7.0};
  std::vector<double> joints = untouched;
  // The closed form's θ3 of 0.0001 with elbow solution 1.
  const double q3 = 0.0001 + kPi / 2 - GetParam().mdh.qzeros[2];
  EXPECT_EQ(solve(kinematics_.forwardKinematics({0.2, 0.1, q3, 0.3, 0.4}), {1, 1}, joints),
            kinematics_result::kSingular);
  EXPECT_EQ(output_, "j3 singularity error!!!\n");
  EXPECT_EQ(joints, untouched);

  Eigen::Matrix4d far = kinematics_.forwardKinematics({0.1, 0.2, 0.3, 0.4, 0.5});
  Eigen::Matrix4d on_axis = far;
  far.topRightCorner<3, 1>() *= 10.0;
  on_axis.topRightCorner<2, 1>().setZero();
  for (const Eigen::Matrix4d& pose : {far, on_axis}) {
    for (const ArmType& type : {ArmType{0, 0}, ArmType{1, 0}, ArmType{1, 1}, ArmType{0, 1}}) {
      EXPECT_EQ(solve(pose, type, joints), kinematics_result::kNoSolution);
      EXPECT_EQ(output_, "inverseKinematics not a number!!!!\n");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Arms, ArmKinematicsTest,
                         testing::ValuesIn(test::withSimArm(
                             {test::exampleArm("ExampleZeroQzero", {0, 0, 0, 0, 0}),
                              test::exampleArm("ExampleQzero", {0.3, -0.5, 0.7, -0.2, 1.1})})),
                         test::armName);

// The KDL cross-check over seeded random joint vectors inside the limits and random references:
// forward kinematics equals KDL's; the inverse kinematics' answer reproduces the pose, lies inside
// the limits and (−π, π], is the joint vector itself when that is the reference, and is no farther
// from the reference than the joint vector or any other solution inside the limits.
TEST_P(ArmKinematicsTest, InverseKinematicsAnswersTheSolutionNearestTheReference) {
  const test::TestArm& arm = GetParam();
  ASSERT_EQ(kinematics_.setJointLimits(arm.min_joint, arm.max_joint), kinematics_result::kOk);
  const KDL::Chain chain = test::kinematicsChain(arm.mdh);
  KDL::ChainFkSolverPos_recursive solver(chain);
  const auto distance = [](const std::vector<double>& a, const std::vector<double>& b) {
    double d = 0.0;
    for (int i = 0; i < 5; ++i) d += (a[i] - b[i]) * (a[i] - b[i]);
    return d;
  };
  std::mt19937 rng(11);
  for (int sample = 0; sample < 1500; ++sample) {
    const std::vector<double> q = test::randomJoints(rng, arm), ref = test::randomJoints(rng, arm);
    const double theta3 = std::remainder(q[2] + arm.mdh.qzeros[2] - kPi / 2, 2 * kPi);
    if (std::fabs(theta3) < 0.001) continue;  // the elbow singularity
    const Eigen::Matrix4d pose = kinematics_.forwardKinematics(q);
    std::vector<double> joints, itself;
    std::vector<std::vector<double>> all;
    CaptureStdout();
    const int r = kinematics_.inverseKinematics(pose, ref, joints);
    const int r_itself = kinematics_.inverseKinematics(pose, q, itself);
    static_cast<void>(kinematics_.getAllInverseSolutions(pose, all));
    GetCapturedStdout();
    ASSERT_EQ(r, kinematics_result::kOk) << sample;
    ASSERT_EQ(r_itself, kinematics_result::kOk) << sample;
    for (int i = 0; i < 5; ++i) ASSERT_NEAR(itself[i], q[i], 1e-9) << sample;
    KDL::Frame frame, of_q;
    ASSERT_GE(solver.JntToCart(test::jntArray(joints, 5), frame), 0);
    ASSERT_GE(solver.JntToCart(test::jntArray(q, 5), of_q), 0);
    ASSERT_LT((test::toMatrix(of_q) - pose).cwiseAbs().maxCoeff(), 1e-12) << sample;
    ASSERT_LT((test::toMatrix(frame) - pose).cwiseAbs().maxCoeff(), 1e-9) << sample;
    for (int i = 0; i < 5; ++i) {
      ASSERT_GE(joints[i], arm.min_joint[i]);
      ASSERT_LE(joints[i], arm.max_joint[i]);
    }
    ASSERT_LE(distance(joints, ref), distance(q, ref) + 1e-7) << sample;
    for (std::vector<double> s : all) {
      bool inside = true;
      for (int i = 0; i < 5; ++i) {
        s[i] = std::remainder(s[i], 2 * kPi);
        inside = inside && s[i] >= arm.min_joint[i] && s[i] <= arm.max_joint[i];
      }
      const bool reaches = (kinematics_.forwardKinematics(s) - pose).cwiseAbs().maxCoeff() < 1e-9;
      if (inside && reaches) {
        ASSERT_LE(distance(joints, ref), distance(s, ref) + 1e-7) << sample;
      }
    }
  }
}

class ArmTypeTest : public ArmKinematicsTest {};

// Poses the arm reaches from references the arm-type rule of the reference's own angles got
// wrong (the mirrored elbow for q3 in (−π/2, 0), no solution near ±π/2); an orientation this
// five-axis arm cannot turn the tool to; solutions only outside the limits.
TEST_P(ArmTypeTest, InverseKinematicsRefusesWhatItCannotReach) {
  for (const std::vector<double>& q :
       std::vector<std::vector<double>>{{0.3, 0.4, -0.6, 0.5, 0.2},
                                        {1.6, 0.3, -1.5, 0.2, 0.1},
                                        {-1.58, -0.2, -1.6, 0.4, -0.3}}) {
    std::vector<double> joints;
    CaptureStdout();
    ASSERT_EQ(kinematics_.inverseKinematics(kinematics_.forwardKinematics(q), q, joints), 0);
    const std::string printed = GetCapturedStdout();
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(joints[i], q[i], 1e-9) << q[0];
    EXPECT_EQ(printed.rfind("armtype=[", 0), 0u) << printed;
  }
  const std::vector<double> q = {0.2, 0.5, -0.9, 0.3, 0.4};
  Eigen::Matrix4d twisted = kinematics_.forwardKinematics(q);
  twisted.topLeftCorner<3, 3>() *= Eigen::AngleAxisd(0.23, Eigen::Vector3d::UnitX()).matrix();
  std::vector<double> joints = {7.0};
  CaptureStdout();
  EXPECT_EQ(kinematics_.inverseKinematics(twisted, q, joints),
            kinematics_result::kUnreachableOrientation);
  EXPECT_NE(GetCapturedStdout().find("this arm cannot reach the orientation of the pose"),
            std::string::npos);
  EXPECT_EQ(joints, std::vector<double>{7.0});
  ASSERT_EQ(kinematics_.setJointLimits(std::vector<double>(5, -0.1), std::vector<double>(5, 0.1)),
            kinematics_result::kOk);
  CaptureStdout();
  EXPECT_EQ(kinematics_.inverseKinematics(kinematics_.forwardKinematics(q), q, joints),
            kinematics_result::kOutsideJointLimits);
  EXPECT_NE(GetCapturedStdout().find("every solution of the pose leaves the joint limits (axis 1"),
            std::string::npos);
  CaptureStdout();
  EXPECT_EQ(kinematics_.setJointLimits({1, 1, 1, 1, 1}, {0, 0, 0, 0, 0}),
            kinematics_result::kSizeMismatch);
  EXPECT_EQ(GetCapturedStdout(),
            "joint 1: the lower limit 1.000000 is not below the upper limit 0.000000\n");
  EXPECT_THROW(static_cast<void>(kinematics_.inverseKinematics(twisted, {0.0, 0.0, 0.0}, joints)),
               std::invalid_argument);
  EXPECT_THROW(kinematics_.forwardKinematics({0.1, 0.2, 0.3, 0.4}), std::invalid_argument);
}

TEST_P(ArmTypeTest, SolutionsComeInArmTypeOrder) {
  // Far out in front: reaching the wrist centre over the shoulder needs the shoulder offset
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
  EXPECT_EQ(kinematics_.reservedOperation(), kinematics_result::kOk);
}

INSTANTIATE_TEST_SUITE_P(Example, ArmTypeTest,
                         testing::Values(test::exampleArm("ZeroQzero", {0, 0, 0, 0, 0})),
                         test::armName);

TEST(SimParaFileTest, ArmOfTheSimulatedParameterFileIsReadable) {
  const test::TestArm arm = test::simArm();
  EXPECT_EQ(arm.mdh.zds.size(), 5u);
  EXPECT_EQ(arm.min_joint.size(), 5u);
  EXPECT_GE(arm.inertial.size(), 30u);
}

}  // namespace
}  // namespace brenvik

#include "robot_factory/robot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/logger.h"
#include "devices/virtual_motor.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/robot_para_files.h"

namespace brenvik {
namespace {

// Counts position writes and fails them with a given code when told to.
class RecordingMotor : public VirtualMotor {
 public:
  explicit RecordingMotor(int id) : VirtualMotor(id) {}
  int setMotorPosition(double position) override {
    ++writes_;
    if (fail_code_ != 0) {
      return fail_code_;
    }
    last_ = position;
    return VirtualMotor::setMotorPosition(position);
  }
  double last_ = 0.0;
  int writes_ = 0;
  int fail_code_ = 0;
};

// Three axes with ratios 2, 4, 5, identity coupling and motor limits [-10, 10].
RobotPara threeAxisPara(std::vector<std::shared_ptr<RecordingMotor>>& motors) {
  RobotPara para;
  para.axis_num = 3;
  const Eigen::Vector3d ratios(2.0, 4.0, 5.0);
  for (int i = 0; i < 3; ++i) {
    motors.push_back(std::make_shared<RecordingMotor>(i + 1));
    AxisPara axis;
    axis.motor = motors.back();
    axis.reduction_ratio = ratios(i);
    axis.min_motor_pos = -10.0;
    axis.max_motor_pos = 10.0;
    para.axis_paras.push_back(axis);
  }
  para.motor2joint_matrix = Eigen::MatrixXd::Identity(3, 3);
  para.motor2joint_pos_matrix = ratios.cwiseInverse().asDiagonal();
  para.joint2motor_pos_matrix = para.motor2joint_pos_matrix.inverse();
  para.motor2joint_dual_matrix = para.joint2motor_pos_matrix.transpose();
  para.joint2motor_dual_matrix = para.motor2joint_pos_matrix.transpose();
  return para;
}

class RobotTest : public ::testing::Test {
 protected:
  RobotTest() : robot_(threeAxisPara(motors_)) {}

  double position(int axis) { return motors_[axis]->last_; }

  std::vector<std::shared_ptr<RecordingMotor>> motors_;
  Robot robot_;
};

TEST_F(RobotTest, ConversionsApplyTheirMatrices) {
  std::vector<double> out(3);
  robot_.motorPosToJointPos({2.0, 4.0, 10.0}, out);
  EXPECT_EQ(out, (std::vector<double>{1.0, 1.0, 2.0}));
  robot_.jointPosToMotorPos({1.0, 1.0, 2.0}, out);
  EXPECT_EQ(out, (std::vector<double>{2.0, 4.0, 10.0}));
  robot_.jointTorqueToMotorTorque({2.0, 4.0, 10.0}, out);
  EXPECT_EQ(out, (std::vector<double>{1.0, 1.0, 2.0}));
  robot_.motorTorqueToJointTorque({1.0, 1.0, 2.0}, out);
  EXPECT_EQ(out, (std::vector<double>{2.0, 4.0, 10.0}));
}

TEST_F(RobotTest, ConversionWithWrongSizeLeavesOutputAndSaysSo) {
  std::vector<double> out = {7.0, 8.0};
  ::testing::internal::CaptureStdout();
  robot_.jointPosToMotorPos({1.0, 2.0, 3.0}, out);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "size()!=robot_para_.axis_num,3,2\n");
  EXPECT_EQ(out, (std::vector<double>{7.0, 8.0}));
}

TEST_F(RobotTest, WritesEveryAxisInsideItsMotorRange) {
  EXPECT_EQ(robot_.setMotorPositions({1.0, 11.0, -10.0}), robot_result::kOk);
  EXPECT_EQ(position(0), 1.0);
  EXPECT_EQ(motors_[1]->writes_, 0);
  EXPECT_EQ(position(2), -10.0);
}

TEST_F(RobotTest, FailingMotorStopsTheWrite) {
  motors_[1]->fail_code_ = 42;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(robot_.setMotorPositions({1.0, 2.0, 3.0}), 42);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "2 (start from 1) axis setMotorPosition error! error code=<42>\n");
  EXPECT_EQ(motors_[0]->writes_, 1);
  EXPECT_EQ(motors_[2]->writes_, 0);
}

TEST_F(RobotTest, WrongLengthWritesNothing) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(robot_.setMotorPositions({1.0, 2.0}), robot_result::kSizeMismatch);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "motor_positions.size()!=robot_para_.axis_num\n");
  EXPECT_EQ(motors_[0]->writes_, 0);
}

TEST_F(RobotTest, NonFiniteValueAnywhereWritesNothing) {
  for (double bad :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()}) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(robot_.setMotorPositions({1.0, 2.0, bad}), robot_result::kNotFinite);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("3 (start from 1) axis"),
              std::string::npos);
  }
  for (const auto& motor : motors_) {
    EXPECT_EQ(motor->writes_, 0);
  }
}

TEST_F(RobotTest, ParameterPointerRefersToTheRecord) {
  EXPECT_EQ(robot_.robot_para_ptr_.get(), &robot_.robot_para_);
  EXPECT_EQ(robot_.robot_para_ptr_.use_count(), 0);
}

TEST(RobotDeathTest, UnloadableFileEndsTheProcessWithStatusOne) {
  EXPECT_EXIT(
      {
        Robot robot("no/such/robot_para.yaml");
        (void)robot;
      },
      ::testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace brenvik

namespace brenvik {
namespace {

TEST(BrenvikBotV5DeathTest, ParameterFileOfAnotherAxisCountEndsTheProcess) {
  const test::TempFile file(test::emit(test::validParaDoc(6)));
  EXPECT_EXIT(
      {
        BrenvikBotV5 robot(file.path());
        (void)robot;
      },
      ::testing::ExitedWithCode(1), "");
}

TEST(BrenvikBotV5Test, BuildsItsModelsFromTheSimulatedArmFile) {
  ::testing::internal::CaptureStdout();
  const BrenvikBotV5 robot(test::kSimParaFile);
  ::testing::internal::GetCapturedStdout();
  EXPECT_NE(robot.kinematics_, nullptr);
  EXPECT_NE(robot.dynamics_, nullptr);
  EXPECT_NE(robot.collision_detector_, nullptr);
  ASSERT_NE(robot.force_ctrl_function_, nullptr);
  EXPECT_EQ(robot.force_ctrl_function_->kinematics(), robot.kinematics_);
}

TEST(BrenvikBotV5Test, RecordOfAnotherAxisCountIsRefused) {
  RobotPara para;
  para.axis_num = 3;
  EXPECT_THROW(BrenvikBotV5 robot(para), std::invalid_argument);
}

}  // namespace
}  // namespace brenvik

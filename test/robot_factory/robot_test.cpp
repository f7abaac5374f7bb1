#include <gtest/gtest.h>

#include "devices/virtual_motor.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/robot_para_files.h"

namespace brenvik {
namespace {

using Writes = std::vector<std::vector<double>>;

struct RecordingMotor : VirtualMotor {
  explicit RecordingMotor(int id) : VirtualMotor(id) {}
  int setMotorPosition(double position) override {
    if (fail_code_ != 0) return fail_code_;
    written_.push_back(position);
    return VirtualMotor::setMotorPosition(position);
  }
  std::vector<double> written_;
  int fail_code_ = 0;
};

// Three axes with ratios 2, 4, 5, identity coupling and motor limits [-10, 10].
class RobotTest : public ::testing::Test {
 protected:
  RobotTest() : robot_(para()) {}
  RobotPara para() {
    RobotPara para;
    para.axis_num = 3;
    for (int i = 0; i < 3; ++i) {
      motors_.push_back(std::make_shared<RecordingMotor>(i + 1));
      para.axis_paras.emplace_back().motor = motors_.back();
      para.axis_paras.back().min_motor_pos = -10.0;
      para.axis_paras.back().max_motor_pos = 10.0;
    }
    para.motor2joint_pos_matrix = Eigen::Vector3d(0.5, 0.25, 0.2).asDiagonal();
    para.joint2motor_pos_matrix = para.motor2joint_pos_matrix.inverse();
    para.motor2joint_dual_matrix = para.joint2motor_pos_matrix.transpose();
    para.joint2motor_dual_matrix = para.motor2joint_pos_matrix.transpose();
    return para;
  }
  int write(const std::vector<double>& positions) {
    ::testing::internal::CaptureStdout();
    const int r = robot_.setMotorPositions(positions);
    out_ = ::testing::internal::GetCapturedStdout();
    return r;
  }
  Writes written() const {
    return {motors_[0]->written_, motors_[1]->written_, motors_[2]->written_};
  }

  std::vector<std::shared_ptr<RecordingMotor>> motors_;
  Robot robot_;
  std::string out_;
};

// The control loop's tests run the other three conversions.
TEST_F(RobotTest, JointTorquesReachTheMotorsAndAnOutputOfTheWrongSizeIsLeftAlone) {
  std::vector<double> out(3), wrong = {7.0, 8.0};
  robot_.jointTorqueToMotorTorque({2.0, 4.0, 10.0}, out);
  ::testing::internal::CaptureStdout();
  robot_.jointPosToMotorPos({1.0, 1.0, 2.0}, wrong);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "size()!=robot_para_.axis_num,3,2\n");
  EXPECT_EQ((Writes{out, wrong}), (Writes{{1.0, 1.0, 2.0}, {7.0, 8.0}}));
}

TEST_F(RobotTest, RefusedWritesWriteNoMotor) {
  EXPECT_EQ(write({1.0, 11.0, -10.0}), robot_result::kOutOfRange);
  EXPECT_EQ(out_,
            "2 (start from 1) axis motor position 11 is outside its range [-10, 10], "
            "nothing written\n");
  EXPECT_EQ(
      (std::vector<int>{write({1.0, 2.0, NAN}), write({-INFINITY, 2.0, 3.0}), write({1.0, 2.0})}),
      (std::vector<int>{robot_result::kNotFinite, robot_result::kNotFinite,
                        robot_result::kSizeMismatch}));
  EXPECT_EQ(written(), Writes(3));
  EXPECT_EQ(write({1.0, 10.0, -10.0}), robot_result::kOk);  // the limits themselves are inside
  motors_[1]->fail_code_ = 42;
  EXPECT_EQ(write({1.0, 2.0, 3.0}), 42);
  EXPECT_EQ(out_, "2 (start from 1) axis setMotorPosition error! error code=<42>\n");
  EXPECT_EQ(written(), (Writes{{1.0, 1.0}, {10.0}, {-10.0}}));
}

TEST_F(RobotTest, AxisOutsideItsRangeMayOnlyHoldOrComeBack) {
  robot_.seedMotorPositions({10.5, 0.0, -10.5});
  EXPECT_EQ((std::vector<int>{write({10.5, 0.0, -10.4}), write({10.2, 0.0, -10.4}),
                              write({9.0, 0.0, -10.5}), write({9.0, -12.0, -9.0}),
                              write({10.3, 0.0, -10.0})}),
            (std::vector<int>{0, 0, robot_result::kOutOfRange, robot_result::kOutOfRange,
                              robot_result::kOutOfRange}));
  EXPECT_NE(out_.find("1 (start from 1) axis motor position 10.3 is outside its range [-10, 10] "
                      "and not on its way back from 10.2"),
            std::string::npos);
  EXPECT_EQ(write({9.0, 0.0, -9.0}), robot_result::kOk);
  EXPECT_EQ(written(), (Writes{{10.5, 10.2, 9.0}, {0, 0, 0}, {-10.4, -10.4, -9.0}}));
}

TEST(RobotDeathTest, UnloadableFileOrAnotherAxisCountEndsTheProcessWithStatusOne) {
  EXPECT_EXIT(Robot("no/such/robot_para.yaml"), ::testing::ExitedWithCode(1), "");
  const test::TempFile file(test::emit(test::validParaDoc(6)));
  EXPECT_EXIT(BrenvikBotV5{file.path()}, ::testing::ExitedWithCode(1), "");
  RobotPara para;
  para.axis_num = 3;
  EXPECT_THROW(BrenvikBotV5{para}, std::invalid_argument);
}

}  // namespace
}  // namespace brenvik

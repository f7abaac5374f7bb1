#include "controller_frame/motor_io_cmd.h"

#include <gtest/gtest.h>

#include <string>

#include "controller_frame/set_io_cmd.h"
#include "support/motion_test_arm.h"

namespace brenvik {
namespace {

using testing::makeMotionTestArm;
using testing::MotionTestArm;
using testing::MotionTestArmOptions;

class MotorIoCmdTest : public ::testing::Test {
 protected:
  MotorIoCmdTest() {
    MotionTestArmOptions options;
    options.axis_num = 3;
    arm_ = makeMotionTestArm(options);
  }
  MotionTestArm arm_;
};

TEST_F(MotorIoCmdTest, ConstructedQueued) {
  MotorIoCmd cmd(arm_.robot);
  EXPECT_EQ(cmd.cmd_type, cmd_type::kMotorIo);
  EXPECT_EQ(cmd.cmd_status.load(), cmd_status::kQueued);
  EXPECT_EQ(cmd.motor_io_type, motor_io_type::kEnable);
  SetIoCmd io(arm_.robot);
  EXPECT_EQ(io.cmd_type, cmd_type::kSetIo);
  EXPECT_EQ(io.io_cmd, INT_MIN);
  EXPECT_EQ(io.ctrl_io_id, INT_MIN);
}

TEST_F(MotorIoCmdTest, DisableReachedWhenAnyDriveReportsDisabled) {
  MotorIoCmd cmd(arm_.robot);
  cmd.enable_flags = {false};
  for (auto& motor : arm_.motors) {
    motor->enable_follows_command = false;
    motor->enabled = true;
  }
  EXPECT_FALSE(cmd.checkEnableStatus());
  arm_.motors[1]->enabled = false;
  EXPECT_TRUE(cmd.checkEnableStatus());
}

TEST_F(MotorIoCmdTest, EnableNeedsEveryDrive) {
  MotorIoCmd cmd(arm_.robot);
  cmd.enable_flags = {true};
  for (auto& motor : arm_.motors) {
    motor->enable_follows_command = false;
    motor->enabled = true;
  }
  arm_.motors[2]->enabled = false;
  EXPECT_FALSE(cmd.checkEnableStatus());
  arm_.motors[2]->enabled = true;
  EXPECT_TRUE(cmd.checkEnableStatus());
}

TEST_F(MotorIoCmdTest, TwoEntriesNeverReached) {
  MotorIoCmd cmd(arm_.robot);
  cmd.enable_flags = {true, true};
  EXPECT_FALSE(cmd.checkEnableStatus());
}

TEST_F(MotorIoCmdTest, DeviceErrorIsNotReached) {
  MotorIoCmd cmd(arm_.robot);
  cmd.enable_flags = {true};
  arm_.motors[1]->get_enable_error = 17;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(cmd.checkEnableStatus());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "The <2> axis return error_code=<17> when getEnableStatus.\n");
  EXPECT_EQ(arm_.motors[2]->get_enable_calls, 0);
}

}  // namespace
}  // namespace brenvik

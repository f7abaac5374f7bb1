#include "controller_frame/motor_io_cmd.h"

#include <gtest/gtest.h>

#include "support/motion_test_arm.h"

namespace brenvik {
namespace {

// Disabling is reached when any drive reports disabled, enabling only when all do; two entries
// never, nor anything while a drive cannot answer (the drives after it are not asked).
TEST(MotorIoCmd, EnableStatusReached) {
  testing::MotionTestArmOptions options;
  options.axis_num = 3;
  testing::MotionTestArm arm = testing::makeMotionTestArm(options);
  MotorIoCmd cmd(arm.robot);
  cmd.enable_flags = {false};
  EXPECT_FALSE(cmd.checkEnableStatus());
  arm.motors[1]->enabled = false;
  EXPECT_TRUE(cmd.checkEnableStatus());
  cmd.enable_flags = {true};
  EXPECT_FALSE(cmd.checkEnableStatus());
  arm.motors[1]->enabled = true;
  EXPECT_TRUE(cmd.checkEnableStatus());
  cmd.enable_flags = {true, true};
  EXPECT_FALSE(cmd.checkEnableStatus());

  cmd.enable_flags = {true};
  arm.motors[1]->get_enable_error = 17;
  const int third_drive_calls = arm.motors[2]->get_enable_calls;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(cmd.checkEnableStatus());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "The <2> axis return error_code=<17> when getEnableStatus.\n");
  EXPECT_EQ(arm.motors[2]->get_enable_calls, third_drive_calls);
}

}  // namespace
}  // namespace brenvik

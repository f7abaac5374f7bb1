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
  const std::vector<bool> flags[] = {{false}, {false}, {true}, {true}, {true, true}};
  const bool second_enabled[] = {true, false, false, true, true}, reached[] = {0, 1, 0, 1, 0};
  for (int k = 0; k < 5; ++k) {
    cmd.enable_flags = flags[k];
    arm.motors[1]->enabled = second_enabled[k];
    EXPECT_EQ(cmd.checkEnableStatus(), reached[k]) << k;
  }
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

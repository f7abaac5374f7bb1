#include "controller_frame/motor_io_cmd.h"

#include <gtest/gtest.h>

#include <string>

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

// Disabling is reached when any drive reports disabled, enabling only when every drive reports
// enabled; two entries are never reached.
TEST_F(MotorIoCmdTest, EnableStatusReached) {
  MotorIoCmd cmd(arm_.robot);
  for (auto& motor : arm_.motors) motor->enable_follows_command = false;
  cmd.enable_flags = {false};
  EXPECT_FALSE(cmd.checkEnableStatus());
  arm_.motors[1]->enabled = false;
  EXPECT_TRUE(cmd.checkEnableStatus());
  cmd.enable_flags = {true};
  EXPECT_FALSE(cmd.checkEnableStatus());
  arm_.motors[1]->enabled = true;
  EXPECT_TRUE(cmd.checkEnableStatus());
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

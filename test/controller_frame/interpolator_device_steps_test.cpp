#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/logger.h"
#include "controller_frame/force_ctrl_cmd.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/motor_io_cmd.h"
#include "devices/virtual_gripper.h"
#include "support/interpolator_test_fixture.h"

namespace brenvik {
namespace {

using testing::CommandCounter;
using testing::Counted;
using testing::InterpolatorTest;
using testing::MotionTestArmOptions;

class InterpolatorDeviceStepsTest : public InterpolatorTest {
 protected:
  MotorIoCmd* enableCmd(std::vector<bool> flags) {
    auto* cmd = new Counted<MotorIoCmd>(arm_.robot);
    cmd->motor_io_type = motor_io_type::kEnable;
    cmd->enable_flags = std::move(flags);
    cmd->is_block = true;
    return cmd;
  }
  MotorIoCmd* homeCmd() {
    auto* cmd = new Counted<MotorIoCmd>(arm_.robot);
    cmd->motor_io_type = motor_io_type::kSetHome;
    cmd->is_block = true;
    return cmd;
  }
  void release(AbstractCmdInterface* cmd) {
    cmd->is_block = false;
    step();
    EXPECT_EQ(CommandCounter::live, 0);
  }
};

// ---- Control IO ----

TEST_F(InterpolatorDeviceStepsTest, IoDeviceReportingInSecondPeriod) {
  auto* cmd = makeIo<Counted<SetIoCmd>>(1, 3);
  cmd->is_block = true;
  interpolator_->addCmd(cmd);
  step();
  EXPECT_EQ(arm_.io_device->set_cmd_calls, 1);
  EXPECT_EQ(arm_.io_device->commanded, 3);
  const std::string out = step();
  EXPECT_NE(out.find("Ctrl io command Finish.\n"), std::string::npos);
  EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kSucceeded);
  release(cmd);
}

TEST_F(InterpolatorDeviceStepsTest, IoMissingOrNeverReachingDeviceTimesOut) {
  auto* cmd = makeIo<Counted<SetIoCmd>>(42, 1);
  cmd->is_block = true;
  interpolator_->addCmd(cmd);
  std::string out;
  const int periods =
      stepUntil([&] { return cmd->cmd_status.load() == cmd_status::kFailed; }, 2000, &out);
  EXPECT_NEAR(periods, 1001, 2);
  EXPECT_EQ(count(out, "Wait ctrl io command finish...\n"), 1);  // once, not every period
  EXPECT_NE(out.find("Ctrl io command time out error!!!\n"), std::string::npos);
  EXPECT_EQ(Logger::instance()->statusCode(), error_code::kCtrlIoTimeout);
  EXPECT_EQ(arm_.io_device->set_cmd_calls, 0);
  release(cmd);
  // A device that never reaches the commanded state times out as well.
  arm_.io_device->reads_to_reach = -1;
  interpolator_->addCmd(makeIo<Counted<SetIoCmd>>(1, 1));
  out.clear();
  stepUntil([&] { return CommandCounter::live == 0; }, 2000, &out);
  EXPECT_NE(out.find("Ctrl io command time out error!!!\n"), std::string::npos);
  EXPECT_GT(arm_.io_device->get_state_calls, 990);
}

TEST_F(InterpolatorDeviceStepsTest, VirtualGripperCompletes) {
  arm_.robot->robot_para_.ctrl_io_devices[2].device = std::make_shared<VirtualGripper>();
  interpolator_->addCmd(makeIo<Counted<SetIoCmd>>(2, 0));
  const std::string out = step(2);
  EXPECT_NE(out.find("Ctrl io command Finish.\n"), std::string::npos);
  EXPECT_EQ(CommandCounter::live, 0);
}

// ---- Enable / disable ----

TEST_F(InterpolatorDeviceStepsTest, EnableAnsweredWithinFortyPeriods) {
  for (auto& motor : arm_.motors) {
    motor->enabled = false;
    motor->enable_delay_reads = 38;
  }
  auto* cmd = enableCmd({true});
  interpolator_->addCmd(cmd);
  std::string out;
  const int periods =
      stepUntil([&] { return cmd->cmd_status.load() == cmd_status::kSucceeded; }, 1000, &out);
  EXPECT_GE(periods, 15);
  EXPECT_LE(periods, 41);
  EXPECT_NE(out.find("The motors have been setEnable success."), std::string::npos);
  for (const auto& motor : arm_.motors) {
    EXPECT_EQ(motor->set_enable_calls, 1);
    EXPECT_TRUE(motor->commanded_enable);
  }
  release(cmd);
}

TEST_F(InterpolatorDeviceStepsTest, DisableCompletesInSecondPeriod) {
  auto* cmd = enableCmd({false});
  interpolator_->addCmd(cmd);
  step(2);
  EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kSucceeded);
  EXPECT_FALSE(interpolator_->enableFlag());
  release(cmd);
}

TEST_F(InterpolatorDeviceStepsTest, EnableWithTwoEntriesTimesOut) {
  auto* cmd = enableCmd({true, true});
  interpolator_->addCmd(cmd);
  std::string out;
  const int periods =
      stepUntil([&] { return cmd->cmd_status.load() == cmd_status::kFailed; }, 1000, &out);
  EXPECT_NEAR(periods, 601, 2);
  EXPECT_NE(out.find("enable or disable cmd time out error!!!"), std::string::npos);
  for (const auto& motor : arm_.motors) {
    EXPECT_EQ(motor->set_enable_calls, 0);
  }
  release(cmd);
}

TEST_F(InterpolatorDeviceStepsTest, EnableWriteErrorEndsAxisLoop) {
  arm_.motors[1]->set_enable_error = 12;
  for (auto& motor : arm_.motors) {
    motor->enabled = false;
  }
  auto* cmd = enableCmd({true});
  interpolator_->addCmd(cmd);
  const std::string out = step();
  EXPECT_NE(out.find("The <2> axis return error_code=<12> when setEnableStatus.\n"),
            std::string::npos);
  EXPECT_EQ(arm_.motors[2]->set_enable_calls, 0);
  stepUntil([&] { return cmd->cmd_status.load() == cmd_status::kFailed; }, 1000);
  EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kFailed);
  release(cmd);
}

// ---- Set home ----

TEST_F(InterpolatorDeviceStepsTest, SetHomeInOnePeriod) {
  for (auto& motor : arm_.motors) {
    motor->setPosition(0.5);
  }
  auto* cmd = homeCmd();
  interpolator_->addCmd(cmd);
  const std::string out = step();
  EXPECT_NE(out.find("set home SUCCESS!\n"), std::string::npos);
  EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kSucceeded);
  for (const auto& motor : arm_.motors) {
    EXPECT_EQ(motor->set_home_calls, 1);
    EXPECT_EQ(motor->last_home_value, 3000);
    EXPECT_DOUBLE_EQ(motor->position(), 0.0);
  }
  release(cmd);
}

TEST_F(InterpolatorDeviceStepsTest, SetHomeStopsAtFailingAxis) {
  MotionTestArmOptions options;
  options.axis_num = 3;
  build(options);
  arm_.motors[1]->set_home_error = 4;
  auto* cmd = homeCmd();
  interpolator_->addCmd(cmd);
  const std::string out = step();
  EXPECT_NE(out.find("The <2> axis return error_code=<4> when setHome.\n"), std::string::npos);
  EXPECT_NE(out.find("set home failed!\n"), std::string::npos);
  EXPECT_EQ(arm_.motors[0]->set_home_calls, 1);
  EXPECT_EQ(arm_.motors[2]->set_home_calls, 0);
  EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kFailed);
  release(cmd);
}

// ---- Force control ----

TEST_F(InterpolatorDeviceStepsTest, InactiveForceControlEndsAtOnce) {
  auto* cmd = new Counted<ForceCtrlCmd>(arm_.robot);
  cmd->active = false;
  interpolator_->addCmd(cmd);
  step();
  EXPECT_EQ(CommandCounter::live, 0);
  EXPECT_EQ(interpolator_->idleFlag(), 1);
}

TEST_F(InterpolatorDeviceStepsTest, ActiveForceControlHoldsAndTimesOut) {
  arm_.motors[0]->setPosition(0.25);
  arm_.collision_detector->excess_torque = {1.0, 2.0, 3.0, 0.0, 0.0};
  auto* cmd = new Counted<ForceCtrlCmd>(arm_.robot);
  cmd->active = true;
  interpolator_->addCmd(cmd);
  step();
  EXPECT_DOUBLE_EQ(arm_.motors[0]->last_command, 0.25);
  EXPECT_DOUBLE_EQ(interpolator_->forceCtrlOutput()[2], 3.0);
  std::string out;
  const int periods = stepUntil([&] { return CommandCounter::live == 0; }, 2000, &out);
  EXPECT_NEAR(periods, 1001, 2);
  EXPECT_NE(out.find("force control time out!\n"), std::string::npos);
}

TEST_F(InterpolatorDeviceStepsTest, ForceControlWriteFailureStops) {
  arm_.motors[0]->set_position_error = 2;
  auto* cmd = new Counted<ForceCtrlCmd>(arm_.robot);
  cmd->active = true;
  cmd->is_block = true;
  interpolator_->addCmd(cmd);
  const std::string out = step(2);  // the write fails; the stop from rest ends next period
  EXPECT_NE(out.find("block ...\n"), std::string::npos);
  EXPECT_EQ(cmd->cmd_status.load(), cmd_status::kStopped);
  release(cmd);
}

}  // namespace
}  // namespace brenvik

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "controller_frame/force_ctrl_cmd.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/motor_io_cmd.h"
#include "support/interpolator_test_fixture.h"

namespace brenvik {
namespace {

using testing::CommandCounter;
using testing::Counted;

class InterpolatorDeviceSteps : public testing::InterpolatorTest {
 public:
  AbstractCmdInterface* io(int id, int value) { return makeIo(id, value); }
  AbstractCmdInterface* motorIo(int type, std::vector<bool> flags = {}) {
    auto* cmd = new Counted<MotorIoCmd>(arm_.robot);
    cmd->motor_io_type = type;
    cmd->enable_flags = std::move(flags);
    return cmd;
  }
  AbstractCmdInterface* force(bool active) {
    auto* cmd = new Counted<ForceCtrlCmd>(arm_.robot);
    cmd->active = active;
    return cmd;
  }
};
using F = InterpolatorDeviceSteps;

// A device command (blocking, so its outcome can be read): its status, the period it ends in,
// the status code logged (0: none) and its console line.
struct DeviceCase {
  const char* name;
  std::function<AbstractCmdInterface*(F&)> make;  // scripts the devices too
  int status;
  int periods;
  int code;
  const char* line;  // printed once
  std::function<void(F&)> check;
};

void disableAll(F& t, int delay) {
  for (auto& motor : t.arm_.motors) motor->enabled = false, motor->enable_delay_reads = delay;
}

TEST_F(InterpolatorDeviceSteps, EndAsTheDevicesAnswer) {
  const std::vector<DeviceCase> cases = {
      {"io", [](F& t) { return t.io(1, 3); }, cmd_status::kSucceeded, 2, 0,
       "Ctrl io command Finish.\n", [](F& t) { EXPECT_EQ(t.arm_.io_device->commanded, 3); }},
      {"io without device", [](F& t) { return t.io(42, 1); }, cmd_status::kFailed, 1002,
       error_code::kCtrlIoTimeout, "Wait ctrl io command finish...\n",
       [](F& t) { EXPECT_EQ(t.arm_.io_device->set_cmd_calls, 0); }},
      {"io never reached", [](F& t) { return t.arm_.io_device->reads_to_reach = -1, t.io(1, 1); },
       cmd_status::kFailed, 1002, error_code::kCtrlIoTimeout, "Ctrl io command time out error!!!\n",
       nullptr},
      {"enable answered late",
       [](F& t) { return disableAll(t, 38), t.motorIo(motor_io_type::kEnable, {true}); },
       cmd_status::kSucceeded, 21, 0, "The motors have been setEnable success.",
       [](F& t) {
         for (const auto& motor : t.arm_.motors) EXPECT_EQ(motor->set_enable_calls, 1);
         EXPECT_TRUE(t.interpolator_->enableFlag());
       }},
      {"disable", [](F& t) { return t.motorIo(motor_io_type::kEnable, {false}); },
       cmd_status::kSucceeded, 2, 0, nullptr,
       [](F& t) { EXPECT_FALSE(t.interpolator_->enableFlag()); }},
      {"enable with two entries",
       [](F& t) {
         return t.motorIo(motor_io_type::kEnable, {true, true});
       },
       cmd_status::kFailed, 602, error_code::kEnableTimeout,
       "enable or disable cmd time out error!!!",
       [](F& t) { EXPECT_EQ(t.arm_.motors[0]->set_enable_calls, 0); }},
      {"enable write error",
       [](F& t) {
         disableAll(t, 0);
         t.arm_.motors[1]->set_enable_error = 12;
         return t.motorIo(motor_io_type::kEnable, {true});
       },
       cmd_status::kFailed, 602, error_code::kEnableTimeout,
       "The <2> axis return error_code=<12> when setEnableStatus.\n",
       [](F& t) { EXPECT_EQ(t.arm_.motors[2]->set_enable_calls, 0); }},
      {"home",
       [](F& t) {
         for (auto& motor : t.arm_.motors) motor->setPosition(0.5);
         return t.motorIo(motor_io_type::kSetHome);
       },
       cmd_status::kSucceeded, 1, 0, "set home SUCCESS!\n",
       [](F& t) {
         for (const auto& motor : t.arm_.motors) {
           EXPECT_EQ(motor->last_home_value, 3000);
           EXPECT_EQ(motor->position(), 0.0);
         }
         t.step();
         EXPECT_EQ(t.interpolator_->refJointState().positions[0], 0.0);  // re-seeded
       }},
      {"home fails on axis 2",
       [](F& t) {
         t.arm_.motors[1]->set_home_error = 4;
         return t.motorIo(motor_io_type::kSetHome);
       },
       cmd_status::kFailed, 1, error_code::kSetHome,
       "The <2> axis return error_code=<4> when setHome.\n",
       [](F& t) {
         EXPECT_EQ(t.arm_.motors[0]->set_home_calls, 1);
         EXPECT_EQ(t.arm_.motors[2]->set_home_calls, 0);
       }},
      {"force control off", [](F& t) { return t.force(false); }, cmd_status::kSucceeded, 1, 0,
       nullptr, nullptr},
      {"force control",
       [](F& t) {
         t.arm_.motors[0]->setPosition(0.25);
         t.arm_.collision_detector->excess_torque = {1.0, 2.0, 3.0, 0.0, 0.0};
         return t.force(true);
       },
       cmd_status::kFailed, 1002, error_code::kForceCtrlTimeout, "force control time out!\n",
       [](F& t) {
         EXPECT_EQ(t.arm_.motors[0]->last_command, 0.25);  // held where the arm is
         EXPECT_EQ(t.interpolator_->forceCtrlOutput()[2], 3.0);
       }},
      {"force control write failure",
       [](F& t) { return t.arm_.motors[0]->set_position_error = 2, t.force(true); },
       cmd_status::kStopped, 2, error_code::kMotorWrite, nullptr, nullptr},
  };
  for (const DeviceCase& c : cases) {
    SCOPED_TRACE(c.name);
    build({});
    AbstractCmdInterface* cmd = c.make(*this);
    cmd->is_block = true;
    interpolator_->addCmd(cmd);
    std::string out;
    const int periods = stepUntil([&] { return ended(cmd); }, 2000, &out);
    EXPECT_EQ(cmd->cmd_status.load(), c.status);
    EXPECT_EQ(periods, c.periods);
    EXPECT_EQ(Logger::instance()->statusCode(), c.code) << Logger::instance()->statusText();
    EXPECT_EQ(c.line ? count(out + step(3), c.line) : 1, 1) << out;
    if (c.check) c.check(*this);
    cmd->is_block = false;
    step();
    EXPECT_EQ(CommandCounter::live, 0);
    EXPECT_EQ(interpolator_->idleFlag(), 1);
  }
}

}  // namespace
}  // namespace brenvik

#include <gtest/gtest.h>

#include <memory>

#include "devices/vendor/damiao_motor.h"
#include "devices/vendor/feetech_motor.h"
#include "devices/vendor/joho_motor.h"
#include "devices/vendor/servo_gripper.h"
#include "devices/vendor/updown_lifter.h"
#include "devices/virtual_gripper.h"
#include "devices/virtual_motor.h"

namespace brenvik {
namespace {

// Every simulated motor, the stand-ins for the maker's drivers included, behaves the same.
template <typename Motor>
std::unique_ptr<CtrlMotorInterface> makeMotor();
template <>
std::unique_ptr<CtrlMotorInterface> makeMotor<VirtualMotor>() {
  return std::make_unique<VirtualMotor>(1);
}
template <>
std::unique_ptr<CtrlMotorInterface> makeMotor<damiaoMotor>() {
  return std::make_unique<damiaoMotor>(1, 1, 17, "/dev/ttyACM0", false, 15.0F, 1.0F);
}
template <>
std::unique_ptr<CtrlMotorInterface> makeMotor<feetechMotor>() {
  std::string name = "/dev/ttyUSB0";
  return std::make_unique<feetechMotor>(4, 115200, name, false);
}
template <>
std::unique_ptr<CtrlMotorInterface> makeMotor<johoMotor>() {
  std::string name = "/dev/ttyUSB1";
  return std::make_unique<johoMotor>(5, 115200, name, true);
}

template <typename Motor>
class SimulatedMotorTest : public ::testing::Test {
 protected:
  std::unique_ptr<CtrlMotorInterface> motor_ = makeMotor<Motor>();
};

using MotorTypes = ::testing::Types<VirtualMotor, damiaoMotor, feetechMotor, johoMotor>;
TYPED_TEST_SUITE(SimulatedMotorTest, MotorTypes);

TYPED_TEST(SimulatedMotorTest, FollowsPositionAtOnceAndHomesToZero) {
  CtrlMotorInterface& motor = *this->motor_;
  EXPECT_EQ(motor.init(), 0);
  EXPECT_EQ(motor.setMotorPosition(1.25), 0);
  double position = 0.0;
  EXPECT_EQ(motor.getMotorPosition(position), 0);
  EXPECT_EQ(position, 1.25);
  EXPECT_EQ(motor.setHome(3000), 0);
  EXPECT_EQ(motor.getMotorPosition(position), 0);
  EXPECT_EQ(position, 0.0);
}

TYPED_TEST(SimulatedMotorTest, ReportsZeroVelocityAndTorqueWhateverTheMotion) {
  CtrlMotorInterface& motor = *this->motor_;
  double velocity = 7.0;
  double torque = 7.0;
  ASSERT_EQ(motor.setMotorPosition(-3.0), 0);
  EXPECT_EQ(motor.getVelocity(velocity), 0);
  EXPECT_EQ(motor.getTorque(torque), 0);
  EXPECT_EQ(velocity, 0.0);
  EXPECT_EQ(torque, 0.0);
}

TYPED_TEST(SimulatedMotorTest, EnableStateIsTheLastOneSet) {
  CtrlMotorInterface& motor = *this->motor_;
  bool enabled = true;
  EXPECT_EQ(motor.getEnableStatus(enabled), 0);
  EXPECT_FALSE(enabled);
  ASSERT_EQ(motor.setEnableStatus(true), 0);
  EXPECT_EQ(motor.getEnableStatus(enabled), 0);
  EXPECT_TRUE(enabled);
}

template <typename Device>
class SimulatedIoTest : public ::testing::Test {
 protected:
  Device device_ = makeDevice();

  static Device makeDevice() {
    if constexpr (std::is_same_v<Device, VirtualGripper>) {
      return Device();
    } else {
      return Device(YAML::Load("{type: gripper, id: 3}"));
    }
  }
};

using IoTypes = ::testing::Types<VirtualGripper, ServoGripper, UpdownLifter>;
TYPED_TEST_SUITE(SimulatedIoTest, IoTypes);

TYPED_TEST(SimulatedIoTest, ReportsMinusOneBeforeAnyCommandThenTheLastCommand) {
  CtrlIoInterface& device = this->device_;
  int state = 99;
  EXPECT_EQ(device.getState(state), 0);
  EXPECT_EQ(state, -1);
  EXPECT_EQ(device.setCmd(7), 0);
  EXPECT_EQ(device.getState(state), 0);
  EXPECT_EQ(state, 7);
}

TEST(VendorStandInTest, KeepTheirConstructionParameters) {
  const damiaoMotor damiao(2, 1, 18, "/dev/ttyACM0", true, 20.0F, 1.5F);
  EXPECT_EQ(damiao.id(), 2u);
  EXPECT_EQ(damiao.mode(), 1u);
  EXPECT_EQ(damiao.masterId(), 18u);
  EXPECT_EQ(damiao.deviceName(), "/dev/ttyACM0");
  EXPECT_TRUE(damiao.inverse());
  EXPECT_FLOAT_EQ(damiao.kp(), 20.0F);
  EXPECT_FLOAT_EQ(damiao.kd(), 1.5F);

  std::string name = "/dev/ttyUSB0";
  const feetechMotor feetech(4, 1000000, name, false);
  EXPECT_EQ(feetech.para().baud_rate, 1000000u);
  EXPECT_EQ(feetech.para().device_name, name);

  const UpdownLifter lifter(YAML::Load("{type: lifter, dev_name: /dev/ttyUSB2}"));
  EXPECT_EQ(lifter.initPara()["dev_name"].as<std::string>(), "/dev/ttyUSB2");
}

}  // namespace
}  // namespace brenvik

#include "robot_factory/device_factory.h"

#include <gtest/gtest.h>

#include "devices/vendor/damiao_motor.h"
#include "devices/vendor/feetech_motor.h"
#include "devices/vendor/servo_gripper.h"
#include "devices/vendor/updown_lifter.h"

namespace brenvik {
namespace {

// Names in any case; unconvertible optional values take their defaults; missing keys throw.
TEST(DeviceFactoryTest, DevicesOfEachKindTakeTheirSettings) {
  ::testing::internal::CaptureStdout();
  auto motor = allocateMotor(
      YAML::Load("{vendor: DaMiao, id: 3, master_id: 19, mode: 2, dev_name: d, kd: fast}"));
  const auto& damiao = dynamic_cast<const damiaoMotor&>(*motor);
  EXPECT_EQ(std::make_tuple(damiao.id(), damiao.mode(), damiao.masterId(), damiao.kp(), damiao.kd(),
                            damiao.inverse()),
            std::make_tuple(3u, 2u, 19u, 15.0F, 1.0F, false));
  motor = allocateMotor(
      YAML::Load("{vendor: feetech, id: 4, dev_name: /y, inverse: true, baudrate: x}"));
  EXPECT_EQ(dynamic_cast<const feetechMotor&>(*motor).para().baud_rate, 115200u);
  EXPECT_TRUE(dynamic_cast<const feetechMotor&>(*motor).para().inverse);
  EXPECT_EQ(allocateMotor(YAML::Load("{id: 1, dev_name: d}")), nullptr);
  EXPECT_THROW(allocateMotor(YAML::Load("{vendor: damiao, id: 1, mode: 1, dev_name: d}")),
               YAML::Exception);
  auto io = allocateCtrlIo(YAML::Load("{type: Gripper, dev_name: /dev/g, id: 7}"));
  EXPECT_EQ(dynamic_cast<const ServoGripper&>(*io).initPara()["id"].as<int>(), 7);
  EXPECT_NE(dynamic_cast<const UpdownLifter*>(allocateCtrlIo(YAML::Load("{type: LIFTER}")).get()),
            nullptr);
  EXPECT_EQ(allocateCtrlIo(YAML::Load("{dev_name: /dev/g}")), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Allocate Motor: damiao\nid: 3; master_id: 19; mode: 2; strdev: d; inverse: 0\n"
            "Allocate Motor: feetech\nid: 4; baud: 115200; device name: /y; inverse: 1\n"
            "Allocate Motor: damiao\nAllocate CtrlIo: gripper\nAllocate CtrlIo: lifter\n");
}

}  // namespace
}  // namespace brenvik

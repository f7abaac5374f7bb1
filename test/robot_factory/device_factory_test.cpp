#include "robot_factory/device_factory.h"

#include <gtest/gtest.h>

#include "devices/vendor/damiao_motor.h"
#include "devices/vendor/feetech_motor.h"
#include "devices/vendor/joho_motor.h"
#include "devices/vendor/servo_gripper.h"
#include "devices/vendor/updown_lifter.h"

namespace brenvik {
namespace {

// Calls make on the YAML text; what it printed goes to out.
template <typename Make>
auto made(Make make, const std::string& yaml, std::string& out) {
  ::testing::internal::CaptureStdout();
  auto result = make(YAML::Load(yaml));
  out = ::testing::internal::GetCapturedStdout();
  return result;
}

// Vendors in any case, optional values that do not convert falling back to their defaults; no
// motor without a known vendor, missing keys raise the YAML error.
TEST(DeviceFactoryTest, MotorsOfEachVendorTakeTheirSettings) {
  std::string out;
  auto motor =
      made(allocateMotor, "{vendor: DaMiao, id: 3, master_id: 19, mode: 2, dev_name: /x}", out);
  EXPECT_EQ(out, "Allocate Motor: damiao\nid: 3; master_id: 19; mode: 2; strdev: /x; inverse: 0\n");
  auto* damiao = dynamic_cast<const damiaoMotor*>(motor.get());
  ASSERT_NE(damiao, nullptr);
  EXPECT_EQ(std::make_tuple(damiao->id(), damiao->mode(), damiao->masterId(), damiao->kp()),
            std::make_tuple(3u, 2u, 19u, 15.0F));
  motor = made(allocateMotor,
               "{vendor: damiao, id: 1, master_id: 2, mode: 1, dev_name: d, kp: 30,"
               " kd: fast, inverse: sometimes}",
               out);
  damiao = dynamic_cast<const damiaoMotor*>(motor.get());
  ASSERT_NE(damiao, nullptr);
  EXPECT_EQ(std::make_tuple(damiao->kp(), damiao->kd(), damiao->inverse()),
            std::make_tuple(30.0F, 1.0F, false));
  motor = made(allocateMotor, "{vendor: feetech, id: 4, dev_name: /y, inverse: true, baudrate: x}",
               out);
  EXPECT_EQ(out, "Allocate Motor: feetech\nid: 4; baud: 115200; device name: /y; inverse: 1\n");
  EXPECT_TRUE(dynamic_cast<const feetechMotor&>(*motor).para().inverse);
  motor = made(allocateMotor, "{vendor: JOHO, id: 5, dev_name: /dev/z, baudrate: 9600}", out);
  EXPECT_EQ(dynamic_cast<const johoMotor&>(*motor).para().baud_rate, 9600u);
  for (const char* yaml : {"~", "{id: 1, dev_name: d}", "{vendor: ~, id: 1, dev_name: d}"}) {
    EXPECT_EQ(made(allocateMotor, yaml, out), nullptr);
    EXPECT_EQ(out, "");
  }
  EXPECT_EQ(made(allocateMotor, "{vendor: Acme, id: 1, dev_name: d}", out), nullptr);
  EXPECT_EQ(out, "Allocate Motor: acme\n");
  for (const char* yaml :
       {"{vendor: damiao, id: 1, mode: 1, dev_name: d}", "{vendor: joho, id: one, dev_name: d}"}) {
    EXPECT_THROW(made(allocateMotor, yaml, out), YAML::Exception);
    ::testing::internal::GetCapturedStdout();
  }
}

TEST(DeviceFactoryTest, ControlIoDevicesGetTheirWholeMap) {
  std::string out;
  auto io = made(allocateCtrlIo, "{type: Gripper, dev_name: /dev/g, id: 7}", out);
  EXPECT_EQ(out, "Allocate CtrlIo: gripper\n");
  EXPECT_EQ(dynamic_cast<const ServoGripper&>(*io).initPara()["id"].as<int>(), 7);
  EXPECT_NE(dynamic_cast<const UpdownLifter*>(made(allocateCtrlIo, "{type: LIFTER}", out).get()),
            nullptr);
  EXPECT_EQ(made(allocateCtrlIo, "{type: vacuum}", out), nullptr);
  EXPECT_EQ(out, "Allocate CtrlIo: vacuum\n");
  EXPECT_EQ(made(allocateCtrlIo, "{dev_name: /dev/g}", out), nullptr);
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace brenvik

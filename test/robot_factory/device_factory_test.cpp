#include "robot_factory/device_factory.h"

#include <gtest/gtest.h>

#include <string>

#include "devices/vendor/damiao_motor.h"
#include "devices/vendor/feetech_motor.h"
#include "devices/vendor/joho_motor.h"
#include "devices/vendor/servo_gripper.h"
#include "devices/vendor/updown_lifter.h"

namespace brenvik {
namespace {

class DeviceFactoryTest : public ::testing::Test {
 protected:
  // Calls make on the YAML text; what it printed goes to out_.
  template <typename Make>
  auto made(Make make, const std::string& yaml) {
    ::testing::internal::CaptureStdout();
    auto result = make(YAML::Load(yaml));
    out_ = ::testing::internal::GetCapturedStdout();
    return result;
  }
  std::string out_;
};

// Vendors in any case, optional values that do not convert falling back to their defaults.
TEST_F(DeviceFactoryTest, MotorsOfEachVendorTakeTheirSettings) {
  auto motor = made(allocateMotor, "{vendor: DaMiao, id: 3, master_id: 19, mode: 2, dev_name: /x}");
  EXPECT_EQ(out_,
            "Allocate Motor: damiao\nid: 3; master_id: 19; mode: 2; strdev: /x; inverse: 0\n");
  const auto* damiao = dynamic_cast<const damiaoMotor*>(motor.get());
  ASSERT_NE(damiao, nullptr);
  EXPECT_EQ(std::make_tuple(damiao->id(), damiao->mode(), damiao->masterId()),
            std::make_tuple(3u, 2u, 19u));
  EXPECT_EQ(std::make_pair(damiao->kp(), damiao->kd()), std::make_pair(15.0F, 1.0F));
  motor = made(allocateMotor,
               "{vendor: damiao, id: 1, master_id: 2, mode: 1, dev_name: d, kp: 30,"
               " kd: fast, inverse: sometimes}");
  damiao = dynamic_cast<const damiaoMotor*>(motor.get());
  ASSERT_NE(damiao, nullptr);
  EXPECT_EQ(std::make_tuple(damiao->kp(), damiao->kd(), damiao->inverse()),
            std::make_tuple(30.0F, 1.0F, false));

  motor = made(allocateMotor, "{vendor: feetech, id: 4, dev_name: /y, inverse: true, baudrate: x}");
  EXPECT_EQ(out_, "Allocate Motor: feetech\nid: 4; baud: 115200; device name: /y; inverse: 1\n");
  const auto* feetech = dynamic_cast<const feetechMotor*>(motor.get());
  ASSERT_NE(feetech, nullptr);
  EXPECT_TRUE(feetech->para().inverse);
  motor = made(allocateMotor, "{vendor: JOHO, id: 5, dev_name: /dev/z, baudrate: 9600}");
  const auto* joho = dynamic_cast<const johoMotor*>(motor.get());
  ASSERT_NE(joho, nullptr);
  EXPECT_EQ(std::make_pair(joho->para().baud_rate, joho->para().device_name),
            std::make_pair(9600u, std::string("/dev/z")));
}

TEST_F(DeviceFactoryTest, NoMotorWithoutAKnownVendorAndMissingKeysRaiseTheYamlError) {
  for (const char* yaml : {"~", "{id: 1, dev_name: d}", "{vendor: ~, id: 1, dev_name: d}"}) {
    EXPECT_EQ(made(allocateMotor, yaml), nullptr);
    EXPECT_EQ(out_, "");
  }
  EXPECT_EQ(made(allocateMotor, "{vendor: Acme, id: 1, dev_name: d}"), nullptr);
  EXPECT_EQ(out_, "Allocate Motor: acme\n");
  ::testing::internal::CaptureStdout();
  EXPECT_THROW(allocateMotor(YAML::Load("{vendor: damiao, id: 1, mode: 1, dev_name: d}")),
               YAML::Exception);
  EXPECT_THROW(allocateMotor(YAML::Load("{vendor: joho, id: one, dev_name: d}")), YAML::Exception);
  ::testing::internal::GetCapturedStdout();
}

TEST_F(DeviceFactoryTest, ControlIoDevicesGetTheirWholeMap) {
  auto io = made(allocateCtrlIo, "{type: Gripper, dev_name: /dev/g, id: 7}");
  EXPECT_EQ(out_, "Allocate CtrlIo: gripper\n");
  const auto* gripper = dynamic_cast<const ServoGripper*>(io.get());
  ASSERT_NE(gripper, nullptr);
  EXPECT_EQ(gripper->initPara()["id"].as<int>(), 7);
  EXPECT_NE(dynamic_cast<const UpdownLifter*>(made(allocateCtrlIo, "{type: LIFTER}").get()),
            nullptr);
  EXPECT_EQ(made(allocateCtrlIo, "{type: vacuum}"), nullptr);
  EXPECT_EQ(out_, "Allocate CtrlIo: vacuum\n");
  EXPECT_EQ(made(allocateCtrlIo, "{dev_name: /dev/g}"), nullptr);
  EXPECT_EQ(out_, "");
}

}  // namespace
}  // namespace brenvik

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
  std::shared_ptr<CtrlMotorInterface> motor(const std::string& yaml) {
    ::testing::internal::CaptureStdout();
    auto result = allocateMotor(YAML::Load(yaml));
    out_ = ::testing::internal::GetCapturedStdout();
    return result;
  }
  std::shared_ptr<CtrlIoInterface> ctrlIo(const std::string& yaml) {
    ::testing::internal::CaptureStdout();
    auto result = allocateCtrlIo(YAML::Load(yaml));
    out_ = ::testing::internal::GetCapturedStdout();
    return result;
  }
  std::string out_;
};

TEST_F(DeviceFactoryTest, DamiaoInAnyCaseWithDefaultGains) {
  const auto made = motor("{vendor: DaMiao, id: 3, master_id: 19, mode: 2, dev_name: /dev/x}");
  const auto* damiao = dynamic_cast<const damiaoMotor*>(made.get());
  ASSERT_NE(damiao, nullptr);
  EXPECT_EQ(out_,
            "Allocate Motor: damiao\n"
            "id: 3; master_id: 19; mode: 2; strdev: /dev/x; inverse: 0\n");
  EXPECT_EQ(damiao->id(), 3u);
  EXPECT_EQ(damiao->mode(), 2u);
  EXPECT_EQ(damiao->masterId(), 19u);
  EXPECT_FLOAT_EQ(damiao->kp(), 15.0F);
  EXPECT_FLOAT_EQ(damiao->kd(), 1.0F);
}

TEST_F(DeviceFactoryTest, OptionalValuesThatDoNotConvertFallBack) {
  auto made = motor(
      "{vendor: damiao, id: 1, master_id: 2, mode: 1, dev_name: d, kp: 30, kd: fast, "
      "inverse: sometimes}");
  const auto* damiao = dynamic_cast<const damiaoMotor*>(made.get());
  ASSERT_NE(damiao, nullptr);
  EXPECT_FLOAT_EQ(damiao->kp(), 30.0F);
  EXPECT_FLOAT_EQ(damiao->kd(), 1.0F);
  EXPECT_FALSE(damiao->inverse());
  EXPECT_NE(out_.find("; inverse: 0\n"), std::string::npos);

  made = motor("{vendor: feetech, id: 4, dev_name: /dev/y, inverse: true, baudrate: fast}");
  const auto* feetech = dynamic_cast<const feetechMotor*>(made.get());
  ASSERT_NE(feetech, nullptr);
  EXPECT_EQ(out_,
            "Allocate Motor: feetech\n"
            "id: 4; baud: 115200; device name: /dev/y; inverse: 1\n");
  EXPECT_TRUE(feetech->para().inverse);
}

TEST_F(DeviceFactoryTest, JohoTakesItsBaudRate) {
  const auto made = motor("{vendor: JOHO, id: 5, dev_name: /dev/z, baudrate: 9600}");
  const auto* joho = dynamic_cast<const johoMotor*>(made.get());
  ASSERT_NE(joho, nullptr);
  EXPECT_EQ(joho->para().baud_rate, 9600u);
  EXPECT_EQ(joho->para().device_name, "/dev/z");
}

TEST_F(DeviceFactoryTest, NoMotorWithoutAKnownVendor) {
  EXPECT_EQ(motor("~"), nullptr);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(motor("{id: 1, dev_name: d}"), nullptr);
  EXPECT_EQ(motor("{vendor: ~, id: 1, dev_name: d}"), nullptr);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(motor("{vendor: Acme, id: 1, dev_name: d}"), nullptr);
  EXPECT_EQ(out_, "Allocate Motor: acme\n");
}

TEST_F(DeviceFactoryTest, MissingRequiredKeyRaisesTheYamlError) {
  ::testing::internal::CaptureStdout();
  EXPECT_THROW(allocateMotor(YAML::Load("{vendor: damiao, id: 1, mode: 1, dev_name: d}")),
               YAML::Exception);
  EXPECT_THROW(allocateMotor(YAML::Load("{vendor: joho, id: one, dev_name: d}")), YAML::Exception);
  ::testing::internal::GetCapturedStdout();
}

TEST_F(DeviceFactoryTest, ControlIoDevicesGetTheirWholeMap) {
  auto made = ctrlIo("{type: Gripper, dev_name: /dev/g, id: 7}");
  const auto* gripper = dynamic_cast<const ServoGripper*>(made.get());
  ASSERT_NE(gripper, nullptr);
  EXPECT_EQ(out_, "Allocate CtrlIo: gripper\n");
  EXPECT_EQ(gripper->initPara()["id"].as<int>(), 7);

  made = ctrlIo("{type: LIFTER}");
  EXPECT_NE(dynamic_cast<const UpdownLifter*>(made.get()), nullptr);

  EXPECT_EQ(ctrlIo("{type: vacuum}"), nullptr);
  EXPECT_EQ(out_, "Allocate CtrlIo: vacuum\n");
  EXPECT_EQ(ctrlIo("{dev_name: /dev/g}"), nullptr);
  EXPECT_EQ(out_, "");
}

}  // namespace
}  // namespace brenvik

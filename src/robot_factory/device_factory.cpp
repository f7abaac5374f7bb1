#include "robot_factory/device_factory.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <string>

#include "devices/vendor/damiao_motor.h"
#include "devices/vendor/feetech_motor.h"
#include "devices/vendor/joho_motor.h"
#include "devices/vendor/servo_gripper.h"
#include "devices/vendor/updown_lifter.h"

namespace brenvik {
namespace {

std::string lowerCase(std::string word) {
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return word;
}

// Optional key: its value when present and convertible, the default otherwise.
template <typename T>
T optionalValue(const YAML::Node& map, const char* key, T fallback) {
  const YAML::Node node = map[key];
  if (!node) {
    return fallback;
  }
  T value;
  return YAML::convert<T>::decode(node, value) ? value : fallback;
}

}  // namespace

std::shared_ptr<CtrlMotorInterface> allocateMotor(YAML::Node motor_init_para) {
  if (!motor_init_para || motor_init_para.IsNull()) {
    return nullptr;
  }
  const YAML::Node vendor_node = motor_init_para["vendor"];
  if (!vendor_node || vendor_node.IsNull()) {
    return nullptr;
  }
  const std::string vendor = lowerCase(vendor_node.as<std::string>());
  std::cout << "Allocate Motor: " << vendor << std::endl;

  const int id = motor_init_para["id"].as<int>();
  std::string device_name = motor_init_para["dev_name"].as<std::string>();
  const bool inverse = optionalValue<bool>(motor_init_para, "inverse", false);

  if (vendor == "damiao") {
    const int mode = motor_init_para["mode"].as<int>();
    const int master_id = motor_init_para["master_id"].as<int>();
    const float kp = optionalValue<float>(motor_init_para, "kp", 15.0F);
    const float kd = optionalValue<float>(motor_init_para, "kd", 1.0F);
    std::cout << "id: " << id << "; master_id: " << master_id << "; mode: " << mode
              << "; strdev: " << device_name << "; inverse: " << inverse << std::endl;
    return std::make_shared<damiaoMotor>(static_cast<unsigned>(id), static_cast<unsigned>(mode),
                                         static_cast<unsigned>(master_id), device_name, inverse, kp,
                                         kd);
  }
  if (vendor == "feetech" || vendor == "joho") {
    const int baud_rate = optionalValue<int>(motor_init_para, "baudrate", 115200);
    std::cout << "id: " << id << "; baud: " << baud_rate << "; device name: " << device_name
              << "; inverse: " << inverse << std::endl;
    if (vendor == "feetech") {
      return std::make_shared<feetechMotor>(static_cast<unsigned>(id),
                                            static_cast<unsigned>(baud_rate), device_name, inverse);
    }
    return std::make_shared<johoMotor>(static_cast<unsigned>(id), static_cast<unsigned>(baud_rate),
                                       device_name, inverse);
  }
  return nullptr;
}

std::shared_ptr<CtrlIoInterface> allocateCtrlIo(YAML::Node ctrl_io_init_para) {
  if (!ctrl_io_init_para || ctrl_io_init_para.IsNull()) {
    return nullptr;
  }
  const YAML::Node type_node = ctrl_io_init_para["type"];
  if (!type_node || type_node.IsNull()) {
    return nullptr;
  }
  const std::string type = lowerCase(type_node.as<std::string>());
  std::cout << "Allocate CtrlIo: " << type << std::endl;
  if (type == "gripper") {
    return std::make_shared<ServoGripper>(YAML::Clone(ctrl_io_init_para));
  }
  if (type == "lifter") {
    return std::make_shared<UpdownLifter>(YAML::Clone(ctrl_io_init_para));
  }
  return nullptr;
}

}  // namespace brenvik

#pragma once

#include <yaml-cpp/yaml.h>

#include <memory>

#include "devices/ctrl_io_interface.h"
#include "devices/ctrl_motor_interface.h"

namespace brenvik {

// Builds vendor devices from the device maps of the parameter file and prints what it allocates.
// Missing required keys and unconvertible required values raise YAML::Exception.
// Main thread, start-up only.

// From an axis's motor_init_para map: a damiaoMotor, feetechMotor or johoMotor selected by
// `vendor` (any letter case). Empty when the map or `vendor` is absent or the word is unknown.
std::shared_ptr<CtrlMotorInterface> allocateMotor(YAML::Node motor_init_para);

// From an entry's ctrl_io_init_para map: a ServoGripper ("gripper") or UpdownLifter ("lifter")
// selected by `type` (any letter case) and given the whole map. Empty otherwise.
std::shared_ptr<CtrlIoInterface> allocateCtrlIo(YAML::Node ctrl_io_init_para);

}  // namespace brenvik

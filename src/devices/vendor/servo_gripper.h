#pragma once

#include <yaml-cpp/yaml.h>

#include "devices/virtual_gripper.h"

// Stand-in for the maker's gripper (libctrl_io) with the maker's constructor: it takes the whole
// ctrl_io_init_para map of its entry, keeps it for inspection, and behaves as a simulated device.
class ServoGripper : public brenvik::VirtualGripper {
 public:
  explicit ServoGripper(YAML::Node init_para) : init_para_(std::move(init_para)) {}

  const YAML::Node& initPara() const { return init_para_; }

 private:
  YAML::Node init_para_;
};

#pragma once

#include <string>

#include "devices/vendor/serial_motor_para.h"
#include "devices/virtual_motor.h"

// Stand-in for the maker's joho driver (libctrl_motor) with the maker's constructor. It behaves
// as a simulated motor and keeps its construction parameters for inspection.
class johoMotor : public brenvik::VirtualMotor {
 public:
  johoMotor(unsigned id, unsigned baud_rate, std::string& device_name, bool inverse)
      : VirtualMotor(static_cast<int>(id)), para_{id, baud_rate, device_name, inverse} {}

  const SerialMotorPara& para() const { return para_; }

 private:
  SerialMotorPara para_;
};

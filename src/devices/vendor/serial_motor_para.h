#pragma once

#include <string>

// Construction parameters of the serial-bus motor stand-ins (feetech, joho), kept for inspection.
struct SerialMotorPara {
  unsigned id;
  unsigned baud_rate;
  std::string device_name;
  bool inverse;
};

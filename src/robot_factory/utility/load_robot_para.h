#pragma once

#include <string>

#include "robot_factory/utility/robot_para.h"

namespace brenvik {

// Results of LoadRobotPara::load.
namespace load_result {
inline constexpr int kOk = 0;
// File not found, a section missing or empty, a per-axis list of the wrong count, a dynamics
// list that is not a one-item list.
inline constexpr int kMissing = -1;
// Coupling matrix malformed or not invertible, a zero reduction ratio, a parameter count or value
// this arm type cannot run with, a number that is not finite or out of its range, a key that
// virtual_motor_para does not know.
inline constexpr int kInvalid = -2;
// The YAML library raised an error: parse error, missing required key, value of the wrong kind.
inline constexpr int kYamlError = -3;
// A motor failed to initialise three times, or no device was made for an axis or IO entry.
inline constexpr int kDevice = -4;
}  // namespace load_result

// Reads the robot parameter file into a RobotPara, builds the devices (simulated, or vendor ones
// through the device factory), derives the coupling matrices and motor limits, prints a summary
// and initialises every motor. Main thread, start-up only.
class LoadRobotPara {
 public:
  // robot_para must be default-constructed; it is left partly filled on failure.
  // Returns a load_result code; every failure prints one message naming the key or axis.
  [[nodiscard]] int load(const std::string& path, RobotPara& robot_para);

  // Calls init on every axis motor in axis order until it returns 0, at most three times. A third
  // failure logs "The %dst axis motor init error!\n" (FATAL, code 3) and returns kDevice; later
  // axes are not initialised.
  [[nodiscard]] static int initMotors(const RobotPara& robot_para);
};

}  // namespace brenvik

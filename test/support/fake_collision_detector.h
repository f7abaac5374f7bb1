#pragma once

#include <cfloat>

#include "robot_model/collision_detector_interface.h"

namespace brenvik::testing {

// Collision detector stand-in. detectCollision reports `collision`; computeAdmittance returns
// `admittance` (DBL_MAX marks a joint that is not to move); sensitivity commands are recorded.
// Not thread-safe, like the real detector: a test under ThreadSanitizer sees any use from two
// threads.
class FakeCollisionDetector : public CollisionDetectorInterface {
 public:
  virtual ~FakeCollisionDetector() = default;
  explicit FakeCollisionDetector(int n)
      : admittance(n, DBL_MAX), excess_torque(n, 0.0), data{0.0, 0.0, 7.0, 0.0} {
    sensitivity_commands.reserve(64);
  }

  void setCollisionSensitivity(const std::vector<double>& command) override {
    sensitivity_commands.push_back(command);
  }
  const std::vector<double>& getCollisionData() override { return data; }
  void initCollisionDetector(std::shared_ptr<RobotPara>) override {}
  int detectCollision(const std::vector<double>&, const std::vector<double>&,
                      const std::vector<double>&, const std::vector<double>&,
                      const std::vector<double>&, double time) override {
    ++detect_calls;
    data[0] = time;
    data[1] = collision;
    return collision;
  }
  const std::vector<double>& detectCollisionTorque(const std::vector<double>&,
                                                   const std::vector<double>&,
                                                   const std::vector<double>&,
                                                   const std::vector<double>&,
                                                   const std::vector<double>&, double) override {
    return excess_torque;
  }
  const std::vector<double>& computeAdmittance(const std::vector<double>&,
                                               const std::vector<double>&,
                                               const std::vector<double>&,
                                               const std::vector<double>&,
                                               const std::vector<double>&, double) override {
    ++admittance_calls;
    return admittance;
  }

  int collision = 0;
  std::vector<double> admittance;
  std::vector<double> excess_torque;
  std::vector<double> data;
  std::vector<std::vector<double>> sensitivity_commands;
  int detect_calls = 0;
  int admittance_calls = 0;
};

}  // namespace brenvik::testing

#pragma once

#include "robot_model/dynamics_interface.h"

namespace brenvik::testing {

// Dynamics stand-in: returns the scripted torques and remembers the time it was given.
class FakeDynamics : public DynamicsInterface {
 public:
  virtual ~FakeDynamics() = default;
  explicit FakeDynamics(int n) : torques(n, 0.0) {}
  void initDynamics(std::shared_ptr<RobotPara>) override {}
  std::vector<double> getDynamicsVector() override { return {}; }
  const std::vector<double>& estimateTorque(const std::vector<double>&, const std::vector<double>&,
                                            const std::vector<double>&, double time) override {
    ++calls;
    last_time = time;
    return torques;
  }

  std::vector<double> torques;
  int calls = 0;
  double last_time = 0.0;
};

}  // namespace brenvik::testing

#pragma once

#include <memory>
#include <vector>

#include "robot_factory/utility/robot_para.h"

namespace brenvik {

// Joint torque estimate of the arm's own motion (rigid body and friction).
// Control thread only after initDynamics.
class DynamicsInterface {
 public:
  virtual void initDynamics(std::shared_ptr<RobotPara> robot_para) = 0;
  virtual std::vector<double> getDynamicsVector() = 0;
  // q (rad), qd (rad/s), qdd (rad/s²): at least 5 values each; time in s.
  // Returns 5 joint torques; DBL_MAX for joints without an estimate. The reference stays valid
  // until the next call.
  virtual const std::vector<double>& estimateTorque(const std::vector<double>& q,
                                                    const std::vector<double>& qd,
                                                    const std::vector<double>& qdd,
                                                    double time) = 0;

 protected:
  ~DynamicsInterface() = default;
};

}  // namespace brenvik

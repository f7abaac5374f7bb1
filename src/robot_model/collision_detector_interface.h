#pragma once

#include <memory>
#include <vector>

#include "robot_factory/utility/robot_para.h"
#include "robot_model/robot_model_result.h"

namespace brenvik {

// Collision detection from torque residuals, excess torque for force control and the drag
// teaching admittance law. Not thread-safe: every operation, including setCollisionSensitivity,
// is called from one thread at a time (the control thread once it runs). Returned references stay
// valid until the next call of the same operation.
class CollisionDetectorInterface {
 public:
  // command[0] (truncated) selects the command, the rest are its values.
  virtual void setCollisionSensitivity(const std::vector<double>& command) = 0;
  // The data record of the last check.
  virtual const std::vector<double>& getCollisionData() = 0;
  virtual void initCollisionDetector(std::shared_ptr<RobotPara> robot_para) = 0;
  // collision_result::kCollision (1) when a collision is detected, else kNoCollision (0).
  [[nodiscard]] virtual int detectCollision(const std::vector<double>& estimated_torques,
                                            const std::vector<double>& measured_torques,
                                            const std::vector<double>& q,
                                            const std::vector<double>& qd,
                                            const std::vector<double>& qdd, double time) = 0;
  // Excess torque beyond the band per joint (5 values).
  virtual const std::vector<double>& detectCollisionTorque(
      const std::vector<double>& estimated_torques, const std::vector<double>& measured_torques,
      const std::vector<double>& q, const std::vector<double>& qd, const std::vector<double>& qdd,
      double time) = 0;
  // Forgets the admittance law's motion (its velocities become 0), so that the next
  // computeAdmittance starts at rest from the positions it is given: called when drag teaching
  // starts again after the arm was commanded, enabled or homed.
  virtual void resetAdmittance() {}
  // New joint positions (5 values, rad); DBL_MAX for joints that are not to move.
  virtual const std::vector<double>& computeAdmittance(const std::vector<double>& estimated_torques,
                                                       const std::vector<double>& measured_torques,
                                                       const std::vector<double>& q,
                                                       const std::vector<double>& qd,
                                                       const std::vector<double>& qdd,
                                                       double time) = 0;

 protected:
  ~CollisionDetectorInterface() = default;
};

}  // namespace brenvik

#pragma once

#include <memory>

#include "robot_model/kinematics_interface.h"

namespace brenvik {

// Force-control helper of the arm; holds the kinematics it works with.
class ForceCtrlFunction {
 public:
  explicit ForceCtrlFunction(std::shared_ptr<KinematicsInterface> kinematics)
      : kinematics_(std::move(kinematics)) {}

  const std::shared_ptr<KinematicsInterface>& kinematics() const { return kinematics_; }

 private:
  std::shared_ptr<KinematicsInterface> kinematics_;
};

}  // namespace brenvik

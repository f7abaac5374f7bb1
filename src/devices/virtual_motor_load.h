#pragma once

namespace brenvik {

// What moving its load costs a simulated drive: the torque the arm needs for the present
// positions, velocities and accelerations of all simulated drives of the arm. The devices layer
// declares it; the robot that builds the arm's models provides it (devices know nothing of the
// robot model).
// Called from VirtualMotor::getTorque, that is by the control thread only.
class VirtualMotorLoad {
 public:
  virtual ~VirtualMotorLoad() = default;

  // Motor-side torque of the drive of axis `axis` (0 for the first axis) for the drives' present
  // state. Allocates nothing.
  virtual double motorTorque(int axis) = 0;
};

}  // namespace brenvik

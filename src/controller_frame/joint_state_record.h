#pragma once

#include <vector>

namespace brenvik {

// One joint-side or motor-side state of the arm: N = axis_num entries in each vector, axis order.
// Joint side: rad, rad/s, rad/s², joint torques; motor side: the motors' units.
struct JointStateRecord {
  std::vector<double> positions;
  std::vector<double> velocities;
  std::vector<double> accelerations;
  std::vector<double> efforts;  // torques
};

}  // namespace brenvik

#pragma once

// The part of a robot parameter file that describes the arm's geometry and joint limits: axis_num,
// mdh_para (zd, xa, alpha, qzero per axis) and axis_paras (min_joint_pos, max_joint_pos,
// max_joint_vel per axis). Read with yaml-cpp alone: no device is created or touched, so a real
// arm's file can be read on any machine, even while the controller runs. Main thread.

#include <string>
#include <vector>

namespace brenvikctl {

struct RobotDescription {
  struct Axis {
    double zd = 0.0;             // link offset d along z (m)
    double xa = 0.0;             // link length a along x (m)
    double alpha = 0.0;          // link twist about x (rad)
    double qzero = 0.0;          // joint zero offset (rad)
    double min_joint_pos = 0.0;  // rad
    double max_joint_pos = 0.0;  // rad
    double max_joint_vel = 0.0;  // rad/s
  };
  std::vector<Axis> axes;  // N = axis_num entries, from the base

  // Reads path. Returns exit_code::kOk, or exit_code::kFile with error naming the file, the key
  // and the axis at fault (a missing key, a value that is not a finite number, a list whose
  // length is not axis_num, min_joint_pos above max_joint_pos).
  [[nodiscard]] static int read(const std::string& path, RobotDescription& description,
                                std::string& error);
};

}  // namespace brenvikctl

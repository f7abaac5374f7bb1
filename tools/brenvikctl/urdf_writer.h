#pragma once

// A URDF of the arm from its modified (Craig) DH parameters: links base_link, link1 .. linkN and
// revolute joints joint1 .. jointN about their z axes, named as the status topics name them.
// Link i's MDH transform Rx(alpha)·Tx(a)·Rz(q + qzero)·Tz(d) equals
// [Rx(alpha)·Tx(a)·Rz(qzero)·Tz(d)]·Rz(q), since Rz and Tz commute: the bracket is the URDF joint
// origin and q the joint variable, so linkN's frame is the flange pose the controller publishes
// on tcp_pose. Limits from min/max_joint_pos and max_joint_vel; the effort limit, unknown to the
// parameter file, is written as 0. Each link gets a cylinder along the segment to the next
// joint, so that RViz shows the arm. No DDS.

#include <ostream>
#include <string>

#include "brenvikctl/robot_description.h"

namespace brenvikctl {

class UrdfWriter {
 public:
  static void write(const RobotDescription& description, const std::string& robot_name,
                    std::ostream& out);
};

}  // namespace brenvikctl

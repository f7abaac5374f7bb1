#pragma once

// What one run of brenvikctl is asked to do, as parsed from its command line.

#include <optional>
#include <string>
#include <vector>

namespace brenvikctl {

enum class Command {
  kHelp,
  kEnable,
  kDisable,
  kHome,
  kStop,
  kRecover,
  kMovj,
  kMovs,
  kPose,
  kIo,
  kCollision,
  kDrag,
  kSensitivity,
  kTrajectory,
  kStatus,
  kWatch,
  kRecord,
  kPlot,
  kUrdf,
};

struct Invocation {
  Command command = Command::kHelp;
  std::string name;  // the command as typed, for messages
  // movj: joint targets (rad, converted when --deg is given); pose: x y z (m) and the quaternion
  // x y z w; sensitivity: the command values as given.
  std::vector<double> values;
  std::vector<int> integers;           // io: device id, command value
  bool on = false;                     // collision, drag
  std::string file;                    // movs, trajectory, record, plot: the input or output file
  std::string output;                  // plot, urdf: -o (empty: default)
  std::string robot_para_file;         // urdf
  std::optional<double> velocity;      // scale in [0, 1]
  std::optional<double> acceleration;  // scale in [0, 1]
  bool block = false;
  bool degrees = false;  // joint values on the command line or in the file are in degrees
  bool wait = false;
  double seconds = 0.0;     // record: duration (s)
  double tolerance = 0.01;  // --wait: joint tolerance (rad) of a reached target
  double timeout = 2.0;     // s to find the controller (status, subscriber, acknowledgement)
  // argv[0] followed by every ROS 2 argument (--ros-args ... [--]), for ros2::init.
  std::vector<std::string> ros_argv;
};

}  // namespace brenvikctl

#pragma once

#include <string>
#include <vector>

namespace brenvik {

// The program's arguments split between its own option and ROS 2.
struct CommandLine {
  // "--robot-para-file" and its value, for every occurrence followed by a value.
  std::vector<std::string> robot_args;
  // Every other argument, unchanged and in order (argv[0] excluded).
  std::vector<std::string> ros_args;

  // The value of the first --robot-para-file, or empty when none was given with a value.
  std::string robotParaFile() const { return robot_args.size() >= 2 ? robot_args[1] : ""; }
};

// Scans argv[1..]: "--robot-para-file" followed by another argument goes with that value to
// robot_args; everything else (a trailing "--robot-para-file" too) to ros_args.
CommandLine splitCommandLine(int argc, const char* const* argv);

}  // namespace brenvik

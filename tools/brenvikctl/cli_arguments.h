#pragma once

// The command line of brenvikctl: one command, its positional values, options anywhere after the
// program name, and ROS 2 arguments (--ros-args ... [--]) passed through unchanged.
// Main thread; no DDS.

#include <string>

#include "brenvikctl/invocation.h"

namespace brenvikctl {

class CliArguments {
 public:
  // Fills invocation from argv. Returns exit_code::kOk, or exit_code::kUsage with error naming
  // the command, option or value at fault. Numbers must be finite; scales lie in [0, 1]; --deg
  // converts movj targets to rad here.
  [[nodiscard]] static int parse(int argc, const char* const argv[], Invocation& invocation,
                                 std::string& error);

  // The usage text: every command with its arguments and options.
  static std::string usage();
};

}  // namespace brenvikctl

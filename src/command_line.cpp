#include "command_line.h"

#include <cstring>

namespace brenvik {

CommandLine splitCommandLine(int argc, const char* const* argv) {
  CommandLine command_line;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--robot-para-file") == 0 && i + 1 < argc) {
      command_line.robot_args.emplace_back(argv[i]);
      command_line.robot_args.emplace_back(argv[i + 1]);
      ++i;
    } else {
      command_line.ros_args.emplace_back(argv[i]);
    }
  }
  return command_line;
}

}  // namespace brenvik

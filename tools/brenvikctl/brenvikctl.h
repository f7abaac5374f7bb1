#pragma once

// The brenvikctl program: parses the command line, runs the offline commands (help, plot, urdf)
// without DDS, and the others through a ControllerLink to the controller. Main thread.

#include <ostream>

namespace brenvikctl {

class Brenvikctl {
 public:
  // Returns the process's exit status (exit_code::...); results on out, errors on err.
  [[nodiscard]] static int run(int argc, const char* const argv[], std::ostream& out,
                               std::ostream& err);
};

}  // namespace brenvikctl

#pragma once

namespace brenvik {

// Levels of the console logger's leveled messages; the highest recent one is the robot status.
// The command node refuses motion at ERROR and above and control-IO commands at FATAL.
// Wrapped in a struct so that the names stay scoped (RobotStatus::ERROR) while comparing as int.
struct RobotStatus {
  enum Level : int {
    NORMAL = 0,  // initial status
    WARN = 2,    // faults of a single command
    ERROR = 3,   // collision, failed spline execution, motion refused in error state
    FATAL = 4,   // parameter file, motor initialisation, motor write, period update failures
  };
};

}  // namespace brenvik

#pragma once

// Ctrl-C and SIGTERM for the commands that run until stopped (watch, record) or that must clean
// up before they end (trajectory cancels its goal). The first signal only sets a flag that the
// command's loop reads; the second ends the process at once with exit status 130.

namespace brenvikctl {

class Interrupt {
 public:
  // Installs the handlers for SIGINT and SIGTERM (after ros2::init, replacing its own).
  static void install();
  // True once a signal arrived. Any thread.
  static bool requested();
};

}  // namespace brenvikctl

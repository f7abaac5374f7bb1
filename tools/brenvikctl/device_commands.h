#pragma once

// The commands without motion planning: enable, disable, home, stop, recover, io, collision,
// drag, sensitivity. Each publishes one message on its command topic of the controller;
// enable and disable then wait for enable_flag to change, recover for unnormal_flag to clear.
// Main thread.

#include <ostream>

#include "brenvikctl/controller_link.h"
#include "brenvikctl/invocation.h"

namespace brenvikctl {

class DeviceCommands {
 public:
  // How long enable, disable and recover wait at least for the flag they change (longer when the
  // link's discovery time is longer).
  static constexpr std::chrono::milliseconds kFlagTime{3000};

  // Runs invocation on a connected link. Returns exit_code::kOk, kNoController, or kNotReached
  // when the flag did not change in time; messages go to out (results) and err (errors).
  [[nodiscard]] static int run(const Invocation& invocation, ControllerLink& link,
                               std::ostream& out, std::ostream& err);
};

}  // namespace brenvikctl

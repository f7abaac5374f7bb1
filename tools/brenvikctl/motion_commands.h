#pragma once

// The motion commands movj, movs and pose, with --wait: after sending, a MoveOutcomeJudge reads
// the reference and actual joint states (and for pose the tool pose) until the move is reached,
// stopped or refused, and the verdict is printed, followed for any verdict but reached by the
// controller's warning and error lines on /rosout since the command (when it publishes them).
// Main thread.

#include <ostream>

#include "brenvikctl/controller_link.h"
#include "brenvikctl/invocation.h"
#include "brenvikctl/point_file.h"

namespace brenvikctl {

class MotionCommands {
 public:
  // Default velocity (and acceleration) scale of movj and pose.
  static constexpr double kDefaultScale = 0.5;

  // Runs invocation (movj, movs or pose) on a connected link; points: the file's points for
  // movs. Returns exit_code::kOk (sent, or reached with --wait), kUsage (joint count not N),
  // kNoController, kNotReached (stopped, refused, timed out) or kInterrupted.
  [[nodiscard]] static int run(const Invocation& invocation, const std::vector<TimedPoint>& points,
                               ControllerLink& link, std::ostream& out, std::ostream& err);
};

}  // namespace brenvikctl

#pragma once

// brenvikctl trajectory FILE: the file's points as a control_msgs/FollowJointTrajectory goal
// (joint_names joint1..jointN) to the controller's follow_joint_trajectory action, a progress bar
// from the feedback, and the result. The first Ctrl-C cancels the goal and waits for its end;
// a second one ends the process at once. Main thread.

#include <ostream>

#include "brenvikctl/controller_link.h"
#include "brenvikctl/invocation.h"
#include "brenvikctl/point_file.h"

namespace brenvikctl {

class TrajectoryCommand {
 public:
  // How long the controller has at least to answer the goal, and to end it after a cancel.
  static constexpr std::chrono::milliseconds kAnswerTime{5000};

  // Returns exit_code::kOk when the goal succeeded; kNotReached when it was rejected, aborted or
  // canceled by another client; kInterrupted when Ctrl-C canceled it; kUsage for a file whose
  // joint count is not the controller's; kNoController.
  [[nodiscard]] static int run(const Invocation& invocation, const std::vector<TimedPoint>& points,
                               ControllerLink& link, std::ostream& out, std::ostream& err);
};

}  // namespace brenvikctl

#pragma once

// Tells how a move ended from what every controller publishes: the reference joint state
// (current_reference_joint, every 5 ms) and the unnormal flag. The controller says nothing about
// an individual command, so the rule reads the motion of the reference:
//
//   at rest   the reference has not changed for rest_time (header stamps, s).
//   reached   at rest, the reference at the goal and the actual position within tolerance of it.
//             A goal equal to where the arm rests is reached at once.
//   stopped   at rest away from the goal after the reference moved (since the arm was last
//             idle before or after the command was sent); or at the goal while the actual
//             position stays out of tolerance.
//   refused   at rest away from the goal and the reference never moved after the arm was idle.
//   timed out still undecided timeout seconds after the command.
//
// Away from the goal the verdict waits until the reference has rested decision_time after the
// command, since the controller rests between two queued moves (about 0.5 s) and runs earlier
// commands first; an unnormal flag that rises after the command decides at once. Limits: a move
// refused while an earlier move still runs, or a move stopped before it left its start, is
// told apart only by the motion seen (stopped after motion, refused without); a goal passed by
// an earlier move on its way is not mistaken for ours since the reference must rest there.
//
// One instance per command; not thread-safe (the spinning thread feeds it).

#include <vector>

namespace brenvikctl {

enum class MoveOutcome { kPending, kReached, kStopped, kRefused, kTimedOut };

const char* moveOutcomeName(MoveOutcome outcome);

struct MoveJudgeConfig {
  double rest_time = 0.05;      // s without change of the reference that count as at rest
  double decision_time = 1.5;   // s at rest away from the goal before stopped or refused
  double timeout = 60.0;        // s after the command
  double still_epsilon = 1e-9;  // rad: larger changes between two samples are motion
};

struct MoveSample {
  double stamp = 0.0;                    // s, header stamp of the reference joint state
  const std::vector<double>* reference;  // N reference positions (rad); not null
  bool reference_at_goal = false;        // the reference is within tolerance of the goal
  bool actual_at_goal = false;           // the measured state is within tolerance of the goal
  bool unnormal = false;                 // the controller's unnormal flag
};

class MoveOutcomeJudge {
 public:
  explicit MoveOutcomeJudge(const MoveJudgeConfig& config = MoveJudgeConfig());

  // Feeds one sample; samples before commandSent() only track rest and motion.
  [[nodiscard]] MoveOutcome update(const MoveSample& sample);

  // Marks the moment the command went out (after the samples seen so far).
  void commandSent();

  bool sent() const { return sent_; }
  // True once the reference moved after the arm was idle, since the command.
  bool moved() const { return moved_; }

 private:
  MoveJudgeConfig config_;
  std::vector<double> last_;
  bool has_last_ = false;
  double last_stamp_ = 0.0;
  double rest_since_ = 0.0;
  bool idle_ = false;  // at rest at some time since the command (or when it was sent)
  bool sent_ = false;
  bool moved_ = false;
  double sent_stamp_ = 0.0;
  bool unnormal_at_send_ = false;
  bool last_unnormal_ = false;
};

}  // namespace brenvikctl

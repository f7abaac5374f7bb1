#include "brenvikctl/move_outcome_judge.h"

#include <algorithm>
#include <cmath>

namespace brenvikctl {

const char* moveOutcomeName(MoveOutcome outcome) {
  switch (outcome) {
    case MoveOutcome::kPending:
      return "pending";
    case MoveOutcome::kReached:
      return "reached";
    case MoveOutcome::kStopped:
      return "stopped";
    case MoveOutcome::kRefused:
      return "refused";
    case MoveOutcome::kTimedOut:
      return "timed out";
  }
  return "unknown";
}

MoveOutcomeJudge::MoveOutcomeJudge(const MoveJudgeConfig& config) : config_(config) {}

void MoveOutcomeJudge::commandSent() {
  sent_ = true;
  moved_ = false;
  // Without a sample yet, the first sample after the send stands for the moment of the send.
  sent_stamp_ = has_last_ ? last_stamp_ : -1.0;
  // The arm counts as idle at the send when it has rested since the sample before.
  idle_ = has_last_ && last_stamp_ > rest_since_;
  unnormal_at_send_ = last_unnormal_;
}

MoveOutcome MoveOutcomeJudge::update(const MoveSample& sample) {
  const std::vector<double>& reference = *sample.reference;
  bool still = has_last_ && reference.size() == last_.size();
  for (size_t i = 0; still && i < reference.size(); ++i) {
    still = std::fabs(reference[i] - last_[i]) <= config_.still_epsilon;
  }
  if (!still) {
    rest_since_ = sample.stamp;
    if (sent_ && idle_) moved_ = true;
  }
  last_ = reference;
  has_last_ = true;
  last_stamp_ = sample.stamp;
  last_unnormal_ = sample.unnormal;
  if (!sent_) return MoveOutcome::kPending;
  if (sent_stamp_ < 0.0) sent_stamp_ = sample.stamp;

  const bool at_rest = still && sample.stamp - rest_since_ >= config_.rest_time;
  if (at_rest) idle_ = true;
  if (at_rest && sample.reference_at_goal && sample.actual_at_goal) return MoveOutcome::kReached;
  if (at_rest) {
    const double resting = sample.stamp - std::max(rest_since_, sent_stamp_);
    const bool error_raised = sample.unnormal && !unnormal_at_send_;
    if (error_raised || resting >= config_.decision_time) {
      return moved_ || sample.reference_at_goal ? MoveOutcome::kStopped : MoveOutcome::kRefused;
    }
  }
  if (sample.stamp - sent_stamp_ >= config_.timeout) return MoveOutcome::kTimedOut;
  return MoveOutcome::kPending;
}

}  // namespace brenvikctl

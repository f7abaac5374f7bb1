#pragma once

#include <atomic>
#include <memory>

#include "controller_frame/motion_codes.h"
#include "robot_factory/robot.h"

namespace brenvik {

// A unit of work handed from the command side (main thread) to the control loop through
// Interpolator::addCmd; the queue owns it from then on. Always deleted through this type.
//
// cmd_status is written by the control thread and read by the issuer; is_block is written by the
// issuer and read by the control thread: both are atomic.
class AbstractCmdInterface {
 public:
  AbstractCmdInterface(int type, std::shared_ptr<Robot> robot)
      : cmd_type(type), robot_(std::move(robot)) {}
  virtual ~AbstractCmdInterface() = default;
  AbstractCmdInterface(const AbstractCmdInterface&) = delete;
  AbstractCmdInterface& operator=(const AbstractCmdInterface&) = delete;

  // Selects the control loop's handling (cmd_type::k...).
  int cmd_type;
  // The arm the command acts on.
  std::shared_ptr<Robot> robot_;
  // cmd_status::kQueued, kExecuting, then the outcome kSucceeded, kFailed or kStopped.
  std::atomic<int> cmd_status{cmd_status::kQueued};
  // Why a command ended stopped or failed, in the console's words (a fixed text, never freed), or
  // null. Written by the control thread before cmd_status.
  std::atomic<const char*> outcome_reason{nullptr};
  // Set by the issuer before addCmd: a finished command then stays at the front of the queue
  // (holding back the others) until the issuer has read cmd_status and cleared the flag.
  std::atomic<bool> is_block{false};
};

}  // namespace brenvik

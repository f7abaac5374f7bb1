#pragma once

namespace brenvik {

// Results of the planners (TrapezoidPlanner, CubicPlanner) and of
// AllAxisesJointPlanCmd::planAllJoints. 0 is success.
namespace planner_result {
inline constexpr int kOk = 0;
// A boundary velocity of the trapezoid is above vmax.
inline constexpr int kOverVmax = -1;
// planAllJoints: the command holds no planner (same value as kOverVmax; the callers only print
// the code).
inline constexpr int kNoPlanners = -1;
// The distance is too short for the boundary velocities (a zero distance with zero boundary
// velocities is a valid profile of zero length).
inline constexpr int kTooClose = -2;
// An input would produce a value that is not finite: non-finite numbers, vmax or aa not positive,
// ad not negative, cubic times not strictly increasing, fewer than 2 cubic knots, mismatched
// vector lengths, or a planner count that differs from the axis count.
inline constexpr int kInvalidInput = -3;
// planAllJoints: an axis cannot be kept within its velocity and acceleration limits when the axes
// are synchronised, even with the common profile stretched.
inline constexpr int kLimitsExceeded = -4;
}  // namespace planner_result

// Kinds of command (AbstractCmdInterface::cmd_type).
namespace cmd_type {
inline constexpr int kJointTrajectory = 0;      // AllAxisesJointPlanCmd
inline constexpr int kCartesianTrajectory = 1;  // no class in this system
inline constexpr int kSetIo = 2;                // SetIoCmd
inline constexpr int kMotorIo = 3;              // MotorIoCmd
inline constexpr int kForceCtrl = 4;            // ForceCtrlCmd
}  // namespace cmd_type

// Progress and outcome of a command (AbstractCmdInterface::cmd_status).
namespace cmd_status {
inline constexpr int kSucceeded = 0;
inline constexpr int kQueued = 1;
inline constexpr int kExecuting = 2;
inline constexpr int kFailed = 3;   // time-out, collision, more than 20 s of trajectory time
inline constexpr int kStopped = 4;  // stop, motor write error, drives off, velocity limit, dropped

// True once a command has its outcome: succeeded, failed or stopped.
[[nodiscard]] constexpr bool isFinal(int status) {
  return status == kSucceeded || status == kFailed || status == kStopped;
}
}  // namespace cmd_status

// MotorIoCmd::motor_io_type.
namespace motor_io_type {
inline constexpr int kEnable = 0;  // enable or disable all drives
inline constexpr int kSetHome = 1;
}  // namespace motor_io_type

// Results of Interpolator::setCollisionSensitivity.
namespace interpolator_result {
inline constexpr int kOk = 0;
inline constexpr int kEmptyCommand = -1;
// recover: a stop is still decelerating the arm; nothing changed.
inline constexpr int kNotAtRest = -2;
}  // namespace interpolator_result

}  // namespace brenvik

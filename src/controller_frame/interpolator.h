#pragma once

#include <Eigen/Dense>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controller_frame/abstract_cmd_interface.h"
#include "controller_frame/joint_state_record.h"
#include "controller_frame/loop_clock.h"
#include "controller_frame/publish_robot_status_interface.h"
#include "controller_frame/setpoint_guard.h"
#include "robot_factory/robot.h"

namespace brenvik {

class AllAxisesJointPlanCmd;
class ForceCtrlCmd;
class MotorIoCmd;
class SetIoCmd;

// The state of the arm's motion, kept by the control thread (Interpolator::motionState).
//
//   kIdle          no current command, the setpoint held at rest.
//   kExecuting     a command is current: a trajectory moving, a device command under way, or a
//                  command with its outcome held for its issuer ("block ...").
//   kStopping      a controlled stop: every axis decelerates from its last commanded velocity at
//                  its emergency_stop_acc until at rest, computed from the commanded state.
//   kHolding       a stop is pending (requested at rest, or a stop or collision that stopped the
//                  moving arm): every command that arrives ends at once with cmd_status 4;
//                  recover() returns to kIdle.
//   kDragTeaching  idle with drag teaching, collision detection and the drives on: the admittance
//                  law moves the arm within max_joint_vel, max_joint_acc and the joint limits.
//   kFault         motor reads have failed for kReadFailurePeriods periods: nothing is commanded,
//                  commands are ended with cmd_status 4; back to kIdle once the reads succeed.
//
// Transitions, all made by the control thread:
//   kIdle -> kExecuting       the queue's front is taken (not before the pause after a success).
//   kIdle <-> kDragTeaching   the switches and the drives; leaving while the arm moves stops it.
//   kExecuting -> kIdle       the command ends (or its issuer releases it).
//   kExecuting, kDragTeaching -> kStopping
//                             an abort: requestStop (a stop or a cancel), a collision, the 20 s
//                             limit, measured or commanded velocity over its limit, a motor write
//                             error, a setpoint the SetpointGuard refuses, failing motor reads,
//                             requestShutdown. The commands queued behind the current one end
//                             with cmd_status 4: they were planned from where the arm never goes.
//   kStopping -> kIdle        at rest: the current command ends with cmd_status 4 (3 after the
//                             time limit) unless it already had an outcome; the queue is emptied.
//   kIdle -> kHolding         requestStop while nothing moves, or after the stop of a moving arm
//                             (not a cancel) or a collision: every command that arrives ends at
//                             once with cmd_status 4; kHolding -> kIdle on recover().
//   any -> kFault -> kIdle    reads failing, then succeeding again (the setpoint re-seeded).
// Drives reported off end a trajectory at once (cmd_status 4): the setpoint holds, and when the
// drives come back it is re-seeded from the measured positions, as after homing.
enum class MotionState : int {
  kIdle = 0,
  kExecuting = 1,
  kStopping = 2,
  kHolding = 3,
  kDragTeaching = 4,
  kFault = 5,
};

// The 5 ms control loop of the arm.
//
// Every period (update) it reads all motors, derives the joint-side state and the tool pose,
// publishes the registered status topics, estimates the joint torques, checks for collisions and
// advances the motion state (MotionState above) by one step. Every joint setpoint, whichever step
// produced it, passes the SetpointGuard before it is converted to the motor side and written.
// run() repeats update() on absolute 5 ms deadlines of a monotonic clock. Console lines of
// steady states are printed once per change, never every period.
//
// Threads: run()/update() and the control-thread-only operations run on the control thread.
// The queue operations, the requests (stop, recover, shut-down), the switches,
// getMotionStartPoint, getActualJointPositions and setCollisionSensitivity may be called from any
// thread (the command node's); each takes mutex_ briefly. setStatusPublisher and addStatusTopic
// belong to start-up, before run() starts. Vectors have N = axis_num entries; joint side in rad,
// rad/s, rad/s², joint torques.
class Interpolator {
 public:
  static constexpr double kPeriod = 0.005;              // s
  static constexpr double kTrajectoryTimeLimit = 20.0;  // s of command time
  static constexpr double kPauseAfterTrajectory = 0.5;  // s before the next command is taken
  static constexpr double kCtrlIoTimeout = 5.0;         // s
  static constexpr double kEnableTimeout = 3.0;         // s
  static constexpr double kForceCtrlDuration = 5.0;     // s
  static constexpr int kSetHomeValue = 3000;
  static constexpr std::chrono::microseconds kSetHomePause{300};
  static constexpr size_t kMaxSensitivityValues = 6;
  // Consecutive periods of failing motor reads that abort the motion and enter kFault.
  static constexpr int kReadFailurePeriods = 3;

  // Status-topic ids of addStatusTopic.
  enum StatusTopic : int {
    kActualJointState = 0,
    kLastJointState = 1,
    kRefJointState = 2,
    kLastRefJointState = 3,
    kMotorState = 4,
    kLastMotorState = 5,
    kRefMotorState = 6,
    kLastRefMotorState = 7,
    kDynamicTorqueEstimate = 8,
    kForceCtrlOutput = 9,
    kIsCollision = 10,
    kEnableFlag = 11,
    kTcpPose = 12,
    kCollisionData = 13,
    kUnnormalFlag = 14,
  };

  // clock: the loop's time base; null selects SteadyLoopClock. Throws std::invalid_argument when
  // robot, its kinematics_, dynamics_ or collision_detector_, or an axis motor is null, or when
  // axis_paras does not hold axis_num entries. Main thread.
  explicit Interpolator(std::shared_ptr<Robot> robot, std::shared_ptr<LoopClock> clock = nullptr);
  // Deletes every command still queued, current or waiting for its issuer. Only after run() has
  // returned.
  ~Interpolator();
  Interpolator(const Interpolator&) = delete;
  Interpolator& operator=(const Interpolator&) = delete;

  // ---- Start-up (main thread, before run) ----
  void setStatusPublisher(std::shared_ptr<PublishRobotStatusInterface> publisher);
  // Stores name under id (replacing an earlier name) and asks the publisher to create the
  // publisher of the id's kind (StatusTopic); ids outside 0..14 are stored but create nothing.
  void addStatusTopic(int id, const std::string& name);

  // ---- Command queue (any thread; each takes mutex_) ----
  // Appends at the back; the queue owns the command from now on.
  void addCmd(AbstractCmdInterface* command);
  // Takes a command that is still waiting in the queue back out of it, with cmd_status 4; the
  // caller owns it again. False (nothing changed) when it is the current command or not queued.
  [[nodiscard]] bool withdrawCmd(AbstractCmdInterface* command);
  // True when no command is queued (the one being executed counts as queued).
  [[nodiscard]] bool isCmdQueueEmpty();
  // The newest command, or null. The control thread may delete it as soon as the lock is
  // released: to plan from it, use getMotionStartPoint.
  [[nodiscard]] AbstractCmdInterface* getLastCmd();
  // Start point of a new joint move, read in one piece under mutex_: the goal of the newest
  // AllAxisesJointPlanCmd in the queue (unless that one was stopped or failed and is only held
  // for its issuer), else the commanded joint positions (the setpoint as of
  // the last period; the measured positions before the first reading). N values, rad.
  [[nodiscard]] std::vector<double> getMotionStartPoint();
  // The measured joint positions of the last period (N values, rad).
  [[nodiscard]] std::vector<double> getActualJointPositions();
  // Control thread only: removes the current command from the queue front, deletes it, and
  // returns the loop to kIdle.
  void finishCurrentCmd();

  // ---- Requests and switches (any thread) ----
  // A controlled stop of the current motion and of the commands queued behind it. hold_next (the
  // stop topic): once the arm is at rest the loop holds (kHolding), so the next command is stopped
  // too, until recover(); false (a cancel) ends only what is moving and queued. While nothing
  // moves, the next command is stopped (kHolding).
  void requestStop(bool hold_next = true);
  // Clears a stop once the arm is at rest. interpolator_result::kOk, or kNotAtRest while a stop
  // is decelerating or requested and not yet begun (nothing changed: ask again later).
  [[nodiscard]] int recover();
  // Shut-down: a controlled stop of any motion; every command, current or queued, ends with
  // cmd_status 4 and no new command runs. shutdownComplete() turns true once the arm is at rest.
  void requestShutdown();
  bool shutdownComplete() const { return shutdown_complete_.load(); }
  // The longest controlled stop from max_joint_vel (s): max over the axes of
  // max_joint_vel / emergency_stop_acc, plus one period.
  double longestStopTime() const { return longest_stop_time_; }
  void setCollisionEnable(bool enable);
  void setDragTeachingEnable(bool enable);
  // Hands a collision sensitivity command (its first value selects the kind) to the control
  // thread, which applies it to the robot's collision detector at its next collision step. Keeps
  // at most the first kMaxSensitivityValues values; a newer command replaces one not yet applied.
  // interpolator_result::kOk, or kEmptyCommand (refused with a message).
  [[nodiscard]] int setCollisionSensitivity(const std::vector<double>& command);
  MotionState motionState() const { return state_.load(); }
  // 1 while a stop is requested, under way or pending (kStopping, kHolding), else 0.
  int stopFlag() const;
  // 1 while no command is current, else 0.
  int idleFlag() const { return idle_flag_.load(); }
  bool collisionEnable() const { return collision_enable_.load(); }
  bool dragTeachingEnable() const { return drag_teaching_enable_.load(); }
  // Guards the queue, the switches' writes and the measured-state update.
  std::mutex& mutex() { return mutex_; }

  // ---- The loop (control thread) ----
  // One period's work at current_time (s since loop start); everything but the wait.
  void update(double current_time);
  // update() every kPeriod on absolute deadlines of the clock until requestExit(). A period whose
  // work ends after its deadline is counted (overrunCount) with one console line, and the next
  // period starts at once; later periods stay on the 5 ms grid.
  void run();
  // Any thread: run() returns after the period under way.
  void requestExit() { exit_requested_.store(true); }
  // Any thread: periods whose work overran their deadline since construction.
  std::uint64_t overrunCount() const { return overrun_count_.load(); }

  // ---- Control-thread views (control thread, or any thread while run() is not running) ----
  std::shared_ptr<Robot> robot() const { return robot_; }
  const JointStateRecord& actualJointState() const { return actual_joint_state_; }
  const JointStateRecord& lastJointState() const { return last_joint_state_; }
  const JointStateRecord& refJointState() const { return ref_joint_state_; }
  const JointStateRecord& lastRefJointState() const { return last_ref_joint_state_; }
  const JointStateRecord& motorState() const { return motor_state_; }
  const JointStateRecord& refMotorState() const { return ref_motor_state_; }
  const std::vector<double>& dynamicTorqueEstimate() const { return dynamic_torque_estimate_; }
  const std::vector<double>& collisionData() const { return collision_data_; }
  const std::vector<double>& forceCtrlOutput() const { return force_ctrl_output_; }
  // Per-axis deceleration of the stop under way (rad/s², signed); DBL_MAX when none is.
  const std::vector<double>& stopAcc() const { return stop_acc_; }
  const SetpointGuard& setpointGuard() const { return guard_; }
  const Eigen::Matrix4d& tcpPose() const { return tcp_pose_; }
  bool isCollision() const { return is_collision_; }
  bool enableFlag() const { return enable_flag_; }
  bool unnormalFlag() const { return unnormal_flag_; }
  double currentTime() const { return current_time_; }
  double cmdTime() const { return cmd_time_; }
  const AbstractCmdInterface* currentCmd() const { return current_cmd_; }
  // Dropped blocking commands waiting for their issuers to let go.
  size_t releasedLaterCount() const { return released_later_.size(); }

 private:
  // What became of a setpoint handed to the motors.
  enum class Written { kYes, kRefused, kWriteFailed };

  // Step 2 with mutex_ held: reads all motors into the state records. False on a read failure
  // (read_failure_axis_ names the axis).
  bool updateMeasuredState();
  // Reads one quantity of every axis into out (N values). False on a device error or a value
  // that is not finite.
  bool readAxes(int (CtrlMotorInterface::*read)(double&), const char* name,
                std::vector<double>& out);
  void onReadResult(bool measured);
  void publishStatus();
  void applyPendingSensitivity();
  void collisionStep();
  void handleRequests();
  // The commanded state becomes the measured one (drives back on, homed, reads back).
  void reseed();
  void motionStep(bool measured);
  // kIdle / kDragTeaching: drag teaching, or the next command. True when a command was taken.
  bool idleStep(bool measured);
  void dragTeachingStep();
  // setpoint_ through the guard, to the motor side and to the motors. A refusal is logged once.
  Written commandSetpoint();
  // Starts the controlled stop; status is what the current command gets once the arm is at
  // rest. drop_queue: the commands queued behind the current one end (not so when drag teaching
  // merely ends). The first stop period runs at once unless this period already commanded.
  // reason: why, for the command's outcome_reason (a fixed text), or null.
  void abortMotion(int status, bool drop_queue, const char* reason);
  void stopStep();
  void endStop();
  void trajectoryStep(bool measured);
  // The first period of a move: its first sample against the commanded setpoint. False when it
  // was refused (the command has its outcome).
  bool startMove();
  // 1 all planners reached their end, 0 under way, -1 nothing to sample. Fills setpoint_,
  // motion_start_ and motion_goal_.
  int calAllJointsPostion();
  void ctrlIoStep(SetIoCmd* command);
  void motorIoStep(MotorIoCmd* command);
  void forceCtrlStep(ForceCtrlCmd* command);
  // A command that reached its outcome: held for its issuer ("block ...", once) or finished.
  void finishOrHold();
  // Deletes the dropped blocking commands whose issuers have let go.
  void sweepReleasedCommands();
  // Every queued command but the current one ends with cmd_status 4 (mutex_ taken inside).
  void dropQueued();
  // A queued command that will never run: deleted, or kept until its issuer lets go.
  void dropCommand(AbstractCmdInterface* command);
  void setState(MotionState state);

  std::shared_ptr<Robot> robot_;
  std::shared_ptr<LoopClock> clock_;
  std::deque<AbstractCmdInterface*> cmd_queue_;
  std::shared_ptr<PublishRobotStatusInterface> status_publisher_;
  std::map<int, std::string> status_topics_;
  int axis_num_;
  std::mutex mutex_;
  bool is_collision_ = false;
  double period_ = kPeriod;
  std::atomic<int> idle_flag_{1};
  std::atomic<MotionState> state_{MotionState::kIdle};
  std::atomic<bool> stop_requested_{false};
  std::atomic<bool> recover_requested_{false};
  std::atomic<bool> shutdown_requested_{false};
  std::atomic<bool> shutdown_complete_{false};
  bool shutting_down_ = false;
  std::atomic<bool> drag_teaching_enable_{true};
  double current_time_ = 0.0;
  bool enable_flag_ = false;
  bool unnormal_flag_ = false;
  double start_time_ = 0.0;                // monotonic clock at loop start (s)
  JointStateRecord ref_motor_state_;       // reference converted to the motor side
  JointStateRecord last_ref_motor_state_;  // kept at zero (status topic 7)
  JointStateRecord motor_state_;           // motor readings of this period
  JointStateRecord last_motor_state_;      // kept at zero (status topic 5)
  JointStateRecord ref_joint_state_;
  JointStateRecord last_ref_joint_state_;
  JointStateRecord actual_joint_state_;
  JointStateRecord last_joint_state_;
  std::vector<double> dynamic_torque_estimate_;
  std::vector<double> force_ctrl_offset_;
  std::vector<double> force_ctrl_output_;
  bool force_ctrl_flag_ = false;
  Eigen::Matrix4d tcp_pose_ = Eigen::Matrix4d::Identity();
  std::vector<double> collision_data_;
  std::vector<double> stop_acc_;  // entries above DBL_MAX / 2: not computed yet
  AbstractCmdInterface* current_cmd_ = nullptr;
  double cmd_time_ = 0.0;
  std::atomic<bool> collision_enable_{false};

  SetpointGuard guard_;
  // The joint setpoint of this period, filled by the step that commands the arm.
  std::vector<double> setpoint_;
  // guard_'s positions as of the last period, for readers on other threads (under mutex_).
  std::vector<double> commanded_positions_;
  bool wrote_this_period_ = false;
  // The commanded state is re-seeded from the measured one at the next chance: at the first
  // reading, after the drives were off, after homing.
  bool needs_reseed_ = true;
  // What the current command gets once the stop under way has brought the arm to rest.
  int stop_status_ = cmd_status::kStopped;
  bool stop_drops_queue_ = true;
  bool move_started_ = false;
  // Consecutive periods with a failing read, the axis and the loop time of the first.
  int read_failures_ = 0;
  int read_failure_axis_ = -1;
  int reported_read_failure_axis_ = -1;
  double read_failure_since_ = 0.0;
  // Once-per-change console lines.
  bool held_reported_ = false;
  bool io_wait_reported_ = false;
  bool guard_refusal_reported_ = false;
  bool write_error_reported_ = false;
  int enable_error_axis_ = -1;  // the axis whose getEnableStatus failed last period, or -1
  std::vector<char> axis_outside_goal_;
  double longest_stop_time_ = 0.0;

  // No command is taken before this loop time (s): the pause after a successful trajectory.
  double next_command_time_ = 0.0;
  std::vector<double> motion_start_;
  std::vector<double> motion_goal_;
  // Collision sensitivity hand-over: pending slot written under mutex_, applied by the control
  // thread.
  std::array<double, kMaxSensitivityValues> pending_sensitivity_{};
  size_t pending_sensitivity_size_ = 0;
  bool sensitivity_pending_ = false;
  std::vector<double> sensitivity_command_;
  // Commands taken off the queue (filled under mutex_, handled after it).
  std::vector<AbstractCmdInterface*> dropped_cmds_;
  // Dropped blocking commands, deleted once their issuers clear is_block.
  std::vector<AbstractCmdInterface*> released_later_;

  // Why the pending stop was requested (a fixed text), and why the stop under way began.
  static constexpr const char* kStopRequested = "A stop was requested.";
  static constexpr const char* kCollisionStop = "The arm get collision.";
  std::atomic<const char*> stop_source_{kStopRequested};
  std::atomic<bool> hold_after_stop_{false};  // the pending stop holds the loop once at rest
  const char* stop_reason_ = nullptr;
  const char* drop_reason_ = nullptr;  // why dropQueued ends the commands, when not an abort
  // A collision seen while the arm was dragged by hand: the next command is stopped.
  bool collision_while_dragging_ = false;
  std::atomic<bool> exit_requested_{false};
  std::atomic<std::uint64_t> overrun_count_{0};
};

}  // namespace brenvik

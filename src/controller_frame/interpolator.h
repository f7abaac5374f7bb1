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
#include "robot_factory/robot.h"

namespace brenvik {

class AllAxisesJointPlanCmd;
class ForceCtrlCmd;
class MotorIoCmd;
class SetIoCmd;

// The 5 ms control loop of the arm.
//
// Every period (update) it reads all motors, derives the joint-side state and the tool pose,
// publishes the registered status topics, estimates the joint torques, checks for collisions and
// advances the current command by one step: a joint trajectory, a control-IO command, enabling /
// disabling / homing the drives, force control, or a controlled stop. While idle it may move the
// arm by drag teaching. run() repeats update() on absolute 5 ms deadlines of a monotonic clock.
//
// Threads: run()/update() and the control-thread-only operations run on the control thread.
// The queue operations, the switches, getMotionStartPoint, getActualJointPositions and
// setCollisionSensitivity may be called from any thread (the command node's); each takes mutex_.
// setStatusPublisher and addStatusTopic belong to start-up, before run() starts.
// Vectors have N = axis_num entries; joint side in rad, rad/s, rad/s², joint torques.
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
  // AllAxisesJointPlanCmd in the queue, else the measured joint positions (N values, rad).
  [[nodiscard]] std::vector<double> getMotionStartPoint();
  // The measured joint positions of the last period (N values, rad).
  [[nodiscard]] std::vector<double> getActualJointPositions();
  // Control thread only: marks the loop idle, resets the command time, removes the current
  // command from the queue front and deletes it.
  void finishCurrentCmd();

  // ---- Switches (any thread; each write takes mutex_) ----
  void requestStop();  // stop_flag_ = 1: controlled stop of the current (or next) command
  void clearStop();    // stop_flag_ = 0 (recover)
  void setCollisionEnable(bool enable);
  void setDragTeachingEnable(bool enable);
  // Hands a collision sensitivity command (its first value selects the kind) to the control
  // thread, which applies it to the robot's collision detector at its next collision step. Keeps
  // at most the first kMaxSensitivityValues values; a newer command replaces one not yet applied.
  // interpolator_result::kOk, or kEmptyCommand (refused with a message).
  [[nodiscard]] int setCollisionSensitivity(const std::vector<double>& command);
  int stopFlag() const { return stop_flag_.load(); }
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
  const std::vector<double>& stopAcc() const { return stop_acc_; }
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
  // Step 2 with mutex_ held: reads all motors into the state records. False on a read failure.
  bool updateMeasuredState();
  // Reads one quantity of every axis into out (N values). False, with the axis's line, on a device
  // error or a value that is not finite.
  bool readAxes(int (CtrlMotorInterface::*read)(double&), const char* name,
                std::vector<double>& out);
  void publishStatus();
  void applyPendingSensitivity();
  void collisionStep();
  void dragTeachingStep();  // mutex_ held
  void stopStep();
  void trajectoryStep();
  // 1 all planners reached their end, 0 under way, -1 nothing to sample. Fills
  // ref_joint_state_.positions, motion_start_ and motion_goal_.
  int calAllJointsPostion();
  void ctrlIoStep(SetIoCmd* command);
  void motorIoStep(MotorIoCmd* command);
  void forceCtrlStep(ForceCtrlCmd* command);
  // A command that reached its outcome: held for its issuer ("block ...") or finished.
  void finishOrHold();
  // Deletes the dropped blocking commands whose issuers have let go.
  void sweepReleasedCommands();
  // A queued command that will never run: deleted, or kept until its issuer lets go.
  void dropCommand(AbstractCmdInterface* command);

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
  std::atomic<int> stop_flag_{0};
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

  // The reference is taken from the measured state in the first successful period, so that an
  // axis the loop has never commanded holds where it is.
  bool reference_seeded_ = false;
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
  // Commands a completed stop took off the queue (filled under mutex_, handled after it).
  std::vector<AbstractCmdInterface*> dropped_cmds_;
  // Dropped blocking commands, deleted once their issuers clear is_block.
  std::vector<AbstractCmdInterface*> released_later_;

  std::atomic<bool> exit_requested_{false};
  std::atomic<std::uint64_t> overrun_count_{0};
};

}  // namespace brenvik

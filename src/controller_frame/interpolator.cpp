#include "controller_frame/interpolator.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "common/logger.h"
#include "controller_frame/all_axises_joint_plan_cmd.h"
#include "controller_frame/force_ctrl_cmd.h"
#include "controller_frame/motor_io_cmd.h"
#include "controller_frame/set_io_cmd.h"
#include "controller_frame/steady_loop_clock.h"

namespace brenvik {
namespace {

// Why a setpoint did not reach the motors, in the console's words.
const char* writeFailureReason(bool refused) {
  return refused ? "A setpoint was refused: it broke a joint, velocity or acceleration limit."
                 : "The MOTOR write error.";
}

constexpr double kNotComputed = DBL_MAX;
// Command times are sums of kPeriod; compare loop times with a margin far below one period.
constexpr double kTimeEpsilon = 1e-9;
// A commanded velocity this small (rad/s) is rest: the backward differences carry rounding.
constexpr double kRestVelocity = 1e-9;
// Values kept in preallocated buffers whose size the models decide.
constexpr size_t kModelVectorCapacity = 64;
constexpr size_t kDroppedCapacity = 64;

// DBL_MAX (or anything not finite) in a per-joint model result marks a joint without a value.
bool isMarked(double value) { return !std::isfinite(value) || std::fabs(value) > DBL_MAX / 2.0; }

void sizeRecord(JointStateRecord& record, int n) {
  record.positions.assign(n, 0.0);
  record.velocities.assign(n, 0.0);
  record.accelerations.assign(n, 0.0);
  record.efforts.assign(n, 0.0);
}

// The deceleration of an axis in a controlled stop (rad/s²): its emergency_stop_acc, or, when that
// is not usable (0, negative, not a number), its max_joint_acc, so that every stop ends.
double stopDeceleration(const AxisPara& axis) {
  if (axis.emergency_stop_acc > 0.0 && std::isfinite(axis.emergency_stop_acc)) {
    return axis.emergency_stop_acc;
  }
  if (axis.max_joint_acc > 0.0 && std::isfinite(axis.max_joint_acc)) {
    return axis.max_joint_acc;
  }
  return 0.0;
}

std::shared_ptr<Robot> checkedRobot(std::shared_ptr<Robot> robot) {
  if (!robot) {
    throw std::invalid_argument("Interpolator: robot is null");
  }
  if (!robot->kinematics_) {
    throw std::invalid_argument("Interpolator: robot kinematics_ is null");
  }
  if (!robot->dynamics_) {
    throw std::invalid_argument("Interpolator: robot dynamics_ is null");
  }
  if (!robot->collision_detector_) {
    throw std::invalid_argument("Interpolator: robot collision_detector_ is null");
  }
  const RobotPara& para = robot->robot_para_;
  if (para.axis_num <= 0 || static_cast<int>(para.axis_paras.size()) != para.axis_num) {
    throw std::invalid_argument("Interpolator: robot axis_paras does not hold axis_num axes");
  }
  for (size_t i = 0; i < para.axis_paras.size(); ++i) {
    if (!para.axis_paras[i].motor) {
      throw std::invalid_argument("Interpolator: motor of axis " + std::to_string(i + 1) +
                                  " is null");
    }
  }
  return robot;
}

}  // namespace

Interpolator::Interpolator(std::shared_ptr<Robot> robot, std::shared_ptr<LoopClock> clock)
    : robot_(checkedRobot(std::move(robot))),
      clock_(clock ? std::move(clock) : std::make_shared<SteadyLoopClock>()),
      axis_num_(robot_->robot_para_.axis_num),
      guard_(robot_->robot_para_, kPeriod) {
  const int n = axis_num_;
  for (JointStateRecord* record :
       {&ref_motor_state_, &last_ref_motor_state_, &motor_state_, &last_motor_state_,
        &ref_joint_state_, &last_ref_joint_state_, &actual_joint_state_, &last_joint_state_}) {
    sizeRecord(*record, n);
  }
  dynamic_torque_estimate_.reserve(std::max<size_t>(n, kModelVectorCapacity));
  dynamic_torque_estimate_.assign(n, 0.0);
  force_ctrl_offset_.assign(n, 0.0);
  force_ctrl_output_.reserve(std::max<size_t>(n, kModelVectorCapacity));
  force_ctrl_output_.assign(n, 0.0);
  collision_data_.reserve(4 * kModelVectorCapacity);
  stop_acc_.assign(n, kNotComputed);
  motion_start_.assign(n, 0.0);
  motion_goal_.assign(n, 0.0);
  sensitivity_command_.reserve(kMaxSensitivityValues);
  dropped_cmds_.reserve(kDroppedCapacity);
  released_later_.reserve(kDroppedCapacity);
  setpoint_.assign(n, 0.0);
  commanded_positions_.assign(n, 0.0);
  axis_outside_goal_.assign(n, 0);
  for (const AxisPara& axis : robot_->robot_para_.axis_paras) {
    const double acc = stopDeceleration(axis);
    if (acc > 0.0) {
      longest_stop_time_ = std::max(longest_stop_time_, axis.max_joint_vel / acc);
    }
  }
  longest_stop_time_ += period_;
  Logger::instance()->info("Creat objective interpolator.\n");
}

Interpolator::~Interpolator() {
  for (AbstractCmdInterface* command : cmd_queue_) {
    delete command;
  }
  cmd_queue_.clear();
  current_cmd_ = nullptr;
  for (AbstractCmdInterface* command : released_later_) {
    delete command;
  }
  released_later_.clear();
}

void Interpolator::setStatusPublisher(std::shared_ptr<PublishRobotStatusInterface> publisher) {
  status_publisher_ = std::move(publisher);
}

void Interpolator::addStatusTopic(int id, const std::string& name) {
  status_topics_[id] = name;
  if (!status_publisher_) {
    return;
  }
  PublishRobotStatusInterface& p = *status_publisher_;
  switch (id) {
    case kActualJointState:
      p.createJointStatePublisher(name, &actual_joint_state_);
      break;
    case kLastJointState:
      p.createJointStatePublisher(name, &last_joint_state_);
      break;
    case kRefJointState:
      p.createJointStatePublisher(name, &ref_joint_state_);
      break;
    case kLastRefJointState:
      p.createJointStatePublisher(name, &last_ref_joint_state_);
      break;
    case kMotorState:
      p.createJointStatePublisher(name, &motor_state_);
      break;
    case kLastMotorState:
      p.createJointStatePublisher(name, &last_motor_state_);
      break;
    case kRefMotorState:
      p.createJointStatePublisher(name, &ref_motor_state_);
      break;
    case kLastRefMotorState:
      p.createJointStatePublisher(name, &last_ref_motor_state_);
      break;
    case kDynamicTorqueEstimate:
      p.createFloat64MultiArrayPublisher(name, &dynamic_torque_estimate_);
      break;
    case kForceCtrlOutput:
      p.createFloat64MultiArrayPublisher(name, &force_ctrl_output_);
      break;
    case kIsCollision:
      p.createBoolPublisher(name, &is_collision_);
      break;
    case kEnableFlag:
      p.createBoolPublisher(name, &enable_flag_);
      break;
    case kTcpPose:
      p.createPosePublisher(name, &tcp_pose_);
      break;
    case kCollisionData:
      p.createFloat64MultiArrayPublisher(name, &collision_data_);
      break;
    case kUnnormalFlag:
      p.createBoolPublisher(name, &unnormal_flag_);
      break;
    default:
      break;
  }
}

void Interpolator::publishStatus() {
  if (!status_publisher_) {
    return;
  }
  PublishRobotStatusInterface& p = *status_publisher_;
  for (const auto& [id, name] : status_topics_) {
    switch (id) {
      case kActualJointState:
        p.publishJointState(name, actual_joint_state_);
        break;
      case kLastJointState:
        p.publishJointState(name, last_joint_state_);
        break;
      case kRefJointState:
        p.publishJointState(name, ref_joint_state_);
        break;
      case kLastRefJointState:
        p.publishJointState(name, last_ref_joint_state_);
        break;
      case kMotorState:
        p.publishJointState(name, motor_state_);
        break;
      case kLastMotorState:
        p.publishJointState(name, last_motor_state_);
        break;
      case kRefMotorState:
        p.publishJointState(name, ref_motor_state_);
        break;
      case kLastRefMotorState:
        p.publishJointState(name, last_ref_motor_state_);
        break;
      case kDynamicTorqueEstimate:
        p.publishFloat64MultiArray(name, dynamic_torque_estimate_);
        break;
      case kForceCtrlOutput:
        p.publishFloat64MultiArray(name, force_ctrl_output_);
        break;
      case kIsCollision:
        p.publishBool(name, is_collision_);
        break;
      case kEnableFlag:
        p.publishBool(name, enable_flag_);
        break;
      case kTcpPose:
        p.publishPose(name, tcp_pose_);
        break;
      case kCollisionData:
        p.publishFloat64MultiArray(name, collision_data_);
        break;
      case kUnnormalFlag:
        p.publishBool(name, unnormal_flag_);
        break;
      default:
        break;
    }
  }
}

void Interpolator::addCmd(AbstractCmdInterface* command) {
  if (command == nullptr) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  cmd_queue_.push_back(command);
}

bool Interpolator::withdrawCmd(AbstractCmdInterface* command) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (command == nullptr || command == current_cmd_) {
    return false;
  }
  const auto it = std::find(cmd_queue_.begin(), cmd_queue_.end(), command);
  if (it == cmd_queue_.end()) {
    return false;
  }
  cmd_queue_.erase(it);
  command->cmd_status = cmd_status::kStopped;
  return true;
}

bool Interpolator::isCmdQueueEmpty() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cmd_queue_.empty();
}

AbstractCmdInterface* Interpolator::getLastCmd() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cmd_queue_.empty() ? nullptr : cmd_queue_.back();
}

std::vector<double> Interpolator::getMotionStartPoint() {
  std::vector<double> start(axis_num_, 0.0);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = cmd_queue_.rbegin(); it != cmd_queue_.rend(); ++it) {
    const auto* move = dynamic_cast<const AllAxisesJointPlanCmd*>(*it);
    if (move == nullptr) {
      continue;
    }
    const int status = move->cmd_status.load();
    if (status == cmd_status::kFailed || status == cmd_status::kStopped) {
      // A move held for its issuer after it was stopped never reached its goal: the arm rests
      // at the setpoint.
      break;
    }
    for (int i = 0; i < axis_num_; ++i) {
      double first = 0.0;
      double goal = 0.0;
      const bool has_goal = i < static_cast<int>(move->traj_interface_ptrs_.size()) &&
                            move->traj_interface_ptrs_[i] &&
                            move->traj_interface_ptrs_[i]->getStartAndGoal(&first, &goal) == 0;
      start[i] = has_goal ? goal : commanded_positions_[i];
    }
    return start;
  }
  start = commanded_positions_;
  return start;
}

std::vector<double> Interpolator::getActualJointPositions() {
  std::lock_guard<std::mutex> lock(mutex_);
  return actual_joint_state_.positions;
}

void Interpolator::finishCurrentCmd() {
  cmd_time_ = 0.0;
  AbstractCmdInterface* done = current_cmd_;
  current_cmd_ = nullptr;
  {
    // Off the queue before it is deleted: readers of the queue under the lock never see it freed.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!cmd_queue_.empty() && cmd_queue_.front() == done) {
      cmd_queue_.pop_front();
    }
  }
  delete done;
  idle_flag_.store(1);
  setState(read_failures_ >= kReadFailurePeriods ? MotionState::kFault : MotionState::kIdle);
}

void Interpolator::setState(MotionState state) { state_.store(state); }

int Interpolator::stopFlag() const {
  const MotionState state = state_.load();
  return (stop_requested_.load() || state == MotionState::kStopping ||
          state == MotionState::kHolding)
             ? 1
             : 0;
}

void Interpolator::requestStop(bool hold_next) {
  std::lock_guard<std::mutex> lock(mutex_);
  recover_requested_.store(false);
  stop_source_.store(kStopRequested);
  if (hold_next) hold_after_stop_.store(true);
  stop_requested_.store(true);
}

int Interpolator::recover() {
  std::lock_guard<std::mutex> lock(mutex_);
  const MotionState state = state_.load();
  // A stop requested but not yet begun is not lost to a recover sent right after it.
  const bool stop_pending = stop_requested_.load() && (state == MotionState::kExecuting ||
                                                       state == MotionState::kDragTeaching);
  if (state == MotionState::kStopping || stop_pending) {
    return interpolator_result::kNotAtRest;
  }
  stop_requested_.store(false);
  recover_requested_.store(true);
  return interpolator_result::kOk;
}

void Interpolator::requestShutdown() {
  std::lock_guard<std::mutex> lock(mutex_);
  shutdown_requested_.store(true);
}

void Interpolator::setCollisionEnable(bool enable) {
  std::lock_guard<std::mutex> lock(mutex_);
  collision_enable_.store(enable);
}

void Interpolator::setDragTeachingEnable(bool enable) {
  std::lock_guard<std::mutex> lock(mutex_);
  drag_teaching_enable_.store(enable);
}

int Interpolator::setCollisionSensitivity(const std::vector<double>& command) {
  if (command.empty()) {
    Logger::instance()->print("The collision sensitivity command is empty, it is ignored.\n");
    return interpolator_result::kEmptyCommand;
  }
  const size_t n = std::min(command.size(), kMaxSensitivityValues);
  std::lock_guard<std::mutex> lock(mutex_);
  std::copy(command.begin(), command.begin() + static_cast<std::ptrdiff_t>(n),
            pending_sensitivity_.begin());
  pending_sensitivity_size_ = n;
  sensitivity_pending_ = true;
  return interpolator_result::kOk;
}

void Interpolator::applyPendingSensitivity() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!sensitivity_pending_) {
      return;
    }
    sensitivity_command_.assign(
        pending_sensitivity_.begin(),
        pending_sensitivity_.begin() + static_cast<std::ptrdiff_t>(pending_sensitivity_size_));
    sensitivity_pending_ = false;
  }
  robot_->collision_detector_->setCollisionSensitivity(sensitivity_command_);
}

bool Interpolator::readAxes(int (CtrlMotorInterface::*read)(double&), const char* name,
                            std::vector<double>& out) {
  const std::vector<AxisPara>& axes = robot_->robot_para_.axis_paras;
  for (int i = 0; i < axis_num_; ++i) {
    double value = 0.0;
    const int code = ((*axes[i].motor).*read)(value);
    // A reading that is not a number would poison the filters and the reference for good.
    if (code != 0 || !std::isfinite(value)) {
      // Reported once per failing axis (onReadResult), not every period.
      if (read_failure_axis_ != i) {
        if (code != 0) {
          Logger::instance()->print("%d (start from 1) axis %s error! error code=<%d>\n", i + 1,
                                    name, code);
        } else {
          Logger::instance()->print(
              "%d (start from 1) axis %s returned a value that is not finite\n", i + 1, name);
        }
      }
      read_failure_axis_ = i;
      return false;
    }
    out[i] = value;
  }
  return true;
}

bool Interpolator::updateMeasuredState() {
  const std::vector<AxisPara>& axes = robot_->robot_para_.axis_paras;
  const int n = axis_num_;

  enable_flag_ = true;
  int enable_error_axis = -1;
  for (int i = 0; i < n; ++i) {
    bool enabled = false;
    const int code = axes[i].motor->getEnableStatus(enabled);
    if (code != 0) {
      // Once per failing axis, not every period.
      if (i != enable_error_axis_) {
        Logger::instance()->print("The <%d> axis return error_code=<%d> when getEnableStatus.\n",
                                  i + 1, code);
      }
      enable_error_axis = i;
      enable_flag_ = false;
      break;
    }
    if (!enabled) {
      enable_flag_ = false;
    }
  }

  enable_error_axis_ = enable_error_axis;
  tcp_pose_.setIdentity();
  if (!readAxes(&CtrlMotorInterface::getMotorPosition, "getMotorPosition",
                motor_state_.positions)) {
    return false;
  }
  robot_->motorPosToJointPos(motor_state_.positions, actual_joint_state_.positions);
  if (!readAxes(&CtrlMotorInterface::getVelocity, "getVelocity", motor_state_.velocities)) {
    return false;
  }
  robot_->motorPosToJointPos(motor_state_.velocities, actual_joint_state_.velocities);
  for (int i = 0; i < n; ++i) {
    actual_joint_state_.accelerations[i] =
        (actual_joint_state_.velocities[i] - last_joint_state_.velocities[i]) / period_;
  }
  if (!readAxes(&CtrlMotorInterface::getTorque, "getTorque", motor_state_.efforts)) {
    return false;
  }

  last_joint_state_.positions = actual_joint_state_.positions;
  last_joint_state_.velocities = actual_joint_state_.velocities;
  last_joint_state_.accelerations = actual_joint_state_.accelerations;
  last_joint_state_.efforts = actual_joint_state_.efforts;

  robot_->motorTorqueToJointTorque(motor_state_.efforts, actual_joint_state_.efforts);
  tcp_pose_ = robot_->kinematics_->forwardKinematics(actual_joint_state_.positions);
  // Moves are planned from the commanded position; before there is one (or while the drives are
  // off and it is stale), from the measured one.
  commanded_positions_ =
      (guard_.seeded() && !needs_reseed_) ? guard_.positions() : actual_joint_state_.positions;
  return true;
}

void Interpolator::onReadResult(bool measured) {
  if (measured) {
    if (read_failures_ >= kReadFailurePeriods) {
      Logger::instance()->info("The motor reads succeed again.\n");
      // Where the arm went meanwhile is only known now.
      needs_reseed_ = true;
    }
    read_failures_ = 0;
    read_failure_axis_ = -1;
    reported_read_failure_axis_ = -1;
    return;
  }
  if (read_failures_ == 0) {
    read_failure_since_ = current_time_;
  }
  ++read_failures_;
  if (read_failures_ < kReadFailurePeriods || read_failure_axis_ == reported_read_failure_axis_) {
    return;
  }
  reported_read_failure_axis_ = read_failure_axis_;
  LOG_STATUS(RobotStatus::FATAL, error_code::kPeriodUpdate,
             "peroid update status error! The reads of axis %d have failed for %.3f s.\n",
             read_failure_axis_ + 1, current_time_ - read_failure_since_ + period_);
  const MotionState state = state_.load();
  if (state == MotionState::kExecuting || state == MotionState::kDragTeaching) {
    abortMotion(cmd_status::kStopped, true, "The motor reads failed: peroid update status error!");
  } else if (state != MotionState::kStopping) {
    dropQueued();
    setState(MotionState::kFault);
  }
}

void Interpolator::collisionStep() {
  applyPendingSensitivity();
  if (!collision_enable_.load()) {
    // Without detection there is no knowledge of a collision: a stale flag would fail every move.
    if (is_collision_) {
      std::lock_guard<std::mutex> lock(mutex_);
      is_collision_ = false;
    }
    return;
  }
  const int r = robot_->collision_detector_->detectCollision(
      dynamic_torque_estimate_, actual_joint_state_.efforts, actual_joint_state_.positions,
      actual_joint_state_.velocities, actual_joint_state_.accelerations, current_time_);
  collision_data_ = robot_->collision_detector_->getCollisionData();
  bool onset = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    onset = r == 1 && !is_collision_;
    is_collision_ = r == 1;
  }
  // Logged outside mutex_: the logger may take its time.
  if (onset) {
    LOG_STATUS(RobotStatus::ERROR, error_code::kCollision, "The arm get collision.\n");
  } else if (r != 1) {
    // An empty record every quiet period lets a recover lower the status.
    LOG_STATUS(RobotStatus::WARN, error_code::kNoCollision, "");
  }
  if (r == 1) {
    // While the arm is guided by hand the push is what moves it: drag teaching goes on, and, as
    // after a collision at rest, the command that follows it is stopped.
    if (state_.load() == MotionState::kDragTeaching) {
      collision_while_dragging_ = true;
    } else {
      stop_source_.store(kCollisionStop);
      hold_after_stop_.store(true);
      stop_requested_.store(true);
    }
  }
}

void Interpolator::handleRequests() {
  if (shutdown_requested_.load() && !shutting_down_) {
    shutting_down_ = true;
    Logger::instance()->info("Shut-down: the arm is stopped and every command ended.\n");
  }
  if (recover_requested_.exchange(false) && state_.load() == MotionState::kHolding) {
    setState(MotionState::kIdle);
  }
  const bool stop = stop_requested_.load() || shutting_down_;
  if (!stop) {
    return;
  }
  const MotionState state = state_.load();
  if (state == MotionState::kExecuting && current_cmd_ != nullptr &&
      cmd_status::isFinal(current_cmd_->cmd_status.load())) {
    // Nothing moves: the command already has its outcome and waits for its issuer. The stop
    // stays pending: once the loop is idle it holds, and the next command is stopped.
    if (shutting_down_) {
      dropQueued();
    }
    return;
  }
  if (state == MotionState::kExecuting || state == MotionState::kDragTeaching) {
    // A stop (not a cancel) stays pending once the arm is at rest: the next command is stopped
    // too, until a recover.
    stop_requested_.store(hold_after_stop_.exchange(false) && !shutting_down_);
    abortMotion(cmd_status::kStopped, true,
                shutting_down_ ? "The controller shut down." : stop_source_.load());
  } else if (state == MotionState::kIdle && !shutting_down_) {
    stop_requested_.store(false);
    hold_after_stop_.store(false);
    setState(MotionState::kHolding);
  } else if (state != MotionState::kStopping) {
    stop_requested_.store(false);
  }
  if (shutting_down_ && state_.load() != MotionState::kStopping) {
    dropQueued();
  }
}

void Interpolator::reseed() {
  guard_.reset(actual_joint_state_.positions);
  robot_->seedMotorPositions(motor_state_.positions);
  std::fill(ref_joint_state_.velocities.begin(), ref_joint_state_.velocities.end(), 0.0);
  std::fill(ref_joint_state_.accelerations.begin(), ref_joint_state_.accelerations.end(), 0.0);
  needs_reseed_ = false;
  // The drives hold where the arm is, whatever they were last told.
  setpoint_ = actual_joint_state_.positions;
  static_cast<void>(commandSetpoint());
  // The hold is no step of motion: the step of this period may still command (from rest, where
  // the arm is).
  wrote_this_period_ = false;
}

void Interpolator::update(double current_time) {
  current_time_ = current_time;
  wrote_this_period_ = false;
  sweepReleasedCommands();

  bool measured = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    measured = updateMeasuredState();
  }
  if (measured) {
    publishStatus();
    unnormal_flag_ = ROBOTSTATUS() > RobotStatus::WARN;
    const std::vector<double>& estimate = robot_->dynamics_->estimateTorque(
        actual_joint_state_.positions, actual_joint_state_.velocities,
        actual_joint_state_.accelerations, current_time_);
    dynamic_torque_estimate_ = estimate;
    collisionStep();
    // Drives off: the setpoint is not followed, the arm may sag; it is taken from the measured
    // positions once they are on again, so that nothing snaps back.
    if (!enable_flag_) {
      needs_reseed_ = true;
    } else if (needs_reseed_ && state_.load() != MotionState::kStopping) {
      reseed();
    }
  }
  onReadResult(measured);
  handleRequests();
  motionStep(measured);
  if (!wrote_this_period_) {
    guard_.hold();
  }
  // Complete once nothing moves: a command still held for its issuer has its outcome already.
  shutdown_complete_.store(
      shutting_down_ && state_.load() != MotionState::kStopping &&
      (current_cmd_ == nullptr || cmd_status::isFinal(current_cmd_->cmd_status.load())));
}

void Interpolator::motionStep(bool measured) {
  const MotionState state = state_.load();
  switch (state) {
    case MotionState::kStopping:
      // An abort of this very period has already run the stop's first step.
      if (!wrote_this_period_) {
        stopStep();
      }
      return;
    case MotionState::kFault:
      dropQueued();
      if (measured && read_failures_ == 0) {
        setState(MotionState::kIdle);
      }
      return;
    case MotionState::kHolding: {
      bool pending = false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        pending = !cmd_queue_.empty();
      }
      if (pending) {
        // The stop requested while nothing moved ends the next command and everything queued.
        Logger::instance()->info("The pending stop ends the waiting commands.\n");
        drop_reason_ = "A stop is pending: the command was not started (recover first).";
        dropQueued();
        drop_reason_ = nullptr;
      }
      return;
    }
    case MotionState::kIdle:
    case MotionState::kDragTeaching:
      if (!idleStep(measured)) {
        return;
      }
      break;
    case MotionState::kExecuting:
      break;
  }
  if (current_cmd_ == nullptr) {
    return;
  }
  if (cmd_status::isFinal(current_cmd_->cmd_status.load())) {
    if (current_cmd_->is_block.load()) {
      if (!held_reported_) {
        Logger::instance()->info("block ...\n");
        held_reported_ = true;
      }
    } else {
      Logger::instance()->info("delete block cmd\n");
      finishCurrentCmd();
    }
    return;
  }
  if (shutting_down_) {
    current_cmd_->outcome_reason.store("The controller shut down.");
    current_cmd_->cmd_status.store(cmd_status::kStopped);
    finishOrHold();
    return;
  }
  switch (current_cmd_->cmd_type) {
    case cmd_type::kJointTrajectory:
    case cmd_type::kCartesianTrajectory:
      trajectoryStep(measured);
      break;
    case cmd_type::kSetIo:
      if (auto* command = dynamic_cast<SetIoCmd*>(current_cmd_); command != nullptr && measured) {
        ctrlIoStep(command);
      }
      break;
    case cmd_type::kMotorIo:
      if (auto* command = dynamic_cast<MotorIoCmd*>(current_cmd_); command != nullptr && measured) {
        motorIoStep(command);
      }
      break;
    case cmd_type::kForceCtrl:
      if (auto* command = dynamic_cast<ForceCtrlCmd*>(current_cmd_);
          command != nullptr && measured) {
        forceCtrlStep(command);
      }
      break;
    default:
      break;
  }
}

bool Interpolator::idleStep(bool measured) {
  const bool drag_on = measured && drag_teaching_enable_.load() && enable_flag_ &&
                       collision_enable_.load() && !shutting_down_;
  bool queued = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued = !cmd_queue_.empty();
  }
  if (state_.load() == MotionState::kDragTeaching && (!drag_on || queued)) {
    // Drag teaching ends; an arm still moving is brought to rest first, the queue kept.
    bool moving = false;
    for (double v : guard_.velocities()) {
      moving = moving || v != 0.0;
    }
    if (moving) {
      abortMotion(cmd_status::kStopped, false, nullptr);
      return false;
    }
    setState(MotionState::kIdle);
    if (collision_while_dragging_) {
      collision_while_dragging_ = false;
      stop_requested_.store(true);
      return false;
    }
  }
  if (!queued) {
    if (drag_on) {
      if (state_.load() != MotionState::kDragTeaching) {
        // The admittance law starts at rest from where the arm is now.
        robot_->collision_detector_->resetAdmittance();
        setState(MotionState::kDragTeaching);
      }
      dragTeachingStep();
    }
    return false;
  }
  if (!measured || current_time_ + kTimeEpsilon < next_command_time_) {
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    current_cmd_ = cmd_queue_.front();
    idle_flag_.store(0);
  }
  Logger::instance()->info("interpolator read new command.\n");
  cmd_time_ = 0.0;
  move_started_ = false;
  held_reported_ = false;
  io_wait_reported_ = false;
  std::fill(axis_outside_goal_.begin(), axis_outside_goal_.end(), 0);
  current_cmd_->cmd_status.store(cmd_status::kExecuting);
  setState(MotionState::kExecuting);
  return true;
}

void Interpolator::dragTeachingStep() {
  const std::vector<AxisPara>& axes = robot_->robot_para_.axis_paras;
  const std::vector<double>& target = robot_->collision_detector_->computeAdmittance(
      dynamic_torque_estimate_, actual_joint_state_.efforts, actual_joint_state_.positions,
      actual_joint_state_.velocities, actual_joint_state_.accelerations, current_time_);
  const int n = axis_num_;
  const std::vector<double>& q = guard_.positions();
  const std::vector<double>& v = guard_.velocities();
  for (int i = 0; i < n; ++i) {
    const AxisPara& axis = axes[i];
    // A joint that is not to move comes to rest where it is commanded to be.
    const double goal =
        (i < static_cast<int>(target.size()) && !isMarked(target[i])) ? target[i] : q[i];
    // Towards the goal, and never towards a joint limit, faster than max_joint_vel or than what
    // can be braked to a stop on it with half of max_joint_acc (so that braking never needs more
    // than the whole of it between two samples); the last steps end on it, never beyond.
    const double a = axis.max_joint_acc;
    const double d = goal - q[i];
    double velocity =
        (d >= 0.0 ? 1.0 : -1.0) *
        std::min({std::fabs(d) / period_, std::sqrt(a * std::fabs(d)), axis.max_joint_vel});
    const double room_up = std::max(axis.max_joint_pos - q[i], 0.0);
    const double room_down = std::max(q[i] - axis.min_joint_pos, 0.0);
    velocity = std::min(velocity, std::min(std::sqrt(a * room_up), room_up / period_));
    velocity = std::max(velocity, -std::min(std::sqrt(a * room_down), room_down / period_));
    velocity = std::clamp(velocity, v[i] - a * period_, v[i] + a * period_);
    setpoint_[i] = q[i] + velocity * period_;
  }
  if (commandSetpoint() != Written::kYes) {
    abortMotion(cmd_status::kStopped, false, nullptr);
  }
}

Interpolator::Written Interpolator::commandSetpoint() {
  if (wrote_this_period_) {
    return Written::kRefused;
  }
  const int checked = guard_.accept(setpoint_);
  if (checked != setpoint_guard_result::kOk) {
    if (!guard_refusal_reported_) {
      guard_refusal_reported_ = true;
      LOG_STATUS(RobotStatus::ERROR, error_code::kTrajectoryFault,
                 "The setpoint is refused, the arm is stopped: %s\n", guard_.faultText());
    }
    return Written::kRefused;
  }
  guard_refusal_reported_ = false;
  wrote_this_period_ = true;
  const std::vector<double>& q = guard_.positions();
  const std::vector<double>& v = guard_.velocities();
  for (int i = 0; i < axis_num_; ++i) {
    last_ref_joint_state_.positions[i] = ref_joint_state_.positions[i];
    last_ref_joint_state_.velocities[i] = ref_joint_state_.velocities[i];
    last_ref_joint_state_.accelerations[i] = ref_joint_state_.accelerations[i];
    ref_joint_state_.accelerations[i] = (v[i] - ref_joint_state_.velocities[i]) / period_;
    ref_joint_state_.positions[i] = q[i];
    ref_joint_state_.velocities[i] = v[i];
  }
  robot_->jointPosToMotorPos(ref_joint_state_.positions, ref_motor_state_.positions);
  if (robot_->setMotorPositions(ref_motor_state_.positions) != robot_result::kOk) {
    if (!write_error_reported_) {
      write_error_reported_ = true;
      LOG_STATUS(RobotStatus::FATAL, error_code::kMotorWrite, "The MOTOR write error.\n");
    }
    return Written::kWriteFailed;
  }
  write_error_reported_ = false;
  return Written::kYes;
}

void Interpolator::abortMotion(int status, bool drop_queue, const char* reason) {
  if (state_.load() == MotionState::kStopping) {
    return;
  }
  stop_reason_ = reason;
  const std::vector<AxisPara>& axes = robot_->robot_para_.axis_paras;
  stop_status_ = status;
  stop_drops_queue_ = drop_queue;
  if (drop_queue) {
    dropQueued();
  }
  // Every axis comes to rest in the same period, the one the axis with the longest
  // v / emergency_stop_acc needs, so that the arm stays on its path; no axis decelerates harder
  // than its emergency_stop_acc.
  const std::vector<double>& v = guard_.velocities();
  double longest = 0.0;
  for (int i = 0; i < axis_num_; ++i) {
    const double a = stopDeceleration(axes[i]);
    if (a > 0.0) {
      longest = std::max(longest, std::fabs(v[i]) / a);
    }
  }
  const int periods = std::max(1, static_cast<int>(std::ceil(longest / period_ - kTimeEpsilon)));
  for (int i = 0; i < axis_num_; ++i) {
    stop_acc_[i] = -v[i] / (periods * period_);
  }
  Logger::instance()->info("It take %d periods to stop.\n", periods);
  setState(MotionState::kStopping);
  // The setpoint stream goes on in this very period: a period without a new setpoint would hold
  // the arm abruptly.
  if (!wrote_this_period_) {
    stopStep();
  }
}

void Interpolator::stopStep() {
  // With the drives off nothing follows the setpoint: it simply holds.
  if (!enable_flag_) {
    endStop();
    return;
  }
  const std::vector<double>& q = guard_.positions();
  const std::vector<double>& v = guard_.velocities();
  if (std::all_of(v.begin(), v.end(), [](double x) { return x == 0.0; })) {
    endStop();  // at rest: the setpoint holds
    return;
  }
  bool moving = false;
  for (int i = 0; i < axis_num_; ++i) {
    // From the commanded state, never the measured one: a lagging drive must not pull the
    // setpoint back, nor a stiff one end the stop before it has its stopping distance.
    double next = v[i] + stop_acc_[i] * period_;
    if (stop_acc_[i] == 0.0 || std::fabs(next) <= kRestVelocity || (v[i] >= 0.0 && next <= 0.0) ||
        (v[i] <= 0.0 && next >= 0.0)) {
      next = 0.0;
    }
    setpoint_[i] = q[i] + next * period_;
    moving = moving || next != 0.0;
  }
  // A write failure while stopping changes nothing: the stop goes on from the commanded state.
  if (commandSetpoint() == Written::kRefused) {
    // The stop itself is refused (it would leave the joint range): the setpoint holds.
    endStop();
    return;
  }
  if (!moving) {
    endStop();
  }
}

void Interpolator::endStop() {
  std::fill(stop_acc_.begin(), stop_acc_.end(), kNotComputed);
  cmd_time_ = 0.0;
  if (stop_drops_queue_) {
    dropQueued();
  }
  if (current_cmd_ == nullptr) {
    setState(read_failures_ >= kReadFailurePeriods ? MotionState::kFault : MotionState::kIdle);
    return;
  }
  // A command that already had its outcome (held for its issuer) keeps it.
  if (!cmd_status::isFinal(current_cmd_->cmd_status.load())) {
    current_cmd_->outcome_reason.store(stop_reason_);
    current_cmd_->cmd_status.store(stop_status_);
  }
  setState(MotionState::kExecuting);
  finishOrHold();
}

void Interpolator::dropQueued() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (AbstractCmdInterface* command : cmd_queue_) {
      if (command != current_cmd_) {
        dropped_cmds_.push_back(command);
      }
    }
    cmd_queue_.clear();
    if (current_cmd_ != nullptr) {
      cmd_queue_.push_back(current_cmd_);
    }
  }
  for (AbstractCmdInterface* command : dropped_cmds_) {
    dropCommand(command);
  }
  dropped_cmds_.clear();
}

void Interpolator::dropCommand(AbstractCmdInterface* command) {
  const char* reason =
      "The move before it was stopped: it was planned from where the arm never went.";
  command->outcome_reason.store(shutting_down_            ? "The controller shut down."
                                : drop_reason_ != nullptr ? drop_reason_
                                                          : reason);
  command->cmd_status.store(cmd_status::kStopped);
  if (command->is_block.load()) {
    released_later_.push_back(command);
  } else {
    delete command;
  }
}

void Interpolator::sweepReleasedCommands() {
  if (released_later_.empty()) {
    return;
  }
  auto kept = released_later_.begin();
  for (AbstractCmdInterface* command : released_later_) {
    if (command->is_block.load()) {
      *kept++ = command;
    } else {
      delete command;
    }
  }
  released_later_.erase(kept, released_later_.end());
}

void Interpolator::finishOrHold() {
  if (current_cmd_->is_block.load()) {
    if (!held_reported_) {
      Logger::instance()->info("block ...\n");
      held_reported_ = true;
    }
  } else {
    finishCurrentCmd();
  }
}

int Interpolator::calAllJointsPostion() {
  auto* move = dynamic_cast<AllAxisesJointPlanCmd*>(current_cmd_);
  if (move == nullptr) {
    Logger::instance()->print("The current trajectory command has nothing to sample\n");
    return -1;
  }
  if (move->traj_interface_ptrs_.empty()) {
    Logger::instance()->print("It does not have a trajectory_interface when cal joint pos\n");
    return -1;
  }
  const int n = std::min(axis_num_, static_cast<int>(move->traj_interface_ptrs_.size()));
  int all_reached = 1;
  for (int i = 0; i < n; ++i) {
    const TrajectoryInterface* planner = move->traj_interface_ptrs_[i].get();
    if (planner == nullptr) {
      return -1;
    }
    int reached = 0;
    const double q = planner->calPosition(cmd_time_, &reached);
    if (!std::isfinite(q)) {
      Logger::instance()->print("The %d axis trajectory position is not finite\n", i + 1);
      return -1;
    }
    setpoint_[i] = q;
    all_reached *= reached;
  }
  // Axes the command does not plan stay where they are commanded.
  for (int i = n; i < axis_num_; ++i) {
    setpoint_[i] = guard_.positions()[i];
  }
  for (int i = 0; i < n; ++i) {
    if (move->traj_interface_ptrs_[i]->getStartAndGoal(&motion_start_[i], &motion_goal_[i]) != 0) {
      break;
    }
  }
  if (all_reached == 1) {
    // The last sample is the goal itself, exactly.
    for (int i = 0; i < n; ++i) {
      setpoint_[i] = motion_goal_[i];
    }
  }
  return all_reached == 1 ? 1 : 0;
}

bool Interpolator::startMove() {
  auto* move = dynamic_cast<AllAxisesJointPlanCmd*>(current_cmd_);
  if (move == nullptr) {
    return true;
  }
  const std::vector<AxisPara>& axes = robot_->robot_para_.axis_paras;
  const std::vector<double>& q = guard_.positions();
  const int n = std::min(axis_num_, static_cast<int>(move->traj_interface_ptrs_.size()));
  int worst = -1;
  double worst_distance = 0.0;
  for (int i = 0; i < n; ++i) {
    const TrajectoryInterface* planner = move->traj_interface_ptrs_[i].get();
    if (planner == nullptr) {
      return true;  // refused by the first sample
    }
    const double d = std::fabs(planner->calPosition(0.0, nullptr) - q[i]);
    if (!std::isfinite(d)) {
      return true;  // refused by the first sample
    }
    if (!(d <= SetpointGuard::kTolerance) && (worst < 0 || !(d <= worst_distance))) {
      worst = i;
      worst_distance = d;
    }
  }
  if (worst < 0) {
    return true;
  }
  if (move->vel_scale > 0.0) {
    // Planned from a point the arm is not commanded at (drag teaching, a withdrawn move, the
    // drives re-seeded): the same move to the same goal, from where the arm is.
    const int r = move->rePlanFrom(q);
    if (r == planner_result::kOk) {
      Logger::instance()->info("The move is re-planned from the commanded position.\n");
      return true;
    }
    LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryFault,
               "The move cannot be re-planned from the commanded position, error code=%d\n", r);
  } else if (std::isfinite(worst_distance) &&
             worst_distance <= axes[worst].max_joint_vel * period_) {
    return true;
  } else {
    move->refused_at_start.store(true);
    LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryFault,
               "The trajectory starts %lf rad from the commanded position of axis %d, more than "
               "one period's travel at max_joint_vel: it is refused.\n",
               worst_distance, worst + 1);
  }
  current_cmd_->cmd_status.store(cmd_status::kFailed);
  finishOrHold();
  return false;
}

void Interpolator::trajectoryStep(bool measured) {
  AbstractCmdInterface* command = current_cmd_;
  const std::vector<AxisPara>& axes = robot_->robot_para_.axis_paras;
  const int n = axis_num_;

  if (cmd_time_ > kTrajectoryTimeLimit || is_collision_) {
    LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryTimeout,
               "time is over 20s or collision!\n");
    abortMotion(cmd_status::kFailed, true, "time is over 20s or collision!");
    return;
  }
  if (measured && !enable_flag_) {
    LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryFault,
               "enable is OFF, the trajectory can not be executed!\n");
    command->outcome_reason.store("enable is OFF, the trajectory can not be executed!");
    command->cmd_status.store(cmd_status::kStopped);
    dropQueued();
    finishOrHold();
    return;
  }
  if (!move_started_) {
    if (!startMove()) {
      return;
    }
    move_started_ = true;
  }

  const int r = calAllJointsPostion();
  if (r < 0) {
    LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryFault,
               "calAllJointsPostion return error!\n");
    abortMotion(cmd_status::kFailed, true, "calAllJointsPostion return error!");
    return;
  }

  if (measured) {
    const double tolerance = 1.0 + robot_->robot_para_.max_joint_vel_tolerance;
    for (int i = 0; i < n; ++i) {
      const double v = actual_joint_state_.velocities[i];
      if (std::fabs(v) > axes[i].max_joint_vel * tolerance) {
        Logger::instance()->print("%sThe axis %d planned velocity is %g exceed the limit:%g%s\n",
                                  COLOR_BOLD_RED, i + 1, v, axes[i].max_joint_vel, COLOR_RESET);
        abortMotion(cmd_status::kStopped, true,
                    "The measured velocity of an axis exceeded its limit.");
        return;
      }
    }
  }

  if (force_ctrl_flag_) {
    for (int i = 0; i < n; ++i) {
      setpoint_[i] += force_ctrl_offset_[i];
    }
  }

  if (const Written written = commandSetpoint(); written != Written::kYes) {
    abortMotion(cmd_status::kStopped, true, writeFailureReason(written == Written::kRefused));
    return;
  }
  cmd_time_ += period_;

  if (r != 1 || !measured) {
    return;
  }
  // Arrival: the goal is commanded; every axis must be within its threshold of it.
  bool arrived = true;
  for (int i = 0; i < n; ++i) {
    const double d = std::fabs(actual_joint_state_.positions[i] - motion_goal_[i]);
    const bool outside = d > axes[i].joint_pos_error_threshold;
    if (outside && axis_outside_goal_[i] == 0) {
      LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryFault,
                 "%d axis pos:%lf,goal:%lf,abs(det_theta)=%lf,threshold=%lf\n", i + 1,
                 actual_joint_state_.positions[i], motion_goal_[i], d,
                 axes[i].joint_pos_error_threshold);
    }
    axis_outside_goal_[i] = outside ? 1 : 0;
    arrived = arrived && !outside;
  }
  if (!arrived) {
    return;
  }
  bool held = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    command->cmd_status.store(cmd_status::kSucceeded);
    held = command->is_block.load();
  }
  if (held) {
    finishOrHold();
    return;
  }
  Logger::instance()->info("The trajectory executes success.");
  // The pause holds back the next command, not the loop: status, collision detection and stop
  // handling go on every period.
  next_command_time_ = current_time_ + kPauseAfterTrajectory;
  finishCurrentCmd();
}

void Interpolator::run() {
  using std::chrono::nanoseconds;
  const nanoseconds period_ns =
      std::chrono::duration_cast<nanoseconds>(std::chrono::duration<double>(period_));
  const nanoseconds start = clock_->now();
  start_time_ = std::chrono::duration<double>(start).count();
  // Index of the running period on the grid start + k x period.
  std::int64_t k = 0;
  while (!exit_requested_.load()) {
    const nanoseconds begin = clock_->now();
    update(std::chrono::duration<double>(begin - start).count());
    ++k;
    const nanoseconds deadline = start + k * period_ns;
    const nanoseconds end = clock_->now();
    if (end > deadline) {
      const std::uint64_t count = overrun_count_.fetch_add(1) + 1;
      Logger::instance()->print(
          "Control period overrun: work ended %.3f ms after its deadline (%llu so far)\n",
          std::chrono::duration<double, std::milli>(end - deadline).count(),
          static_cast<unsigned long long>(count));
      // The next period starts at once; the grid points already passed are skipped so that the
      // loop neither drifts nor runs a burst of periods to catch up.
      k = (end - start) / period_ns;
      continue;
    }
    clock_->sleepUntil(deadline);
  }
}

void Interpolator::ctrlIoStep(SetIoCmd* command) {
  const auto& devices = robot_->robot_para_.ctrl_io_devices;
  const auto found = devices.find(command->ctrl_io_id);
  CtrlIoInterface* device =
      (found != devices.end() && found->second.device) ? found->second.device.get() : nullptr;

  if (cmd_time_ < period_) {
    if (device != nullptr) {
      static_cast<void>(device->setCmd(command->io_cmd));
    }
    cmd_time_ += period_;
    return;
  }

  int state = -1;
  if (device != nullptr) {
    static_cast<void>(device->getState(state));
  }
  if (state == command->io_cmd) {
    Logger::instance()->info("Ctrl io command Finish.\n");
    command->cmd_status.store(cmd_status::kSucceeded);
    finishOrHold();
    return;
  }
  if (cmd_time_ < kCtrlIoTimeout) {
    if (!io_wait_reported_) {
      Logger::instance()->info("Wait ctrl io command finish...\n");
      io_wait_reported_ = true;
    }
    cmd_time_ += period_;
    return;
  }
  LOG_STATUS(RobotStatus::WARN, error_code::kCtrlIoTimeout, "Ctrl io command time out error!!!\n");
  command->cmd_status.store(cmd_status::kFailed);
  finishOrHold();
}

void Interpolator::motorIoStep(MotorIoCmd* command) {
  const std::vector<AxisPara>& axes = robot_->robot_para_.axis_paras;
  const int n = axis_num_;

  if (command->motor_io_type == motor_io_type::kSetHome) {
    for (int i = 0; i < n; ++i) {
      const int code = axes[i].motor->setHome(kSetHomeValue);
      if (code != 0) {
        Logger::instance()->print("The <%d> axis return error_code=<%d> when setHome.\n", i + 1,
                                  code);
        LOG_STATUS(RobotStatus::WARN, error_code::kSetHome, "set home failed!\n");
        command->cmd_status.store(cmd_status::kFailed);
        finishOrHold();
        return;
      }
      std::this_thread::sleep_for(kSetHomePause);
    }
    command->cmd_status.store(cmd_status::kSucceeded);
    Logger::instance()->info("set home SUCCESS!\n");
    // The motors count from a new zero: the commanded state follows at the next reading.
    needs_reseed_ = true;
    finishOrHold();
    return;
  }

  if (cmd_time_ < period_) {
    if (command->enable_flags.size() == 1) {
      const bool enable = command->enable_flags[0];
      for (int i = 0; i < n; ++i) {
        const int code = axes[i].motor->setEnableStatus(enable);
        if (code != 0) {
          Logger::instance()->print("The <%d> axis return error_code=<%d> when setEnableStatus.\n",
                                    i + 1, code);
          break;
        }
      }
    }
    cmd_time_ += period_;
    return;
  }

  if (!command->checkEnableStatus() && cmd_time_ < kEnableTimeout) {
    cmd_time_ += period_;
    return;
  }
  if (!command->checkEnableStatus()) {
    LOG_STATUS(RobotStatus::WARN, error_code::kEnableTimeout,
               "enable or disable cmd time out error!!!");
    command->cmd_status.store(cmd_status::kFailed);
  } else {
    Logger::instance()->info("The motors have been setEnable success.");
    command->cmd_status.store(cmd_status::kSucceeded);
  }
  finishOrHold();
}

void Interpolator::forceCtrlStep(ForceCtrlCmd* command) {
  const int n = axis_num_;
  if (!command->active) {
    std::fill(force_ctrl_offset_.begin(), force_ctrl_offset_.end(), 0.0);
    force_ctrl_flag_ = false;
    command->cmd_status.store(cmd_status::kSucceeded);
    finishOrHold();
    return;
  }

  force_ctrl_output_ = robot_->collision_detector_->detectCollisionTorque(
      dynamic_torque_estimate_, actual_joint_state_.efforts, actual_joint_state_.positions,
      actual_joint_state_.velocities, actual_joint_state_.accelerations, current_time_);
  if (cmd_time_ <= kForceCtrlDuration) {
    for (int i = 0; i < n; ++i) {
      setpoint_[i] = actual_joint_state_.positions[i] + force_ctrl_offset_[i];
    }
    if (commandSetpoint() == Written::kYes) {
      cmd_time_ += period_;
      return;
    }
    force_ctrl_flag_ = false;
    abortMotion(cmd_status::kStopped, true, "The MOTOR write error.");
    return;
  }
  command->cmd_status.store(cmd_status::kFailed);
  force_ctrl_flag_ = false;
  finishOrHold();
  LOG_STATUS(RobotStatus::WARN, error_code::kForceCtrlTimeout, "force control time out!\n");
}

}  // namespace brenvik

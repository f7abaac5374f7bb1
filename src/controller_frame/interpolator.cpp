#include "controller_frame/interpolator.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <iostream>
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

constexpr double kNotComputed = DBL_MAX;
// Command times are sums of kPeriod; compare loop times with a margin far below one period.
constexpr double kTimeEpsilon = 1e-9;
// Values kept in preallocated buffers whose size the models decide.
constexpr size_t kModelVectorCapacity = 64;
constexpr size_t kDroppedCapacity = 64;

bool isFinalStatus(int status) {
  return status == cmd_status::kSucceeded || status == cmd_status::kFailed ||
         status == cmd_status::kStopped;
}

// DBL_MAX (or anything not finite) in a per-joint model result marks a joint without a value.
bool isMarked(double value) { return !std::isfinite(value) || std::fabs(value) > DBL_MAX / 2.0; }

void sizeRecord(JointStateRecord& record, int n) {
  record.positions.assign(n, 0.0);
  record.velocities.assign(n, 0.0);
  record.accelerations.assign(n, 0.0);
  record.efforts.assign(n, 0.0);
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
      axis_num_(robot_->robot_para_.axis_num) {
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
    for (int i = 0; i < axis_num_; ++i) {
      double first = 0.0;
      double goal = 0.0;
      const bool has_goal = i < static_cast<int>(move->traj_interface_ptrs_.size()) &&
                            move->traj_interface_ptrs_[i] &&
                            move->traj_interface_ptrs_[i]->getStartAndGoal(&first, &goal) == 0;
      start[i] = has_goal ? goal : actual_joint_state_.positions[i];
    }
    return start;
  }
  start = actual_joint_state_.positions;
  return start;
}

std::vector<double> Interpolator::getActualJointPositions() {
  std::lock_guard<std::mutex> lock(mutex_);
  return actual_joint_state_.positions;
}

void Interpolator::finishCurrentCmd() {
  idle_flag_.store(1);
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
}

void Interpolator::requestStop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_flag_.store(1);
}

void Interpolator::clearStop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_flag_.store(0);
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
    std::printf("The collision sensitivity command is empty, it is ignored.\n");
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
    if (code != 0) {
      std::printf("%d (start from 1) axis %s error! error code=<%d>\n", i + 1, name, code);
      return false;
    }
    // A reading that is not a number would poison the filters and the reference for good.
    if (!std::isfinite(value)) {
      std::printf("%d (start from 1) axis %s returned a value that is not finite\n", i + 1, name);
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
  for (int i = 0; i < n; ++i) {
    bool enabled = false;
    const int code = axes[i].motor->getEnableStatus(enabled);
    if (code != 0) {
      std::printf("The <%d> axis return error_code=<%d> when getEnableStatus.\n", i + 1, code);
      enable_flag_ = false;
      break;
    }
    if (!enabled) {
      enable_flag_ = false;
    }
  }

  tcp_pose_.setIdentity();

  if (static_cast<int>(motor_state_.positions.size()) != n) {
    std::printf("motor_positions.size()!=robot_para_.axis_num\n");
    return false;
  }
  if (!readAxes(&CtrlMotorInterface::getMotorPosition, "getMotorPosition",
                motor_state_.positions)) {
    return false;
  }
  robot_->motorPosToJointPos(motor_state_.positions, actual_joint_state_.positions);

  if (static_cast<int>(motor_state_.velocities.size()) != n) {
    std::printf("motor_velocitys.size()!=robot_para_.axis_num\n");
    return false;
  }
  if (!readAxes(&CtrlMotorInterface::getVelocity, "getVelocity", motor_state_.velocities)) {
    return false;
  }
  robot_->motorPosToJointPos(motor_state_.velocities, actual_joint_state_.velocities);

  for (int i = 0; i < n; ++i) {
    actual_joint_state_.accelerations[i] =
        (actual_joint_state_.velocities[i] - last_joint_state_.velocities[i]) / period_;
  }

  if (static_cast<int>(motor_state_.efforts.size()) != n) {
    std::printf("motor_torques.size()!=robot_para_.axis_num\n");
    return false;
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

  if (!reference_seeded_) {
    ref_joint_state_.positions = actual_joint_state_.positions;
    ref_motor_state_.positions = motor_state_.positions;
    reference_seeded_ = true;
  }
  return true;
}

void Interpolator::collisionStep() {
  applyPendingSensitivity();
  if (!collision_enable_.load()) {
    return;
  }
  const int r = robot_->collision_detector_->detectCollision(
      dynamic_torque_estimate_, actual_joint_state_.efforts, actual_joint_state_.positions,
      actual_joint_state_.velocities, actual_joint_state_.accelerations, current_time_);
  collision_data_ = robot_->collision_detector_->getCollisionData();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (r == 1) {
      is_collision_ = true;
      LOG_STATUS(RobotStatus::ERROR, error_code::kCollision, "The arm get collision.\n");
    } else {
      is_collision_ = false;
      // An empty record every quiet period lets a recover lower the status.
      LOG_STATUS(RobotStatus::WARN, error_code::kNoCollision, "");
    }
  }
  if (r == 1) {
    stop_flag_.store(1);
  }
}

void Interpolator::update(double current_time) {
  current_time_ = current_time;
  sweepReleasedCommands();

  bool measured = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    measured = updateMeasuredState();
  }
  if (!measured) {
    LOG_STATUS(RobotStatus::FATAL, error_code::kPeriodUpdate, "peroid update status error!");
    return;
  }

  publishStatus();
  unnormal_flag_ = ROBOTSTATUS() > RobotStatus::WARN;

  const std::vector<double>& estimate = robot_->dynamics_->estimateTorque(
      actual_joint_state_.positions, actual_joint_state_.velocities,
      actual_joint_state_.accelerations, current_time_);
  dynamic_torque_estimate_ = estimate;

  collisionStep();

  if (idle_flag_.load() == 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cmd_queue_.empty()) {
      if (drag_teaching_enable_.load() && enable_flag_ && collision_enable_.load()) {
        dragTeachingStep();
      }
      return;
    }
    if (current_time_ + kTimeEpsilon < next_command_time_) {
      return;
    }
    current_cmd_ = cmd_queue_.front();
    Logger::instance()->info("interpolator read new command.\n");
    idle_flag_.store(0);
    cmd_time_ = 0.0;
    current_cmd_->cmd_status.store(cmd_status::kExecuting);
  }

  if (idle_flag_.load() == 1) {
    return;
  }

  if (stop_flag_.load() == 1) {
    stopStep();
    return;
  }

  if (isFinalStatus(current_cmd_->cmd_status.load())) {
    if (current_cmd_->is_block.load()) {
      Logger::instance()->info("block ...\n");
    } else {
      Logger::instance()->info("delete block cmd\n");
      finishCurrentCmd();
    }
    return;
  }

  switch (current_cmd_->cmd_type) {
    case cmd_type::kJointTrajectory:
    case cmd_type::kCartesianTrajectory:
      trajectoryStep();
      break;
    case cmd_type::kSetIo:
      if (auto* command = dynamic_cast<SetIoCmd*>(current_cmd_)) {
        ctrlIoStep(command);
      }
      break;
    case cmd_type::kMotorIo:
      if (auto* command = dynamic_cast<MotorIoCmd*>(current_cmd_)) {
        motorIoStep(command);
      }
      break;
    case cmd_type::kForceCtrl:
      if (auto* command = dynamic_cast<ForceCtrlCmd*>(current_cmd_)) {
        forceCtrlStep(command);
      }
      break;
    default:
      break;
  }
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
      std::printf("Control period overrun: work ended %.3f ms after its deadline (%llu so far)\n",
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

void Interpolator::dragTeachingStep() {
  const std::vector<double>& target = robot_->collision_detector_->computeAdmittance(
      dynamic_torque_estimate_, actual_joint_state_.efforts, actual_joint_state_.positions,
      actual_joint_state_.velocities, actual_joint_state_.accelerations, current_time_);
  const int n = std::min(axis_num_, static_cast<int>(target.size()));
  for (int i = 0; i < n; ++i) {
    // A joint that is not to move keeps its present reference; the marker itself must not pass
    // through the coupling matrix, where it could cancel to a finite but wrong motor position.
    if (!isMarked(target[i])) {
      ref_joint_state_.positions[i] = target[i];
    }
  }
  robot_->jointPosToMotorPos(ref_joint_state_.positions, ref_motor_state_.positions);
  if (robot_->setMotorPositions(ref_motor_state_.positions) != robot_result::kOk) {
    LOG_STATUS(RobotStatus::FATAL, error_code::kMotorWrite, "The MOTOR write error.\n");
  }
}

void Interpolator::stopStep() {
  const std::vector<AxisPara>& axes = robot_->robot_para_.axis_paras;
  const int n = axis_num_;
  bool first_period = false;
  for (int i = 0; i < n; ++i) {
    if (std::fabs(stop_acc_[i]) > kNotComputed / 2.0) {
      first_period = true;
    }
  }
  if (first_period) {
    double m = 0.0;
    for (int i = 0; i < n; ++i) {
      const double acc = axes[i].emergency_stop_acc;
      // An axis without a usable deceleration must not make the stop last forever.
      const double r =
          (acc > 0.0 && std::isfinite(acc)) ? std::fabs(ref_joint_state_.velocities[i] / acc) : 0.0;
      if (std::isfinite(r)) {
        m = std::max(m, r);
      }
    }
    // At most one minute of stopping periods.
    const double periods = std::min(std::floor(m / period_), 60.0 / period_);
    const int count = static_cast<int>(periods) + 1;
    Logger::instance()->info("It take %d periods to stop.\n", count);
    for (int i = 0; i < n; ++i) {
      stop_acc_[i] = -ref_joint_state_.velocities[i] / (count * period_);
    }
    return;
  }

  for (int i = 0; i < n; ++i) {
    std::lock_guard<std::mutex> lock(mutex_);
    ref_joint_state_.positions[i] = actual_joint_state_.positions[i];
    ref_joint_state_.accelerations[i] = stop_acc_[i];
    double v = actual_joint_state_.velocities[i] + period_ * stop_acc_[i];
    if ((stop_acc_[i] <= 0.0 && v <= 0.0) || (stop_acc_[i] > 0.0 && v >= 0.0)) {
      v = 0.0;
    }
    ref_joint_state_.velocities[i] = v;
    ref_joint_state_.positions[i] = actual_joint_state_.positions[i] + period_ * v;
  }
  robot_->jointPosToMotorPos(ref_joint_state_.positions, ref_motor_state_.positions);
  // A write failure while stopping changes nothing: the stop goes on with the measured state.
  static_cast<void>(robot_->setMotorPositions(ref_motor_state_.positions));

  for (int i = 0; i < n; ++i) {
    if (std::fabs(ref_joint_state_.velocities[i]) > 1e-5) {
      return;
    }
  }

  std::fill(stop_acc_.begin(), stop_acc_.end(), kNotComputed);
  stop_flag_.store(0);
  // A command that already had its outcome (held for its issuer) keeps it.
  int expected = current_cmd_->cmd_status.load();
  if (!isFinalStatus(expected)) {
    current_cmd_->cmd_status.store(cmd_status::kStopped);
  }
  if (current_cmd_->is_block.load()) {
    Logger::instance()->info("block ...\n");
    return;
  }

  AbstractCmdInterface* stopped = current_cmd_;
  current_cmd_ = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (AbstractCmdInterface* command : cmd_queue_) {
      if (command != stopped) {
        dropped_cmds_.push_back(command);
      }
    }
    cmd_queue_.clear();
  }
  delete stopped;
  for (AbstractCmdInterface* command : dropped_cmds_) {
    dropCommand(command);
  }
  dropped_cmds_.clear();
  idle_flag_.store(1);
  cmd_time_ = 0.0;
}

void Interpolator::dropCommand(AbstractCmdInterface* command) {
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
    Logger::instance()->info("block ...\n");
  } else {
    finishCurrentCmd();
  }
}

int Interpolator::calAllJointsPostion() {
  auto* move = dynamic_cast<AllAxisesJointPlanCmd*>(current_cmd_);
  if (move == nullptr) {
    std::printf("The current trajectory command has nothing to sample\n");
    return -1;
  }
  if (move->traj_interface_ptrs_.empty()) {
    std::cout << "It does not have a trajectory_interface when cal joint pos" << std::endl;
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
      std::printf("The %d axis trajectory position is not finite\n", i + 1);
      return -1;
    }
    ref_joint_state_.positions[i] = q;
    all_reached *= reached;
  }
  for (int i = 0; i < n; ++i) {
    if (move->traj_interface_ptrs_[i]->getStartAndGoal(&motion_start_[i], &motion_goal_[i]) != 0) {
      break;
    }
  }
  return all_reached == 1 ? 1 : 0;
}

void Interpolator::trajectoryStep() {
  AbstractCmdInterface* command = current_cmd_;
  const std::vector<AxisPara>& axes = robot_->robot_para_.axis_paras;
  const int n = axis_num_;

  if (cmd_time_ > kTrajectoryTimeLimit || is_collision_) {
    command->cmd_status.store(cmd_status::kFailed);
    if (command->is_block.load()) {
      Logger::instance()->info("block ...\n");
    } else {
      LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryTimeout,
                 "time is over 20s or collision!\n");
      finishCurrentCmd();
    }
    return;
  }

  if (!enable_flag_) {
    LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryFault,
               "enable is OFF, the trajectory can not be executed!\n");
    command->cmd_status.store(cmd_status::kStopped);
    finishOrHold();
    return;
  }

  const int r = calAllJointsPostion();
  if (r < 0) {
    LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryFault,
               "calAllJointsPostion return error!\n");
    command->cmd_status.store(cmd_status::kFailed);
    finishOrHold();
    return;
  }

  if (r == 1) {
    bool arrived = true;
    for (int i = 0; i < n; ++i) {
      const double d = std::fabs(actual_joint_state_.positions[i] - motion_goal_[i]);
      if (d > axes[i].joint_pos_error_threshold) {
        LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryFault,
                   "%d axis pos:%lf,goal:%lf,abs(det_theta)=%lf,threshold=%lf\n", i + 1,
                   actual_joint_state_.positions[i], motion_goal_[i], d,
                   axes[i].joint_pos_error_threshold);
        arrived = false;
      }
    }
    if (arrived) {
      bool held = false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        command->cmd_status.store(cmd_status::kSucceeded);
        held = command->is_block.load();
        Logger::instance()->info(held ? "block ...\n" : "The trajectory executes success.");
      }
      if (!held) {
        // The pause holds back the next command, not the loop: status, collision detection
        // and stop handling go on every period.
        next_command_time_ = current_time_ + kPauseAfterTrajectory;
        finishCurrentCmd();
      }
      return;
    }
  }

  for (int i = 0; i < n; ++i) {
    const double v = actual_joint_state_.velocities[i];
    if (std::fabs(v) > axes[i].max_joint_vel) {
      std::cout << COLOR_BOLD_RED << "The axis " << i + 1 << " planned velocity is " << v
                << " exceed the limit:" << axes[i].max_joint_vel << COLOR_RESET << std::endl;
      command->cmd_status.store(cmd_status::kStopped);
      finishOrHold();
      return;
    }
  }

  if (force_ctrl_flag_) {
    for (int i = 0; i < n; ++i) {
      ref_joint_state_.positions[i] += force_ctrl_offset_[i];
    }
  }

  robot_->jointPosToMotorPos(ref_joint_state_.positions, ref_motor_state_.positions);
  if (robot_->setMotorPositions(ref_motor_state_.positions) != robot_result::kOk) {
    LOG_STATUS(RobotStatus::FATAL, error_code::kMotorWrite, "The MOTOR write error.\n");
    command->cmd_status.store(cmd_status::kStopped);
    finishOrHold();
    return;
  }

  if (cmd_time_ < period_) {
    for (int i = 0; i < n; ++i) {
      last_ref_joint_state_.positions[i] = actual_joint_state_.positions[i];
      last_ref_joint_state_.velocities[i] = 0.0;
      last_ref_joint_state_.accelerations[i] = 0.0;
    }
  } else {
    for (int i = 0; i < n; ++i) {
      last_ref_joint_state_.velocities[i] = ref_joint_state_.velocities[i];
      last_ref_joint_state_.accelerations[i] = ref_joint_state_.accelerations[i];
      ref_joint_state_.velocities[i] =
          (ref_joint_state_.positions[i] - last_ref_joint_state_.positions[i]) / period_;
      ref_joint_state_.accelerations[i] =
          (ref_joint_state_.velocities[i] - last_ref_joint_state_.velocities[i]) / period_;
      last_ref_joint_state_.positions[i] = ref_joint_state_.positions[i];
    }
  }
  cmd_time_ += period_;
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
    Logger::instance()->info("Wait ctrl io command finish...\n");
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
        std::printf("The <%d> axis return error_code=<%d> when setHome.\n", i + 1, code);
        LOG_STATUS(RobotStatus::WARN, error_code::kSetHome, "set home failed!\n");
        command->cmd_status.store(cmd_status::kFailed);
        finishOrHold();
        return;
      }
      std::this_thread::sleep_for(kSetHomePause);
    }
    command->cmd_status.store(cmd_status::kSucceeded);
    Logger::instance()->info("set home SUCCESS!\n");
    finishOrHold();
    return;
  }

  if (cmd_time_ < period_) {
    if (command->enable_flags.size() == 1) {
      const bool enable = command->enable_flags[0];
      for (int i = 0; i < n; ++i) {
        const int code = axes[i].motor->setEnableStatus(enable);
        if (code != 0) {
          std::printf("The <%d> axis return error_code=<%d> when setEnableStatus.\n", i + 1, code);
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
      ref_joint_state_.positions[i] = actual_joint_state_.positions[i] + force_ctrl_offset_[i];
    }
    robot_->jointPosToMotorPos(ref_joint_state_.positions, ref_motor_state_.positions);
    if (robot_->setMotorPositions(ref_motor_state_.positions) == robot_result::kOk) {
      cmd_time_ += period_;
      return;
    }
    command->cmd_status.store(cmd_status::kStopped);
    if (command->is_block.load()) {
      Logger::instance()->info("block ...\n");
    } else {
      force_ctrl_flag_ = false;
      finishCurrentCmd();
    }
    return;
  }
  command->cmd_status.store(cmd_status::kFailed);
  force_ctrl_flag_ = false;
  finishOrHold();
  LOG_STATUS(RobotStatus::WARN, error_code::kForceCtrlTimeout, "force control time out!\n");
}

}  // namespace brenvik

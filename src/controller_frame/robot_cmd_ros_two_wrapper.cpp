#include "controller_frame/robot_cmd_ros_two_wrapper.h"

#include <cmath>
#include <cstdint>
#include <iostream>

#include "common/logger.h"
#include "controller_frame/motion_codes.h"
#include "controller_frame/motor_io_cmd.h"
#include "controller_frame/set_io_cmd.h"

namespace brenvik {
namespace {

using std::placeholders::_1;
using std::placeholders::_2;

// The axis (0-based) of a joint name joint1..jointN, or -1.
int axisOfJointNameIn(const std::string& name, int axis_num) {
  for (int i = 0; i < axis_num; ++i) {
    if (name == "joint" + std::to_string(i + 1)) return i;
  }
  return -1;
}

// A scale outside [0, 1] (or not a number) is replaced by 0.5.
bool scaleInRange(double scale) { return scale >= 0.0 && scale <= 1.0; }

}  // namespace

RobotCmdRosTwoWrapper::RobotCmdRosTwoWrapper(Interpolator* interpolator,
                                             const ros2::NodeOptions& options)
    : ros2::Node("robot_cmd_processor", options),
      interpolator_(interpolator),
      robot_(interpolator->robot()),
      axis_num_(robot_->robot_para_.axis_num),
      builder_(robot_,
               [this](const std::string& line) { ROS2_INFO(get_logger(), "%s", line.c_str()); }) {
  action_server_ = ros2::action::create_server<FollowJointTrajectory>(
      this, "follow_joint_trajectory", std::bind(&RobotCmdRosTwoWrapper::handle_goal, this, _1, _2),
      std::bind(&RobotCmdRosTwoWrapper::handle_cancel, this, _1),
      std::bind(&RobotCmdRosTwoWrapper::handle_accepted, this, _1));

  using std_msgs::msg::Bool;
  using std_msgs::msg::Float64MultiArray;
  using std_msgs::msg::Int32MultiArray;
  using std_msgs::msg::String;
  using Self = RobotCmdRosTwoWrapper;
  stop_sub_ = create_subscription<String>("stop_topic", ros2::QoS(1),
                                          std::bind(&Self::stopCallback, this, _1));
  serve_on_sub_ = create_subscription<Bool>("serve_on_topic", ros2::QoS(1),
                                            std::bind(&Self::serveOnCallback, this, _1));
  movj_sub_ = create_subscription<Float64MultiArray>("movj_topic", ros2::QoS(10),
                                                     std::bind(&Self::movjCallback, this, _1));
  movs_sub_ = create_subscription<Float64MultiArray>(
      "movj_s_topic", ros2::QoS(10),
      [this](std::shared_ptr<Float64MultiArray> msg) { movsCallback(std::move(msg)); });
  movj_to_pose_sub_ = create_subscription<Float64MultiArray>(
      "movj_to_pose_topic", ros2::QoS(10), std::bind(&Self::movjToPoseCallback, this, _1));
  movl_sub_ = create_subscription<Float64MultiArray>("movL_topic", ros2::QoS(10),
                                                     std::bind(&Self::movLCallback, this, _1));
  set_home_sub_ = create_subscription<String>("set_home_topic", ros2::QoS(10),
                                              std::bind(&Self::setHomeCallback, this, _1));
  ctrl_io_sub_ = create_subscription<Int32MultiArray>("ctrl_io_topic", ros2::QoS(1),
                                                      std::bind(&Self::ctrlIOCallback, this, _1));
  recover_sub_ = create_subscription<Bool>("recover_topic", ros2::QoS(1),
                                           std::bind(&Self::recoverCallback, this, _1));
  collision_sub_ = create_subscription<Bool>("collision_enable_topic", ros2::QoS(1),
                                             std::bind(&Self::collisionCallback, this, _1));
  drag_teaching_sub_ = create_subscription<Bool>("drag_teaching_enable_topic", ros2::QoS(1),
                                                 std::bind(&Self::dragTeachingCallback, this, _1));
  sensitivity_sub_ = create_subscription<Float64MultiArray>(
      "set_collision_sensitivity_topic", ros2::QoS(10),
      std::bind(&Self::setCollisionSensitivityCallback, this, _1));
  watch_timer_ = create_wall_timer(kWatchPeriod, [this] { watchBlockingCommands(); });
  declareConfigurationParameters();

  ROS2_INFO(get_logger(), "---robot_cmd_processor node init. ---\n");
}

void RobotCmdRosTwoWrapper::declareConfigurationParameters() {
  const auto read_only = [](const char* description) {
    rcl_interfaces::msg::ParameterDescriptor d;
    d.description = description;
    d.read_only = true;
    return d;
  };
  // Only the file path may come from the node options; the rest is what the robot loaded.
  declare_parameter("robot_para_file", std::string(),
                    read_only("path of the robot parameter file this node was started with"));
  declare_parameter("axis_num", axis_num_, read_only("number of axes"), true);
  std::vector<std::string> names;
  std::vector<double> min_pos, max_pos, max_vel, max_acc, stop_acc;
  for (const AxisPara& axis : robot_->robot_para_.axis_paras) {
    names.push_back("joint" + std::to_string(names.size() + 1));
    min_pos.push_back(axis.min_joint_pos);
    max_pos.push_back(axis.max_joint_pos);
    max_vel.push_back(axis.max_joint_vel);
    max_acc.push_back(axis.max_joint_acc);
    stop_acc.push_back(axis.emergency_stop_acc);
  }
  declare_parameter("joint_names", names, read_only("joint names in axis order"), true);
  declare_parameter("min_joint_pos", min_pos, read_only("lower joint limit per axis, rad"), true);
  declare_parameter("max_joint_pos", max_pos, read_only("upper joint limit per axis, rad"), true);
  declare_parameter("max_joint_vel", max_vel, read_only("joint speed limit per axis, rad/s"), true);
  declare_parameter("max_joint_acc", max_acc,
                    read_only("joint acceleration limit per axis, rad/s^2"), true);
  declare_parameter("emergency_stop_acc", stop_acc,
                    read_only("deceleration of a controlled stop per axis, rad/s^2"), true);
}

RobotCmdRosTwoWrapper::~RobotCmdRosTwoWrapper() {
  // Let go of every command still held, so that the control loop can delete it.
  for (Watched& watched : watched_) {
    watched.cmd->is_block = false;
  }
}

void RobotCmdRosTwoWrapper::stopCallback(const std_msgs::msg::String& msg) const {
  ROS2_INFO(get_logger(), "I should stop: '%s'", msg.data.c_str());
  interpolator_->requestStop();
}

void RobotCmdRosTwoWrapper::serveOnCallback(const std_msgs::msg::Bool& msg) const {
  ROS2_INFO(get_logger(), "RobotCmdRosTwoWrapper::serveOnCallback -- data: %s",
            msg.data ? "true" : "false");
  auto* cmd = new MotorIoCmd(robot_);
  cmd->motor_io_type = motor_io_type::kEnable;
  cmd->enable_flags = {msg.data};
  interpolator_->addCmd(cmd);
}

void RobotCmdRosTwoWrapper::setHomeCallback(const std_msgs::msg::String& msg) const {
  ROS2_INFO(get_logger(), "I should setHome: '%s'", msg.data.c_str());
  auto* cmd = new MotorIoCmd(robot_);
  cmd->motor_io_type = motor_io_type::kSetHome;
  interpolator_->addCmd(cmd);
}

void RobotCmdRosTwoWrapper::movjCallback(const std_msgs::msg::Float64MultiArray& msg) {
  if (ROBOTSTATUS() >= RobotStatus::ERROR) {
    LOG_STATUS(RobotStatus::ERROR, error_code::kCommandRejected,
               "ROBOTSTATUS()>=RobotStatus::ERROR, movj erro!\n");
    return;
  }
  const std::vector<double>& data = msg.data;
  const size_t n = static_cast<size_t>(axis_num_);
  double vel_scale = 0.0;
  double acc_scale = 0.0;
  bool is_block = false;
  if (data.size() == n + 1) {
    vel_scale = acc_scale = data[n];
  } else if (data.size() == n + 2 || data.size() == n + 3) {
    vel_scale = data[n];
    acc_scale = data[n + 1];
    is_block = data.size() == n + 3 && data[n + 2] > 0.0;
  } else {
    LOG_STATUS(RobotStatus::WARN, error_code::kCommandRejected, "MOVJ get data size is ERROR\n");
    return;
  }
  if (!scaleInRange(vel_scale)) {
    LOG_STATUS(RobotStatus::WARN, error_code::kCommandRejected,
               "velocity scale > 1.0 or < 0.0 error, we reset velocity scale 0.5!\n");
    vel_scale = 0.5;
  }
  if (!scaleInRange(acc_scale)) {
    LOG_STATUS(RobotStatus::WARN, error_code::kCommandRejected,
               "acceleration scale > 1.0 or < 0.0 error, we reset acceleration scale 0.5!\n");
    acc_scale = 0.5;
  }
  const std::vector<double> target(data.begin(), data.begin() + axis_num_);
  computeTrajCmd(target, is_block, vel_scale, acc_scale);
}

bool RobotCmdRosTwoWrapper::computeTrajCmd(const std::vector<double>& target, bool is_block,
                                           double vel_scale, double acc_scale) {
  JointMove move =
      builder_.pointToPoint(interpolator_->getMotionStartPoint(), target, vel_scale, acc_scale);
  if (move.result != joint_move_result::kOk) {
    ROS2_INFO(get_logger(), "%s", move.message.c_str());
    return false;
  }
  AllAxisesJointPlanCmd* cmd = move.cmd.release();
  cmd->is_block = is_block;
  if (is_block) {
    Watched watched;
    watched.cmd = cmd;
    watched.plan = cmd;
    watched_.push_back(watched);
  }
  interpolator_->addCmd(cmd);
  return true;
}

void RobotCmdRosTwoWrapper::movsCallback(
    std::shared_ptr<std_msgs::msg::Float64MultiArray> msg) const {
  if (ROBOTSTATUS() >= RobotStatus::ERROR) {
    LOG_STATUS(RobotStatus::ERROR, error_code::kCommandRejected,
               "ROBOTSTATUS()>=RobotStatus::ERROR, movj erro!\n");
    return;
  }
  const std::vector<double>& data = msg->data;
  if (msg->layout.dim.size() < 2) {
    ROS2_INFO(get_logger(),
              "The movj_s layout needs two dimensions (points, values per point), it has %d.\n",
              static_cast<int>(msg->layout.dim.size()));
    return;
  }
  const auto points_num = static_cast<int32_t>(msg->layout.dim[0].size);
  const auto values_num = static_cast<int32_t>(msg->layout.dim[1].size);
  if (points_num < 1) {
    ROS2_INFO(get_logger(), "The movj_s message holds no points.\n");
    return;
  }
  if (values_num != axis_num_ + 1) {
    ROS2_INFO(get_logger(), "We recieve the wrong movj cmd size=%d, not euqal (axis_num+1)\n",
              static_cast<int>(data.size()));
    return;
  }
  if (data.size() != static_cast<uint64_t>(points_num) * static_cast<uint64_t>(values_num)) {
    ROS2_INFO(get_logger(), "The movj_s data holds %d values, not %d points of %d.\n",
              static_cast<int>(data.size()), points_num, values_num);
    return;
  }
  std::vector<std::vector<double>> points(points_num);
  std::vector<double> times(points_num);
  for (int k = 0; k < points_num; ++k) {
    const auto first = data.begin() + static_cast<std::ptrdiff_t>(k) * values_num;
    points[k].assign(first, first + axis_num_);
    times[k] = data[static_cast<size_t>(k) * values_num + values_num - 1];
  }
  JointMove move = builder_.spline(interpolator_->getMotionStartPoint(), points, times);
  if (move.result != joint_move_result::kOk) {
    ROS2_INFO(get_logger(), "%s", move.message.c_str());
    return;
  }
  ROS2_INFO(get_logger(), "I recieve movj_s:\n");
  for (int k = 0; k < points_num; ++k) {
    for (double value : points[k]) {
      ROS2_INFO(get_logger(), "%lf,", value);
    }
    ROS2_INFO(get_logger(), "Time (s) = %lf;\n", times[k]);
  }
  interpolator_->addCmd(move.cmd.release());
}

void RobotCmdRosTwoWrapper::movjToPoseCallback(const std_msgs::msg::Float64MultiArray& msg) {
  if (ROBOTSTATUS() >= RobotStatus::ERROR) {
    LOG_STATUS(RobotStatus::ERROR, error_code::kCommandRejected,
               "ROBOTSTATUS()>=RobotStatus::ERROR, movl_j erro!\n");
    return;
  }
  const std::vector<double>& data = msg.data;
  if (data.size() != 8) {
    ROS2_INFO(get_logger(), "We recieve the wrong movl_j cmd size=%d, not euqal 8.\n",
              static_cast<int>(data.size()));
    return;
  }
  ROS2_INFO(get_logger(), "I recieve movj_to_pose cmd\n");
  for (int i = 0; i < 7; ++i) {
    ROS2_INFO(get_logger(), "%lf,", data[i]);
  }
  ROS2_INFO(get_logger(), "velocity percentage =%lf\n;", data[7]);
  double vel_scale = data[7];
  if (vel_scale > 1.0) {
    ROS2_INFO(get_logger(), "velocity scale > 1.0 error, we reset velocity scale 0.5!");
    vel_scale = 0.5;
  }
  const Eigen::Matrix4d pose = JointMoveBuilder::poseMatrix(&data[0], &data[3]);
  const std::vector<double> seed = interpolator_->getMotionStartPoint();
  std::cout << "transform_matrix:" << Eigen::MatrixXd(pose) << std::endl;
  std::vector<double> solution;
  const int r = robot_->kinematics_->inverseKinematics(pose, seed, solution);
  if (r != 0) {
    ROS2_INFO(get_logger(), "Do not get solution of the objective pos6D. The cmd is useless.\n");
    return;
  }
  computeTrajCmd(solution, false, vel_scale, vel_scale);
}

void RobotCmdRosTwoWrapper::movLCallback(const std_msgs::msg::Float64MultiArray&) const {}

void RobotCmdRosTwoWrapper::ctrlIOCallback(const std_msgs::msg::Int32MultiArray& msg) const {
  if (ROBOTSTATUS() >= RobotStatus::FATAL) {
    LOG_STATUS(RobotStatus::ERROR, error_code::kCommandRejected,
               "ROBOTSTATUS()>=RobotStatus::FATAL, ctrl io cmd cannot execute!\n");
    return;
  }
  const std::vector<int32_t>& data = msg.data;
  if (data.size() != 2) {
    ROS2_INFO(get_logger(), "We recieve the wrong ctrl io cmd size=%d, not euqal 2.\n",
              static_cast<int>(data.size()));
    return;
  }
  ROS2_INFO(get_logger(), "I recieve ctrl io cmd: ctrl_io_id=%d,cmd=%d\n", data[0], data[1]);
  if (data[0] < 0 || data[1] < 0) {
    std::cout << " invalid ctrl_io cmd, id:" << data[0] << ",io_cmd: " << data[1] << std::endl;
    return;
  }
  auto* cmd = new SetIoCmd(robot_);
  cmd->ctrl_io_id = data[0];
  cmd->io_cmd = data[1];
  std::cout << "ctrl_io id:" << cmd->ctrl_io_id << ",io_cmd: " << cmd->io_cmd << std::endl;
  interpolator_->addCmd(cmd);
}

void RobotCmdRosTwoWrapper::recoverCallback(const std_msgs::msg::Bool&) {
  if (recover_pending_) {
    return;
  }
  recover_pending_ = true;
  recover_deadline_ = std::chrono::steady_clock::now() + kRecoverTimeout +
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          std::chrono::duration<double>(interpolator_->longestStopTime()));
  Logger::instance()->recovering_ = true;
  pollRecover();
}

void RobotCmdRosTwoWrapper::pollRecover() {
  if (!recover_pending_) {
    return;
  }
  Logger* logger = Logger::instance();
  // With collision detection off the control loop logs no quiet record that would lower the
  // status after a collision: the recover does it.
  if (ROBOTSTATUS() >= RobotStatus::ERROR && !interpolator_->collisionEnable()) {
    LOG_STATUS(RobotStatus::WARN, error_code::kNoCollision, "");
  }
  const bool lowered = ROBOTSTATUS() < RobotStatus::ERROR;
  if (lowered && interpolator_->recover() == interpolator_result::kOk) {
    recover_pending_ = false;
    logger->recovering_ = false;
    logger->info("recover cmd success!\n");
    return;
  }
  if (std::chrono::steady_clock::now() >= recover_deadline_) {
    recover_pending_ = false;
    logger->recovering_ = false;
    LOG_STATUS(RobotStatus::WARN, error_code::kCommandRejected, "recover cmd ERROR!\n");
  }
}

void RobotCmdRosTwoWrapper::collisionCallback(const std_msgs::msg::Bool& msg) const {
  ROS2_INFO(get_logger(), "I get collision_enable command: %d\n", msg.data ? 1 : 0);
  interpolator_->setCollisionEnable(msg.data);
  ROS2_INFO(get_logger(), "The system collision_enable has changed.\n");
}

void RobotCmdRosTwoWrapper::dragTeachingCallback(const std_msgs::msg::Bool& msg) const {
  ROS2_INFO(get_logger(), "I get drag teaching_enable command: %d\n", msg.data ? 1 : 0);
  interpolator_->setDragTeachingEnable(msg.data);
  ROS2_INFO(get_logger(), "The system drag teaching enable has changed.\n");
}

void RobotCmdRosTwoWrapper::setCollisionSensitivityCallback(
    const std_msgs::msg::Float64MultiArray& msg) const {
  // The interpolator refuses an empty command with a message of its own.
  static_cast<void>(interpolator_->setCollisionSensitivity(msg.data));
}

ros2::action::GoalResponse RobotCmdRosTwoWrapper::handle_goal(
    const ros2::action::GoalUUID&, std::shared_ptr<const FollowJointTrajectory::Goal>) {
  if (ROBOTSTATUS() >= RobotStatus::ERROR) {
    // A rejected goal gets no result to carry a reason: the console and /rosout say it.
    LOG_STATUS(RobotStatus::WARN, error_code::kCommandRejected,
               "Goal rejected: the controller is in its error state, recover first.\n");
    return ros2::action::GoalResponse::REJECT;
  }
  Logger::instance()->info("handle_goal \n");
  return ros2::action::GoalResponse::ACCEPT_AND_EXECUTE;
}

ros2::action::CancelResponse RobotCmdRosTwoWrapper::handle_cancel(std::shared_ptr<GoalHandle>) {
  ROS2_INFO(ros2::get_logger("server"), "Got request to cancel goal");
  // The goal's motion is stopped by the watch timer once the goal is canceling.
  return ros2::action::CancelResponse::ACCEPT;
}

void RobotCmdRosTwoWrapper::handle_accepted(std::shared_ptr<GoalHandle> goal_handle) {
  execute(std::move(goal_handle));
}

void RobotCmdRosTwoWrapper::abortGoal(const std::shared_ptr<GoalHandle>& goal_handle,
                                      int32_t error_code, const std::string& text) const {
  if (!ros2::ok()) {
    return;
  }
  auto result = std::make_shared<FollowJointTrajectory::Result>();
  result->error_code = error_code;
  result->error_string = text;
  goal_handle->abort(result);
}

RobotCmdRosTwoWrapper::GoalPlan RobotCmdRosTwoWrapper::planGoal(
    const FollowJointTrajectory::Goal& goal) const {
  using Result = FollowJointTrajectory::Result;
  GoalPlan plan;
  const auto refuse = [&plan](int32_t code, std::string text) {
    plan.error_code = code;
    plan.error_string = std::move(text);
    return std::move(plan);
  };
  if (ROBOTSTATUS() >= RobotStatus::ERROR) {
    return refuse(Result::INVALID_GOAL,
                  "The controller is in its error state: recover before sending goals.");
  }
  const auto& trajectory = goal.trajectory;
  if (trajectory.points.empty()) {
    return refuse(Result::INVALID_GOAL, "The goal has no points.");
  }

  // joint_names must name every axis once: axis_of_name[k] is the axis of the k-th name.
  std::vector<int> axis_of_name;
  std::vector<int> name_of_axis(axis_num_, -1);
  std::string unknown;
  std::string twice;
  for (size_t k = 0; k < trajectory.joint_names.size(); ++k) {
    const std::string& name = trajectory.joint_names[k];
    const int axis = axisOfJointNameIn(name, axis_num_);
    axis_of_name.push_back(axis);
    if (axis < 0) {
      unknown += " " + name;
    } else if (name_of_axis[axis] >= 0) {
      twice += " " + name;
    } else {
      name_of_axis[axis] = static_cast<int>(k);
    }
  }
  std::string missing;
  for (int i = 0; i < axis_num_; ++i) {
    if (name_of_axis[i] < 0) missing += " joint" + std::to_string(i + 1);
  }
  if (!unknown.empty() || !twice.empty() || !missing.empty()) {
    std::string text =
        "joint_names must name joint1..joint" + std::to_string(axis_num_) + " once each:";
    if (!unknown.empty()) text += " unknown" + unknown + ";";
    if (!twice.empty()) text += " named twice" + twice + ";";
    if (!missing.empty()) text += " missing" + missing + ";";
    text.back() = '.';
    return refuse(Result::INVALID_JOINTS, text);
  }

  const size_t points_num = trajectory.points.size();
  std::vector<std::vector<double>> points(points_num, std::vector<double>(axis_num_));
  std::vector<double> times(points_num);
  for (size_t k = 0; k < points_num; ++k) {
    const auto& point = trajectory.points[k];
    if (point.positions.size() != trajectory.joint_names.size()) {
      return refuse(Result::INVALID_GOAL,
                    "Point " + std::to_string(k + 1) + " has " +
                        std::to_string(point.positions.size()) + " positions for " +
                        std::to_string(trajectory.joint_names.size()) + " joint names.");
    }
    for (int i = 0; i < axis_num_; ++i) {
      points[k][i] = point.positions[name_of_axis[i]];
    }
    times[k] = point.time_from_start.sec + point.time_from_start.nanosec * 1e-9;
  }

  // A stamped goal is meant to start at its stamp; one that would already have ended is refused
  // (a later stamp starts at once).
  const auto& stamp = trajectory.header.stamp;
  if (stamp.sec != 0 || stamp.nanosec != 0) {
    const double late = now().seconds() - (stamp.sec + stamp.nanosec * 1e-9) - times.back();
    if (late > 0.0) {
      return refuse(Result::OLD_HEADER_TIMESTAMP,
                    "The goal's header stamp is so old that its trajectory would have ended " +
                        std::to_string(late) + " s ago.");
    }
  }

  // Tolerances by joint name: 0 the default, negative none.
  plan.path_tolerance.assign(axis_num_, 0.0);
  plan.goal_tolerance.resize(axis_num_);
  for (int i = 0; i < axis_num_; ++i) {
    plan.goal_tolerance[i] = robot_->robot_para_.axis_paras[i].joint_pos_error_threshold;
  }
  const auto apply = [&](const std::vector<control_msgs::msg::JointTolerance>& given,
                         std::vector<double>& out, const char* what) {
    for (const auto& tolerance : given) {
      const int axis = axisOfJointNameIn(tolerance.name, axis_num_);
      if (axis < 0) {
        return std::string("The ") + what + " names an unknown joint " + tolerance.name + ".";
      }
      if (!std::isfinite(tolerance.position)) {
        return std::string("The ") + what + " of " + tolerance.name + " is not a number.";
      }
      if (tolerance.position < 0.0) {
        out[axis] = 0.0;
      } else if (tolerance.position > 0.0) {
        out[axis] = tolerance.position;
      }
    }
    return std::string();
  };
  for (const std::string& error :
       {apply(goal.path_tolerance, plan.path_tolerance, "path tolerance"),
        apply(goal.goal_tolerance, plan.goal_tolerance, "goal tolerance")}) {
    if (!error.empty()) {
      const bool unknown_joint = error.find("unknown joint") != std::string::npos;
      return refuse(unknown_joint ? Result::INVALID_JOINTS : Result::INVALID_GOAL, error);
    }
  }
  const double goal_time = goal.goal_time_tolerance.sec + goal.goal_time_tolerance.nanosec * 1e-9;
  if (goal_time > 0.0) plan.goal_time_tolerance = goal_time;

  Logger::instance()->info("Goal of %zu points over %lf s\n", points_num, times.back());
  JointMove move = builder_.spline(interpolator_->getMotionStartPoint(), points, times);
  if (move.result != joint_move_result::kOk) {
    std::string text = move.message;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return refuse(Result::INVALID_GOAL, text);
  }
  plan.cmd = std::move(move.cmd);
  plan.last_point = points.back();
  return plan;
}

void RobotCmdRosTwoWrapper::execute(std::shared_ptr<GoalHandle> goal_handle) {
  GoalPlan plan = planGoal(*goal_handle->get_goal());
  if (!plan.cmd) {
    // The same words on the console (and /rosout) as in the result.
    LOG_STATUS(RobotStatus::WARN, error_code::kCommandRejected, "Goal refused: %s\n",
               plan.error_string.c_str());
    abortGoal(goal_handle, plan.error_code, plan.error_string);
    return;
  }
  AllAxisesJointPlanCmd* cmd = plan.cmd.release();
  cmd->is_block = true;
  Watched watched;
  watched.cmd = cmd;
  watched.goal = goal_handle;
  watched.plan = cmd;
  watched.last_point = std::move(plan.last_point);
  watched.path_tolerance = std::move(plan.path_tolerance);
  watched.goal_tolerance = std::move(plan.goal_tolerance);
  watched.goal_time_tolerance = plan.goal_time_tolerance;
  watched_.push_back(std::move(watched));
  interpolator_->addCmd(cmd);
}

void RobotCmdRosTwoWrapper::checkPath(Watched& watched) {
  if (watched.violation_code != 0 || watched.stop_requested) return;
  const double t =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - watched.started).count();
  const std::vector<double> actual = interpolator_->getActualJointPositions();
  for (int i = 0; i < axis_num_; ++i) {
    const double tolerance = watched.path_tolerance[i];
    if (tolerance <= 0.0) continue;
    const double desired = watched.plan->traj_interface_ptrs_[i]->calPosition(t, nullptr);
    const double error = std::abs(desired - actual[i]);
    if (error > tolerance) {
      watched.violation_code = FollowJointTrajectory::Result::PATH_TOLERANCE_VIOLATED;
      char text[160];
      std::snprintf(text, sizeof(text),
                    "joint%d was %g rad from its path at %.3f s (path tolerance %g): the arm "
                    "was stopped.",
                    i + 1, error, t, tolerance);
      watched.violation = text;
      LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryFault, "%s\n", text);
      interpolator_->requestStop(false);
      watched.stop_requested = true;
      return;
    }
  }
}

bool RobotCmdRosTwoWrapper::withinGoalTolerance(const Watched& watched, std::string& reason) const {
  const std::vector<double> actual = interpolator_->getActualJointPositions();
  for (int i = 0; i < axis_num_; ++i) {
    const double tolerance = watched.goal_tolerance[i];
    const double error = std::abs(actual[i] - watched.last_point[i]);
    if (tolerance > 0.0 && error > tolerance) {
      char text[160];
      std::snprintf(text, sizeof(text),
                    "joint%d ended %g rad from the goal's last point (goal tolerance %g).", i + 1,
                    error, tolerance);
      reason = text;
      return false;
    }
  }
  return true;
}

void RobotCmdRosTwoWrapper::watchBlockingCommands() {
  using Result = FollowJointTrajectory::Result;
  pollRecover();
  for (auto it = watched_.begin(); it != watched_.end();) {
    Watched& watched = *it;
    const int status = watched.cmd->cmd_status.load();
    const bool canceling = watched.goal && watched.goal->is_canceling();
    if (canceling && !watched.stop_requested && !cmd_status::isFinal(status)) {
      // A goal still waiting in the queue is taken out of it and never runs; a running one is
      // stopped with a controlled stop, and the goal ends canceled once the arm has stopped.
      if (interpolator_->withdrawCmd(watched.cmd)) {
        auto result = std::make_shared<Result>();
        result->error_string = "The goal was canceled before it started.";
        if (ros2::ok()) {
          watched.goal->canceled(result);
        }
        delete watched.cmd;
        it = watched_.erase(it);
        continue;
      }
      interpolator_->requestStop(false);
      watched.stop_requested = true;
    }
    if (status == cmd_status::kExecuting && !watched.executing) {
      watched.executing = true;
      watched.started = std::chrono::steady_clock::now();
    }
    if (!cmd_status::isFinal(status)) {
      if (watched.goal && watched.executing) {
        publishFeedback(watched);
        checkPath(watched);
      }
      ++it;
      continue;
    }
    // A goal whose trajectory ended is held (and the queue with it) until every axis is within
    // its goal tolerance, at most goal_time_tolerance.
    std::string goal_miss;
    if (watched.goal && status == cmd_status::kSucceeded &&
        !withinGoalTolerance(watched, goal_miss)) {
      const auto now = std::chrono::steady_clock::now();
      if (!watched.settling) {
        watched.settling = true;
        watched.settle_deadline =
            now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                      std::chrono::duration<double>(watched.goal_time_tolerance));
      }
      if (now < watched.settle_deadline && !canceling) {
        ++it;
        continue;
      }
    }
    if (watched.goal && ros2::ok() && watched.goal->is_active()) {
      auto result = std::make_shared<Result>();
      if (watched.violation_code != 0 && !canceling) {
        result->error_code = watched.violation_code;
        result->error_string = watched.violation;
        watched.goal->abort(result);
      } else if (status == cmd_status::kSucceeded && !goal_miss.empty() && !canceling) {
        result->error_code = Result::GOAL_TOLERANCE_VIOLATED;
        result->error_string = goal_miss;
        LOG_STATUS(RobotStatus::WARN, error_code::kTrajectoryFault, "%s\n", goal_miss.c_str());
        watched.goal->abort(result);
      } else if (status == cmd_status::kSucceeded && !canceling) {
        result->error_code = Result::SUCCESSFUL;
        watched.goal->succeed(result);
      } else if (watched.plan != nullptr && watched.plan->refused_at_start.load()) {
        result->error_code = Result::INVALID_GOAL;
        result->error_string =
            "The trajectory does not start at the arm's commanded position (more than one "
            "period's travel away).";
        watched.goal->abort(result);
      } else if (canceling) {
        result->error_string = "The goal was canceled: the arm has stopped.";
        watched.goal->canceled(result);
      } else {
        // The control loop's own words for why it ended the trajectory.
        const char* reason = watched.cmd->outcome_reason.load();
        result->error_code = Result::PATH_TOLERANCE_VIOLATED;
        result->error_string =
            reason != nullptr
                ? std::string("The trajectory was ") +
                      (status == cmd_status::kFailed ? "failed: " : "stopped: ") + reason
            : status == cmd_status::kFailed ? "The trajectory failed."
                                            : "The trajectory was stopped.";
        watched.goal->abort(result);
      }
    }
    // From here on the control loop owns the command again and may delete it.
    watched.cmd->is_block = false;
    it = watched_.erase(it);
  }
}

void RobotCmdRosTwoWrapper::publishFeedback(const Watched& watched) const {
  auto feedback = std::make_shared<FollowJointTrajectory::Feedback>();
  feedback->header.stamp = now();
  const double t =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - watched.started).count();
  const std::vector<double> actual = interpolator_->getActualJointPositions();
  for (int i = 0; i < axis_num_; ++i) {
    feedback->joint_names.push_back("joint" + std::to_string(i + 1));
    const double desired = watched.plan->traj_interface_ptrs_[i]->calPosition(t, nullptr);
    feedback->desired.positions.push_back(desired);
    feedback->actual.positions.push_back(actual[i]);
    feedback->error.positions.push_back(desired - actual[i]);
  }
  watched.goal->publish_feedback(feedback);
}

}  // namespace brenvik

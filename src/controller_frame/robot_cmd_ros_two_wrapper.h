#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "controller_frame/abstract_cmd_interface.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/joint_move_builder.h"
#include "ros2/action.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/ros2.h"

namespace brenvik {

// The command node "robot_cmd_processor": twelve command topics and the "follow_joint_trajectory"
// action server. Every callback runs on the thread that spins the node (the main thread), one at a
// time. Motion requests are validated and planned here and handed to the interpolator's queue;
// stop, the collision and drag-teaching switches and the collision sensitivity are handed to the
// interpolator, which applies them under its mutex.
//
// Blocking commands (trajectory goals, blocking joint moves) are watched by a timer on the same
// executor: once a command has its outcome the node finishes the goal and clears is_block, which
// lets the control loop delete it. The node never touches a command after that.
class RobotCmdRosTwoWrapper : public ros2::Node {
 public:
  using FollowJointTrajectory = control_msgs::action::FollowJointTrajectory;
  using GoalHandle = ros2::action::ServerGoalHandle<FollowJointTrajectory>;

  // How often blocking commands are checked and trajectory feedback is published.
  static constexpr std::chrono::milliseconds kWatchPeriod{20};
  // How long a goal that ended away from its last point may take to come within its goal
  // tolerance when the goal gives no goal_time_tolerance.
  static constexpr double kDefaultGoalTimeTolerance = 1.0;  // s
  // How long a recover waits for the status to fall below ERROR.
  static constexpr std::chrono::milliseconds kRecoverTimeout{2000};

  // interpolator: not owned; must outlive the node.
  explicit RobotCmdRosTwoWrapper(Interpolator* interpolator,
                                 const ros2::NodeOptions& options = ros2::NodeOptions());
  ~RobotCmdRosTwoWrapper() override;

  void stopCallback(const std_msgs::msg::String& msg) const;
  void serveOnCallback(const std_msgs::msg::Bool& msg) const;
  void movjCallback(const std_msgs::msg::Float64MultiArray& msg);
  void movsCallback(std::shared_ptr<std_msgs::msg::Float64MultiArray> msg) const;
  void movjToPoseCallback(const std_msgs::msg::Float64MultiArray& msg);
  void movLCallback(const std_msgs::msg::Float64MultiArray& msg) const;
  void setHomeCallback(const std_msgs::msg::String& msg) const;
  void ctrlIOCallback(const std_msgs::msg::Int32MultiArray& msg) const;
  // Starts a recover: the watch timer then waits (never this callback) for the status to fall
  // below ERROR and the arm to be at rest, and clears the stop; "recover cmd ERROR!" when that
  // does not happen within kRecoverTimeout plus the longest stop.
  void recoverCallback(const std_msgs::msg::Bool& msg);
  void collisionCallback(const std_msgs::msg::Bool& msg) const;
  void dragTeachingCallback(const std_msgs::msg::Bool& msg) const;
  void setCollisionSensitivityCallback(const std_msgs::msg::Float64MultiArray& msg) const;

  // Point-to-point joint move from the interpolator's start point to target (N values, rad).
  // False when it was refused (the reason is logged).
  bool computeTrajCmd(const std::vector<double>& target, bool is_block, double vel_scale,
                      double acc_scale);

  ros2::action::GoalResponse handle_goal(const ros2::action::GoalUUID& uuid,
                                         std::shared_ptr<const FollowJointTrajectory::Goal> goal);
  ros2::action::CancelResponse handle_cancel(std::shared_ptr<GoalHandle> goal_handle);
  void handle_accepted(std::shared_ptr<GoalHandle> goal_handle);
  void execute(std::shared_ptr<GoalHandle> goal_handle);

  // A trajectory goal checked and planned. error_code is SUCCESSFUL with cmd set, or the
  // result's code (INVALID_GOAL, INVALID_JOINTS, OLD_HEADER_TIMESTAMP) with the reason.
  // Tolerances per axis in rad (N values): a path tolerance of 0 is not checked; a goal
  // tolerance of 0 is not checked either (the loop's own arrival check against
  // joint_pos_error_threshold still applies).
  struct GoalPlan {
    int32_t error_code = FollowJointTrajectory::Result::SUCCESSFUL;
    std::string error_string;
    std::unique_ptr<AllAxisesJointPlanCmd> cmd;
    std::vector<double> last_point;
    std::vector<double> path_tolerance;
    std::vector<double> goal_tolerance;
    double goal_time_tolerance = kDefaultGoalTimeTolerance;  // s
  };
  // Checks a goal as a FollowJointTrajectory controller does: joint_names must name joint1..jointN
  // once each, every point holds one position per name; a tolerance of 0 means the controller's
  // default (path: none; goal: joint_pos_error_threshold), a negative one none. Plans the spline
  // from the interpolator's start point. Command node thread.
  [[nodiscard]] GoalPlan planGoal(const FollowJointTrajectory::Goal& goal) const;

  // Finishes the goals and releases the blocking commands whose outcome is known; publishes
  // feedback of the goals under way; advances a recover under way. Called by the watch timer.
  void watchBlockingCommands();
  size_t watchedCommandCount() const { return watched_.size(); }
  bool recoverPending() const { return recover_pending_; }

 private:
  // A blocking command this node issued and still holds.
  struct Watched {
    AbstractCmdInterface* cmd = nullptr;
    std::shared_ptr<GoalHandle> goal;  // null for a blocking joint move
    const AllAxisesJointPlanCmd* plan = nullptr;
    bool stop_requested = false;
    bool executing = false;
    std::chrono::steady_clock::time_point started;
    // Goals only: what ends them besides the command's outcome.
    std::vector<double> last_point;
    std::vector<double> path_tolerance;
    std::vector<double> goal_tolerance;
    double goal_time_tolerance = 0.0;
    bool settling = false;  // the command succeeded, the goal waits for its goal tolerance
    std::chrono::steady_clock::time_point settle_deadline;
    int32_t violation_code = 0;  // PATH_TOLERANCE_VIOLATED once the path was left
    std::string violation;
  };

  // The configuration, read-only, as parameters: robot_para_file (from the node options'
  // parameter overrides, "" without), axis_num, joint_names and per axis min_joint_pos,
  // max_joint_pos (rad), max_joint_vel (rad/s), max_joint_acc and emergency_stop_acc (rad/s²).
  void declareConfigurationParameters();
  void abortGoal(const std::shared_ptr<GoalHandle>& goal_handle, int32_t error_code,
                 const std::string& text) const;
  void publishFeedback(const Watched& watched) const;
  // Path tolerance check of a goal under way: stops the arm and records the violation.
  void checkPath(Watched& watched);
  // True when every axis is within its goal tolerance of the last point; else the reason.
  bool withinGoalTolerance(const Watched& watched, std::string& reason) const;
  void pollRecover();

  ros2::action::Server<FollowJointTrajectory>::SharedPtr action_server_;
  ros2::Subscription<std_msgs::msg::String>::SharedPtr stop_sub_;
  ros2::Subscription<std_msgs::msg::Bool>::SharedPtr serve_on_sub_;
  ros2::Subscription<std_msgs::msg::Float64MultiArray>::SharedPtr movj_sub_;
  ros2::Subscription<std_msgs::msg::Float64MultiArray>::SharedPtr movs_sub_;
  ros2::Subscription<std_msgs::msg::Float64MultiArray>::SharedPtr movj_to_pose_sub_;
  ros2::Subscription<std_msgs::msg::Float64MultiArray>::SharedPtr movl_sub_;
  ros2::Subscription<std_msgs::msg::String>::SharedPtr set_home_sub_;
  ros2::Subscription<std_msgs::msg::Int32MultiArray>::SharedPtr ctrl_io_sub_;
  ros2::Subscription<std_msgs::msg::Bool>::SharedPtr recover_sub_;
  ros2::Subscription<std_msgs::msg::Bool>::SharedPtr collision_sub_;
  ros2::Subscription<std_msgs::msg::Bool>::SharedPtr drag_teaching_sub_;
  ros2::Subscription<std_msgs::msg::Float64MultiArray>::SharedPtr sensitivity_sub_;
  ros2::TimerBase::SharedPtr watch_timer_;
  Interpolator* interpolator_;
  std::shared_ptr<Robot> robot_;
  int axis_num_;
  JointMoveBuilder builder_;
  std::vector<Watched> watched_;
  bool recover_pending_ = false;
  std::chrono::steady_clock::time_point recover_deadline_;
};

}  // namespace brenvik

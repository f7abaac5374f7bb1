#include "controller_frame/joint_move_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "controller_frame/cubic_planner.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/motion_codes.h"
#include "controller_frame/trapezoid_planner.h"

namespace brenvik {
namespace {

// Planned peaks this far beyond a limit are rounding, not a violation: rad, and a fraction of a
// velocity or acceleration limit.
constexpr double kPositionTolerance = 1e-9;
constexpr double kRateTolerance = 1e-9;

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  char buffer[256];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buffer, sizeof(buffer), fmt, args);
  va_end(args);
  return buffer;
}

JointMove refuse(int result, std::string message) {
  JointMove move;
  move.result = result;
  move.message = std::move(message);
  return move;
}

}  // namespace

JointMoveBuilder::JointMoveBuilder(std::shared_ptr<Robot> robot, InfoLog info)
    : robot_(std::move(robot)), info_(std::move(info)), axis_num_(robot_->robot_para_.axis_num) {}

int JointMoveBuilder::checkJointValues(const std::vector<double>& joints, int point,
                                       std::string& message) const {
  if (static_cast<int>(joints.size()) < axis_num_) {
    message = format("The %dst point has %d joint values, fewer than the %d axes.\n", point,
                     static_cast<int>(joints.size()), axis_num_);
    return joint_move_result::kWrongSize;
  }
  for (int i = 0; i < axis_num_; ++i) {
    if (!std::isfinite(joints[i])) {
      message = format("The %dst point %dst axis value is not a number.\n", point, i + 1);
      return joint_move_result::kNotFinite;
    }
  }
  for (int i = 0; i < axis_num_; ++i) {
    const AxisPara& axis = robot_->robot_para_.axis_paras[i];
    if (joints[i] > axis.max_joint_pos || joints[i] < axis.min_joint_pos) {
      message = format(
          "The %dst point %dst axim angle is over range. Please send viable command again.\n",
          point, i + 1);
      return joint_move_result::kOutOfRange;
    }
  }
  return joint_move_result::kOk;
}

JointMove JointMoveBuilder::pointToPoint(const std::vector<double>& start,
                                         const std::vector<double>& target, double vel_scale,
                                         double acc_scale) const {
  std::string message;
  const int checked = checkJointValues(target, 1, message);
  if (checked != joint_move_result::kOk) {
    return refuse(checked, message);
  }
  if (static_cast<int>(start.size()) != axis_num_) {
    return refuse(joint_move_result::kWrongSize,
                  "The start point does not hold one value per axis.\n");
  }

  auto cmd = std::make_unique<AllAxisesJointPlanCmd>(robot_);
  for (int i = 0; i < axis_num_; ++i) {
    const AxisPara& axis = robot_->robot_para_.axis_paras[i];
    TrapezoidPlannerInput input;
    input.q0 = start[i];
    input.q1 = target[i];
    input.vmax = vel_scale * axis.max_joint_vel;
    input.aa = acc_scale * axis.max_joint_acc;
    input.ad = -input.aa;
    info_(format("TrapezoidPlannerInput:%lf,%lf,%lf,%lf,%lf\n", input.q0, input.q1, input.vmax,
                 input.aa, input.ad));
    auto planner = std::make_unique<TrapezoidPlanner>();
    planner->setInput(&input);
    cmd->traj_interface_ptrs_.push_back(std::move(planner));
  }
  const int planned = cmd->planAllJoints();
  if (planned != planner_result::kOk) {
    return refuse(joint_move_result::kPlanFailed,
                  format("planAllJoints Failed,error code=%d\n", planned));
  }
  const double duration = cmd->traj_interface_ptrs_[0]->getMotionTime();
  if (duration > Interpolator::kTrajectoryTimeLimit) {
    return refuse(joint_move_result::kTooLong,
                  format("The move takes %lf s, longer than the %lf s a trajectory may run.\n",
                         duration, Interpolator::kTrajectoryTimeLimit));
  }
  const int checked_motion = checkPlannedMotion(*cmd, message);
  if (checked_motion != joint_move_result::kOk) {
    return refuse(checked_motion, message);
  }
  // Kept so that the control loop can re-plan the move from wherever the arm is commanded to be
  // when it begins.
  cmd->vel_scale = vel_scale;
  cmd->acc_scale = acc_scale;
  JointMove move;
  move.cmd = std::move(cmd);
  return move;
}

JointMove JointMoveBuilder::spline(const std::vector<double>& start,
                                   const std::vector<std::vector<double>>& points,
                                   const std::vector<double>& times) const {
  if (points.empty()) {
    return refuse(joint_move_result::kTooFewPoints, "The trajectory has no points.\n");
  }
  if (times.size() != points.size() || static_cast<int>(start.size()) != axis_num_) {
    return refuse(joint_move_result::kWrongSize, "Every point needs one time.\n");
  }
  std::string message;
  for (size_t k = 0; k < points.size(); ++k) {
    const int checked = checkJointValues(points[k], static_cast<int>(k) + 1, message);
    if (checked != joint_move_result::kOk) {
      return refuse(checked, message);
    }
  }
  for (size_t k = 0; k < times.size(); ++k) {
    const double previous = k == 0 ? 0.0 : times[k - 1];
    if (!std::isfinite(times[k]) || times[k] < previous || (k > 0 && times[k] == previous)) {
      return refuse(joint_move_result::kTimesNotIncreasing,
                    format("The %dst point's time %lf s does not follow %lf s: times must "
                           "strictly increase from 0 s.\n",
                           static_cast<int>(k) + 1, times[k], previous));
    }
  }
  // The reference must not jump: a late first point is reached from the start point; an early one
  // must already be there, and the start takes its place.
  const bool from_start = times[0] > 0.0;
  if (!from_start && points.size() < 2) {
    return refuse(joint_move_result::kTooFewPoints,
                  "The trajectory's only point is at 0 s: it needs a point after 0 s.\n");
  }
  if (!from_start) {
    for (int i = 0; i < axis_num_; ++i) {
      const double threshold = robot_->robot_para_.axis_paras[i].joint_pos_error_threshold;
      const double distance = std::abs(points[0][i] - start[i]);
      if (distance > threshold) {
        return refuse(joint_move_result::kStartJump,
                      format("The first point at 0 s is %lf rad from the arm on axis %d (more "
                             "than %lf): the arm would jump.\n",
                             distance, i + 1, threshold));
      }
    }
  }

  auto cmd = std::make_unique<AllAxisesJointPlanCmd>(robot_);
  for (int i = 0; i < axis_num_; ++i) {
    CubicPlannerInput input;
    input.positions.reserve(points.size() + 1);
    input.times.reserve(points.size() + 1);
    input.positions.push_back(start[i]);
    input.times.push_back(0.0);
    for (size_t k = from_start ? 0 : 1; k < points.size(); ++k) {
      input.positions.push_back(points[k][i]);
      input.times.push_back(times[k]);
    }
    auto planner = std::make_unique<CubicPlanner>();
    planner->setInput(&input);
    cmd->traj_interface_ptrs_.push_back(std::move(planner));
  }
  const double duration = times.back();
  if (duration > Interpolator::kTrajectoryTimeLimit) {
    return refuse(joint_move_result::kTooLong,
                  format("The move takes %lf s, longer than the %lf s a trajectory may run.\n",
                         duration, Interpolator::kTrajectoryTimeLimit));
  }
  const int planned = cmd->planAllJoints();
  if (planned != planner_result::kOk) {
    return refuse(joint_move_result::kPlanFailed,
                  format("planAllJoints Failed,error code=%d\n", planned));
  }
  const int checked_motion = checkPlannedMotion(*cmd, message);
  if (checked_motion != joint_move_result::kOk) {
    return refuse(checked_motion, message);
  }
  JointMove move;
  move.cmd = std::move(cmd);
  return move;
}

int JointMoveBuilder::checkPlannedMotion(const AllAxisesJointPlanCmd& cmd,
                                         std::string& message) const {
  for (int i = 0; i < axis_num_; ++i) {
    const AxisPara& axis = robot_->robot_para_.axis_paras[i];
    const TrajectoryInterface& planner = *cmd.traj_interface_ptrs_[i];
    const MotionBounds b = planner.motionBounds();
    // An axis that starts outside its limits may move back towards them, never further out.
    const double start = planner.calPosition(0.0, nullptr);
    const double lowest = std::min(axis.min_joint_pos, start) - kPositionTolerance;
    const double highest = std::max(axis.max_joint_pos, start) + kPositionTolerance;
    if (!(b.min_position >= lowest) || !(b.max_position <= highest)) {
      const bool low = !(b.min_position >= lowest);
      message = format("The planned motion of axis %d leaves its limits at %lf s (%lf rad).\n",
                       i + 1, low ? b.min_position_time : b.max_position_time,
                       low ? b.min_position : b.max_position);
      return joint_move_result::kExceedsLimits;
    }
    if (!(b.max_speed <= axis.max_joint_vel * (1.0 + kRateTolerance))) {
      message =
          format("The planned motion of axis %d reaches %lf rad/s at %lf s, above its limit %lf.\n",
                 i + 1, b.max_speed, b.max_speed_time, axis.max_joint_vel);
      return joint_move_result::kExceedsLimits;
    }
    if (!(b.max_acceleration <= axis.max_joint_acc * (1.0 + kRateTolerance))) {
      message = format(
          "The planned motion of axis %d accelerates at %lf rad/s^2 at %lf s, above its limit "
          "%lf.\n",
          i + 1, b.max_acceleration, b.max_acceleration_time, axis.max_joint_acc);
      return joint_move_result::kExceedsLimits;
    }
  }
  return joint_move_result::kOk;
}

Eigen::Matrix4d JointMoveBuilder::poseMatrix(const double position[3], const double quaternion[4]) {
  double x = quaternion[0];
  double y = quaternion[1];
  double z = quaternion[2];
  double w = quaternion[3];
  const double norm = std::sqrt(x * x + y * y + z * z + w * w);
  if (norm > 0.0) {
    x /= norm;
    y /= norm;
    z /= norm;
    w /= norm;
  }
  Eigen::Matrix4d pose = Eigen::Matrix4d::Identity();
  pose(0, 0) = 1 - 2 * (y * y + z * z);
  pose(0, 1) = 2 * (x * y - w * z);
  pose(0, 2) = 2 * (x * z + w * y);
  pose(1, 0) = 2 * (x * y + w * z);
  pose(1, 1) = 1 - 2 * (x * x + z * z);
  pose(1, 2) = 2 * (y * z - w * x);
  pose(2, 0) = 2 * (x * z - w * y);
  pose(2, 1) = 2 * (y * z + w * x);
  pose(2, 2) = 1 - 2 * (x * x + y * y);
  pose(0, 3) = position[0];
  pose(1, 3) = position[1];
  pose(2, 3) = position[2];
  return pose;
}

std::vector<int> JointMoveBuilder::axisOrder(const std::vector<std::string>& joint_names,
                                             int axis_num) {
  std::vector<int> order(axis_num);
  for (int i = 0; i < axis_num; ++i) {
    order[i] = i;
  }
  if (static_cast<int>(joint_names.size()) != axis_num) {
    return order;
  }
  std::vector<int> by_name(axis_num, -1);
  for (int k = 0; k < axis_num; ++k) {
    const std::string& name = joint_names[k];
    int axis = -1;
    const std::string prefix = "joint";
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        name.find_first_not_of("0123456789", prefix.size()) == std::string::npos &&
        name.size() - prefix.size() <= 3) {
      axis = std::stoi(name.substr(prefix.size())) - 1;
      if (name != prefix + std::to_string(axis + 1)) {
        axis = -1;  // leading zeros: not one of the axis names
      }
    }
    if (axis < 0 || axis >= axis_num || by_name[axis] >= 0) {
      return order;
    }
    by_name[axis] = k;
  }
  return by_name;
}

}  // namespace brenvik

#include "robot_factory/robot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/logger.h"
#include "robot_factory/utility/load_robot_para.h"

namespace brenvik {

Robot::Robot(const std::string& robot_para_file) {
  {
    auto loader = std::make_shared<LoadRobotPara>();
    if (loader->load(robot_para_file, robot_para_) != load_result::kOk) {
      LOG_STATUS(RobotStatus::FATAL, error_code::kLoadParaFile, "load yaml file failed\n");
      std::exit(1);
    }
  }
  // Aliasing pointer: shares no ownership, the record lives as long as the robot.
  robot_para_ptr_ = std::shared_ptr<RobotPara>(std::shared_ptr<RobotPara>(), &robot_para_);
  last_motor_positions_.assign(robot_para_.axis_num, std::nan(""));
}

Robot::Robot(RobotPara robot_para) : robot_para_(std::move(robot_para)) {
  robot_para_ptr_ = std::shared_ptr<RobotPara>(std::shared_ptr<RobotPara>(), &robot_para_);
  last_motor_positions_.assign(std::max(robot_para_.axis_num, 0), std::nan(""));
}

void Robot::convert(const Eigen::MatrixXd& matrix, const std::vector<double>& in,
                    std::vector<double>& out) const {
  const int n = robot_para_.axis_num;
  if (static_cast<int>(in.size()) != n || static_cast<int>(out.size()) != n) {
    Logger::instance()->print("size()!=robot_para_.axis_num,%d,%d\n", static_cast<int>(in.size()),
                              static_cast<int>(out.size()));
    return;
  }
  Eigen::Map<const Eigen::VectorXd> in_vector(in.data(), n);
  Eigen::Map<Eigen::VectorXd>(out.data(), n).noalias() = matrix * in_vector;
}

void Robot::jointPosToMotorPos(const std::vector<double>& in, std::vector<double>& out) const {
  convert(robot_para_.joint2motor_pos_matrix, in, out);
}

void Robot::motorPosToJointPos(const std::vector<double>& in, std::vector<double>& out) const {
  convert(robot_para_.motor2joint_pos_matrix, in, out);
}

void Robot::jointTorqueToMotorTorque(const std::vector<double>& in,
                                     std::vector<double>& out) const {
  convert(robot_para_.joint2motor_dual_matrix, in, out);
}

void Robot::motorTorqueToJointTorque(const std::vector<double>& in,
                                     std::vector<double>& out) const {
  convert(robot_para_.motor2joint_dual_matrix, in, out);
}

int Robot::setMotorPositions(const std::vector<double>& motor_positions) {
  if (static_cast<int>(motor_positions.size()) != robot_para_.axis_num) {
    Logger::instance()->print("motor_positions.size()!=robot_para_.axis_num\n");
    return robot_result::kSizeMismatch;
  }
  // Every value is checked before any axis is written: a write that moved some axes and not
  // their coupled partners would drive the joints somewhere nobody commanded.
  for (size_t i = 0; i < motor_positions.size(); ++i) {
    const double position = motor_positions[i];
    if (!std::isfinite(position)) {
      Logger::instance()->print(
          "%d (start from 1) axis motor position is not finite, nothing written\n",
          static_cast<int>(i) + 1);
      return robot_result::kNotFinite;
    }
    const AxisPara& axis = robot_para_.axis_paras[i];
    const double last = last_motor_positions_[i];
    // The range comes from the joint limits through the coupling: a joint exactly on its limit
    // may land a rounding error beyond it on the motor side.
    const double slack = kRangeSlack * std::max(1.0, std::abs(position));
    const bool inside =
        position >= axis.min_motor_pos - slack && position <= axis.max_motor_pos + slack;
    // Outside the range an axis may hold or come back, never go further out (a NaN last position
    // allows neither).
    const bool coming_back = (position > axis.max_motor_pos && position <= last) ||
                             (position < axis.min_motor_pos && position >= last);
    if (!inside && !coming_back) {
      if (std::isnan(last)) {
        Logger::instance()->print(
            "%d (start from 1) axis motor position %g is outside its range [%g, %g], nothing "
            "written\n",
            static_cast<int>(i) + 1, position, axis.min_motor_pos, axis.max_motor_pos);
      } else {
        Logger::instance()->print(
            "%d (start from 1) axis motor position %g is outside its range [%g, %g] and not on "
            "its way back from %g, nothing written\n",
            static_cast<int>(i) + 1, position, axis.min_motor_pos, axis.max_motor_pos, last);
      }
      return robot_result::kOutOfRange;
    }
  }
  for (size_t i = 0; i < motor_positions.size(); ++i) {
    const int code = robot_para_.axis_paras[i].motor->setMotorPosition(motor_positions[i]);
    if (code != 0) {
      Logger::instance()->print("%d (start from 1) axis setMotorPosition error! error code=<%d>\n",
                                static_cast<int>(i) + 1, code);
      return code;
    }
    last_motor_positions_[i] = motor_positions[i];
  }
  return robot_result::kOk;
}

void Robot::seedMotorPositions(const std::vector<double>& motor_positions) {
  if (motor_positions.size() == last_motor_positions_.size()) {
    last_motor_positions_ = motor_positions;
  }
}

}  // namespace brenvik

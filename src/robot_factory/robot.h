#pragma once

#include <memory>
#include <string>
#include <vector>

#include "robot_factory/utility/robot_para.h"
#include "robot_model/collision_detector_interface.h"
#include "robot_model/dynamics_interface.h"
#include "robot_model/force_ctrl_function.h"
#include "robot_model/kinematics_interface.h"

namespace brenvik {

// Results of Robot::setMotorPositions besides the device codes it passes through.
namespace robot_result {
inline constexpr int kOk = 0;
inline constexpr int kSizeMismatch = -1;  // vector length differs from axis_num
inline constexpr int kNotFinite = -2;     // a position is NaN or infinite: nothing written
// A position outside its axis's [min_motor_pos, max_motor_pos] that does not hold the axis or move
// it back towards the range from the last position written: nothing written.
inline constexpr int kOutOfRange = -3;
}  // namespace robot_result

// The arm as one object: owns the parameter record with its devices, converts whole-arm vectors
// between motor and joint side, and writes all motor positions at once.
//
// Vectors have N = axis_num entries. The conversions and setMotorPositions are called by the
// control thread; robot_para_ is read-only after construction and may be read by any thread.
class Robot {
 public:
  // Relative slack of the motor range check, for the rounding of the joint-to-motor conversion.
  static constexpr double kRangeSlack = 1e-9;
  // Loads the parameter file. On failure logs "load yaml file failed\n" (FATAL, code 2) and ends
  // the process with exit status 1.
  explicit Robot(const std::string& robot_para_file);
  // Adopts a record that is already filled (tests, tools).
  explicit Robot(RobotPara robot_para);
  Robot(const Robot&) = delete;
  Robot& operator=(const Robot&) = delete;
  virtual ~Robot() = default;

  // out = matrix x in. A length other than N prints
  // "size()!=robot_para_.axis_num,<in>,<out>" and leaves out unchanged; out is never resized.
  virtual void jointPosToMotorPos(const std::vector<double>& in, std::vector<double>& out) const;
  virtual void motorPosToJointPos(const std::vector<double>& in, std::vector<double>& out) const;
  virtual void jointTorqueToMotorTorque(const std::vector<double>& in,
                                        std::vector<double>& out) const;
  virtual void motorTorqueToJointTorque(const std::vector<double>& in,
                                        std::vector<double>& out) const;

  // Writes all motors or none: every position must be finite and inside its axis's
  // [min_motor_pos, max_motor_pos], or, for an axis outside that range, no further out than the
  // last position written to it (holding it, or moving it back towards the range); otherwise
  // nothing is written and a line names the axis, the value and the range. Returns
  // robot_result::kOk, kSizeMismatch, kNotFinite, kOutOfRange, or the code of the first motor
  // that refused its position (the axes before it are written, the later ones are not).
  // Control thread.
  [[nodiscard]] int setMotorPositions(const std::vector<double>& motor_positions);
  // Takes motor_positions (N values, usually the measured ones at start-up) as the last positions
  // written, so that a first write may hold an axis that stands outside its range or move it
  // back in. Before any write or seed an axis outside its range cannot be written. A vector of
  // another length is ignored. Control thread, or before it starts.
  void seedMotorPositions(const std::vector<double>& motor_positions);

  RobotPara robot_para_;
  std::shared_ptr<RobotPara> robot_para_ptr_;  // refers to robot_para_ without owning it
  std::shared_ptr<KinematicsInterface> kinematics_;
  std::shared_ptr<DynamicsInterface> dynamics_;
  std::shared_ptr<CollisionDetectorInterface> collision_detector_;
  std::shared_ptr<ForceCtrlFunction> force_ctrl_function_;

 private:
  void convert(const Eigen::MatrixXd& matrix, const std::vector<double>& in,
               std::vector<double>& out) const;

  // The last position written to (or seeded for) each motor; NaN before the first.
  std::vector<double> last_motor_positions_;
};

}  // namespace brenvik

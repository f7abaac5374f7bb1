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
}  // namespace robot_result

// The arm as one object: owns the parameter record with its devices, converts whole-arm vectors
// between motor and joint side, and writes all motor positions at once.
//
// Vectors have N = axis_num entries. The conversions and setMotorPositions are called by the
// control thread; robot_para_ is read-only after construction and may be read by any thread.
class Robot {
 public:
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

  // Writes every axis whose position lies inside [min_motor_pos, max_motor_pos]; others keep
  // their previous command. Returns robot_result::kOk, kSizeMismatch, kNotFinite (nothing
  // written), or the code of the first motor that refused (later axes not written).
  [[nodiscard]] int setMotorPositions(const std::vector<double>& motor_positions);

  RobotPara robot_para_;
  std::shared_ptr<RobotPara> robot_para_ptr_;  // refers to robot_para_ without owning it
  std::shared_ptr<KinematicsInterface> kinematics_;
  std::shared_ptr<DynamicsInterface> dynamics_;
  std::shared_ptr<CollisionDetectorInterface> collision_detector_;
  std::shared_ptr<ForceCtrlFunction> force_ctrl_function_;

 private:
  void convert(const Eigen::MatrixXd& matrix, const std::vector<double>& in,
               std::vector<double>& out) const;
};

}  // namespace brenvik

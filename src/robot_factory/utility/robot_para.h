#pragma once

#include <Eigen/Dense>
#include <map>
#include <memory>
#include <vector>

#include "devices/ctrl_io_interface.h"
#include "devices/ctrl_motor_interface.h"
#include "devices/virtual_motor.h"

namespace brenvik {

// Modified Denavit-Hartenberg parameters; entry i belongs to axis i.
struct MdhPara {
  std::vector<double> zds;     // link offset d along z (file length unit)
  std::vector<double> xas;     // link length a along x (file length unit)
  std::vector<double> alphas;  // link twist about x (rad)
  std::vector<double> qzeros;  // joint zero offset (rad)
};

// Limits and motor of one axis. Joint values in rad, rad/s, rad/s²; motor values in the units
// produced by the coupling matrices.
struct AxisPara {
  double min_joint_pos = 0.0;
  double max_joint_pos = 0.0;
  double max_joint_vel = 0.0;
  double max_joint_acc = 0.0;
  double reduction_ratio = 0.0;
  std::shared_ptr<CtrlMotorInterface> motor;
  double max_motor_vel = 0.0;
  double max_motor_acc = 0.0;
  double joint_pos_error_threshold = 0.0;  // arrival tolerance of a trajectory (rad)
  double min_motor_pos = 0.0;              // derived from the joint limits by the loader
  double max_motor_pos = 0.0;              // derived from the joint limits by the loader
  double emergency_stop_acc = 0.0;         // deceleration of a controlled stop (rad/s²)
};

struct CartesianPara {
  double max_line_v = 0.0;
  double max_rotation_w = 0.0;
};

struct DynamicsPara {
  std::vector<double> inertial_para;  // 10 values per link: Ixx Ixy Ixz Iyy Iyz Izz cx cy cz m
  std::vector<double> friction_para;  // 11 values for this arm type
};

struct DynamicsApplicationPara {
  std::vector<double> signal_bound_para;  // 5 lower, 5 upper residual bounds, factors
  std::vector<double> admittance_para;    // B_move, M_move, B_rest, M_rest: 5 values each
};

struct CtrlIoDevicePara {
  Eigen::MatrixXd geometrical_para;  // 4 x 4 mounting transform
  std::shared_ptr<CtrlIoInterface> device;
};

// The one description of the arm, filled once at start-up by LoadRobotPara and read-only after.
// N = axis_num. Owns the devices through shared pointers; a copy shares them.
struct RobotPara {
  int axis_num = 0;
  MdhPara mdh_para;
  std::vector<AxisPara> axis_paras;
  CartesianPara cartesian_para;
  Eigen::MatrixXd motor2joint_matrix;       // N x N coupling from the file
  Eigen::MatrixXd motor2joint_pos_matrix;   // A = coupling x diag(1 / reduction_ratio)
  Eigen::MatrixXd motor2joint_dual_matrix;  // (A^-1)^T: motor torques to joint torques
  Eigen::MatrixXd joint2motor_pos_matrix;   // A^-1: joint positions to motor positions
  Eigen::MatrixXd joint2motor_dual_matrix;  // A^T: joint torques to motor torques
  DynamicsPara dynamics_para;
  DynamicsApplicationPara dynamics_application_para;
  std::map<int, CtrlIoDevicePara> ctrl_io_devices;  // keyed by ctrl_io_id
  // Tolerance of the supervision of measured joint velocities, as a fraction of max_joint_vel: an
  // axis is over its limit above (1 + max_joint_vel_tolerance) x max_joint_vel. Finite, >= 0.
  // File key max_joint_vel_tolerance (optional).
  double max_joint_vel_tolerance = 0.1;
  // How the simulated drives track their setpoints (file key virtual_motor_para, optional, read
  // for a simulated arm only).
  VirtualMotorPara virtual_motor_para;
};

}  // namespace brenvik

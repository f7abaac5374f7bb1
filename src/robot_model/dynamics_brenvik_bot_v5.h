#pragma once

#include <Eigen/Dense>
#include <array>
#include <memory>
#include <vector>

#include "robot_model/dynamics_interface.h"
#include "robot_model/smoothing_filter.h"

namespace brenvik {

// Joint torque estimate of the five-axis arm: recursive Newton-Euler rigid-body dynamics of
// joints 1..3 (standard DH links built from mdh_para, gravity 9.8 along −z of the base) plus a
// friction model with direction memory, on smoothed joint states. Joints 4 and 5 carry no
// estimate and read DBL_MAX.
//
// initDynamics once at start-up (main thread), then estimateTorque from the control thread only;
// no lock. Units: rad, rad/s, rad/s², the parameter file's lengths, masses and inertias.
class DynamicsBrenvikBotV5 final : public DynamicsInterface {
 public:
  static constexpr int kAxisCount = 5;
  static constexpr unsigned kModelJoints = 3;
  static constexpr int kInertialValuesPerLink = 10;
  static constexpr int kFrictionValues = 11;

  DynamicsBrenvikBotV5();

  // Reads mdh_para (zds and qzeros of links 0..2, xas and alphas of links 1..3), the first 30
  // inertial_para values (per link: Ixx Ixy Ixz Iyy Iyz Izz about the centre of mass, cx cy cz
  // in the link's own DH frame, m) and the 11 friction_para values. Throws std::invalid_argument
  // for a null record or counts that fall short (fewer than 4 MDH links, fewer than 30 inertial
  // values, a friction list of other than 11 values).
  void initDynamics(std::shared_ptr<RobotPara> robot_para) override;

  // Always empty.
  std::vector<double> getDynamicsVector() override;

  // q (rad), qd (rad/s), qdd (rad/s²): at least 5 values each (fewer throws
  // std::invalid_argument); time (s) is stored only. Returns (τ1, τ2, τ3, DBL_MAX, DBL_MAX);
  // the reference stays valid until the next call. Allocates nothing.
  const std::vector<double>& estimateTorque(const std::vector<double>& q,
                                            const std::vector<double>& qd,
                                            const std::vector<double>& qdd, double time) override;

 private:
  using Vector5 = Eigen::Matrix<double, kAxisCount, 1>;
  using Vector3 = Eigen::Vector3d;
  using Matrix3 = Eigen::Matrix3d;
  using FrictionVector = Eigen::Matrix<double, kFrictionValues, 1>;

  // One rigid link j: frame j sits at its far end, reached from frame j − 1 by
  // Rz(θ + theta_offset)·Tz(d)·Tx(a)·Rx(α); joint j turns about z of frame j − 1.
  struct Link {
    double theta_offset = 0.0;
    double d = 0.0;
    double alpha = 0.0;
    double a = 0.0;
    double cos_alpha = 1.0;
    double sin_alpha = 0.0;
    Vector3 axis = Vector3::UnitZ();   // joint axis in frame j: (0, sin α, cos α)
    Vector3 origin = Vector3::Zero();  // frame j − 1 origin to frame j origin, in frame j
    double mass = 0.0;
    Vector3 com = Vector3::Zero();          // c: centre of mass from frame j origin, frame j axes
    Matrix3 inertia_com = Matrix3::Zero();  // Ic about the centre of mass
    Vector3 com_from_previous = Vector3::Zero();  // c′ = c + origin
    Vector3 first_moment = Vector3::Zero();       // m·c′
    Matrix3 inertia_previous = Matrix3::Zero();   // Io about frame j − 1 origin
  };

  void computeRigidBodyTorque();
  void computeFrictionTorque();

  std::shared_ptr<RobotPara> robot_para_;
  std::array<Link, kModelJoints> links_{};
  FrictionVector friction_para_ = FrictionVector::Zero();
  // σ0..σ3: last direction of the relative joint velocities 1..3 and of the 2-3 coupling.
  std::array<double, 4> friction_direction_{};

  SmoothingFilter<kAxisCount> position_filter_;
  SmoothingFilter<kAxisCount> velocity_filter_;
  SmoothingFilter<kAxisCount> acceleration_filter_;

  Vector5 filtered_q_ = Vector5::Zero();
  Vector5 filtered_qd_ = Vector5::Zero();
  Vector5 filtered_qdd_ = Vector5::Zero();
  Vector3 rigid_body_torque_ = Vector3::Zero();
  Vector3 friction_torque_ = Vector3::Zero();
  Vector3 total_torque_ = Vector3::Zero();
  double time_ = 0.0;
  std::vector<double> estimate_;
};

}  // namespace brenvik

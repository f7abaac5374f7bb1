#pragma once

#include <Eigen/Dense>
#include <array>
#include <memory>
#include <vector>

#include "robot_model/collision_detector_interface.h"
#include "robot_model/smoothing_filter.h"

namespace brenvik {

// Collision detection of the five-axis arm from the residual between the measured and the
// estimated joint torques, the excess torque beyond the band for force control, and the drag
// teaching admittance law.
//
// Joints 2 and 3 are checked in relative-angle form: torques (τ1, τ2 − τ3, τ3, τ4, τ5), positions
// (q1, q2, q2 + q3, q4, q5). Joint i's band is [L_i·kL_i, U_i·kU_i]; a larger factor k widens it.
// Torque and position vectors need at least 5 values (fewer throws std::invalid_argument).
// No lock: all operations from one thread at a time (see CollisionDetectorInterface). After the
// first call of each operation nothing allocates.
class CollisionDetectorBrenvikBotV5 final : public CollisionDetectorInterface {
 public:
  static constexpr int kJointCount = 5;
  // Leading values of getCollisionData: time, collision flag, record type, joint count.
  static constexpr double kRecordType = 7.0;
  // Factor of sensitivity level 2 (the narrowest band).
  static constexpr double kSensitiveFactor = 1.0;
  // Insensitive factor when signal_bound_para gives none.
  static constexpr double kDefaultInsensitiveFactor = 10.0;
  static constexpr double kDefaultStoredParameter = 0.1;
  // Time step of the admittance law (s) and its velocity limit (rad/s).
  static constexpr double kAdmittanceStep = 0.005;
  static constexpr double kAdmittanceVelocityLimit = 200.0;

  CollisionDetectorBrenvikBotV5();

  // command[0], truncated to an integer, selects: 0 all factors normal; 1 v: upper factors of
  // joints 2 and 3 insensitive when v < 0.5, else normal; 2 v: stores v; 3: stores 0.1;
  // 4 s1..s5: level s_i of joint i, 0 insensitive, 1 normal, 2 and above factor 1.0, linear in
  // between. Other types, an empty command and a type whose value is missing have no effect.
  void setCollisionSensitivity(const std::vector<double>& command) override;

  // time, collision flag, 7, 5, then per-joint blocks of 5: flags, signals, lower limits, upper
  // limits, measured torques (detector form, unsmoothed), positions (detector form, as last
  // given to computeAdmittance), estimated torques (detector form), smoothed measured torques.
  // A block not yet filled by any check is left out. Valid until the next call.
  const std::vector<double>& getCollisionData() override;

  // signal_bound_para: L1..L5, U1..U5, normal factor, optional insensitive factor (at least 11
  // values); admittance_para: B_move, M_move, B_rest, M_rest, 5 each (exactly 20, masses not
  // zero). Throws std::invalid_argument otherwise or for a null record.
  void initCollisionDetector(std::shared_ptr<RobotPara> robot_para) override;

  // Reads estimated_torques (joints 1..3) and measured_torques only; time (s) is recorded.
  [[nodiscard]] int detectCollision(const std::vector<double>& estimated_torques,
                                    const std::vector<double>& measured_torques,
                                    const std::vector<double>& q, const std::vector<double>& qd,
                                    const std::vector<double>& qdd, double time) override;

  // Excess torque beyond the band in joint form (x1, x2 + x3, x3, 0, 0); also updates the
  // collision flag. Reads estimated_torques and measured_torques only.
  const std::vector<double>& detectCollisionTorque(const std::vector<double>& estimated_torques,
                                                   const std::vector<double>& measured_torques,
                                                   const std::vector<double>& q,
                                                   const std::vector<double>& qd,
                                                   const std::vector<double>& qdd,
                                                   double time) override;

  // New joint positions (rad) from the admittance law driven by the excess torque, DBL_MAX for
  // joints that are not to move. Reads estimated_torques, measured_torques and q.
  void resetAdmittance() override { admittance_velocity_.setZero(); }
  const std::vector<double>& computeAdmittance(const std::vector<double>& estimated_torques,
                                               const std::vector<double>& measured_torques,
                                               const std::vector<double>& q,
                                               const std::vector<double>& qd,
                                               const std::vector<double>& qdd,
                                               double time) override;

 private:
  using Vector5 = Eigen::Matrix<double, kJointCount, 1>;
  using Flags = std::array<int, kJointCount>;

  // Band check of every joint; include_wrist selects whether joints 4 and 5 of the estimate
  // enter the residual.
  void runCheck(const std::vector<double>& estimated_torques,
                const std::vector<double>& measured_torques, bool include_wrist, double time);
  double levelFactor(double level) const;
  void setUpperFactorsOfJoints23(double factor);

  std::shared_ptr<RobotPara> robot_para_;
  Vector5 lower_bounds_ = Vector5::Zero();
  Vector5 upper_bounds_ = Vector5::Zero();
  double normal_factor_ = 0.0;
  double insensitive_factor_ = kDefaultInsensitiveFactor;
  Vector5 lower_factors_ = Vector5::Zero();
  Vector5 upper_factors_ = Vector5::Zero();

  SmoothingFilter<kJointCount> measured_filter_;

  // Work vectors of the last call.
  Vector5 estimated_ = Vector5::Zero();  // a
  Vector5 measured_ = Vector5::Zero();   // b
  Vector5 smoothed_measured_ = Vector5::Zero();
  Vector5 residual_ = Vector5::Zero();   // smoothed b − a
  Vector5 positions_ = Vector5::Zero();  // detector form, as given
  Vector5 signal_ = Vector5::Zero();
  Vector5 lower_limits_ = Vector5::Zero();
  Vector5 upper_limits_ = Vector5::Zero();
  Flags flags_{};
  Vector5 excess_ = Vector5::Zero();
  int collision_ = collision_result::kNoCollision;
  double time_ = 0.0;
  bool checked_ = false;
  bool positions_given_ = false;

  Vector5 b_move_ = Vector5::Zero();
  Vector5 m_move_ = Vector5::Ones();
  Vector5 b_rest_ = Vector5::Zero();
  Vector5 m_rest_ = Vector5::Ones();
  Vector5 admittance_velocity_ = Vector5::Zero();
  // Set by sensitivity commands 2 and 3; read by nothing else.
  double stored_parameter_ = kDefaultStoredParameter;

  std::vector<double> excess_torque_;
  std::vector<double> admittance_positions_;
  std::vector<double> record_;
};

}  // namespace brenvik

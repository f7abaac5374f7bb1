#include "robot_model/collision_detector_brenvik_bot_v5.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "common/logger.h"

namespace brenvik {

namespace {

constexpr size_t kBoundValues = 2 * CollisionDetectorBrenvikBotV5::kJointCount;
constexpr size_t kNormalFactorIndex = kBoundValues;
constexpr size_t kInsensitiveFactorIndex = kBoundValues + 1;
constexpr size_t kAdmittanceValues = 4 * CollisionDetectorBrenvikBotV5::kJointCount;
// Admittance forces and velocities up to this size count as zero.
constexpr double kAdmittanceZero = 0.001;
// A resting joint's velocity decays geometrically; below this it is set to 0 before it turns
// subnormal, which would slow every later step of the control loop many times over.
constexpr double kVelocityFloor = 1e-150;
// Record: 4 leading values and at most 8 blocks of one value per joint.
constexpr size_t kRecordCapacity = 4 + 8 * CollisionDetectorBrenvikBotV5::kJointCount;

void requireSize(const std::vector<double>& values, size_t count, const char* what) {
  if (values.size() < count) {
    throw std::invalid_argument(std::string("CollisionDetectorBrenvikBotV5: ") + what + " has " +
                                std::to_string(values.size()) + " values, needs " +
                                std::to_string(count));
  }
}

template <typename Block>
void appendBlock(std::vector<double>& record, const Block& block) {
  record.insert(record.end(), block.begin(), block.end());
}

}  // namespace

CollisionDetectorBrenvikBotV5::CollisionDetectorBrenvikBotV5()
    : excess_torque_(kJointCount, 0.0), admittance_positions_(kJointCount, DBL_MAX) {
  record_.reserve(kRecordCapacity);
}

void CollisionDetectorBrenvikBotV5::initCollisionDetector(std::shared_ptr<RobotPara> robot_para) {
  if (!robot_para) {
    throw std::invalid_argument(
        "CollisionDetectorBrenvikBotV5::initCollisionDetector: no robot parameter record");
  }
  const DynamicsApplicationPara& para = robot_para->dynamics_application_para;
  const std::vector<double>& bounds = para.signal_bound_para;
  if (bounds.size() <= kNormalFactorIndex) {
    throw std::invalid_argument(
        "CollisionDetectorBrenvikBotV5::initCollisionDetector: signal_bound_para has " +
        std::to_string(bounds.size()) +
        " values, needs at least 11 (5 lower bounds, 5 upper bounds, the normal factor)");
  }
  const std::vector<double>& admittance = para.admittance_para;
  if (admittance.size() != kAdmittanceValues) {
    throw std::invalid_argument(
        "CollisionDetectorBrenvikBotV5::initCollisionDetector: admittance_para has " +
        std::to_string(admittance.size()) + " values, needs exactly 20");
  }
  const Eigen::Map<const Vector5> m_move(admittance.data() + 5);
  const Eigen::Map<const Vector5> m_rest(admittance.data() + 15);
  if ((m_move.array() == 0.0).any() || (m_rest.array() == 0.0).any()) {
    throw std::invalid_argument(
        "CollisionDetectorBrenvikBotV5::initCollisionDetector: admittance masses must not be 0");
  }

  lower_bounds_ = Eigen::Map<const Vector5>(bounds.data());
  upper_bounds_ = Eigen::Map<const Vector5>(bounds.data() + kJointCount);
  normal_factor_ = bounds[kNormalFactorIndex];
  insensitive_factor_ = bounds.size() > kInsensitiveFactorIndex ? bounds[kInsensitiveFactorIndex]
                                                                : kDefaultInsensitiveFactor;
  lower_factors_.setConstant(normal_factor_);
  upper_factors_.setConstant(normal_factor_);
  b_move_ = Eigen::Map<const Vector5>(admittance.data());
  m_move_ = m_move;
  b_rest_ = Eigen::Map<const Vector5>(admittance.data() + 10);
  m_rest_ = m_rest;
  admittance_velocity_.setZero();
  stored_parameter_ = kDefaultStoredParameter;
  collision_ = collision_result::kNoCollision;
  robot_para_ = std::move(robot_para);
}

void CollisionDetectorBrenvikBotV5::setCollisionSensitivity(const std::vector<double>& command) {
  if (command.empty()) {
    Logger::instance()->print("setCollisionSensitivity: empty command ignored\n");
    return;
  }
  // Anything that does not truncate to an int (NaN, infinite, huge) selects no command.
  if (!(std::fabs(command[0]) < 1e9)) {
    return;
  }
  const size_t values = command.size() - 1;
  switch (static_cast<int>(command[0])) {
    case 0:
      lower_factors_.setConstant(normal_factor_);
      upper_factors_.setConstant(normal_factor_);
      break;
    case 1:
      if (values >= 1) {
        setUpperFactorsOfJoints23(command[1] < 0.5 ? insensitive_factor_ : normal_factor_);
      }
      break;
    case 2:
      if (values >= 1) {
        stored_parameter_ = command[1];
      }
      break;
    case 3:
      stored_parameter_ = kDefaultStoredParameter;
      break;
    case 4: {
      const size_t joints = std::min(values, static_cast<size_t>(kJointCount));
      for (size_t i = 0; i < joints; ++i) {
        const double factor = levelFactor(command[i + 1]);
        lower_factors_[i] = factor;
        upper_factors_[i] = factor;
      }
      break;
    }
    default:
      break;
  }
}

double CollisionDetectorBrenvikBotV5::levelFactor(double level) const {
  if (level <= 0.0) {
    return insensitive_factor_;
  }
  if (level <= 1.0) {
    return insensitive_factor_ - level * (insensitive_factor_ - normal_factor_);
  }
  if (level <= 2.0) {
    return normal_factor_ - (normal_factor_ - kSensitiveFactor) * (level - 1.0);
  }
  // Above 2, and a NaN level: the narrowest band.
  return kSensitiveFactor;
}

void CollisionDetectorBrenvikBotV5::setUpperFactorsOfJoints23(double factor) {
  upper_factors_[1] = factor;
  upper_factors_[2] = factor;
}

void CollisionDetectorBrenvikBotV5::runCheck(const std::vector<double>& estimated_torques,
                                             const std::vector<double>& measured_torques,
                                             bool include_wrist, double time) {
  requireSize(estimated_torques, include_wrist ? kJointCount : 3, "estimated torque vector");
  requireSize(measured_torques, kJointCount, "measured torque vector");
  time_ = time;
  const std::vector<double>& e = estimated_torques;
  const std::vector<double>& m = measured_torques;
  estimated_ << e[0], e[1] - e[2], e[2], include_wrist ? e[3] : 0.0, include_wrist ? e[4] : 0.0;
  measured_ << m[0], m[1] - m[2], m[2], m[3], m[4];
  smoothed_measured_ = measured_filter_.update(measured_);
  residual_ = smoothed_measured_ - estimated_;
  // The wrist joints have no torque estimate: their signal is the smoothed torque itself.
  signal_ << residual_[0], residual_[1], residual_[2], smoothed_measured_[3], smoothed_measured_[4];

  lower_limits_ = lower_bounds_.cwiseProduct(lower_factors_);
  upper_limits_ = upper_bounds_.cwiseProduct(upper_factors_);
  flags_.fill(0);
  excess_.setZero();
  collision_ = collision_result::kNoCollision;
  for (int i = 0; i < kJointCount; ++i) {
    if (signal_[i] < lower_limits_[i]) {
      flags_[i] = 1;
      collision_ = collision_result::kCollision;
      excess_[i] = signal_[i] - lower_limits_[i];
    } else if (signal_[i] > upper_limits_[i]) {
      flags_[i] = 1;
      collision_ = collision_result::kCollision;
      excess_[i] = signal_[i] - upper_limits_[i];
    }
  }
  // A collision ends any widening of joints 2 and 3 asked for by command (1, 0).
  if (collision_ == collision_result::kCollision) {
    setUpperFactorsOfJoints23(normal_factor_);
  }
  checked_ = true;
}

int CollisionDetectorBrenvikBotV5::detectCollision(const std::vector<double>& estimated_torques,
                                                   const std::vector<double>& measured_torques,
                                                   const std::vector<double>& /*q*/,
                                                   const std::vector<double>& /*qd*/,
                                                   const std::vector<double>& /*qdd*/,
                                                   double time) {
  runCheck(estimated_torques, measured_torques, false, time);
  return collision_;
}

const std::vector<double>& CollisionDetectorBrenvikBotV5::detectCollisionTorque(
    const std::vector<double>& estimated_torques, const std::vector<double>& measured_torques,
    const std::vector<double>& /*q*/, const std::vector<double>& /*qd*/,
    const std::vector<double>& /*qdd*/, double time) {
  runCheck(estimated_torques, measured_torques, true, time);
  excess_torque_[0] = excess_[0];
  excess_torque_[1] = excess_[1] + excess_[2];
  excess_torque_[2] = excess_[2];
  excess_torque_[3] = 0.0;
  excess_torque_[4] = 0.0;
  return excess_torque_;
}

const std::vector<double>& CollisionDetectorBrenvikBotV5::computeAdmittance(
    const std::vector<double>& estimated_torques, const std::vector<double>& measured_torques,
    const std::vector<double>& q, const std::vector<double>& /*qd*/,
    const std::vector<double>& /*qdd*/, double time) {
  requireSize(q, kJointCount, "joint position vector");
  runCheck(estimated_torques, measured_torques, true, time);
  positions_ << q[0], q[1], q[1] + q[2], q[3], q[4];
  positions_given_ = true;

  Vector5 x = positions_;
  for (int i = 0; i < kJointCount; ++i) {
    const double force = -excess_[i];
    const bool pushed = std::fabs(force) > kAdmittanceZero;
    const double damping = pushed ? b_move_[i] : b_rest_[i];
    const double mass = pushed ? m_move_[i] : m_rest_[i];
    double& velocity = admittance_velocity_[i];
    double next = velocity + kAdmittanceStep * (force - damping * velocity) / mass;
    if (std::fabs(next) < kVelocityFloor) {
      next = 0.0;
    }
    if (next > kAdmittanceVelocityLimit) {
      velocity = kAdmittanceVelocityLimit;
      x[i] += kAdmittanceStep * kAdmittanceVelocityLimit;
    } else if (next < -kAdmittanceVelocityLimit) {
      velocity = -kAdmittanceVelocityLimit;
      x[i] -= kAdmittanceStep * kAdmittanceVelocityLimit;
    } else {
      velocity = next;
      x[i] += kAdmittanceStep * next;
    }
  }

  std::array<bool, kJointCount> moving{};
  for (int i = 0; i < kJointCount; ++i) {
    moving[i] = std::fabs(admittance_velocity_[i]) > kAdmittanceZero;
    admittance_positions_[i] = moving[i] ? x[i] : DBL_MAX;
  }
  // Joint 3 is driven in relative form: both joints are set as soon as one of them moves.
  if (moving[1] || moving[2]) {
    admittance_positions_[1] = x[1];
    admittance_positions_[2] = x[2] - x[1];
  }
  return admittance_positions_;
}

const std::vector<double>& CollisionDetectorBrenvikBotV5::getCollisionData() {
  record_.clear();
  record_.push_back(time_);
  record_.push_back(static_cast<double>(collision_));
  record_.push_back(kRecordType);
  record_.push_back(static_cast<double>(kJointCount));
  if (checked_) {
    appendBlock(record_, flags_);
    appendBlock(record_, signal_);
    appendBlock(record_, lower_limits_);
    appendBlock(record_, upper_limits_);
    appendBlock(record_, measured_);
  }
  if (positions_given_) {
    appendBlock(record_, positions_);
  }
  if (checked_) {
    appendBlock(record_, estimated_);
    appendBlock(record_, smoothed_measured_);
  }
  return record_;
}

}  // namespace brenvik

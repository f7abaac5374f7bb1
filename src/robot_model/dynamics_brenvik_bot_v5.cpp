#include "robot_model/dynamics_brenvik_bot_v5.h"

#include <cfloat>
#include <cmath>
#include <stdexcept>
#include <string>

namespace brenvik {

namespace {

constexpr double kGravity = 9.8;
// Velocities inside ±this (rad/s) leave the friction direction memory alone.
constexpr double kFrictionDeadBand = 0.015;

void requireSize(const std::vector<double>& values, size_t count, const char* what) {
  if (values.size() < count) {
    throw std::invalid_argument(std::string("DynamicsBrenvikBotV5: ") + what + " has " +
                                std::to_string(values.size()) + " values, needs " +
                                std::to_string(count));
  }
}

// Direction memory of one friction velocity: moves only towards the sign of a velocity outside
// the dead band, and only to a larger magnitude in that direction.
void updateDirection(double velocity, double& direction) {
  if (velocity > kFrictionDeadBand) {
    const double candidate = std::tanh(velocity);
    if (candidate > direction) {
      direction = candidate;
    }
  } else if (velocity < -kFrictionDeadBand) {
    const double candidate = std::tanh(velocity);
    if (candidate < direction) {
      direction = candidate;
    }
  }
}

// v expressed in frame j when v is given in frame j − 1 and frame j = Rz(θ)·Rx(α) of it.
Eigen::Vector3d toLinkFrame(const Eigen::Vector3d& v, double ct, double st, double ca, double sa) {
  const double u0 = ct * v.x() + st * v.y();
  const double u1 = -st * v.x() + ct * v.y();
  return {u0, ca * u1 + sa * v.z(), -sa * u1 + ca * v.z()};
}

// The inverse of toLinkFrame.
Eigen::Vector3d toPreviousFrame(const Eigen::Vector3d& v, double ct, double st, double ca,
                                double sa) {
  const double u1 = ca * v.y() - sa * v.z();
  const double u2 = sa * v.y() + ca * v.z();
  return {ct * v.x() - st * u1, st * v.x() + ct * u1, u2};
}

}  // namespace

DynamicsBrenvikBotV5::DynamicsBrenvikBotV5() : estimate_(kAxisCount, 0.0) {}

void DynamicsBrenvikBotV5::initDynamics(std::shared_ptr<RobotPara> robot_para) {
  if (!robot_para) {
    throw std::invalid_argument("DynamicsBrenvikBotV5::initDynamics: no robot parameter record");
  }
  const MdhPara& mdh = robot_para->mdh_para;
  const size_t links = kModelJoints;
  if (mdh.zds.size() < links || mdh.qzeros.size() < links || mdh.xas.size() < links + 1 ||
      mdh.alphas.size() < links + 1) {
    throw std::invalid_argument(
        "DynamicsBrenvikBotV5::initDynamics: mdh_para must give zd and qzero of links 0..2 and "
        "xa and alpha of links 1..3; the DH parameter list length must equal to nj");
  }
  const std::vector<double>& inertial = robot_para->dynamics_para.inertial_para;
  if (inertial.size() < kModelJoints * kInertialValuesPerLink) {
    throw std::invalid_argument("DynamicsBrenvikBotV5::initDynamics: inertial_para has " +
                                std::to_string(inertial.size()) + " values, needs at least " +
                                std::to_string(kModelJoints * kInertialValuesPerLink));
  }
  const std::vector<double>& friction = robot_para->dynamics_para.friction_para;
  if (friction.size() != kFrictionValues) {
    throw std::invalid_argument("DynamicsBrenvikBotV5::initDynamics: friction_para has " +
                                std::to_string(friction.size()) + " values, needs exactly " +
                                std::to_string(kFrictionValues));
  }

  for (unsigned j = 0; j < kModelJoints; ++j) {
    Link& link = links_[j];
    link.theta_offset = mdh.qzeros[j];
    link.d = mdh.zds[j];
    link.alpha = mdh.alphas[j + 1];
    link.a = mdh.xas[j + 1];
    link.cos_alpha = std::cos(link.alpha);
    link.sin_alpha = std::sin(link.alpha);
    link.axis = Vector3(0.0, link.sin_alpha, link.cos_alpha);
    link.origin = Vector3(link.a, link.d * link.sin_alpha, link.d * link.cos_alpha);

    const double* values = inertial.data() + kInertialValuesPerLink * j;
    link.inertia_com << values[0], values[1], values[2], values[1], values[3], values[4], values[2],
        values[4], values[5];
    link.com = Vector3(values[6], values[7], values[8]);
    link.mass = values[9];
    link.com_from_previous = link.com + link.origin;
    link.first_moment = link.mass * link.com_from_previous;
    link.inertia_previous =
        link.inertia_com +
        link.mass * (link.com_from_previous.squaredNorm() * Matrix3::Identity() -
                     link.com_from_previous * link.com_from_previous.transpose());
  }
  friction_para_ = Eigen::Map<const FrictionVector>(friction.data());
  robot_para_ = std::move(robot_para);
}

std::vector<double> DynamicsBrenvikBotV5::getDynamicsVector() { return {}; }

const std::vector<double>& DynamicsBrenvikBotV5::estimateTorque(const std::vector<double>& q,
                                                                const std::vector<double>& qd,
                                                                const std::vector<double>& qdd,
                                                                double time) {
  requireSize(q, kAxisCount, "q");
  requireSize(qd, kAxisCount, "qd");
  requireSize(qdd, kAxisCount, "qdd");
  time_ = time;
  filtered_q_ = position_filter_.update(Eigen::Map<const Vector5>(q.data()));
  filtered_qd_ = velocity_filter_.update(Eigen::Map<const Vector5>(qd.data()));
  filtered_qdd_ = acceleration_filter_.update(Eigen::Map<const Vector5>(qdd.data()));

  computeRigidBodyTorque();
  computeFrictionTorque();
  total_torque_ = rigid_body_torque_ + friction_torque_;

  for (unsigned j = 0; j < kModelJoints; ++j) {
    estimate_[j] = total_torque_[j];
  }
  for (int j = kModelJoints; j < kAxisCount; ++j) {
    estimate_[j] = DBL_MAX;
  }
  return estimate_;
}

void DynamicsBrenvikBotV5::computeRigidBodyTorque() {
  // Newton-Euler about the frame origins: link j's force and moment are taken about the origin of
  // frame j − 1 (a point on its joint axis), in frame j axes, with its first moment m·c′ and its
  // inertia Io about that point. Gravity enters as an upward acceleration of the base.
  std::array<double, kModelJoints> cos_theta{};
  std::array<double, kModelJoints> sin_theta{};
  std::array<Vector3, kModelJoints> force{};
  std::array<Vector3, kModelJoints> moment{};

  Vector3 omega = Vector3::Zero();
  Vector3 omega_dot = Vector3::Zero();
  Vector3 origin_acc(0.0, 0.0, kGravity);
  for (unsigned j = 0; j < kModelJoints; ++j) {
    const Link& link = links_[j];
    const double theta = filtered_q_[j] + link.theta_offset;
    const double ct = std::cos(theta);
    const double st = std::sin(theta);
    cos_theta[j] = ct;
    sin_theta[j] = st;
    const double ca = link.cos_alpha;
    const double sa = link.sin_alpha;
    const double qd = filtered_qd_[j];

    const Vector3 omega_carried = toLinkFrame(omega, ct, st, ca, sa);
    omega = omega_carried + qd * link.axis;
    omega_dot = toLinkFrame(omega_dot, ct, st, ca, sa) + filtered_qdd_[j] * link.axis +
                qd * omega_carried.cross(link.axis);
    // The previous origin lies on this link's joint axis, so it belongs to both links.
    const Vector3 pivot_acc = toLinkFrame(origin_acc, ct, st, ca, sa);

    const Vector3& h = link.first_moment;
    const Matrix3& io = link.inertia_previous;
    force[j] = link.mass * pivot_acc + omega_dot.cross(h) + omega.cross(omega.cross(h));
    moment[j] = io * omega_dot + omega.cross(io * omega) + h.cross(pivot_acc);

    origin_acc = pivot_acc + omega_dot.cross(link.origin) + omega.cross(omega.cross(link.origin));
  }

  Vector3 child_force = Vector3::Zero();
  Vector3 child_moment = Vector3::Zero();
  for (int j = kModelJoints - 1; j >= 0; --j) {
    const Link& link = links_[j];
    Vector3 f = force[j];
    Vector3 n = moment[j];
    if (j + 1 < static_cast<int>(kModelJoints)) {
      const Link& child = links_[j + 1];
      const Vector3 child_f = toPreviousFrame(child_force, cos_theta[j + 1], sin_theta[j + 1],
                                              child.cos_alpha, child.sin_alpha);
      const Vector3 child_n = toPreviousFrame(child_moment, cos_theta[j + 1], sin_theta[j + 1],
                                              child.cos_alpha, child.sin_alpha);
      f += child_f;
      n += child_n + link.origin.cross(child_f);
    }
    rigid_body_torque_[j] = link.axis.dot(n);
    child_force = f;
    child_moment = n;
  }
}

void DynamicsBrenvikBotV5::computeFrictionTorque() {
  // Relative-angle form: the third velocity is that of the forearm against the base.
  const double w0 = filtered_qd_[0];
  const double w1 = filtered_qd_[1];
  const double w2 = filtered_qd_[1] + filtered_qd_[2];
  const double coupling = w2 - w1;
  updateDirection(w0, friction_direction_[0]);
  updateDirection(w1, friction_direction_[1]);
  updateDirection(w2, friction_direction_[2]);
  updateDirection(coupling, friction_direction_[3]);
  const auto& sigma = friction_direction_;
  const FrictionVector& p = friction_para_;

  // Rows of the 3 x 11 friction regressor times the parameters, written out: each row has at
  // most five non-zero columns.
  const double f0 = sigma[0] * p[0] + w0 * p[1] + p[2];
  const double coupling_torque = sigma[3] * p[9] + coupling * p[10];
  const double f1 = sigma[1] * p[3] + w1 * p[4] + p[5] - coupling_torque;
  const double f2 = sigma[2] * p[6] + w2 * p[7] + p[8] + coupling_torque;
  friction_torque_ = Vector3(f0, f1 + f2, f2);
}

}  // namespace brenvik

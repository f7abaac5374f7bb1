#include "robot_model/brenvik_bot_v3_kinematics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "common/logger.h"

namespace brenvik {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kHalfPi = kPi / 2.0;
// Tolerance of the twist comparison: one degree.
constexpr double kAlphaTolerance = 0.017453292519943295;
// Rotation elements below this count as zero when choosing the θ5 formula.
constexpr double kRotationZero = 1e-6;

void requireJoints(const std::vector<double>& values, size_t count, const char* what) {
  if (values.size() < count) {
    throw std::invalid_argument(std::string("BrenvikBotV3Kinematics: ") + what + " has " +
                                std::to_string(values.size()) + " values, needs " +
                                std::to_string(count));
  }
}

// Prints why a and b differ and returns false when they do. A NaN twist counts as a difference.
bool sameAlphas(const std::vector<double>& a, const std::array<double, 5>& b) {
  if (a.size() != b.size()) {
    Logger::instance()->print("vector a size not equal vector b size\n");
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (!(std::fabs(a[i] - b[i]) <= kAlphaTolerance)) {
      Logger::instance()->print("alpha sequence not equal\n");
      return false;
    }
  }
  return true;
}

// acos and asin of a ratio that is ±1 in exact arithmetic but may miss by rounding.
double clampUnit(double value) { return std::clamp(value, -1.0, 1.0); }

// The arm types in the order getAllInverseSolutions reports them.
constexpr std::array<std::array<int, 2>, 4> kArmTypes = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};

// The angle in (−π, π].
double wrapAngle(double angle) {
  const double wrapped = std::remainder(angle, 2.0 * kPi);
  return wrapped <= -kPi ? wrapped + 2.0 * kPi : wrapped;
}

// How far pose a lies from pose b: the larger of the distance of their origins and of the angle
// between their rotations (‖Ra − Rb‖ / √2 is that angle for small angles, and grows with it).
double poseMiss(const Eigen::Matrix4d& a, const Eigen::Matrix4d& b) {
  const double position = (a.topRightCorner<3, 1>() - b.topRightCorner<3, 1>()).norm();
  const double rotation =
      (a.topLeftCorner<3, 3>() - b.topLeftCorner<3, 3>()).norm() / std::sqrt(2.0);
  return std::max(position, rotation);
}

}  // namespace

const BrenvikBotV3Kinematics::LinkValues BrenvikBotV3Kinematics::kAlphaTemplate = {
    0.0, kHalfPi, 0.0, 0.0, -kHalfPi};
const BrenvikBotV3Kinematics::LinkValues BrenvikBotV3Kinematics::kInverseOffsets = {
    0.0, kHalfPi, kHalfPi, 0.0, 0.0};

BrenvikBotV3Kinematics::BrenvikBotV3Kinematics() {
  // Zero twists until setMdhPara succeeds; no joint limits until setJointLimits.
  cos_alphas_.fill(1.0);
  output_offsets_ = kInverseOffsets;
  min_joints_.fill(-HUGE_VAL);
  max_joints_.fill(HUGE_VAL);
}

int BrenvikBotV3Kinematics::setJointLimits(const std::vector<double>& min_joints,
                                           const std::vector<double>& max_joints) {
  if (min_joints.size() != kJointCount || max_joints.size() != kJointCount) {
    Logger::instance()->print("the joint limits need %d values each\n", kJointCount);
    return kinematics_result::kSizeMismatch;
  }
  for (int i = 0; i < kJointCount; ++i) {
    if (!(min_joints[i] <= max_joints[i])) {
      Logger::instance()->print("joint %d: the lower limit %lf is not below the upper limit %lf\n",
                                i + 1, min_joints[i], max_joints[i]);
      return kinematics_result::kSizeMismatch;
    }
  }
  std::copy(min_joints.begin(), min_joints.end(), min_joints_.begin());
  std::copy(max_joints.begin(), max_joints.end(), max_joints_.begin());
  return kinematics_result::kOk;
}

int BrenvikBotV3Kinematics::setMdhPara(const std::vector<double>& zds,
                                       const std::vector<double>& xas,
                                       const std::vector<double>& alphas,
                                       const std::vector<double>& qzeros) {
  const size_t n = kJointCount;
  if (zds.size() != n || xas.size() != n || alphas.size() != n || qzeros.size() != n) {
    Logger::instance()->print("the size of zds,xas,alphas,qzeros not equal\n");
    return kinematics_result::kSizeMismatch;
  }
  if (!sameAlphas(alphas, kAlphaTemplate)) {
    Logger::instance()->print("the input robot type is not right!!!\n");
    return kinematics_result::kWrongArmType;
  }
  std::copy(zds.begin(), zds.end(), zds_.begin());
  std::copy(xas.begin(), xas.end(), xas_.begin());
  std::copy(alphas.begin(), alphas.end(), alphas_.begin());
  std::copy(qzeros.begin(), qzeros.end(), qzeros_.begin());
  Logger::instance()->print(
      "\033[42m ######################mdh para##########################\033[0m\n");
  for (int i = 0; i < kJointCount; ++i) {
    Logger::instance()->print("%d(zd xa alpha qzero)=(%lf,%lf,%lf,%lf)\n", i, zds_[i], xas_[i],
                              alphas_[i], qzeros_[i]);
  }
  for (int i = 0; i < kJointCount; ++i) {
    cos_alphas_[i] = std::cos(alphas_[i]);
    sin_alphas_[i] = std::sin(alphas_[i]);
    output_offsets_[i] = kInverseOffsets[i] - qzeros_[i];
  }
  return kinematics_result::kOk;
}

Eigen::Matrix4d BrenvikBotV3Kinematics::forwardKinematics(const std::vector<double>& q) const {
  requireJoints(q, kJointCount, "joint vector");
  return flange(q.data());
}

Eigen::Matrix4d BrenvikBotV3Kinematics::flange(const double* q) const {
  // The pose is accumulated as the three rotation columns x, y, z and the translation p. Link i
  // is Rx(α)·Tx(a)·Rz(θ)·Tz(d): twisting about x mixes only y and z, turning about z only x and y,
  // which is far cheaper than general 4 x 4 products.
  Eigen::Vector3d x = Eigen::Vector3d::UnitX();
  Eigen::Vector3d y = Eigen::Vector3d::UnitY();
  Eigen::Vector3d z = Eigen::Vector3d::UnitZ();
  Eigen::Vector3d p = Eigen::Vector3d::Zero();
  for (int i = 0; i < kJointCount; ++i) {
    const double ca = cos_alphas_[i];
    const double sa = sin_alphas_[i];
    const Eigen::Vector3d y_twisted = ca * y + sa * z;
    z = ca * z - sa * y;
    p += xas_[i] * x + zds_[i] * z;
    const double theta = q[i] + qzeros_[i];
    const double ct = std::cos(theta);
    const double st = std::sin(theta);
    const Eigen::Vector3d x_turned = ct * x + st * y_twisted;
    y = ct * y_twisted - st * x;
    x = x_turned;
  }
  Eigen::Matrix4d pose;
  pose << x, y, z, p, 0.0, 0.0, 0.0, 1.0;
  return pose;
}

int BrenvikBotV3Kinematics::inverseKinematics(const Eigen::Matrix4d& pose,
                                              const std::vector<double>& ref_joints,
                                              std::vector<double>& joints) const {
  requireJoints(ref_joints, kJointCount, "reference joint vector");
  struct Candidate {
    LinkValues theta;
    double distance;  // squared, from the reference
    int outside;      // the first axis outside its limits, or -1
  };
  std::array<Candidate, kArmTypes.size()> candidates;
  std::array<int, kArmTypes.size()> order{};  // candidate indices, nearest first
  int count = 0;
  bool singular = false;
  for (size_t type = 0; type < kArmTypes.size(); ++type) {
    Candidate& c = candidates[type];
    const int r = solve(pose, kArmTypes[type], c.theta);
    singular = singular || r == kinematics_result::kSingular;
    if (r != kinematics_result::kOk) {
      continue;
    }
    c.distance = 0.0;
    c.outside = -1;
    for (int i = 0; i < kJointCount; ++i) {
      c.theta[i] = wrapAngle(c.theta[i]);
      if (c.outside < 0 && !(c.theta[i] >= min_joints_[i] && c.theta[i] <= max_joints_[i])) {
        c.outside = i;
      }
      c.distance += (c.theta[i] - ref_joints[i]) * (c.theta[i] - ref_joints[i]);
    }
    // Insertion by distance; ties keep the arm-type order.
    int k = count++;
    for (; k > 0 && candidates[order[k - 1]].distance > c.distance; --k) {
      order[k] = order[k - 1];
    }
    order[k] = static_cast<int>(type);
  }
  // The closed form assumes a reachable orientation: a pose this arm cannot turn the tool to
  // still yields angles, whose forward kinematics then misses it. Only the candidates that may be
  // answered are checked, nearest first.
  double smallest_miss = HUGE_VAL;
  int outside_type = -1;
  for (int k = 0; k < count; ++k) {
    const Candidate& c = candidates[order[k]];
    if (c.outside >= 0 && outside_type >= 0) {
      continue;  // one that leaves the limits is enough to report
    }
    const double miss = poseMiss(flange(c.theta.data()), pose);
    if (!(miss <= kPoseTolerance)) {
      smallest_miss = std::min(smallest_miss, miss);
      continue;
    }
    if (c.outside >= 0) {
      outside_type = order[k];
      continue;
    }
    joints.assign(c.theta.begin(), c.theta.end());
    printSolution(kArmTypes[order[k]], joints);
    return kinematics_result::kOk;
  }
  if (outside_type >= 0) {
    const Candidate& c = candidates[outside_type];
    Logger::instance()->print(
        "inverseKinematics: every solution of the pose leaves the joint limits (axis %d at %lf, "
        "limits [%lf, %lf])\n",
        c.outside + 1, c.theta[c.outside], min_joints_[c.outside], max_joints_[c.outside]);
    return kinematics_result::kOutsideJointLimits;
  }
  if (count > 0) {
    Logger::instance()->print(
        "inverseKinematics: this arm cannot reach the orientation of the pose (the nearest "
        "solution misses it by %lf)\n",
        smallest_miss);
    return kinematics_result::kUnreachableOrientation;
  }
  if (singular) {
    Logger::instance()->print("j3 singularity error!!!\n");
    return kinematics_result::kSingular;
  }
  Logger::instance()->print("inverseKinematics not a number!!!!\n");
  return kinematics_result::kNoSolution;
}

int BrenvikBotV3Kinematics::inverseKinematicsByArmType(const Eigen::Matrix4d& pose,
                                                       const std::array<int, 2>& arm_type,
                                                       std::vector<double>& joints) const {
  LinkValues theta;
  const int r = solve(pose, arm_type, theta);
  if (r == kinematics_result::kSingular) {
    Logger::instance()->print("j3 singularity error!!!\n");
    return r;
  }
  joints.assign(theta.begin(), theta.end());
  if (r == kinematics_result::kNoSolution) {
    Logger::instance()->print("inverseKinematics not a number!!!!\n");
    return r;
  }
  printSolution(arm_type, joints);
  return kinematics_result::kOk;
}

int BrenvikBotV3Kinematics::solve(const Eigen::Matrix4d& pose, const std::array<int, 2>& arm_type,
                                  LinkValues& joints) const {
  const double r11 = pose(0, 0), r12 = pose(0, 1), r13 = pose(0, 2);
  const double r21 = pose(1, 0), r22 = pose(1, 1), r23 = pose(1, 2);
  const double r31 = pose(2, 0), r32 = pose(2, 1), r33 = pose(2, 2);
  const double px = pose(0, 3), py = pose(1, 3), pz = pose(2, 3);

  // θ1 from the direction of (−px, −py). On the base axis ρ is 0 and the NaN carries through to
  // the final check. Rounding can put |px| / ρ a hair above 1 when py is 0.
  const double rho = std::sqrt(px * px + py * py);
  const double c = std::acos(clampUnit(-px / rho));
  double theta1;
  if (arm_type[0] == 1) {
    theta1 = py > 0.0 ? -c : c;
    if (theta1 > kHalfPi) {
      theta1 -= kPi;
    }
    if (theta1 < -kHalfPi) {
      theta1 += kPi;
    }
  } else if (py > 0.0) {
    if (c >= kHalfPi) {
      theta1 = -c;
    } else if (c > 0.0) {
      theta1 = kPi - c;
    } else {
      theta1 = -kPi;
    }
  } else {
    theta1 = c < kHalfPi ? c - kPi : c;
  }
  const double s1 = std::sin(theta1);
  const double c1 = std::cos(theta1);

  // θ5. For a reachable pose E = −cos θ5, F = −sin θ5, G = −cos ψ·sin θ5, H = cos ψ·cos θ5 and
  // E·H − F·G = −cos ψ, with ψ the sum of the MDH angles of joints 2..4.
  const double e_term = s1 * r12 - c1 * r22;
  const double f_term = s1 * r11 - c1 * r21;
  const double g_term = c1 * r12 + s1 * r22;
  const double h_term = c1 * r11 + s1 * r21;
  double theta5;
  if (std::fabs(r11) < kRotationZero && std::fabs(r21) < kRotationZero) {
    theta5 = std::acos(clampUnit(-1.0 / e_term));
  } else if (std::fabs(r12) < kRotationZero && std::fabs(r22) < kRotationZero) {
    theta5 = std::asin(clampUnit(-1.0 / f_term));
  } else {
    const double det = e_term * h_term - f_term * g_term;
    if (std::fabs(det) < kRotationZero) {
      // Tool axis (nearly) horizontal: G and H shrink with cos ψ and their ratio is rounding
      // noise, while E and F still hold cos θ5 and sin θ5 at full size.
      theta5 = std::atan2(-f_term, -e_term);
    } else {
      // atan2(t, −H·t / G) with t = G / det, written without dividing by G: the same angle, and
      // defined when rounding leaves G exactly 0 (θ5 = 0 or π).
      const double sign = det > 0.0 ? 1.0 : -1.0;
      theta5 = std::atan2(sign * g_term, -sign * h_term);
    }
  }
  const double s5 = std::sin(theta5);
  const double c5 = std::cos(theta5);

  // Wrist centre in the plane of joints 2..4.
  const double d1 = zds_[0];
  const double d5 = zds_[4];
  const double a1 = xas_[1];
  const double a2 = xas_[2];
  const double a3 = xas_[3];
  const double a4 = xas_[4];
  const double x_term = a1 - (px * c1 + py * s1 - d5 * (r13 * c1 + r23 * s1) -
                              a4 * c5 * (r11 * c1 + r21 * s1) + a4 * s5 * (r12 * c1 + r22 * s1));
  const double z_term = pz - d1 - d5 * r33 - a4 * c5 * r31 + a4 * s5 * r32;
  const double k_term = (a2 * a2 + a3 * a3 - x_term * x_term - z_term * z_term) / (2.0 * a2 * a3);

  // Out of reach: |K| > 1 gives NaN, which is reported by the final check, not here.
  const double theta3 = arm_type[1] == 1 ? std::asin(k_term) : kPi - std::asin(k_term);
  if (std::fabs(theta3) < kJ3SingularityThreshold) {
    return kinematics_result::kSingular;
  }

  const double p_term = a2 - a3 * k_term;
  const double q_term = a3 * std::cos(theta3);
  const double d_term = p_term * p_term + q_term * q_term;
  const double theta2 = std::atan2((x_term * p_term - z_term * q_term) / d_term,
                                   (x_term * q_term + z_term * p_term) / d_term);
  const double theta4 = std::atan2(s5 * r32 - c5 * r31, -r33) - theta2 - theta3;

  const LinkValues theta = {theta1, theta2, theta3, theta4, theta5};
  bool finite = true;
  for (int i = 0; i < kJointCount; ++i) {
    joints[i] = theta[i] + output_offsets_[i];
    finite = finite && std::isfinite(joints[i]);
  }
  return finite ? kinematics_result::kOk : kinematics_result::kNoSolution;
}

void BrenvikBotV3Kinematics::printSolution(const std::array<int, 2>& arm_type,
                                           const std::vector<double>& joints) {
  Logger::instance()->print("armtype=[%d,%d]\n%lf,%lf,%lf,%lf,%lf,\n", arm_type[0], arm_type[1],
                            joints[0], joints[1], joints[2], joints[3], joints[4]);
}

int BrenvikBotV3Kinematics::reservedOperation() { return kinematics_result::kOk; }

int BrenvikBotV3Kinematics::getAllInverseSolutions(
    const Eigen::Matrix4d& pose, std::vector<std::vector<double>>& solutions) const {
  solutions.clear();
  std::vector<double> joints;
  for (const auto& arm_type : kArmTypes) {
    if (inverseKinematicsByArmType(pose, arm_type, joints) == kinematics_result::kOk) {
      solutions.push_back(joints);
    }
  }
  return kinematics_result::kOk;
}

}  // namespace brenvik

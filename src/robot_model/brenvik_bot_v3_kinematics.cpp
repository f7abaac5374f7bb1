#include "robot_model/brenvik_bot_v3_kinematics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

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
    std::printf("vector a size not equal vector b size\n");
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (!(std::fabs(a[i] - b[i]) <= kAlphaTolerance)) {
      std::printf("alpha sequence not equal\n");
      return false;
    }
  }
  return true;
}

// acos and asin of a ratio that is ±1 in exact arithmetic but may miss by rounding.
double clampUnit(double value) { return std::clamp(value, -1.0, 1.0); }

}  // namespace

const BrenvikBotV3Kinematics::LinkValues BrenvikBotV3Kinematics::kAlphaTemplate = {
    0.0, kHalfPi, 0.0, 0.0, -kHalfPi};
const BrenvikBotV3Kinematics::LinkValues BrenvikBotV3Kinematics::kInverseOffsets = {
    0.0, kHalfPi, kHalfPi, 0.0, 0.0};

BrenvikBotV3Kinematics::BrenvikBotV3Kinematics() {
  // Zero twists until setMdhPara succeeds.
  cos_alphas_.fill(1.0);
  output_offsets_ = kInverseOffsets;
}

int BrenvikBotV3Kinematics::setMdhPara(const std::vector<double>& zds,
                                       const std::vector<double>& xas,
                                       const std::vector<double>& alphas,
                                       const std::vector<double>& qzeros) {
  const size_t n = kJointCount;
  if (zds.size() != n || xas.size() != n || alphas.size() != n || qzeros.size() != n) {
    std::printf("the size of zds,xas,alphas,qzeros not equal\n");
    return kinematics_result::kSizeMismatch;
  }
  if (!sameAlphas(alphas, kAlphaTemplate)) {
    std::printf("the input robot type is not right!!!\n");
    return kinematics_result::kWrongArmType;
  }
  std::copy(zds.begin(), zds.end(), zds_.begin());
  std::copy(xas.begin(), xas.end(), xas_.begin());
  std::copy(alphas.begin(), alphas.end(), alphas_.begin());
  std::copy(qzeros.begin(), qzeros.end(), qzeros_.begin());
  std::printf("\033[42m ######################mdh para##########################\033[0m\n");
  for (int i = 0; i < kJointCount; ++i) {
    std::printf("%d(zd xa alpha qzero)=(%lf,%lf,%lf,%lf)\n", i, zds_[i], xas_[i], alphas_[i],
                qzeros_[i]);
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
  requireJoints(ref_joints, 3, "reference joint vector");
  const int shoulder = (ref_joints[0] > -kHalfPi && ref_joints[0] < kHalfPi) ? 1 : 0;
  const int elbow = ref_joints[2] > -kHalfPi ? 1 : 0;
  return inverseKinematicsByArmType(pose, {shoulder, elbow}, joints);
}

int BrenvikBotV3Kinematics::inverseKinematicsByArmType(const Eigen::Matrix4d& pose,
                                                       const std::array<int, 2>& arm_type,
                                                       std::vector<double>& joints) const {
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
    std::printf("j3 singularity error!!!\n");
    return kinematics_result::kSingular;
  }

  const double p_term = a2 - a3 * k_term;
  const double q_term = a3 * std::cos(theta3);
  const double d_term = p_term * p_term + q_term * q_term;
  const double theta2 = std::atan2((x_term * p_term - z_term * q_term) / d_term,
                                   (x_term * q_term + z_term * p_term) / d_term);
  const double theta4 = std::atan2(s5 * r32 - c5 * r31, -r33) - theta2 - theta3;

  const LinkValues theta = {theta1, theta2, theta3, theta4, theta5};
  joints.resize(kJointCount);
  bool finite = true;
  for (int i = 0; i < kJointCount; ++i) {
    joints[i] = theta[i] + output_offsets_[i];
    finite = finite && std::isfinite(joints[i]);
  }
  if (!finite) {
    std::printf("inverseKinematics not a number!!!!\n");
    return kinematics_result::kNoSolution;
  }
  std::printf("armtype=[%d,%d]\n", arm_type[0], arm_type[1]);
  for (int i = 0; i < kJointCount; ++i) {
    std::printf("%lf,", joints[i]);
  }
  std::printf("\n");
  return kinematics_result::kOk;
}

int BrenvikBotV3Kinematics::reservedOperation() { return kinematics_result::kOk; }

int BrenvikBotV3Kinematics::getAllInverseSolutions(
    const Eigen::Matrix4d& pose, std::vector<std::vector<double>>& solutions) const {
  static constexpr std::array<std::array<int, 2>, 4> kArmTypes = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
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

#pragma once

// Arms shared by the robot model tests: the example arm of the kinematics cross-checks and the
// simulated arm of config/brenvik_v5_sim.yaml, read with yaml-cpp.

#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "robot_factory/utility/robot_para.h"

namespace brenvik::test {

inline constexpr double kPi = 3.14159265358979323846;

struct TestArm {
  std::string name;
  MdhPara mdh;
  std::vector<double> min_joint;
  std::vector<double> max_joint;
  std::vector<double> inertial;  // 30 values
};

// zd (0.2, 0, 0, 0, 0.1), xa (0, 0.05, 0.3, 0.25, 0.02), twists (0, π/2, 0, 0, −π/2), joints
// in (−0.9π, 0.9π); inertial values with off-diagonal terms and offset centres of mass.
inline TestArm exampleArm(const std::string& name, const std::vector<double>& qzeros) {
  TestArm arm;
  arm.name = name;
  arm.mdh.zds = {0.2, 0.0, 0.0, 0.0, 0.1};
  arm.mdh.xas = {0.0, 0.05, 0.3, 0.25, 0.02};
  arm.mdh.alphas = {0.0, kPi / 2, 0.0, 0.0, -kPi / 2};
  arm.mdh.qzeros = qzeros;
  arm.min_joint.assign(5, -0.9 * kPi);
  arm.max_joint.assign(5, 0.9 * kPi);
  arm.inertial = {2.1e-3, 1.0e-4,  -2.0e-4, 1.9e-3, 3.0e-4,  1.1e-3, 0.01, -0.02,  -0.05, 1.3,
                  5.0e-4, 2.0e-5,  1.0e-5,  4.1e-3, -6.0e-5, 3.9e-3, 0.14, 0.01,   0.02,  0.8,
                  3.0e-4, -1.0e-5, 4.0e-5,  2.2e-3, 2.0e-5,  2.0e-3, 0.11, -0.015, 0.01,  0.45};
  return arm;
}

inline std::string simParaFile() { return BRENVIK_SIM_PARA_FILE; }

// The simulated arm of the start-up parameter file; throws YAML::Exception when it is missing.
inline TestArm simArm() {
  const YAML::Node root = YAML::LoadFile(simParaFile());
  TestArm arm;
  arm.name = "SimFile";
  for (const YAML::Node& link : root["mdh_para"]) {
    arm.mdh.zds.push_back(link["zd"].as<double>());
    arm.mdh.xas.push_back(link["xa"].as<double>());
    arm.mdh.alphas.push_back(link["alpha"].as<double>());
    arm.mdh.qzeros.push_back(link["qzero"].as<double>());
  }
  for (const YAML::Node& axis : root["axis_paras"]) {
    arm.min_joint.push_back(axis["min_joint_pos"].as<double>());
    arm.max_joint.push_back(axis["max_joint_pos"].as<double>());
  }
  arm.inertial = root["dynamics_para"]["inertial_para"][0].as<std::vector<double>>();
  return arm;
}

inline std::vector<double> randomJoints(std::mt19937& rng, const TestArm& arm) {
  std::vector<double> q(arm.min_joint.size());
  for (size_t i = 0; i < q.size(); ++i) {
    q[i] = std::uniform_real_distribution<double>(arm.min_joint[i], arm.max_joint[i])(rng);
  }
  return q;
}

inline void PrintTo(const TestArm& arm, std::ostream* os) { *os << arm.name; }

// Test name suffix of a parameterised arm test.
inline std::string armName(const testing::TestParamInfo<TestArm>& arm_info) {
  return arm_info.param.name;
}

// Distance of two angles on the circle.
inline double angleDistance(double a, double b) {
  return std::fabs(std::remainder(a - b, 2.0 * kPi));
}

}  // namespace brenvik::test

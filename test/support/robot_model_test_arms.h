#pragma once

#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include <cmath>
#include <random>

#include "robot_factory/utility/robot_para.h"

namespace brenvik::test {

inline constexpr double kPi = 3.14159265358979323846;

struct TestArm {
  std::string name;
  MdhPara mdh;
  std::vector<double> min_joint, max_joint;
  std::vector<double> inertial;  // 30 values
};
inline std::string armName(const testing::TestParamInfo<TestArm>& arm) { return arm.param.name; }
inline void PrintTo(const TestArm& arm, std::ostream* os) { *os << arm.name; }  // readable logs

inline TestArm exampleArm(const std::string& name, const std::vector<double>& qzeros) {
  return {name,
          {{0.2, 0.0, 0.0, 0.0, 0.1},
           {0.0, 0.05, 0.3, 0.25, 0.02},
           {0.0, kPi / 2, 0.0, 0.0, -kPi / 2},
           qzeros},
          std::vector<double>(5, -0.9 * kPi),
          std::vector<double>(5, 0.9 * kPi),
          {2.1e-3, 1.0e-4,  -2.0e-4, 1.9e-3, 3.0e-4,  1.1e-3, 0.01, -0.02,  -0.05, 1.3,
           5.0e-4, 2.0e-5,  1.0e-5,  4.1e-3, -6.0e-5, 3.9e-3, 0.14, 0.01,   0.02,  0.8,
           3.0e-4, -1.0e-5, 4.0e-5,  2.2e-3, 2.0e-5,  2.0e-3, 0.11, -0.015, 0.01,  0.45}};
}

inline TestArm simArm() {
  const YAML::Node root = YAML::LoadFile(BRENVIK_SIM_PARA_FILE);
  const auto values = [&](const char* list, const char* key) {
    std::vector<double> out;
    for (const YAML::Node& entry : root[list]) out.push_back(entry[key].as<double>());
    return out;
  };
  return {"SimFile",
          {values("mdh_para", "zd"), values("mdh_para", "xa"), values("mdh_para", "alpha"),
           values("mdh_para", "qzero")},
          values("axis_paras", "min_joint_pos"),
          values("axis_paras", "max_joint_pos"),
          root["dynamics_para"]["inertial_para"][0].as<std::vector<double>>()};
}

// Bands ±15, factors 2 and 6; admittance damping 2 (pushed) or 20 (at rest), masses 0.5.
inline std::shared_ptr<RobotPara> modelPara(
    const TestArm& arm, std::vector<double> friction = std::vector<double>(11)) {
  auto para = std::make_shared<RobotPara>();
  para->axis_num = 5;
  para->mdh_para = arm.mdh;
  para->dynamics_para = {arm.inertial, std::move(friction)};
  para->dynamics_application_para.signal_bound_para = {-15, -15, -15, -15, -15, 15,
                                                       15,  15,  15,  15,  2.0, 6.0};
  para->dynamics_application_para.admittance_para = {2,  2,  2,  2,  2,  0.5, 0.5, 0.5, 0.5, 0.5,
                                                     20, 20, 20, 20, 20, 0.5, 0.5, 0.5, 0.5, 0.5};
  return para;
}

inline std::vector<double> randomJoints(std::mt19937& rng, const TestArm& arm) {
  std::vector<double> q(arm.min_joint.size());
  for (size_t i = 0; i < q.size(); ++i) {
    q[i] = std::uniform_real_distribution<double>(arm.min_joint[i], arm.max_joint[i])(rng);
  }
  return q;
}

inline double angleDistance(double a, double b) {
  return std::fabs(std::remainder(a - b, 2.0 * kPi));
}

}  // namespace brenvik::test

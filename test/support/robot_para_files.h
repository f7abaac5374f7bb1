#pragma once

#include <unistd.h>
#include <yaml-cpp/yaml.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace brenvik::test {

// The simulated arm's parameter file, as shipped (tests run from the project root).
inline constexpr const char* kSimParaFile = "config/brenvik_v5_sim.yaml";

// A valid parameter document of n axes (n >= 3): identity coupling, unit ratios, joint limits
// [-1, 1], the three links' inertial values, 11 friction values, at least 2n + 2 (and 12) signal
// bounds and 4n
// admittance values.
inline YAML::Node validParaDoc(int n) {
  YAML::Node doc;
  doc["axis_num"] = n;
  doc["is_real_robot_flag"] = false;
  for (int i = 0; i < n; ++i) {
    YAML::Node mdh;
    mdh["zd"] = 0.1;
    mdh["xa"] = 0.05 * i;
    mdh["alpha"] = 0.0;
    mdh["qzero"] = 0.0;
    doc["mdh_para"].push_back(mdh);
    YAML::Node axis;
    axis["min_joint_pos"] = -1.0;
    axis["max_joint_pos"] = 1.0;
    axis["max_joint_vel"] = 1.0;
    axis["max_joint_acc"] = 2.0;
    axis["reduction_ratio"] = 1.0;
    axis["max_motor_vel"] = 1.0;
    axis["max_motor_acc"] = 2.0;
    axis["joint_pos_error_threshold"] = 0.01;
    axis["emergency_stop_acc"] = 2.0;
    doc["axis_paras"].push_back(axis);
    YAML::Node row(YAML::NodeType::Sequence);
    for (int j = 0; j < n; ++j) {
      row.push_back(i == j ? 1.0 : 0.0);
    }
    row.SetStyle(YAML::EmitterStyle::Flow);
    doc["motor2joint_matrix"]["angle_transformation"].push_back(row);
  }
  doc["cartesian_para"]["max_line_v"] = 0.2;
  doc["cartesian_para"]["max_rotation_w"] = 1.0;
  YAML::Node inertial(YAML::NodeType::Sequence);
  for (int i = 0; i < 30; ++i) {
    inertial.push_back(i % 10 == 9 ? 1.0 : 0.001);
  }
  doc["dynamics_para"]["inertial_para"].push_back(inertial);
  YAML::Node friction(YAML::NodeType::Sequence);
  for (int i = 0; i < 11; ++i) {
    friction.push_back(0.1);
  }
  doc["dynamics_para"]["friction_para"].push_back(friction);
  YAML::Node bounds(YAML::NodeType::Sequence);
  const int bound_count = 2 * n + 2 > 12 ? 2 * n + 2 : 12;
  for (int i = 0; i < bound_count; ++i) {
    bounds.push_back(i < n ? -3.0 : (i < 2 * n ? 3.0 : 2.0));
  }
  doc["dynamics_application_para"]["signal_bound_para"].push_back(bounds);
  YAML::Node admittance(YAML::NodeType::Sequence);
  for (int i = 0; i < 4 * n; ++i) {
    admittance.push_back(1.0);
  }
  doc["dynamics_application_para"]["admittance_para"].push_back(admittance);
  return doc;
}

// A list of count copies of value, as a YAML sequence.
inline YAML::Node numberList(size_t count, double value) {
  YAML::Node list(YAML::NodeType::Sequence);
  for (size_t i = 0; i < count; ++i) {
    list.push_back(value);
  }
  return list;
}

// A file in a fresh temporary directory, removed with the object.
class TempFile {
 public:
  explicit TempFile(const std::string& content) {
    char dir_template[] = "/tmp/brenvik_test_XXXXXX";
    dir_ = mkdtemp(dir_template);
    path_ = dir_ + "/robot_para.yaml";
    std::ofstream(path_) << content;
  }
  ~TempFile() {
    std::remove(path_.c_str());
    rmdir(dir_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  std::string path_;
};

inline std::string emit(const YAML::Node& doc) {
  YAML::Emitter out;
  out << doc;
  return out.c_str();
}

}  // namespace brenvik::test

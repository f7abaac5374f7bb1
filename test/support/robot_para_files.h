#pragma once

#include <unistd.h>
#include <yaml-cpp/yaml.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace brenvik::test {

// The simulated arm's parameter file, as shipped (tests run from the project root).
inline constexpr const char* kSimParaFile = "config/brenvik_v5_sim.yaml";

inline YAML::Node numberList(size_t count, double value) {
  return YAML::Node(std::vector<double>(count, value));
}

// A valid parameter document of n axes (n >= 3): identity coupling, unit ratios, joint limits
// [-1, 1], 30 inertial values (masses 1), 11 friction values, max(2n + 2, 12) signal bounds
// (-3 then 3 per axis, then 2) and 4n admittance values.
inline YAML::Node validParaDoc(int n) {
  YAML::Node doc = YAML::Load(
      "{is_real_robot_flag: false, cartesian_para: {max_line_v: 0.2, max_rotation_w: 1.0}}");
  doc["axis_num"] = n;
  for (int i = 0; i < n; ++i) {
    YAML::Node mdh = YAML::Load("{zd: 0.1, alpha: 0.0, qzero: 0.0}");
    mdh["xa"] = 0.05 * i;
    doc["mdh_para"].push_back(mdh);
    doc["axis_paras"].push_back(YAML::Load(
        "{min_joint_pos: -1.0, max_joint_pos: 1.0, max_joint_vel: 1.0, max_joint_acc: 2.0,"
        " reduction_ratio: 1.0, max_motor_vel: 1.0, max_motor_acc: 2.0,"
        " joint_pos_error_threshold: 0.01, emergency_stop_acc: 2.0}"));
    YAML::Node row = numberList(n, 0.0);
    row[i] = 1.0;
    row.SetStyle(YAML::EmitterStyle::Flow);
    doc["motor2joint_matrix"]["angle_transformation"].push_back(row);
  }
  YAML::Node inertial = numberList(30, 0.001);
  for (int i = 9; i < 30; i += 10) inertial[i] = 1.0;
  doc["dynamics_para"]["inertial_para"].push_back(inertial);
  doc["dynamics_para"]["friction_para"].push_back(numberList(11, 0.1));
  YAML::Node bounds = numberList(2 * n + 2 > 12 ? 2 * n + 2 : 12, 2.0);
  for (int i = 0; i < 2 * n; ++i) bounds[i] = i < n ? -3.0 : 3.0;
  doc["dynamics_application_para"]["signal_bound_para"].push_back(bounds);
  doc["dynamics_application_para"]["admittance_para"].push_back(numberList(4 * n, 1.0));
  return doc;
}

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
  const std::string& path() const { return path_; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_, path_;
};

inline std::string emit(const YAML::Node& doc) { return YAML::Dump(doc); }

}  // namespace brenvik::test

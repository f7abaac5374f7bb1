#include "brenvikctl/robot_description.h"

#include <yaml-cpp/yaml.h>

#include <cmath>

#include "brenvikctl/exit_codes.h"

namespace brenvikctl {
namespace {

// A finite number under key of map, or false with error naming it.
bool readNumber(const YAML::Node& map, const char* key, const std::string& where, double& value,
                std::string& error) {
  const YAML::Node node = map[key];
  if (!node || !node.IsScalar()) {
    error = where + ": " + key + " is missing";
    return false;
  }
  try {
    value = node.as<double>();
  } catch (const YAML::Exception&) {
    value = NAN;
  }
  if (!std::isfinite(value)) {
    error = where + ": " + key + " '" + node.Scalar() + "' is not a finite number";
    return false;
  }
  return true;
}

}  // namespace

int RobotDescription::read(const std::string& path, RobotDescription& description,
                           std::string& error) {
  description = RobotDescription();
  YAML::Node root;
  try {
    root = YAML::LoadFile(path);
  } catch (const YAML::BadFile&) {
    error = "cannot read " + path;
    return exit_code::kFile;
  } catch (const YAML::Exception& e) {
    error = path + ": " + e.what();
    return exit_code::kFile;
  }
  double axis_num = 0.0;
  if (!root.IsMap() || !readNumber(root, "axis_num", path, axis_num, error)) {
    if (!root.IsMap()) error = path + ": not a robot parameter file (no axis_num)";
    return exit_code::kFile;
  }
  if (axis_num < 1 || axis_num > 64 || axis_num != std::floor(axis_num)) {
    error = path + ": axis_num " + root["axis_num"].Scalar() + " is not a count of axes";
    return exit_code::kFile;
  }
  const auto count = static_cast<size_t>(axis_num);
  for (const char* section : {"mdh_para", "axis_paras"}) {
    const YAML::Node list = root[section];
    if (!list || !list.IsSequence() || list.size() != count) {
      error = path + ": " + section + " must list " + std::to_string(count) +
              " axes (axis_num), it has " +
              std::to_string(list && list.IsSequence() ? list.size() : 0);
      return exit_code::kFile;
    }
  }
  description.axes.resize(count);
  for (size_t i = 0; i < count; ++i) {
    Axis& axis = description.axes[i];
    const std::string mdh = path + ": mdh_para axis " + std::to_string(i + 1);
    const std::string limits = path + ": axis_paras axis " + std::to_string(i + 1);
    const YAML::Node m = root["mdh_para"][i];
    const YAML::Node a = root["axis_paras"][i];
    if (!readNumber(m, "zd", mdh, axis.zd, error) || !readNumber(m, "xa", mdh, axis.xa, error) ||
        !readNumber(m, "alpha", mdh, axis.alpha, error) ||
        !readNumber(m, "qzero", mdh, axis.qzero, error) ||
        !readNumber(a, "min_joint_pos", limits, axis.min_joint_pos, error) ||
        !readNumber(a, "max_joint_pos", limits, axis.max_joint_pos, error) ||
        !readNumber(a, "max_joint_vel", limits, axis.max_joint_vel, error)) {
      return exit_code::kFile;
    }
    if (axis.min_joint_pos > axis.max_joint_pos) {
      error = limits + ": min_joint_pos is above max_joint_pos";
      return exit_code::kFile;
    }
  }
  return exit_code::kOk;
}

}  // namespace brenvikctl

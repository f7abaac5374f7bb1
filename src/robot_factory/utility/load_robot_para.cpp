#include "robot_factory/utility/load_robot_para.h"

#include <yaml-cpp/yaml.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

#include "common/logger.h"
#include "devices/virtual_gripper.h"
#include "devices/virtual_motor.h"
#include "robot_factory/device_factory.h"

namespace brenvik {
namespace {

// Motor initialisation is tried this often per axis before the load fails.
constexpr int kMotorInitTries = 3;

// This arm type's models read these many parameters; the file must provide them.
constexpr size_t kMinInertialValues = 30;
constexpr size_t kFrictionValues = 11;
constexpr size_t kMinSignalBounds = 11;

// Ranges of the simulated drives' tracking: beyond them the lag is no drive anyone builds.
constexpr double kMaxTrackingBandwidth = 10000.0;  // rad/s
constexpr double kMaxDamping = 100.0;

// A value that reads but that the arm cannot run with (a number that is not finite, out of its
// range, an unknown key of a section of this system's own): refused with kInvalid, not as a YAML
// error. The message names the key and the value.
class InvalidValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string describe(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

void printError(const std::string& message) {
  std::cout << COLOR_BOLD_RED << message << COLOR_RESET << std::endl;
}

// A value of the wrong kind or a missing key, reported through the YAML error path with the
// position in the file and the key at fault.
[[noreturn]] void throwYamlError(const YAML::Node& node, const std::string& message) {
  throw YAML::RepresentationException(node.Mark(), message);
}

YAML::Node requiredChild(const YAML::Node& map, const char* key, const std::string& where) {
  const YAML::Node node = map[key];
  if (!node) {
    throwYamlError(map, "missing key '" + where + key + "'");
  }
  return node;
}

double readNumber(const YAML::Node& node, const std::string& key) {
  double value = 0.0;
  if (!node.IsScalar() || !YAML::convert<double>::decode(node, value)) {
    throwYamlError(node, "'" + key + "' is not a number");
  }
  if (!std::isfinite(value)) {
    throw InvalidValueError("Error: " + key + " is not a finite number.");
  }
  return value;
}

double requiredNumber(const YAML::Node& map, const char* key, const std::string& where) {
  return readNumber(requiredChild(map, key, where), where + key);
}

// An optional number: fallback when the key is absent.
double optionalNumber(const YAML::Node& map, const char* key, const std::string& where,
                      double fallback) {
  const YAML::Node node = map[key];
  return node ? readNumber(node, where + key) : fallback;
}

// Refuses a value outside [low, high], or (low_open) outside (low, high].
void requireRange(double value, const std::string& key, double low, bool low_open, double high) {
  if ((low_open ? value <= low : value < low) || value > high) {
    throw InvalidValueError("Error: " + key + " is " + describe(value) + "; it must be " +
                            (low_open ? "above " : "at least ") + describe(low) +
                            (high < HUGE_VAL ? " and at most " + describe(high) : "") + ".");
  }
}

// A section of this system's own is read whole: a key it does not know is most likely a typing
// error, which must not pass silently.
void refuseUnknownKeys(const YAML::Node& map, const std::string& section,
                       std::initializer_list<const char*> keys) {
  if (!map.IsMap()) {
    throwYamlError(map, "'" + section + "' is not a map");
  }
  for (const auto& entry : map) {
    const std::string key = entry.first.as<std::string>();
    bool known = false;
    for (const char* k : keys) {
      known = known || key == k;
    }
    if (!known) {
      std::string list;
      for (const char* k : keys) {
        list += (list.empty() ? "" : ", ") + std::string(k);
      }
      throw InvalidValueError("Error: " + section + " has no key '" + key + "' (its keys: " + list +
                              ").");
    }
  }
}

// An optional whole number in [0, high]; fallback when the key is absent.
long long optionalCount(const YAML::Node& map, const char* key, const std::string& where,
                        long long fallback, long long high) {
  const YAML::Node node = map[key];
  if (!node) {
    return fallback;
  }
  long long value = 0;
  if (!node.IsScalar() || !YAML::convert<long long>::decode(node, value)) {
    throwYamlError(node, "'" + where + key + "' is not a whole number");
  }
  if (value < 0 || value > high) {
    throw InvalidValueError("Error: " + where + key + " is " + std::to_string(value) +
                            "; it must be at least 0 and at most " + std::to_string(high) + ".");
  }
  return value;
}

bool optionalFlag(const YAML::Node& map, const char* key, const std::string& where) {
  const YAML::Node node = map[key];
  bool value = false;
  if (node && (!node.IsScalar() || !YAML::convert<bool>::decode(node, value))) {
    throwYamlError(node, "'" + where + key + "' is not a boolean (true or false)");
  }
  return value;
}

// Faults a simulated motor injects (an axis's simulated_faults); none when absent.
VirtualMotorFaults readMotorFaults(const YAML::Node& section, const std::string& where) {
  VirtualMotorFaults faults;
  if (!section || section.IsNull()) {
    return faults;
  }
  refuseUnknownKeys(
      section, where.substr(0, where.size() - 1),
      {"init_failures", "read_fault_from_period", "read_fault_probability",
       "write_fault_from_period", "write_fault_probability", "fault_seed", "enable_never_arrives",
       "home_fails", "external_torque", "external_torque_from_period"});
  constexpr long long kMaxPeriods = std::numeric_limits<std::int64_t>::max() - 1;
  faults.init_failures =
      static_cast<int>(optionalCount(section, "init_failures", where, 0, 1000000));
  faults.read_fault_from_period = optionalCount(section, "read_fault_from_period", where,
                                                VirtualMotorFaults::kNever, kMaxPeriods);
  faults.read_fault_probability = optionalNumber(section, "read_fault_probability", where, 0.0);
  requireRange(faults.read_fault_probability, where + "read_fault_probability", 0.0, false, 1.0);
  faults.write_fault_from_period = optionalCount(section, "write_fault_from_period", where,
                                                 VirtualMotorFaults::kNever, kMaxPeriods);
  faults.write_fault_probability = optionalNumber(section, "write_fault_probability", where, 0.0);
  requireRange(faults.write_fault_probability, where + "write_fault_probability", 0.0, false, 1.0);
  faults.fault_seed = static_cast<std::uint32_t>(
      optionalCount(section, "fault_seed", where, 1, std::numeric_limits<std::uint32_t>::max()));
  faults.enable_never_arrives = optionalFlag(section, "enable_never_arrives", where);
  faults.home_fails = optionalFlag(section, "home_fails", where);
  faults.external_torque = optionalNumber(section, "external_torque", where, 0.0);
  faults.external_torque_from_period =
      optionalCount(section, "external_torque_from_period", where, 0, kMaxPeriods);
  return faults;
}

// Faults a simulated control-IO device injects (an entry's simulated_faults); none when absent.
VirtualIoFaults readIoFaults(const YAML::Node& section, const std::string& where) {
  VirtualIoFaults faults;
  if (!section || section.IsNull()) {
    return faults;
  }
  refuseUnknownKeys(section, where.substr(0, where.size() - 1), {"never_answers"});
  faults.never_answers = optionalFlag(section, "never_answers", where);
  return faults;
}

// Tracking of the simulated drives; defaults when the section is absent.
VirtualMotorPara readVirtualMotorPara(const YAML::Node& section) {
  VirtualMotorPara para;
  if (!section || section.IsNull()) {
    return para;
  }
  const std::string where = "virtual_motor_para.";
  refuseUnknownKeys(section, "virtual_motor_para", {"tracking_bandwidth", "damping"});
  para.tracking_bandwidth =
      optionalNumber(section, "tracking_bandwidth", where, para.tracking_bandwidth);
  requireRange(para.tracking_bandwidth, where + "tracking_bandwidth", 0.0, true,
               kMaxTrackingBandwidth);
  para.damping = optionalNumber(section, "damping", where, para.damping);
  requireRange(para.damping, where + "damping", 0.0, true, kMaxDamping);
  return para;
}

template <typename T>
T requiredScalar(const YAML::Node& map, const char* key, const std::string& where,
                 const char* kind) {
  const YAML::Node node = requiredChild(map, key, where);
  T value{};
  if (!node.IsScalar() || !YAML::convert<T>::decode(node, value)) {
    throwYamlError(node, "'" + where + key + "' is not " + kind);
  }
  return value;
}

std::vector<double> readNumberList(const YAML::Node& node, const std::string& key) {
  if (!node.IsSequence()) {
    throwYamlError(node, "'" + key + "' is not a list of numbers");
  }
  std::vector<double> values;
  values.reserve(node.size());
  for (size_t i = 0; i < node.size(); ++i) {
    values.push_back(readNumber(node[i], key + "[" + std::to_string(i) + "]"));
  }
  return values;
}

// A section given as a list with exactly one item, itself a list of numbers.
// Returns false (message printed) when the outer list does not hold exactly one item.
bool readOneItemList(const YAML::Node& section, const char* key, const std::string& message_head,
                     const std::string& where, std::vector<double>& out) {
  const YAML::Node node = section[key];
  const size_t size = node && node.IsSequence() ? node.size() : 0;
  if (size != 1) {
    printError(message_head + std::to_string(size) + "!=1");
    return false;
  }
  out = readNumberList(node[0], where + key + "[0]");
  return true;
}

bool isMissing(const YAML::Node& node) { return !node || node.size() == 0; }

int loadFile(const std::string& path, RobotPara& robot_para) {
  const YAML::Node root = YAML::LoadFile(path);
  if (!root.IsMap()) {
    throwYamlError(root, "the root of the parameter file is not a map");
  }

  robot_para.axis_num = requiredScalar<int>(root, "axis_num", "", "an integer");
  const int axis_num = robot_para.axis_num;
  const bool is_real_robot =
      requiredScalar<bool>(root, "is_real_robot_flag", "", "a boolean (true or false)");
  robot_para.max_joint_vel_tolerance =
      optionalNumber(root, "max_joint_vel_tolerance", "", robot_para.max_joint_vel_tolerance);
  requireRange(robot_para.max_joint_vel_tolerance, "max_joint_vel_tolerance", 0.0, false, HUGE_VAL);
  if (!is_real_robot) {
    robot_para.virtual_motor_para = readVirtualMotorPara(root["virtual_motor_para"]);
  }

  // Kinematic parameters.
  const YAML::Node mdh = root["mdh_para"];
  if (isMissing(mdh) || !mdh.IsSequence()) {
    printError("Error: mdh_para not defined.");
    return load_result::kMissing;
  }
  for (size_t i = 0; i < mdh.size(); ++i) {
    const std::string where = "mdh_para[" + std::to_string(i) + "].";
    robot_para.mdh_para.zds.push_back(requiredNumber(mdh[i], "zd", where));
    robot_para.mdh_para.xas.push_back(requiredNumber(mdh[i], "xa", where));
    robot_para.mdh_para.alphas.push_back(requiredNumber(mdh[i], "alpha", where));
    robot_para.mdh_para.qzeros.push_back(requiredNumber(mdh[i], "qzero", where));
  }
  if (static_cast<long>(robot_para.mdh_para.zds.size()) != axis_num) {
    printError("robot_para.mdh_para.zds.size() does not equal robot_para.axis_num.");
    return load_result::kMissing;
  }

  // Axes and their motors.
  const YAML::Node axes = root["axis_paras"];
  if (isMissing(axes) || !axes.IsSequence()) {
    printError("Error: axis_paras not defined.");
    return load_result::kMissing;
  }
  int axis_number = 1;
  for (size_t i = 0; i < axes.size(); ++i, ++axis_number) {
    const YAML::Node item = axes[i];
    const std::string where = "axis_paras[" + std::to_string(i) + "].";
    AxisPara axis;
    axis.min_joint_pos = requiredNumber(item, "min_joint_pos", where);
    axis.max_joint_pos = requiredNumber(item, "max_joint_pos", where);
    axis.max_joint_vel = requiredNumber(item, "max_joint_vel", where);
    axis.max_joint_acc = requiredNumber(item, "max_joint_acc", where);
    axis.reduction_ratio = requiredNumber(item, "reduction_ratio", where);
    axis.max_motor_vel = requiredNumber(item, "max_motor_vel", where);
    axis.max_motor_acc = requiredNumber(item, "max_motor_acc", where);
    axis.joint_pos_error_threshold = requiredNumber(item, "joint_pos_error_threshold", where);
    axis.emergency_stop_acc = requiredNumber(item, "emergency_stop_acc", where);
    if (is_real_robot) {
      axis.motor = allocateMotor(item["motor_init_para"]);
    } else {
      axis.motor = std::make_shared<VirtualMotor>(
          axis_number, robot_para.virtual_motor_para,
          readMotorFaults(item["simulated_faults"], where + "simulated_faults."));
    }
    if (!axis.motor) {
      printError("Error: no motor was made for axis " + std::to_string(axis_number) +
                 ": its motor_init_para needs a vendor of damiao, feetech or joho.");
      return load_result::kDevice;
    }
    robot_para.axis_paras.push_back(std::move(axis));
  }
  if (static_cast<long>(robot_para.axis_paras.size()) != axis_num) {
    printError("robot_para.axis_paras.size() does not equal robot_para.axis_num.");
    return load_result::kMissing;
  }

  const YAML::Node cartesian = root["cartesian_para"];
  if (isMissing(cartesian) || !cartesian.IsMap()) {
    printError("Error: cartesian_para not defined.");
    return load_result::kMissing;
  }
  robot_para.cartesian_para.max_line_v = requiredNumber(cartesian, "max_line_v", "cartesian_para.");
  robot_para.cartesian_para.max_rotation_w =
      requiredNumber(cartesian, "max_rotation_w", "cartesian_para.");

  // Coupling matrix.
  const YAML::Node coupling = root["motor2joint_matrix"];
  if (isMissing(coupling) || !coupling.IsMap()) {
    printError("Error: motor2joint_matrix not defined.");
    return load_result::kMissing;
  }
  robot_para.motor2joint_matrix = Eigen::MatrixXd::Identity(axis_num, axis_num);
  const YAML::Node matrix_node = coupling["angle_transformation"];
  if (!matrix_node || !matrix_node.IsSequence() || matrix_node.size() == 0) {
    printError("The matrix is not a valid sequence or is empty.");
    return load_result::kInvalid;
  }
  if (static_cast<long>(matrix_node.size()) != axis_num) {
    printError("matrix_node.size() =" + std::to_string(matrix_node.size()) +
               "does not equal robot_para.axis_num.");
    return load_result::kInvalid;
  }
  for (int row = 0; row < axis_num; ++row) {
    const YAML::Node row_node = matrix_node[row];
    if (!row_node.IsSequence()) {
      printError("The matrix row is not a valid sequence.");
      return load_result::kInvalid;
    }
    if (static_cast<long>(row_node.size()) != axis_num) {
      printError("row=" + std::to_string(row + 1) + ",row_node.size()=" +
                 std::to_string(row_node.size()) + "does not equal robot_para.axis_num.");
      return load_result::kInvalid;
    }
    for (int col = 0; col < axis_num; ++col) {
      robot_para.motor2joint_matrix(row, col) =
          readNumber(row_node[col], "motor2joint_matrix.angle_transformation[" +
                                        std::to_string(row) + "][" + std::to_string(col) + "]");
    }
  }

  // Derived matrices. A zero ratio or a singular coupling would make them infinite.
  Eigen::MatrixXd reduction = Eigen::MatrixXd::Identity(axis_num, axis_num);
  for (int j = 0; j < axis_num; ++j) {
    const double ratio = robot_para.axis_paras[j].reduction_ratio;
    if (ratio == 0.0) {
      printError("Error: axis " + std::to_string(j + 1) + " has a reduction_ratio of 0.");
      return load_result::kInvalid;
    }
    reduction(j, j) = 1.0 / ratio;
  }
  robot_para.motor2joint_pos_matrix = robot_para.motor2joint_matrix * reduction;
  const Eigen::FullPivLU<Eigen::MatrixXd> lu(robot_para.motor2joint_pos_matrix);
  if (!lu.isInvertible()) {
    printError("Error: motor2joint_matrix.angle_transformation is not invertible.");
    return load_result::kInvalid;
  }
  robot_para.joint2motor_pos_matrix = robot_para.motor2joint_pos_matrix.inverse();
  robot_para.motor2joint_dual_matrix = robot_para.motor2joint_pos_matrix.inverse().transpose();
  robot_para.joint2motor_dual_matrix = robot_para.motor2joint_dual_matrix.inverse();

  // Dynamics.
  const YAML::Node dynamics = root["dynamics_para"];
  if (isMissing(dynamics) || !dynamics.IsMap()) {
    printError("dynamics_para not defined.");
    return load_result::kMissing;
  }
  DynamicsPara& dynamics_para = robot_para.dynamics_para;
  if (!readOneItemList(dynamics, "inertial_para", "dynamics_para inertial_para size=",
                       "dynamics_para.", dynamics_para.inertial_para) ||
      !readOneItemList(dynamics, "friction_para", "friction_para friction_para size=",
                       "dynamics_para.", dynamics_para.friction_para)) {
    return load_result::kMissing;
  }

  const YAML::Node application = root["dynamics_application_para"];
  if (isMissing(application) || !application.IsMap()) {
    printError("dynamics_application_para not defined.");
    return load_result::kMissing;
  }
  DynamicsApplicationPara& application_para = robot_para.dynamics_application_para;
  if (!readOneItemList(application, "signal_bound_para",
                       "dynamics_application_para signal_bound_para size=",
                       "dynamics_application_para.", application_para.signal_bound_para) ||
      !readOneItemList(application, "admittance_para",
                       "dynamics_application_para admittance_para size=",
                       "dynamics_application_para.", application_para.admittance_para)) {
    return load_result::kMissing;
  }

  const size_t n = static_cast<size_t>(axis_num);
  const size_t inertial_count = dynamics_para.inertial_para.size();
  if (inertial_count > 10 * n) {
    printError("robot_para.dynamics_para.inertial_para.size() error! ");
    return load_result::kInvalid;
  }
  if (inertial_count % 10 != 0) {
    printError("robot_para.dynamics_para.inertial_para.size() error!(%10!=0)");
    return load_result::kInvalid;
  }
  if (application_para.signal_bound_para.size() < 2 * n) {
    printError("robot_para.dynamics_application_para.signal_bound_para.size() error!");
    return load_result::kInvalid;
  }
  if (application_para.admittance_para.size() != 4 * n) {
    printError("robot_para.dynamics_application_para.admittance_para.size() error!");
    return load_result::kInvalid;
  }
  // What this arm type's dynamics and collision models read.
  if (inertial_count < kMinInertialValues) {
    printError("Error: dynamics_para.inertial_para has " + std::to_string(inertial_count) +
               " values; this arm needs at least 30 (three links).");
    return load_result::kInvalid;
  }
  if (dynamics_para.friction_para.size() != kFrictionValues) {
    printError("Error: dynamics_para.friction_para has " +
               std::to_string(dynamics_para.friction_para.size()) +
               " values; this arm needs exactly 11.");
    return load_result::kInvalid;
  }
  if (application_para.signal_bound_para.size() < kMinSignalBounds) {
    printError("Error: dynamics_application_para.signal_bound_para has " +
               std::to_string(application_para.signal_bound_para.size()) +
               " values; this arm needs at least 11.");
    return load_result::kInvalid;
  }
  // Admittance masses divide the drag-teaching law: M_move and M_rest follow the damping values.
  for (size_t j = 0; j < n; ++j) {
    const size_t move = n + j;
    const size_t rest = 3 * n + j;
    if (application_para.admittance_para[move] == 0.0 ||
        application_para.admittance_para[rest] == 0.0) {
      printError("Error: dynamics_application_para.admittance_para: axis " + std::to_string(j + 1) +
                 " has an admittance mass of 0.");
      return load_result::kInvalid;
    }
  }

  // Control-IO devices.
  const YAML::Node io_devices = root["ctrl_io_devices"];
  if (!isMissing(io_devices)) {
    if (!io_devices.IsSequence()) {
      throwYamlError(io_devices, "'ctrl_io_devices' is not a list");
    }
    for (size_t i = 0; i < io_devices.size(); ++i) {
      const YAML::Node item = io_devices[i];
      const std::string where = "ctrl_io_devices[" + std::to_string(i) + "].";
      const int id = requiredScalar<int>(item, "ctrl_io_id", where, "an integer");
      const std::vector<double> translation = readNumberList(
          requiredChild(item, "geometrical_para", where), where + "geometrical_para");
      CtrlIoDevicePara device_para;
      device_para.geometrical_para = Eigen::MatrixXd::Identity(4, 4);
      if (translation.size() == 3) {
        device_para.geometrical_para.block<3, 1>(0, 3) =
            Eigen::Vector3d(translation[0], translation[1], translation[2]);
      }
      if (is_real_robot) {
        device_para.device = allocateCtrlIo(requiredChild(item, "ctrl_io_init_para", where));
      } else {
        device_para.device = std::make_shared<VirtualGripper>(
            readIoFaults(item["simulated_faults"], where + "simulated_faults."));
      }
      if (!device_para.device) {
        printError("Error: no device was made for ctrl_io_id " + std::to_string(id) +
                   ": its ctrl_io_init_para needs a type of gripper or lifter.");
        return load_result::kDevice;
      }
      robot_para.ctrl_io_devices[id] = std::move(device_para);
    }
  }
  return load_result::kOk;
}

// The smallest box in motor space holding the image of the joint-limit box.
void deriveMotorLimits(RobotPara& robot_para) {
  const int n = robot_para.axis_num;
  Eigen::VectorXd mid(n);
  Eigen::VectorXd half(n);
  std::cout << "max_joint_pos:" << std::endl;
  for (int i = 0; i < n; ++i) {
    const AxisPara& axis = robot_para.axis_paras[i];
    mid(i) = (axis.max_joint_pos + axis.min_joint_pos) * 0.5;
    half(i) = std::abs(axis.max_joint_pos - axis.min_joint_pos) * 0.5;
    std::cout << axis.max_joint_pos << "," << axis.min_joint_pos << std::endl;
  }
  const Eigen::VectorXd m = robot_para.joint2motor_pos_matrix * mid;
  const Eigen::VectorXd h = robot_para.joint2motor_pos_matrix.cwiseAbs() * half;
  std::cout << "max_motor_pos:" << std::endl;
  for (int i = 0; i < n; ++i) {
    AxisPara& axis = robot_para.axis_paras[i];
    axis.max_motor_pos = m(i) + std::abs(h(i));
    axis.min_motor_pos = m(i) - std::abs(h(i));
    std::cout << axis.max_motor_pos << "," << axis.min_motor_pos << std::endl;
  }
}

}  // namespace

int LoadRobotPara::initMotors(const RobotPara& robot_para) {
  for (int i = 0; i < robot_para.axis_num; ++i) {
    CtrlMotorInterface& motor = *robot_para.axis_paras[i].motor;
    int code = -1;
    for (int attempt = 0; attempt < kMotorInitTries && code != 0; ++attempt) {
      code = motor.init();
    }
    if (code != 0) {
      LOG_STATUS(RobotStatus::FATAL, error_code::kMotorInit, "The %dst axis motor init error!\n",
                 i + 1);
      return load_result::kDevice;
    }
  }
  return load_result::kOk;
}

int LoadRobotPara::load(const std::string& path, RobotPara& robot_para) {
  {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      printError("Error: " + path + " is a directory, not a parameter file!");
      return load_result::kMissing;
    }
    std::ifstream stream(path);
    if (!stream.good()) {
      printError("Error: File " + path + " not found!");
      return load_result::kMissing;
    }
  }

  int result = load_result::kOk;
  try {
    result = loadFile(path, robot_para);
  } catch (const InvalidValueError& e) {
    printError(e.what());
    return load_result::kInvalid;
  } catch (const YAML::Exception& e) {
    std::cerr << "YAML Error: " << e.what() << std::endl;
    return load_result::kYamlError;
  }
  if (result != load_result::kOk) {
    return result;
  }

  std::cout << COLOR_GREEN << "Load yaml file success!" << COLOR_RESET << std::endl;
  deriveMotorLimits(robot_para);
  return initMotors(robot_para);
}

}  // namespace brenvik

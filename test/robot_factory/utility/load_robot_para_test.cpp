#include "robot_factory/utility/load_robot_para.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/logger.h"
#include "devices/virtual_gripper.h"
#include "devices/virtual_motor.h"
#include "support/robot_para_files.h"

namespace brenvik {
namespace {

using test::emit;
using test::numberList;
using test::TempFile;
using test::validParaDoc;

std::string red(const std::string& message) {
  return std::string(COLOR_BOLD_RED) + message + COLOR_RESET + "\n";
}

class LoadRobotParaTest : public ::testing::Test {
 protected:
  void SetUp() override { Logger::instance()->reset(); }
  void TearDown() override { Logger::instance()->reset(); }

  int loadPath(const std::string& path) {
    para_ = RobotPara();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int result = LoadRobotPara().load(path, para_);
    err_ = ::testing::internal::GetCapturedStderr();
    out_ = ::testing::internal::GetCapturedStdout();
    return result;
  }
  int loadText(const std::string& text) {
    const TempFile file(text);
    return loadPath(file.path());
  }
  int loadDoc(const YAML::Node& doc) { return loadText(emit(doc)); }
  bool printed(const std::string& text) const { return out_.find(text) != std::string::npos; }

  RobotPara para_;
  std::string out_;
  std::string err_;
};

TEST_F(LoadRobotParaTest, SimulatedArmLoadsWithSimulatedDevices) {
  ASSERT_EQ(loadPath(test::kSimParaFile), load_result::kOk) << out_ << err_;
  EXPECT_TRUE(printed(std::string(COLOR_GREEN) + "Load yaml file success!" + COLOR_RESET + "\n"));
  ASSERT_EQ(para_.axis_paras.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    const auto* motor = dynamic_cast<const VirtualMotor*>(para_.axis_paras[i].motor.get());
    ASSERT_NE(motor, nullptr);
    EXPECT_EQ(motor->motorId(), i + 1);
  }
  ASSERT_EQ(para_.ctrl_io_devices.size(), 2u);
  EXPECT_NE(dynamic_cast<VirtualGripper*>(para_.ctrl_io_devices.at(2).device.get()), nullptr);
  EXPECT_EQ(para_.ctrl_io_devices.at(1).geometrical_para.col(3),
            Eigen::Vector4d(0.0, 0.0, 0.06, 1.0));
  EXPECT_TRUE(printed("max_joint_pos:\n2.9,-2.9\n1.6,-1.6\n"));
  EXPECT_TRUE(printed("max_motor_pos:\n2.9,-2.9\n"));
}

TEST_F(LoadRobotParaTest, UnreadableFilesAreRefused) {
  EXPECT_EQ(loadPath("no/such/file.yaml"), load_result::kMissing);
  EXPECT_EQ(out_, red("Error: File no/such/file.yaml not found!"));
  EXPECT_EQ(err_, "");
  const TempFile file("axis_num: 1\n");
  EXPECT_EQ(loadPath(file.dir()), load_result::kMissing);
  EXPECT_TRUE(printed("is a directory"));
  for (const char* text : {"", "axis_num: [1, 2\n", "- 1\n- 2\n", "axis_num: abc\n",
                           "axis_num: 99999999999\nis_real_robot_flag: false\n",
                           "axis_num: 5\nis_real_robot_flag: maybe\n"}) {
    EXPECT_EQ(loadText(text), load_result::kYamlError) << text;
    EXPECT_EQ(err_.rfind("YAML Error: ", 0), 0u) << err_;
  }
}

// One edit of a valid file and what the load says: the result, and a text the red line (or, for
// a YAML error, the standard error line) holds.
struct EditCase {
  const char* name;
  int axes;
  std::function<void(YAML::Node&)> edit;
  int result;
  const char* message;
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class LoadRobotParaEditTest : public LoadRobotParaTest,
                              public ::testing::WithParamInterface<EditCase> {};

TEST_P(LoadRobotParaEditTest, RefusedWithItsMessage) {
  const EditCase& c = GetParam();
  YAML::Node doc = validParaDoc(c.axes);
  c.edit(doc);
  EXPECT_EQ(loadDoc(doc), c.result) << out_ << err_;
  const std::string& said = c.result == load_result::kYamlError ? err_ : out_;
  EXPECT_NE(said.find(c.message), std::string::npos) << said;
}

// Sets doc[section][key] (or the root key when section is empty) from YAML text.
std::function<void(YAML::Node&)> set(const char* section, const char* key, const char* yaml) {
  return [=](YAML::Node& doc) { (*section ? doc[section] : doc)[key] = YAML::Load(yaml); };
}
std::function<void(YAML::Node&)> list(const char* section, const char* key, size_t n, double v) {
  return [=](YAML::Node& doc) { doc[section][key][0] = numberList(n, v); };
}
std::function<void(YAML::Node&)> axisFaults(const char* yaml) {
  return [=](YAML::Node& doc) { doc["axis_paras"][1]["simulated_faults"] = YAML::Load(yaml); };
}

using load_result::kInvalid;
using load_result::kMissing;
using load_result::kYamlError;
constexpr const char* kSections[] = {"mdh_para",           "axis_paras",
                                     "cartesian_para",     "dynamics_para",
                                     "motor2joint_matrix", "dynamics_application_para"};

INSTANTIATE_TEST_SUITE_P(
    Edits, LoadRobotParaEditTest,
    ::testing::Values(
        EditCase{"MissingKey", 5,
                 [](YAML::Node& d) { d["axis_paras"][2].remove("emergency_stop_acc"); }, kYamlError,
                 "axis_paras[2].emergency_stop_acc"},
        EditCase{"AxisNumAboveTheLists", 5, set("", "axis_num", "6"), kMissing,
                 "robot_para.mdh_para.zds.size() does not equal robot_para.axis_num."},
        EditCase{"ZeroAxes", 5, set("", "axis_num", "0"), kMissing, "does not equal"},
        EditCase{"AxisMissing", 5, [](YAML::Node& d) { d["axis_paras"].remove(4); }, kMissing,
                 "robot_para.axis_paras.size() does not equal robot_para.axis_num."},
        EditCase{"MdhAbsent", 5, [](YAML::Node& d) { d.remove("mdh_para"); }, kMissing,
                 "Error: mdh_para not defined."},
        EditCase{"DynamicsEmpty", 5, set("", "dynamics_para", "[]"), kMissing,
                 "dynamics_para not defined."},
        EditCase{"FiveRowsForSix", 6,
                 [](YAML::Node& d) { d["motor2joint_matrix"]["angle_transformation"].remove(5); },
                 load_result::kInvalid, "matrix_node.size() =5does not equal robot_para.axis_num."},
        EditCase{
            "ShortRow", 6,
            [](YAML::Node& d) { d["motor2joint_matrix"]["angle_transformation"][2].remove(0); },
            kInvalid, "row=3,row_node.size()=5does not equal robot_para.axis_num."},
        EditCase{"RowNotAList", 5,
                 [](YAML::Node& d) { d["motor2joint_matrix"]["angle_transformation"][1] = 4.0; },
                 kInvalid, "The matrix row is not a valid sequence."},
        EditCase{"MatrixNotAList", 5, set("motor2joint_matrix", "angle_transformation", "id"),
                 kInvalid, "The matrix is not a valid sequence or is empty."},
        EditCase{"SingularCoupling", 5,
                 [](YAML::Node& d) {
                   for (int r : {1, 2})
                     d["motor2joint_matrix"]["angle_transformation"][r] = numberList(5, 1.0);
                 },
                 kInvalid, "not invertible"},
        EditCase{"ZeroRatio", 5, [](YAML::Node& d) { d["axis_paras"][3]["reduction_ratio"] = 0; },
                 kInvalid, "axis 4 has a reduction_ratio of 0"},
        EditCase{"NanLimit", 5, [](YAML::Node& d) { d["axis_paras"][1]["max_joint_vel"] = ".nan"; },
                 kInvalid, "Error: axis_paras[1].max_joint_vel is not a finite number."},
        EditCase{"TwoInertialLists", 5,
                 [](YAML::Node& d) {
                   d["dynamics_para"]["inertial_para"].push_back(numberList(30, 0.1));
                 },
                 kMissing, "dynamics_para inertial_para size=2!=1"},
        EditCase{"NoFriction", 5, [](YAML::Node& d) { d["dynamics_para"].remove("friction_para"); },
                 kMissing, "friction_para friction_para size=0!=1"},
        EditCase{"SeventyInertial", 6, list("dynamics_para", "inertial_para", 70, 0.5), kInvalid,
                 "robot_para.dynamics_para.inertial_para.size() error! "},
        EditCase{"FiftyFiveInertial", 6, list("dynamics_para", "inertial_para", 55, 0.5), kInvalid,
                 "robot_para.dynamics_para.inertial_para.size() error!(%10!=0)"},
        EditCase{"TenInertial", 6, list("dynamics_para", "inertial_para", 10, 0.5), kInvalid,
                 "has 10 values; this arm needs at least 30 (three links)."},
        EditCase{"TenFriction", 6, list("dynamics_para", "friction_para", 10, 0.5), kInvalid,
                 "this arm needs exactly 11."},
        EditCase{"ElevenBoundsForSix", 6,
                 list("dynamics_application_para", "signal_bound_para", 11, 2.0), kInvalid,
                 "robot_para.dynamics_application_para.signal_bound_para.size() error!"},
        EditCase{"TenBoundsForThree", 3,
                 list("dynamics_application_para", "signal_bound_para", 10, 2.0), kInvalid,
                 "signal_bound_para has 10 values; this arm needs at least 11"},
        EditCase{"TwentyFiveAdmittance", 6,
                 list("dynamics_application_para", "admittance_para", 25, 1.0), kInvalid,
                 "robot_para.dynamics_application_para.admittance_para.size() error!"},
        EditCase{
            "ZeroAdmittanceMass", 5,
            [](YAML::Node& d) { d["dynamics_application_para"]["admittance_para"][0][19] = 0.0; },
            kInvalid, "axis 5 has an admittance mass of 0."},
        EditCase{"IoWithoutId", 5, set("", "ctrl_io_devices", "[{geometrical_para: [0, 0, 0]}]"),
                 kYamlError, "ctrl_io_devices[0].ctrl_io_id"},
        EditCase{"NegativeTolerance", 5, set("", "max_joint_vel_tolerance", "-0.1"), kInvalid,
                 "Error: max_joint_vel_tolerance is -0.1; it must be at least 0."},
        EditCase{"NanTolerance", 5, set("", "max_joint_vel_tolerance", ".nan"), kInvalid,
                 "Error: max_joint_vel_tolerance is not a finite number."},
        EditCase{"WordTolerance", 5, set("", "max_joint_vel_tolerance", "fast"), kYamlError,
                 "'max_joint_vel_tolerance' is not a number"},
        EditCase{"ZeroDamping", 5, set("", "virtual_motor_para", "{damping: 0}"), kInvalid,
                 "Error: virtual_motor_para.damping is 0; it must be above 0 and at most 100."},
        EditCase{"HugeBandwidth", 5, set("", "virtual_motor_para", "{tracking_bandwidth: 2e4}"),
                 kInvalid, "tracking_bandwidth is 20000; it must be above 0 and at most 10000."},
        EditCase{"MisspeltDriveKey", 5, set("", "virtual_motor_para", "{bandwidth: 50}"), kInvalid,
                 "Error: virtual_motor_para has no key 'bandwidth' (its keys: tracking_bandwidth, "
                 "damping)."},
        EditCase{"DriveParaNotAMap", 5, set("", "virtual_motor_para", "5"), kYamlError,
                 "'virtual_motor_para' is not a map"},
        EditCase{"FaultProbabilityAboveOne", 5, axisFaults("{read_fault_probability: 1.5}"),
                 kInvalid,
                 "Error: axis_paras[1].simulated_faults.read_fault_probability is 1.5; it must be "
                 "at least 0 and at most 1."},
        EditCase{"NegativeFaultPeriod", 5, axisFaults("{write_fault_from_period: -3}"), kInvalid,
                 "Error: axis_paras[1].simulated_faults.write_fault_from_period is -3; it must be "
                 "at least 0"},
        EditCase{"FractionalFaultPeriod", 5, axisFaults("{read_fault_from_period: 2.5}"),
                 kYamlError,
                 "'axis_paras[1].simulated_faults.read_fault_from_period' is not a "
                 "whole number"},
        EditCase{"MisspeltFault", 5, axisFaults("{home_fail: true}"), kInvalid,
                 "Error: axis_paras[1].simulated_faults has no key 'home_fail' (its keys: "
                 "init_failures,"},
        EditCase{"WordFlag", 5, axisFaults("{enable_never_arrives: maybe}"), kYamlError,
                 "enable_never_arrives' is not a boolean"},
        EditCase{"InfiniteTorque", 5, axisFaults("{external_torque: .inf}"), kInvalid,
                 "external_torque is not a finite number."},
        EditCase{"MisspeltIoFault", 5,
                 set("", "ctrl_io_devices",
                     "[{ctrl_io_id: 1, geometrical_para: [], simulated_faults: {silent: true}}]"),
                 kInvalid, "Error: ctrl_io_devices[0].simulated_faults has no key 'silent'"}),
    [](const ::testing::TestParamInfo<EditCase>& c) { return std::string(c.param.name); });

TEST_F(LoadRobotParaTest, EveryMissingOrEmptySectionIsNotDefined) {
  for (const char* section : kSections) {
    YAML::Node doc = validParaDoc(5);
    doc[section] = YAML::Node(YAML::NodeType::Sequence);
    EXPECT_EQ(loadDoc(doc), kMissing) << section;
    EXPECT_TRUE(printed(" not defined.")) << out_;
  }
}

// Optional keys: defaults, then given values reach the record and the simulated devices.
TEST_F(LoadRobotParaTest, OptionalKeysAndSimulatedFaults) {
  YAML::Node doc = validParaDoc(5);
  ASSERT_EQ(loadDoc(doc), load_result::kOk);
  EXPECT_EQ(para_.max_joint_vel_tolerance, 0.1);
  EXPECT_EQ(para_.virtual_motor_para.tracking_bandwidth, 300.0);
  EXPECT_EQ(para_.virtual_motor_para.damping, 1.0);
  EXPECT_TRUE(para_.ctrl_io_devices.empty());
  doc["max_joint_vel_tolerance"] = 0;
  doc["virtual_motor_para"] = YAML::Load("{tracking_bandwidth: 50, damping: 0.5}");
  doc["axis_paras"][1]["simulated_faults"] = YAML::Load(
      "{init_failures: 2, read_fault_from_period: 0, write_fault_probability: 1, fault_seed: 9,"
      " enable_never_arrives: true, home_fails: true, external_torque: 2.5,"
      " external_torque_from_period: 10, write_fault_from_period: 4, read_fault_probability: 0}");
  doc["ctrl_io_devices"] = YAML::Load(
      "[{ctrl_io_id: 4, geometrical_para: [0.1, 0.2, 0.3], simulated_faults: {never_answers: "
      "true}}, {ctrl_io_id: 2, geometrical_para: [0.1, 0.2]},"
      " {ctrl_io_id: 4, geometrical_para: [0.5, 0.5, 0.5]}]");
  ASSERT_EQ(loadDoc(doc), load_result::kOk) << out_ << err_;  // two init failures are tried past
  EXPECT_EQ(para_.max_joint_vel_tolerance, 0.0);
  EXPECT_EQ(para_.virtual_motor_para.damping, 0.5);
  CtrlMotorInterface& motor = *para_.axis_paras[1].motor;
  double value = 0.0;
  EXPECT_EQ(motor.getMotorPosition(value), device_result::kReadFault);
  EXPECT_EQ(motor.setMotorPosition(0.1), device_result::kWriteFault);
  EXPECT_EQ(motor.setHome(3000), device_result::kHomeFault);
  EXPECT_EQ(para_.axis_paras[0].motor->setHome(3000), device_result::kOk);
  // The later entry with the same id replaces the earlier one; other than three numbers give
  // no translation.
  ASSERT_EQ(para_.ctrl_io_devices.size(), 2u);
  EXPECT_TRUE(para_.ctrl_io_devices.at(2).geometrical_para.isIdentity());
  EXPECT_EQ(para_.ctrl_io_devices.at(4).geometrical_para.col(3),
            Eigen::Vector4d(0.5, 0.5, 0.5, 1.0));
  EXPECT_EQ(para_.ctrl_io_devices.at(4).device->setCmd(1), device_result::kOk);
}

TEST_F(LoadRobotParaTest, MotorInitIsTriedThreeTimesPerAxis) {
  YAML::Node doc = validParaDoc(3);
  doc["axis_paras"][0]["simulated_faults"]["init_failures"] = 2;
  doc["axis_paras"][1]["simulated_faults"]["init_failures"] = 3;
  EXPECT_EQ(loadDoc(doc), load_result::kDevice);
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
  EXPECT_EQ(Logger::instance()->statusCode(), error_code::kMotorInit);
  EXPECT_EQ(Logger::instance()->statusText(), "The 2st axis motor init error!\n");
}

// Ratios 2, 3, 4 and joint 2 = motor 2 − motor 3 (a belt-coupled elbow), joint limits [-1, 1]
// but [-1, 3] on axis 1: the derived matrices and the smallest motor box.
TEST_F(LoadRobotParaTest, DerivedMatricesAndMotorLimits) {
  YAML::Node doc = validParaDoc(3);
  for (int i = 0; i < 3; ++i) doc["axis_paras"][i]["reduction_ratio"] = 2.0 + i;
  doc["axis_paras"][0]["max_joint_pos"] = 3.0;
  doc["motor2joint_matrix"]["angle_transformation"][1][2] = -1.0;
  ASSERT_EQ(loadDoc(doc), load_result::kOk) << out_ << err_;
  const Eigen::MatrixXd& a = para_.motor2joint_pos_matrix;
  Eigen::Matrix3d expected;
  expected << 0.5, 0, 0, 0, 1.0 / 3, -0.25, 0, 0, 0.25;
  EXPECT_TRUE(a.isApprox(expected, 1e-15));
  EXPECT_TRUE((a * para_.joint2motor_pos_matrix).isIdentity(1e-12));
  EXPECT_TRUE(para_.motor2joint_dual_matrix.isApprox(a.inverse().transpose()));
  EXPECT_TRUE(para_.joint2motor_dual_matrix.isApprox(a.transpose()));
  // Motor 1 = 2 x joint 1: [-2, 6]. Motor 2 = 3 x (joint 2 + joint 3): [-6, 6].
  EXPECT_DOUBLE_EQ(para_.axis_paras[0].min_motor_pos, -2.0);
  EXPECT_DOUBLE_EQ(para_.axis_paras[0].max_motor_pos, 6.0);
  EXPECT_DOUBLE_EQ(para_.axis_paras[1].max_motor_pos, 6.0);
  EXPECT_DOUBLE_EQ(para_.axis_paras[2].min_motor_pos, -4.0);
  EXPECT_TRUE(printed("max_motor_pos:\n6,-2\n6,-6\n4,-4\n"));
}

TEST_F(LoadRobotParaTest, RealArmBuildsVendorDevicesAndRefusesAxesWithoutOne) {
  YAML::Node doc = validParaDoc(3);
  doc["is_real_robot_flag"] = true;
  const char* motors[] = {"{vendor: DaMiao, id: 1, master_id: 17, mode: 1, dev_name: /dev/a}",
                          "{vendor: feetech, id: 2, dev_name: /dev/b}",
                          "{vendor: joho, id: 3, dev_name: /dev/c, baudrate: 9600}"};
  for (int i = 0; i < 3; ++i) doc["axis_paras"][i]["motor_init_para"] = YAML::Load(motors[i]);
  doc["ctrl_io_devices"] = YAML::Load(
      "[{ctrl_io_id: 1, geometrical_para: [0, 0, 0], ctrl_io_init_para: {type: Gripper}}]");
  ASSERT_EQ(loadDoc(doc), load_result::kOk) << out_ << err_;
  EXPECT_TRUE(printed("Allocate Motor: damiao\n"));
  EXPECT_TRUE(printed("Allocate CtrlIo: gripper\n"));
  doc["axis_paras"][1]["motor_init_para"] = YAML::Load("{vendor: acme, id: 2, dev_name: /dev/b}");
  EXPECT_EQ(loadDoc(doc), load_result::kDevice);
  EXPECT_TRUE(printed("no motor was made for axis 2"));
  doc["axis_paras"][1]["motor_init_para"] = YAML::Load(motors[1]);
  doc["ctrl_io_devices"][0]["ctrl_io_init_para"]["type"] = "vacuum";
  EXPECT_EQ(loadDoc(doc), load_result::kDevice);
  EXPECT_TRUE(printed("no device was made for ctrl_io_id 1"));
  doc["ctrl_io_devices"][0].remove("ctrl_io_init_para");
  EXPECT_EQ(loadDoc(doc), load_result::kYamlError);
}

}  // namespace
}  // namespace brenvik

#include "robot_factory/utility/load_robot_para.h"

#include <gtest/gtest.h>

#include <limits>
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
  ASSERT_EQ(para_.axis_num, 5);
  ASSERT_EQ(para_.axis_paras.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    const auto* motor = dynamic_cast<const VirtualMotor*>(para_.axis_paras[i].motor.get());
    ASSERT_NE(motor, nullptr);
    EXPECT_EQ(motor->motorId(), i + 1);
  }
  ASSERT_EQ(para_.ctrl_io_devices.size(), 2u);
  EXPECT_NE(dynamic_cast<VirtualGripper*>(para_.ctrl_io_devices.at(1).device.get()), nullptr);
  EXPECT_NE(dynamic_cast<VirtualGripper*>(para_.ctrl_io_devices.at(2).device.get()), nullptr);
  EXPECT_EQ(para_.ctrl_io_devices.at(1).geometrical_para.col(3),
            Eigen::Vector4d(0.0, 0.0, 0.06, 1.0));
  EXPECT_TRUE(printed("max_joint_pos:\n2.9,-2.9\n1.6,-1.6\n"));
  EXPECT_TRUE(printed("max_motor_pos:\n2.9,-2.9\n"));
}

TEST_F(LoadRobotParaTest, MissingFileIsReportedWithoutParsing) {
  EXPECT_EQ(loadPath("no/such/file.yaml"), load_result::kMissing);
  EXPECT_EQ(out_, red("Error: File no/such/file.yaml not found!"));
  EXPECT_EQ(err_, "");
}

TEST_F(LoadRobotParaTest, DirectoryIsRefused) {
  const TempFile file("axis_num: 1\n");
  EXPECT_EQ(loadPath(file.dir()), load_result::kMissing);
  EXPECT_TRUE(printed("is a directory"));
}

TEST_F(LoadRobotParaTest, MalformedFilesAreYamlErrors) {
  for (const char* text : {"", "axis_num: [1, 2\n", "- 1\n- 2\n", "just text\n",
                           "axis_num: abc\nis_real_robot_flag: false\n",
                           "axis_num: 99999999999\nis_real_robot_flag: false\n",
                           "axis_num: 5\nis_real_robot_flag: maybe\n"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(loadText(text), load_result::kYamlError);
    EXPECT_EQ(err_.rfind("YAML Error: ", 0), 0u) << err_;
  }
}

TEST_F(LoadRobotParaTest, MissingRequiredKeyNamesIt) {
  YAML::Node doc = validParaDoc(5);
  doc["axis_paras"][2].remove("emergency_stop_acc");
  EXPECT_EQ(loadDoc(doc), load_result::kYamlError);
  EXPECT_EQ(err_.rfind("YAML Error: ", 0), 0u);
  EXPECT_NE(err_.find("axis_paras[2].emergency_stop_acc"), std::string::npos) << err_;
}

TEST_F(LoadRobotParaTest, AxisCountMustMatchEveryPerAxisList) {
  YAML::Node doc = validParaDoc(5);
  doc["axis_num"] = 6;
  EXPECT_EQ(loadDoc(doc), load_result::kMissing);
  EXPECT_EQ(out_, red("robot_para.mdh_para.zds.size() does not equal robot_para.axis_num."));

  for (int axis_num : {0, -3, 1000000000}) {
    doc["axis_num"] = axis_num;
    EXPECT_EQ(loadDoc(doc), load_result::kMissing);
  }

  doc = validParaDoc(5);
  doc["axis_paras"].remove(4);
  EXPECT_EQ(loadDoc(doc), load_result::kMissing);
  EXPECT_EQ(out_, red("robot_para.axis_paras.size() does not equal robot_para.axis_num."));
}

struct MissingSection {
  const char* key;
  const char* message;
};

void PrintTo(const MissingSection& c, std::ostream* os) { *os << c.key; }

class LoadRobotParaMissingSectionTest : public LoadRobotParaTest,
                                        public ::testing::WithParamInterface<MissingSection> {};

TEST_P(LoadRobotParaMissingSectionTest, AbsentOrEmptySectionIsNotDefined) {
  YAML::Node doc = validParaDoc(5);
  doc.remove(GetParam().key);
  EXPECT_EQ(loadDoc(doc), load_result::kMissing);
  EXPECT_EQ(out_, red(GetParam().message));

  doc[GetParam().key] = YAML::Node(YAML::NodeType::Sequence);
  EXPECT_EQ(loadDoc(doc), load_result::kMissing);
  EXPECT_EQ(out_, red(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Sections, LoadRobotParaMissingSectionTest,
    ::testing::Values(
        MissingSection{"mdh_para", "Error: mdh_para not defined."},
        MissingSection{"axis_paras", "Error: axis_paras not defined."},
        MissingSection{"cartesian_para", "Error: cartesian_para not defined."},
        MissingSection{"motor2joint_matrix", "Error: motor2joint_matrix not defined."},
        MissingSection{"dynamics_para", "dynamics_para not defined."},
        MissingSection{"dynamics_application_para", "dynamics_application_para not defined."}));

TEST_F(LoadRobotParaTest, CouplingMatrixShapeIsChecked) {
  YAML::Node doc = validParaDoc(6);
  doc["motor2joint_matrix"]["angle_transformation"].remove(5);
  EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
  EXPECT_EQ(out_, red("matrix_node.size() =5does not equal robot_para.axis_num."));

  doc = validParaDoc(6);
  doc["motor2joint_matrix"]["angle_transformation"][2].remove(0);
  EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
  EXPECT_EQ(out_, red("row=3,row_node.size()=5does not equal robot_para.axis_num."));

  doc = validParaDoc(6);
  doc["motor2joint_matrix"]["angle_transformation"][1] = 4.0;
  EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
  EXPECT_EQ(out_, red("The matrix row is not a valid sequence."));

  doc["motor2joint_matrix"]["angle_transformation"] = "identity";
  EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
  EXPECT_EQ(out_, red("The matrix is not a valid sequence or is empty."));
}

TEST_F(LoadRobotParaTest, SingularCouplingAndZeroRatioAreRefused) {
  YAML::Node doc = validParaDoc(5);
  doc["motor2joint_matrix"]["angle_transformation"][1] = numberList(5, 1.0);
  doc["motor2joint_matrix"]["angle_transformation"][2] = numberList(5, 1.0);
  EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
  EXPECT_TRUE(printed("not invertible"));

  doc = validParaDoc(5);
  doc["axis_paras"][3]["reduction_ratio"] = 0.0;
  EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
  EXPECT_TRUE(printed("axis 4 has a reduction_ratio of 0"));
}

TEST_F(LoadRobotParaTest, NonFiniteNumbersAreRefusedNamingTheKey) {
  YAML::Node doc = validParaDoc(5);
  doc["axis_paras"][1]["max_joint_vel"] = ".nan";
  EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
  EXPECT_EQ(out_, red("Error: axis_paras[1].max_joint_vel is not a finite number."));

  doc = validParaDoc(5);
  doc["dynamics_para"]["friction_para"][0][4] = "-.inf";
  EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
  EXPECT_TRUE(printed("dynamics_para.friction_para[0][4] is not a finite number"));
}

TEST_F(LoadRobotParaTest, DynamicsListsMustBeOneItemLists) {
  YAML::Node doc = validParaDoc(5);
  doc["dynamics_para"]["inertial_para"].push_back(numberList(30, 0.1));
  EXPECT_EQ(loadDoc(doc), load_result::kMissing);
  EXPECT_EQ(out_, red("dynamics_para inertial_para size=2!=1"));

  doc = validParaDoc(5);
  doc["dynamics_para"].remove("friction_para");
  EXPECT_EQ(loadDoc(doc), load_result::kMissing);
  EXPECT_EQ(out_, red("friction_para friction_para size=0!=1"));

  doc = validParaDoc(5);
  doc["dynamics_application_para"]["admittance_para"].push_back(numberList(20, 1.0));
  EXPECT_EQ(loadDoc(doc), load_result::kMissing);
  EXPECT_EQ(out_, red("dynamics_application_para admittance_para size=2!=1"));
}

struct CountCase {
  const char* list;  // "inertial", "signal", "admittance", "friction"
  size_t count;
  int result;
  const char* message;  // red line printed on failure
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << c.list << "_" << c.count; }

class LoadRobotParaCountTest : public LoadRobotParaTest,
                               public ::testing::WithParamInterface<CountCase> {};

TEST_P(LoadRobotParaCountTest, SixAxisCountRules) {
  const CountCase& c = GetParam();
  YAML::Node doc = validParaDoc(6);
  const std::string list = c.list;
  if (list == "inertial") {
    doc["dynamics_para"]["inertial_para"][0] = numberList(c.count, 0.5);
  } else if (list == "friction") {
    doc["dynamics_para"]["friction_para"][0] = numberList(c.count, 0.5);
  } else if (list == "signal") {
    doc["dynamics_application_para"]["signal_bound_para"][0] = numberList(c.count, 2.0);
  } else {
    doc["dynamics_application_para"]["admittance_para"][0] = numberList(c.count, 1.0);
  }
  EXPECT_EQ(loadDoc(doc), c.result) << out_;
  if (c.result != load_result::kOk) {
    EXPECT_TRUE(printed(red(c.message))) << out_;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, LoadRobotParaCountTest,
    ::testing::Values(
        CountCase{"inertial", 70, load_result::kInvalid,
                  "robot_para.dynamics_para.inertial_para.size() error! "},
        CountCase{"inertial", 55, load_result::kInvalid,
                  "robot_para.dynamics_para.inertial_para.size() error!(%10!=0)"},
        CountCase{"inertial", 60, load_result::kOk, ""},
        CountCase{"inertial", 30, load_result::kOk, ""},
        CountCase{"inertial", 10, load_result::kInvalid,
                  "Error: dynamics_para.inertial_para has 10 values; this arm needs at least 30 "
                  "(three links)."},
        CountCase{"friction", 10, load_result::kInvalid,
                  "Error: dynamics_para.friction_para has 10 values; this arm needs exactly 11."},
        CountCase{"signal", 12, load_result::kOk, ""},
        CountCase{"signal", 11, load_result::kInvalid,
                  "robot_para.dynamics_application_para.signal_bound_para.size() error!"},
        CountCase{"admittance", 24, load_result::kOk, ""},
        CountCase{"admittance", 25, load_result::kInvalid,
                  "robot_para.dynamics_application_para.admittance_para.size() error!"}));

TEST_F(LoadRobotParaTest, TooFewSignalBoundsForThisArmAreRefused) {
  // Three axes: six bounds satisfy the generic rule, but the detector reads 11 values.
  YAML::Node doc = validParaDoc(3);
  doc["dynamics_application_para"]["signal_bound_para"][0] = numberList(10, 2.0);
  EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
  EXPECT_TRUE(printed("signal_bound_para has 10 values; this arm needs at least 11"));
}

TEST_F(LoadRobotParaTest, ZeroAdmittanceMassIsRefused) {
  for (int index : {5 + 2, 15 + 4}) {
    YAML::Node doc = validParaDoc(5);
    doc["dynamics_application_para"]["admittance_para"][0][index] = 0.0;
    EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
    EXPECT_TRUE(printed("has an admittance mass of 0")) << index;
  }
}

// Optional root keys: the velocity tolerance and the simulated drives' tracking.
struct OptionalCase {
  const char* name;
  const char* keys;  // YAML map merged into a valid file
  int result;
  const char* message;  // red line on failure, or "" (YAML errors name the key on stderr)
  double tolerance = 0.0, bandwidth = 0.0, damping = 0.0;
};

class LoadRobotParaOptionalTest : public LoadRobotParaTest,
                                  public ::testing::WithParamInterface<OptionalCase> {};

TEST_P(LoadRobotParaOptionalTest, DefaultsValuesAndRefusals) {
  const OptionalCase& c = GetParam();
  YAML::Node doc = validParaDoc(5);
  for (const auto& entry : YAML::Load(c.keys)) doc[entry.first.as<std::string>()] = entry.second;
  ASSERT_EQ(loadDoc(doc), c.result) << out_ << err_;
  if (c.result == load_result::kOk) {
    EXPECT_EQ(para_.max_joint_vel_tolerance, c.tolerance);
    EXPECT_EQ(para_.virtual_motor_para.tracking_bandwidth, c.bandwidth);
    EXPECT_EQ(para_.virtual_motor_para.damping, c.damping);
  } else if (c.result == load_result::kInvalid) {
    EXPECT_EQ(out_, red(c.message));
  } else {
    EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LoadRobotParaOptionalTest,
    ::testing::Values(
        OptionalCase{"Absent", "{}", load_result::kOk, "", 0.1, 300.0, 1.0},
        OptionalCase{"Given",
                     "{max_joint_vel_tolerance: 0, virtual_motor_para: {tracking_bandwidth: 50, "
                     "damping: 0.5}}",
                     load_result::kOk, "", 0.0, 50.0, 0.5},
        OptionalCase{"NegativeTolerance", "{max_joint_vel_tolerance: -0.1}", load_result::kInvalid,
                     "Error: max_joint_vel_tolerance is -0.1; it must be at least 0."},
        OptionalCase{"NanTolerance", "{max_joint_vel_tolerance: .nan}", load_result::kInvalid,
                     "Error: max_joint_vel_tolerance is not a finite number."},
        OptionalCase{"WordTolerance", "{max_joint_vel_tolerance: fast}", load_result::kYamlError,
                     "'max_joint_vel_tolerance' is not a number"},
        OptionalCase{"ZeroDamping", "{virtual_motor_para: {damping: 0}}", load_result::kInvalid,
                     "Error: virtual_motor_para.damping is 0; it must be above 0 and at most 100."},
        OptionalCase{
            "HugeBandwidth", "{virtual_motor_para: {tracking_bandwidth: 2e4}}",
            load_result::kInvalid,
            "Error: virtual_motor_para.tracking_bandwidth is 20000; it must be above 0 and "
            "at most 10000."},
        OptionalCase{"MisspeltKey", "{virtual_motor_para: {bandwidth: 50}}", load_result::kInvalid,
                     "Error: virtual_motor_para has no key 'bandwidth' (its keys: "
                     "tracking_bandwidth, damping)."},
        OptionalCase{"NotAMap", "{virtual_motor_para: 5}", load_result::kYamlError,
                     "'virtual_motor_para' is not a map"}),
    [](const ::testing::TestParamInfo<OptionalCase>& c) { return std::string(c.param.name); });

TEST_F(LoadRobotParaTest, DerivedMatricesFollowCouplingAndRatios) {
  YAML::Node doc = validParaDoc(3);
  for (int i = 0; i < 3; ++i) {
    doc["axis_paras"][i]["reduction_ratio"] = 2.0 + i;
  }
  ASSERT_EQ(loadDoc(doc), load_result::kOk) << out_ << err_;
  const Eigen::Vector3d r(2.0, 3.0, 4.0);
  const Eigen::MatrixXd diag_r = r.asDiagonal();
  const Eigen::MatrixXd diag_inv = r.cwiseInverse().asDiagonal();
  EXPECT_TRUE(para_.joint2motor_pos_matrix.isApprox(diag_r));
  EXPECT_TRUE(para_.motor2joint_dual_matrix.isApprox(diag_r));
  EXPECT_TRUE(para_.motor2joint_pos_matrix.isApprox(diag_inv));
  EXPECT_TRUE(para_.joint2motor_dual_matrix.isApprox(diag_inv));
}

TEST_F(LoadRobotParaTest, CoupledAxesGetTheSmallestMotorBox) {
  YAML::Node doc = validParaDoc(3);
  // joint 2 = motor 2 - motor 3 (a belt-coupled elbow); joint limits [-1, 1] on every axis.
  doc["motor2joint_matrix"]["angle_transformation"][1][2] = -1.0;
  ASSERT_EQ(loadDoc(doc), load_result::kOk);
  const Eigen::MatrixXd& a = para_.motor2joint_pos_matrix;
  EXPECT_TRUE((a * para_.joint2motor_pos_matrix).isIdentity(1e-12));
  EXPECT_TRUE(para_.motor2joint_dual_matrix.isApprox(a.inverse().transpose()));
  EXPECT_TRUE(para_.joint2motor_dual_matrix.isApprox(a.transpose()));
  // motor 2 = joint 2 + joint 3: limits [-2, 2].
  EXPECT_DOUBLE_EQ(para_.axis_paras[1].max_motor_pos, 2.0);
  EXPECT_DOUBLE_EQ(para_.axis_paras[1].min_motor_pos, -2.0);
  EXPECT_DOUBLE_EQ(para_.axis_paras[2].max_motor_pos, 1.0);
}

TEST_F(LoadRobotParaTest, OneAxisArmGivesOneByOneMatricesAndScaledMotorLimits) {
  // The loader itself takes any axis count; the five-axis models check theirs.
  YAML::Node doc = validParaDoc(3);
  doc["axis_num"] = 1;
  for (const char* key : {"mdh_para", "axis_paras"}) {
    doc[key].remove(2);
    doc[key].remove(1);
  }
  doc["motor2joint_matrix"]["angle_transformation"] = YAML::Load("[[1.0]]");
  doc["axis_paras"][0]["min_joint_pos"] = -1.0;
  doc["axis_paras"][0]["max_joint_pos"] = 3.0;
  doc["axis_paras"][0]["reduction_ratio"] = 2.0;
  doc["dynamics_para"]["inertial_para"][0] = numberList(10, 1.0);
  doc["dynamics_application_para"]["signal_bound_para"][0] = numberList(11, 2.0);
  doc["dynamics_application_para"]["admittance_para"][0] = numberList(4, 1.0);
  // Ten inertial values are too few for this arm's model; everything before that check holds.
  EXPECT_EQ(loadDoc(doc), load_result::kInvalid);
  ASSERT_EQ(para_.motor2joint_pos_matrix.rows(), 1);
  EXPECT_DOUBLE_EQ(para_.motor2joint_pos_matrix(0, 0), 0.5);
}

TEST_F(LoadRobotParaTest, MotorLimitsOfOneCoupledRatioTwoAxis) {
  YAML::Node doc = validParaDoc(3);
  doc["axis_paras"][0]["min_joint_pos"] = -1.0;
  doc["axis_paras"][0]["max_joint_pos"] = 3.0;
  doc["axis_paras"][0]["reduction_ratio"] = 2.0;
  ASSERT_EQ(loadDoc(doc), load_result::kOk);
  EXPECT_DOUBLE_EQ(para_.axis_paras[0].min_motor_pos, -2.0);
  EXPECT_DOUBLE_EQ(para_.axis_paras[0].max_motor_pos, 6.0);
  EXPECT_TRUE(printed("max_motor_pos:\n6,-2\n"));
}

TEST_F(LoadRobotParaTest, ControlIoEntries) {
  YAML::Node doc = validParaDoc(5);
  ASSERT_EQ(loadDoc(doc), load_result::kOk);
  EXPECT_TRUE(para_.ctrl_io_devices.empty());

  doc["ctrl_io_devices"] = YAML::Load(
      "[{ctrl_io_id: 4, geometrical_para: [0.1, 0.2, 0.3]},"
      " {ctrl_io_id: 2, geometrical_para: [0.1, 0.2]},"
      " {ctrl_io_id: 3, geometrical_para: [1, 2, 3, 4]},"
      " {ctrl_io_id: 4, geometrical_para: [0.5, 0.5, 0.5]}]");
  ASSERT_EQ(loadDoc(doc), load_result::kOk);
  ASSERT_EQ(para_.ctrl_io_devices.size(), 3u);
  EXPECT_EQ(para_.ctrl_io_devices.begin()->first, 2);
  EXPECT_TRUE(para_.ctrl_io_devices.at(2).geometrical_para.isIdentity());
  EXPECT_TRUE(para_.ctrl_io_devices.at(3).geometrical_para.isIdentity());
  // The later entry with the same id replaces the earlier one.
  EXPECT_EQ(para_.ctrl_io_devices.at(4).geometrical_para.col(3),
            Eigen::Vector4d(0.5, 0.5, 0.5, 1.0));

  doc["ctrl_io_devices"] = YAML::Load("[{geometrical_para: [0.1, 0.2, 0.3]}]");
  EXPECT_EQ(loadDoc(doc), load_result::kYamlError);
  EXPECT_NE(err_.find("ctrl_io_devices[0].ctrl_io_id"), std::string::npos);
}

TEST_F(LoadRobotParaTest, RealArmBuildsVendorDevicesAndRefusesAxesWithoutMotor) {
  YAML::Node doc = validParaDoc(3);
  doc["is_real_robot_flag"] = true;
  const char* motors[] = {"{vendor: DaMiao, id: 1, master_id: 17, mode: 1, dev_name: /dev/a}",
                          "{vendor: feetech, id: 2, dev_name: /dev/b}",
                          "{vendor: joho, id: 3, dev_name: /dev/c, baudrate: 9600}"};
  for (int i = 0; i < 3; ++i) {
    doc["axis_paras"][i]["motor_init_para"] = YAML::Load(motors[i]);
  }
  doc["ctrl_io_devices"] = YAML::Load(
      "[{ctrl_io_id: 1, geometrical_para: [0, 0, 0], ctrl_io_init_para: {type: Gripper}}]");
  ASSERT_EQ(loadDoc(doc), load_result::kOk) << out_ << err_;
  EXPECT_TRUE(printed("Allocate Motor: damiao\n"));
  EXPECT_TRUE(printed("Allocate CtrlIo: gripper\n"));

  doc["axis_paras"][1]["motor_init_para"] = YAML::Load("{vendor: acme, id: 2, dev_name: /dev/b}");
  EXPECT_EQ(loadDoc(doc), load_result::kDevice);
  EXPECT_TRUE(printed("Allocate Motor: acme\n"));
  EXPECT_TRUE(printed("no motor was made for axis 2"));

  doc["axis_paras"][1].remove("motor_init_para");
  EXPECT_EQ(loadDoc(doc), load_result::kDevice);

  doc["axis_paras"][1]["motor_init_para"] = YAML::Load(motors[1]);
  doc["ctrl_io_devices"][0]["ctrl_io_init_para"]["type"] = "vacuum";
  EXPECT_EQ(loadDoc(doc), load_result::kDevice);
  EXPECT_TRUE(printed("no device was made for ctrl_io_id 1"));

  doc["ctrl_io_devices"][0].remove("ctrl_io_init_para");
  EXPECT_EQ(loadDoc(doc), load_result::kYamlError);
}

// A motor whose init fails a given number of times before it succeeds.
class FlakyInitMotor : public VirtualMotor {
 public:
  FlakyInitMotor(int id, int failures) : VirtualMotor(id), failures_(failures) {}
  int init() override {
    ++calls_;
    return calls_ <= failures_ ? -7 : 0;
  }
  int calls_ = 0;

 private:
  int failures_;
};

TEST_F(LoadRobotParaTest, MotorInitIsTriedThreeTimesPerAxis) {
  RobotPara para;
  para.axis_num = 3;
  auto first = std::make_shared<FlakyInitMotor>(1, 2);
  auto second = std::make_shared<FlakyInitMotor>(2, 3);
  auto third = std::make_shared<FlakyInitMotor>(3, 0);
  for (const auto& motor : {first, second, third}) {
    AxisPara axis;
    axis.motor = motor;
    para.axis_paras.push_back(axis);
  }
  EXPECT_EQ(LoadRobotPara::initMotors(para), load_result::kDevice);
  EXPECT_EQ(first->calls_, 3);
  EXPECT_EQ(second->calls_, 3);
  EXPECT_EQ(third->calls_, 0);
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
  EXPECT_EQ(Logger::instance()->statusCode(), error_code::kMotorInit);
  EXPECT_EQ(Logger::instance()->statusText(), "The 2st axis motor init error!\n");
}

}  // namespace
}  // namespace brenvik

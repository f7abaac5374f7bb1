#include "robot_factory/utility/load_robot_para.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "common/logger.h"
#include "devices/virtual_motor.h"
#include "support/robot_para_files.h"
#include "support/table_fields.h"

namespace brenvik {
namespace {

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
  int loadDoc(const YAML::Node& doc) { return loadText(test::emit(doc)); }
  int loadText(const std::string& text) { return loadPath(test::TempFile(text).path()); }
  bool printed(const std::string& text) const { return out_.find(text) != std::string::npos; }

  RobotPara para_;
  std::string out_, err_;
};

struct EditCase {
  std::string name, path, value, message;
  int axes, result;
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.path << " = " << c.value; }
std::vector<EditCase> editCases() {
  const std::string results[] = {"ok", "missing", "invalid", "yaml"};  // 0, -1, -2, -3
  std::vector<EditCase> cases;
  std::ifstream in("test/data/robot_para_edits.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = test::tableFields(line);
    f.resize(6);
    const int result = static_cast<int>(std::find(results, results + 4, f[4]) - results);
    cases.push_back({f[0], f[2], f[3], f[5], std::stoi(f[1]), result == 4 ? 1 : -result});
  }
  return cases;
}

void applyEdit(const EditCase& c, YAML::Node& doc) {
  std::vector<std::string> parts;
  std::stringstream path(c.path);
  for (std::string part; std::getline(path, part, '.');) parts.push_back(part);
  YAML::Node parent(doc);
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    parent.reset(std::isdigit(parts[i][0]) ? parent[std::stoi(parts[i])] : parent[parts[i]]);
  }
  const std::string& key = parts.back();
  const size_t times = c.value.find('*');
  const YAML::Node value =
      times != std::string::npos
          ? test::numberList(std::stoul(c.value), std::stod(c.value.substr(times + 1)))
          : YAML::Load(c.value);
  const bool index = std::isdigit(key[0]) != 0;  // an index one past the end appends
  if (c.value == "~remove") {
    index ? parent.remove(std::stoi(key)) : parent.remove(key);
  } else {
    (index ? parent[std::stoi(key)] : parent[key]) = value;
  }
}

class LoadRobotParaEditTest : public LoadRobotParaTest,
                              public ::testing::WithParamInterface<EditCase> {};

TEST_P(LoadRobotParaEditTest, GivesItsResultAndNamesTheKey) {
  const EditCase& c = GetParam();
  YAML::Node doc = test::validParaDoc(c.axes);
  applyEdit(c, doc);
  EXPECT_EQ(loadDoc(doc), c.result) << out_ << err_;
  const std::string& said = c.result == load_result::kYamlError ? err_ : out_;
  EXPECT_NE(said.find(c.message), std::string::npos) << said;
}

INSTANTIATE_TEST_SUITE_P(Edits, LoadRobotParaEditTest, ::testing::ValuesIn(editCases()),
                         [](const auto& c) { return c.param.name; });

TEST_F(LoadRobotParaTest, SimulatedArmLoadsAndUnreadableFilesAreRefused) {
  EXPECT_GE(editCases().size(), 40u);  // a table never read would pass every row unchecked
  ASSERT_EQ(loadPath(test::kSimParaFile), load_result::kOk) << out_ << err_;
  EXPECT_TRUE(printed(std::string(COLOR_GREEN) + "Load yaml file success!" + COLOR_RESET + "\n"));
  ASSERT_EQ(para_.axis_paras.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(dynamic_cast<const VirtualMotor&>(*para_.axis_paras[i].motor).motorId(), i + 1);
  }
  ASSERT_EQ(para_.ctrl_io_devices.size(), 2u);
  EXPECT_TRUE(printed("max_joint_pos:\n2.9,-2.9\n1.6,-1.6\n"));

  EXPECT_EQ(loadPath("no/such/file.yaml"), load_result::kMissing);
  EXPECT_EQ(out_, std::string(COLOR_BOLD_RED) + "Error: File no/such/file.yaml not found!" +
                      COLOR_RESET + "\n");
  const test::TempFile file("axis_num: 1\n");
  EXPECT_EQ(loadPath(file.dir()), load_result::kMissing);
  EXPECT_TRUE(printed("is a directory"));
  for (const char* text : {"", "axis_num: [1, 2\n", "- 1\n- 2\n", "axis_num: abc\n",
                           "axis_num: 99999999999\nis_real_robot_flag: false\n",
                           "axis_num: 5\nis_real_robot_flag: maybe\n"}) {
    EXPECT_EQ(loadText(text), load_result::kYamlError) << text;
    EXPECT_EQ(err_.rfind("YAML Error: ", 0), 0u) << err_;
  }
}

TEST_F(LoadRobotParaTest, OptionalKeysAndSimulatedFaults) {
  YAML::Node doc = test::validParaDoc(5);
  ASSERT_EQ(loadDoc(doc), load_result::kOk);
  EXPECT_TRUE(para_.ctrl_io_devices.empty());
  doc["max_joint_vel_tolerance"] = 0;
  doc["virtual_motor_para"] = YAML::Load("{tracking_bandwidth: 50, damping: 0.5}");
  doc["axis_paras"][1]["simulated_faults"] = YAML::Load(
      "{init_failures: 2, read_fault_from_period: 0, write_fault_probability: 1, fault_seed: 9,"
      " enable_never_arrives: true, home_fails: true, external_torque: 2.5,"
      " external_torque_from_period: 10, write_fault_from_period: 4, read_fault_probability: 0}");
  // A later entry of the same id replaces the earlier; not three numbers: no translation.
  doc["ctrl_io_devices"] = YAML::Load(
      "[{ctrl_io_id: 4, geometrical_para: [0.1, 0.2, 0.3], simulated_faults: {never_answers: "
      "true}}, {ctrl_io_id: 2, geometrical_para: [0.1, 0.2]},"
      " {ctrl_io_id: 4, geometrical_para: [0.5, 0.5, 0.5]}]");
  ASSERT_EQ(loadDoc(doc), load_result::kOk) << out_ << err_;  // two init failures are tried past
  EXPECT_EQ(para_.max_joint_vel_tolerance, 0.0);
  EXPECT_EQ(para_.virtual_motor_para.damping, 0.5);
  CtrlMotorInterface& motor = *para_.axis_paras[1].motor;
  double value = 0.0;
  EXPECT_EQ((std::vector<int>{motor.getMotorPosition(value), motor.setMotorPosition(0.1),
                              motor.setHome(3000), para_.axis_paras[0].motor->setHome(3000)}),
            (std::vector<int>{device_result::kReadFault, device_result::kWriteFault,
                              device_result::kHomeFault, device_result::kOk}));
  ASSERT_EQ(para_.ctrl_io_devices.size(), 2u);
  EXPECT_TRUE(para_.ctrl_io_devices.at(2).geometrical_para.isIdentity());
  EXPECT_EQ(para_.ctrl_io_devices.at(4).geometrical_para.col(3), Eigen::Vector4d(.5, .5, .5, 1));
  EXPECT_EQ(para_.ctrl_io_devices.at(4).device->setCmd(1), device_result::kOk);

  doc = test::validParaDoc(3);  // motor init is tried three times per axis
  doc["axis_paras"][0]["simulated_faults"]["init_failures"] = 2;
  doc["axis_paras"][1]["simulated_faults"]["init_failures"] = 3;
  EXPECT_EQ(loadDoc(doc), load_result::kDevice);
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
  EXPECT_EQ(Logger::instance()->statusCode(), error_code::kMotorInit);
  EXPECT_EQ(Logger::instance()->statusText(), "The 2st axis motor init error!\n");
}

// Ratios 2, 3, 4, joint 2 = motor 2 − motor 3, joint limits [-1, 1] but [-1, 3] on axis 1.
TEST_F(LoadRobotParaTest, DerivedMatricesAndMotorLimits) {
  YAML::Node doc = test::validParaDoc(3);
  for (int i = 0; i < 3; ++i) doc["axis_paras"][i]["reduction_ratio"] = 2.0 + i;
  doc["axis_paras"][0]["max_joint_pos"] = 3.0;
  doc["motor2joint_matrix"]["angle_transformation"][1][2] = -1.0;
  ASSERT_EQ(loadDoc(doc), load_result::kOk) << out_ << err_;
  const Eigen::MatrixXd& a = para_.motor2joint_pos_matrix;
  EXPECT_TRUE(a.isApprox(Eigen::Matrix3d{{0.5, 0, 0}, {0, 1.0 / 3, -0.25}, {0, 0, 0.25}}, 1e-15));
  EXPECT_TRUE((a * para_.joint2motor_pos_matrix).isIdentity(1e-12));
  EXPECT_TRUE(para_.motor2joint_dual_matrix.isApprox(a.inverse().transpose()));
  EXPECT_TRUE(para_.joint2motor_dual_matrix.isApprox(a.transpose()));
  // Motor 1 = 2 x joint 1: [-2, 6]. Motor 2 = 3 x (joint 2 + joint 3): [-6, 6].
  EXPECT_TRUE(printed("max_motor_pos:\n6,-2\n6,-6\n4,-4\n"));
}

TEST_F(LoadRobotParaTest, RealArmBuildsVendorDevicesAndRefusesAxesWithoutOne) {
  YAML::Node doc = test::validParaDoc(3);
  doc["is_real_robot_flag"] = true;
  const char* motors[] = {"{vendor: DaMiao, id: 1, master_id: 17, mode: 1, dev_name: /dev/a}",
                          "{vendor: feetech, id: 2, dev_name: /dev/b}",
                          "{vendor: joho, id: 3, dev_name: /dev/c, baudrate: 9600}"};
  for (int i = 0; i < 3; ++i) doc["axis_paras"][i]["motor_init_para"] = YAML::Load(motors[i]);
  doc["ctrl_io_devices"] = YAML::Load(
      "[{ctrl_io_id: 1, geometrical_para: [0, 0, 0], ctrl_io_init_para: {type: Gripper}}]");
  ASSERT_EQ(loadDoc(doc), load_result::kOk) << out_ << err_;
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

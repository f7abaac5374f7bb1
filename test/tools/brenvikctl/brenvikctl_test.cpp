// brenvikctl before it reaches DDS: every refusal of arguments and files, with its exit status
// and the message naming the value at fault; what the parser and the point reader accept.

#include "brenvikctl/brenvikctl.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "brenvikctl/cli_arguments.h"
#include "brenvikctl/exit_codes.h"
#include "brenvikctl/number_text.h"
#include "brenvikctl/point_file.h"

namespace brenvikctl {
namespace {

struct ErrorCase {
  std::vector<std::string> args;  // "FILE" stands for a file holding file_content
  const char* file_content;
  int code;
  const char* message;
};

const char* const kFivePoints = "0 0 0 0 0 0\n1 0 0 0 0 0\n2 0 0 0 0 0\n3 0 0 0 0 0\n";

const ErrorCase kErrorCases[] = {
    {{}, nullptr, exit_code::kUsage, "no command given"},
    {{"fly"}, nullptr, exit_code::kUsage, "unknown command 'fly'"},
    {{"movj"}, nullptr, exit_code::kUsage, "movj: expects at least 1 argument"},
    {{"movj", "0.1", "abc"}, nullptr, exit_code::kUsage, "movj: value 2 'abc' is not a number"},
    {{"movj", "0.1", "nan"}, nullptr, exit_code::kUsage, "'nan' is not a number"},
    {{"movj", "0.1", "--vel", "1.5"}, nullptr, exit_code::kUsage, "--vel: 1.5 is outside [0, 1]"},
    {{"movj", "0.1", "--acc=-0.1"}, nullptr, exit_code::kUsage, "--acc: -0.1 is outside"},
    {{"movj", "0.1", "--vel"}, nullptr, exit_code::kUsage, "--vel needs a value"},
    {{"movj", "0.1", "--fast"}, nullptr, exit_code::kUsage, "unknown option '--fast'"},
    {{"status", "--wait"}, nullptr, exit_code::kUsage, "option --wait does not apply to status"},
    {{"enable", "now"}, nullptr, exit_code::kUsage, "enable: expects 0 arguments, got 1"},
    {{"pose", "1", "2", "3"}, nullptr, exit_code::kUsage, "pose: expects 7 arguments, got 3"},
    {{"pose", "0.3", "0", "0.2", "0", "0", "0", "0"},
     nullptr,
     exit_code::kUsage,
     "quaternion QX QY QZ QW is zero"},
    {{"io", "1", "-2"}, nullptr, exit_code::kUsage, "io: value 2 -2 must not be negative"},
    {{"io", "1", "2.5"}, nullptr, exit_code::kUsage, "io: value 2 '2.5' is not an integer"},
    {{"collision", "maybe"}, nullptr, exit_code::kUsage, "'maybe' is neither on nor off"},
    {{"record", "out.csv"}, nullptr, exit_code::kUsage, "--seconds T is required"},
    {{"record", "out.csv", "--seconds", "0"}, nullptr, exit_code::kUsage, "must be greater than 0"},
    {{"urdf"}, nullptr, exit_code::kUsage, "--robot-para-file FILE is required"},
    {{"plot", "x.csv", "--timeout", "5"},
     nullptr,
     exit_code::kUsage,
     "option --timeout does not apply to plot"},
    {{"status", "--ros-args", "--bogus"}, nullptr, exit_code::kUsage, "--ros-args:"},
    {{"movs", "/nonexistent/points.txt"},
     nullptr,
     exit_code::kFile,
     "cannot read /nonexistent/points.txt"},
    {{"movs", "FILE"},
     "# t q\n0 0 0 0 0 0\n\n1 0 x 0 0 0\n",
     exit_code::kFile,
     ":4: 'x' is not a number"},
    {{"movs", "FILE"},
     "0 0 0 0 0 0\n1, 0, 0, 0, 0\n",
     exit_code::kFile,
     ":2: has 4 joint values, the first point 5"},
    {{"trajectory", "FILE"},
     "0 0 0\n1 0 0\n1 0 0\n",
     exit_code::kFile,
     ":3: time 1 s must be greater than the time of the point before"},
    {{"trajectory", "FILE"}, "-1 0 0\n", exit_code::kFile, ":1: time -1 s must be 0 or more"},
    {{"movs", "FILE"}, "# only comments\n\n", exit_code::kFile, ": no points"},
    {{"urdf", "--robot-para-file", "/nonexistent/arm.yaml"},
     nullptr,
     exit_code::kFile,
     "cannot read /nonexistent/arm.yaml"},
    {{"urdf", "--robot-para-file", "FILE"},
     "axis_num: 1\nmdh_para: [{zd: 0, alpha: 0, qzero: 0}]\naxis_paras: [{}]\n",
     exit_code::kFile,
     ": mdh_para axis 1: xa is missing"},
    {{"urdf", "--robot-para-file", "FILE"},
     "axis_num: 2\nmdh_para:\n  - {zd: 0, xa: 0, alpha: 0, qzero: 0}\naxis_paras: [{}]\n",
     exit_code::kFile,
     ": mdh_para must list 2 axes (axis_num), it has 1"},
    {{"urdf", "--robot-para-file", "FILE"},
     "axis_num: 1\nmdh_para: [{zd: 0, xa: 0, alpha: 0, qzero: 0}]\naxis_paras:\n  - "
     "{min_joint_pos: 1, max_joint_pos: -1, max_joint_vel: .inf}\n",
     exit_code::kFile,
     "axis_paras axis 1: max_joint_vel '.inf' is not a finite number"},
    {{"plot", "/nonexistent/rec.csv"},
     nullptr,
     exit_code::kFile,
     "cannot read /nonexistent/rec.csv"},
    {{"plot", "FILE"}, "a,b\n1,2\n", exit_code::kFile, ":1: not a brenvikctl recording"},
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
  *os << "brenvikctl";
  for (const std::string& arg : c.args) *os << " " << arg;
}

class BrenvikctlErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(BrenvikctlErrors, AreRefusedWithTheirStatusAndMessage) {
  const ErrorCase& c = GetParam();
  char dir[] = "/tmp/brenvikctl_test_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/input";
  std::vector<const char*> argv = {"brenvikctl"};
  for (const std::string& arg : c.args) argv.push_back(arg == "FILE" ? file.c_str() : arg.c_str());
  if (c.file_content != nullptr) std::ofstream(file) << c.file_content;
  std::ostringstream out, err;
  EXPECT_EQ(Brenvikctl::run(static_cast<int>(argv.size()), argv.data(), out, err), c.code);
  EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
  std::remove(file.c_str());
  rmdir(dir);
}

INSTANTIATE_TEST_SUITE_P(Table, BrenvikctlErrors, ::testing::ValuesIn(kErrorCases));

TEST(CliArguments, TakesNegativeValuesDegreesOptionsAnywhereAndRosArguments) {
  const char* argv[] = {"brenvikctl", "--wait",     "movj", "--deg",       "-90", "45",     "--acc",
                        "0.2",        "--ros-args", "-r",   "__ns:=/arm1", "--",  "--block"};
  Invocation inv;
  std::string error;
  ASSERT_EQ(CliArguments::parse(static_cast<int>(std::size(argv)), argv, inv, error),
            exit_code::kOk)
      << error;
  EXPECT_EQ(inv.command, Command::kMovj);
  ASSERT_EQ(inv.values.size(), 2u);
  EXPECT_DOUBLE_EQ(inv.values[0], -kPi / 2);
  EXPECT_DOUBLE_EQ(inv.values[1], kPi / 4);
  EXPECT_FALSE(inv.velocity.has_value());
  EXPECT_EQ(inv.acceleration, 0.2);
  EXPECT_TRUE(inv.wait && inv.block);
  EXPECT_EQ(inv.ros_argv,
            (std::vector<std::string>{"brenvikctl", "--ros-args", "-r", "__ns:=/arm1", "--"}));
}

TEST(PointFile, ReadsBlanksCommasCommentsAndAHeader) {
  std::istringstream in("time,q1,q2\n  # a comment\n\n0, 0.5,-1\n0.25\t1e-1 , 2\r\n");
  std::vector<TimedPoint> points;
  std::string error;
  ASSERT_EQ(PointFile::parse(in, "in", points, error), exit_code::kOk) << error;
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].time, 0.0);
  EXPECT_EQ(points[0].positions, (std::vector<double>{0.5, -1.0}));
  EXPECT_EQ(points[1].time, 0.25);
  EXPECT_EQ(points[1].positions, (std::vector<double>{0.1, 2.0}));
}

}  // namespace
}  // namespace brenvikctl

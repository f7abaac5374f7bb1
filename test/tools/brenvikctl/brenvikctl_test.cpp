#include "brenvikctl/brenvikctl.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "brenvikctl/cli_arguments.h"
#include "brenvikctl/exit_codes.h"
#include "brenvikctl/number_text.h"

namespace brenvikctl {
namespace {

// A line of test/data/brenvikctl_errors.txt: a refusal, its exit status and message.
struct ErrorCase {
  std::vector<std::string> args;  // "FILE" stands for a file holding content
  std::string content, message;
  int code;
};

std::vector<ErrorCase> errorCases() {
  std::vector<ErrorCase> cases;
  std::ifstream in("test/data/brenvikctl_errors.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    for (size_t at = 0, bar = 0; bar != std::string::npos; at = bar + 3) {
      bar = line.find(" | ", at);
      f.push_back(line.substr(at, bar - at));
    }
    ErrorCase c{{},
                std::regex_replace(f[1], std::regex(R"(\\n)"), "\n"),
                f.at(3),
                f[2] == "file" ? exit_code::kFile : exit_code::kUsage};
    std::istringstream words(f[0]);
    for (std::string w; words >> w;) c.args.push_back(w);
    cases.push_back(c);
  }
  return cases;
}

class BrenvikctlErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(BrenvikctlErrors, AreRefusedWithTheirStatusAndMessage) {
  const ErrorCase& c = GetParam();
  char dir[] = "/tmp/brenvikctl_test_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/input";
  std::vector<const char*> argv = {"brenvikctl"};
  for (const std::string& arg : c.args) argv.push_back(arg == "FILE" ? file.c_str() : arg.c_str());
  if (c.content != "-") std::ofstream(file) << c.content;
  std::ostringstream out, err;
  EXPECT_EQ(Brenvikctl::run(static_cast<int>(argv.size()), argv.data(), out, err), c.code);
  EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
  std::remove(file.c_str());
  rmdir(dir);
}

INSTANTIATE_TEST_SUITE_P(Table, BrenvikctlErrors, ::testing::ValuesIn(errorCases()));

TEST(CliArguments, TakesNegativeValuesDegreesOptionsAnywhereAndRosArguments) {
  EXPECT_GE(errorCases().size(), 33u);  // a table never read would pass every row unchecked
  const char* argv[] = {"brenvikctl", "--wait",     "movj", "--deg",       "-90", "45",     "--acc",
                        "0.2",        "--ros-args", "-r",   "__ns:=/arm1", "--",  "--block"};
  Invocation inv;
  std::string error;
  ASSERT_EQ(CliArguments::parse(static_cast<int>(std::size(argv)), argv, inv, error),
            exit_code::kOk)
      << error;
  EXPECT_EQ(inv.command, Command::kMovj);
  EXPECT_EQ(inv.values, (std::vector<double>{-kPi / 2, kPi / 4}));
  EXPECT_FALSE(inv.velocity.has_value());
  EXPECT_EQ(inv.acceleration, 0.2);
  EXPECT_TRUE(inv.wait && inv.block);
  EXPECT_EQ(inv.ros_argv,
            (std::vector<std::string>{"brenvikctl", "--ros-args", "-r", "__ns:=/arm1", "--"}));
}

}  // namespace
}  // namespace brenvikctl

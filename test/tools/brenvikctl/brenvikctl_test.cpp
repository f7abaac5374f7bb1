#include "brenvikctl/brenvikctl.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "brenvikctl/cli_arguments.h"
#include "brenvikctl/exit_codes.h"
#include "brenvikctl/number_text.h"

namespace brenvikctl {
namespace {

// Every refusal of test/data/brenvikctl_errors.txt: its exit status, its message and no output.
TEST(Brenvikctl, RefusesEveryLineOfTheErrorTable) {
  const std::string file = ::testing::TempDir() + "brenvikctl_test_input";
  std::ifstream table("test/data/brenvikctl_errors.txt");
  int rows = 0;
  for (std::string line; std::getline(table, line);) {
    std::smatch f;
    if (!std::regex_match(line, f, std::regex("(.*) \\| (.*) \\| (usage|file) \\| (.*)"))) continue;
    SCOPED_TRACE(line);
    ++rows;
    std::remove(file.c_str());
    if (f[2] != "-")
      std::ofstream(file) << std::regex_replace(f[2].str(), std::regex(R"(\\n)"), "\n");
    std::istringstream words(f[1]);
    std::vector<std::string> args{"brenvikctl"};
    for (std::string w; words >> w;) args.push_back(w == "FILE" ? file : w);
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::ostringstream out, err;
    EXPECT_EQ(Brenvikctl::run(static_cast<int>(argv.size()), argv.data(), out, err),
              f[3] == "file" ? exit_code::kFile : exit_code::kUsage);
    EXPECT_NE(err.str().find(f[4]), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
  }
  EXPECT_GE(rows, 33);  // a table never read would pass every row unchecked
}

TEST(CliArguments, TakesNegativeValuesDegreesOptionsAnywhereAndRosArguments) {
  const char* argv[] = {"brenvikctl", "--wait",     "movj", "--deg",       "-90", "45",     "--acc",
                        "0.2",        "--ros-args", "-r",   "__ns:=/arm1", "--",  "--block"};
  Invocation inv;
  std::string error;
  ASSERT_EQ(CliArguments::parse(13, argv, inv, error), exit_code::kOk) << error;
  EXPECT_EQ(inv.command, Command::kMovj);
  EXPECT_EQ(inv.values, (std::vector<double>{-kPi / 2, kPi / 4}));
  EXPECT_TRUE(!inv.velocity && inv.acceleration == 0.2 && inv.wait && inv.block);
  EXPECT_EQ(inv.ros_argv,
            (std::vector<std::string>{"brenvikctl", "--ros-args", "-r", "__ns:=/arm1", "--"}));
}

}  // namespace
}  // namespace brenvikctl

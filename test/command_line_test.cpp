#include "command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace brenvik {
namespace {

using Strings = std::vector<std::string>;

// The option and its path go to the robot (the first path names the file), the rest to ROS.
TEST(CommandLineTest, OptionAndPathGoToTheRobotTheRestToRos) {
  const struct {
    std::vector<const char*> args;
    Strings robot_args, ros_args;
    std::string para_file;
  } cases[] = {{{"--robot-para-file", "arm.yaml", "--ros-args", "-r", "movj_topic:=m"},
                {"--robot-para-file", "arm.yaml"},
                {"--ros-args", "-r", "movj_topic:=m"},
                "arm.yaml"},
               {{"--ros-args", "--robot-para-file"}, {}, {"--ros-args", "--robot-para-file"}, ""},
               {{"--robot-para-file", "a.yaml", "--robot-para-file", "b.yaml"},
                {"--robot-para-file", "a.yaml", "--robot-para-file", "b.yaml"},
                {},
                "a.yaml"},
               {{}, {}, {}, ""}};
  for (const auto& c : cases) {
    std::vector<const char*> argv = c.args;
    argv.insert(argv.begin(), "brenvik_robot");
    const CommandLine line = splitCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(line.robot_args, c.robot_args);
    EXPECT_EQ(line.ros_args, c.ros_args);
    EXPECT_EQ(line.robotParaFile(), c.para_file);
  }
}

}  // namespace
}  // namespace brenvik

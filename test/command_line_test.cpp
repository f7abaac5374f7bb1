#include "command_line.h"

#include <gtest/gtest.h>

namespace brenvik {
namespace {

// The option and its path go to the robot (the first path names the file), the rest to ROS.
TEST(CommandLineTest, OptionAndPathGoToTheRobotTheRestToRos) {
  using Args = std::vector<std::string>;
  const std::pair<Args, Args> cases[] = {
      // the arguments; those for the robot
      {{"--robot-para-file", "arm.yaml", "--ros-args", "-r", "movj_topic:=m"},
       {"--robot-para-file", "arm.yaml"}},
      {{"--ros-args", "--robot-para-file"}, {}},
      {{"--robot-para-file", "a.yaml", "--robot-para-file", "b.yaml"},
       {"--robot-para-file", "a.yaml", "--robot-para-file", "b.yaml"}},
      {{}, {}}};
  for (const auto& [args, robot_args] : cases) {
    std::vector<const char*> argv = {"brenvik_robot"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    const CommandLine line = splitCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(line.robot_args, robot_args);
    EXPECT_EQ(line.ros_args, Args(args.begin() + static_cast<long>(robot_args.size()), args.end()));
    EXPECT_EQ(line.robotParaFile(), robot_args.empty() ? "" : robot_args[1]);
  }
}

}  // namespace
}  // namespace brenvik

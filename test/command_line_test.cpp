#include "command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace brenvik {
namespace {

CommandLine split(std::vector<const char*> args) {
  args.insert(args.begin(), "brenvik_robot");
  return splitCommandLine(static_cast<int>(args.size()), args.data());
}

using Strings = std::vector<std::string>;

TEST(CommandLineTest, OptionAndPathGoToTheRobotTheRestToRos) {
  const CommandLine line =
      split({"--robot-para-file", "arm.yaml", "--ros-args", "-r", "movj_topic:=m"});
  EXPECT_EQ(line.robot_args, (Strings{"--robot-para-file", "arm.yaml"}));
  EXPECT_EQ(line.ros_args, (Strings{"--ros-args", "-r", "movj_topic:=m"}));
  EXPECT_EQ(line.robotParaFile(), "arm.yaml");
}

TEST(CommandLineTest, TrailingOptionWithoutValueGoesToRos) {
  const CommandLine line = split({"--ros-args", "--robot-para-file"});
  EXPECT_TRUE(line.robot_args.empty());
  EXPECT_EQ(line.ros_args, (Strings{"--ros-args", "--robot-para-file"}));
  EXPECT_EQ(line.robotParaFile(), "");
}

TEST(CommandLineTest, FirstOfTwoPathsIsUsed) {
  const CommandLine line = split({"--robot-para-file", "a.yaml", "--robot-para-file", "b.yaml"});
  EXPECT_EQ(line.robot_args.size(), 4u);
  EXPECT_EQ(line.robotParaFile(), "a.yaml");
  EXPECT_TRUE(line.ros_args.empty());
}

TEST(CommandLineTest, NoArguments) {
  const CommandLine line = split({});
  EXPECT_TRUE(line.robot_args.empty());
  EXPECT_TRUE(line.ros_args.empty());
}

}  // namespace
}  // namespace brenvik

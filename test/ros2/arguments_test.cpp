// Command-line arguments, names, console lines and stamps as rcl and rclcpp make them.

#include "ros2/arguments.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <sstream>

#include "ros2/logging.h"
#include "ros2/time.h"

namespace {

namespace names = ros2::names;
using ros2::InvalidArgumentError;
using ros2::LogLevel;
using Strings = std::vector<std::string>;

ros2::ParsedArguments parse(const std::string& line) {
  std::istringstream in("prog " + line);
  const Strings words{std::istream_iterator<std::string>(in), {}};
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());
  return ros2::parse_arguments(static_cast<int>(argv.size()), argv.data());
}

// Remap rules outside --ros-args still apply, in command-line order, and are reported.
TEST(Ros2Arguments, RosArgsEndAtDoubleDashBareRemapRulesAreRosArgumentsAndUnknownOnesRefused) {
  const auto a = parse(
      "--robot-para-file x.yaml __ns:=/arm2 --ros-args -r a:=b --log-level debug -- tail "
      "--ros-args --remap c:=d -- __node:=x user :=z");
  EXPECT_EQ(a.non_ros, (Strings{"prog", "--robot-para-file", "x.yaml", "tail", "user", ":=z"}));
  Strings rules;
  for (const auto& r : a.remaps) rules.push_back(r.match + ":=" + r.replacement);
  EXPECT_EQ(rules, (Strings{"__ns:=/arm2", "a:=b", "c:=d", "__node:=x"}));
  EXPECT_EQ(a.deprecated_remaps, (Strings{"__ns:=/arm2", "__node:=x"}));
  EXPECT_EQ(a.default_log_level, LogLevel::Debug);
  const char* argv[] = {"prog", "--ros-args", "-r", "x:=y", "--", "--flag", "v", "old:=new"};
  EXPECT_EQ(ros2::remove_ros_arguments(8, argv), (Strings{"prog", "--flag", "v"}));
  const auto b = parse(
      "--ros-args -p rate:=5 --param x:=1 --params-file p.yaml -e /enc --disable-rosout-logs "
      "--log-level robot_cmd_processor:=WARN");
  EXPECT_EQ(std::make_tuple(b.unused.size(), b.remaps.size(), b.default_log_level.has_value()),
            std::make_tuple(size_t{5}, size_t{0}, false));
  EXPECT_EQ(std::make_tuple(b.logger_levels.at(0).logger, b.logger_levels.at(0).level),
            std::make_tuple("robot_cmd_processor", LogLevel::Warn));
  try {
    parse("--ros-args --what -r a:=b extra");
    ADD_FAILURE() << "unknown arguments accepted";
  } catch (const ros2::UnknownROSArgsError& e) {
    EXPECT_EQ(e.unknown_args(), (Strings{"--what", "extra"}));
    EXPECT_STREQ(e.what(), "found unknown ROS arguments: '--what', 'extra'");
  }
  for (const std::string bad :
       {"-r", "--log-level loud", "-r nothing", "-r __ns:=relative", "-r a/*:=b", "-r a:=\\1"})
    EXPECT_THROW(parse("--ros-args " + bad), InvalidArgumentError) << bad;
}

TEST(Ros2Names, ExpansionValidationAndRemappingFollowRcl) {
  // name, node, namespace, expanded
  const Strings cases[] = {
      {"chatter", "talker", "/", "/chatter"},   {"chatter", "talker", "/ns", "/ns/chatter"},
      {"~/x", "talker", "/ns", "/ns/talker/x"}, {"~/x", "talker", "/", "/talker/x"},
      {"/abs", "talker", "/ns", "/abs"},        {"{node}/state", "arm", "/ns", "/ns/arm/state"},
      {"{ns}/foo", "arm", "/a", "/a/foo"},      {"{namespace}/x", "arm", "/a/b", "/a/b/x"},
      {"{ns}/foo", "arm", "/", "/foo"}};
  for (const Strings& c : cases) EXPECT_EQ(names::expand_topic_name(c[0], c[1], c[2]), c[3]);
  for (const auto& bad : Strings{"{bogus}", "a//b", "a/1b", "a/", "a-b", std::string(250, 'a')})
    EXPECT_THROW(names::expand_topic_name(bad, "a", "/"), InvalidArgumentError) << bad;
  EXPECT_EQ(names::normalize_namespace("") + names::normalize_namespace("robot") +
                names::normalize_namespace("/a/b/"),
            "//robot/a/b");
  EXPECT_THROW(names::normalize_namespace("/a b"), InvalidArgumentError);
  for (const char* bad : {"9lives", "a/b"})
    EXPECT_THROW(names::validate_node_name(bad), InvalidArgumentError);
  // The first rule that matches by kind, node and fully qualified name wins.
  std::vector<ros2::RemapRule> rules;
  for (const char* r : {"other:cmd:=x", "rosservice://cmd:=svc", "cmd:=/abs/cmd", "/ns/cmd:=never",
                        "me:rostopic://~/out:=/abs", "a:__node:=b", "__node:=c", "b:__ns:=/x"}) {
    rules.push_back(ros2::parse_remap_rule(r));
  }
  const auto resolve = [&](const char* name, const char* node, bool service) {
    return names::resolve_name(rules, name, node, "/ns", service) + " ";
  };
  EXPECT_EQ(resolve("cmd", "me", false) + resolve("cmd", "me", true) +
                resolve("cmd", "other", false) + resolve("/ns/other_topic", "me", false) +
                resolve("~/out", "me", false) + resolve("~/out", "me", true) +
                resolve("~/out", "you", false),
            "/abs/cmd /ns/svc /ns/x /ns/other_topic /abs /ns/me/out /ns/you/out ");
  EXPECT_EQ(names::remap_node_name(rules, "a") + names::remap_node_name(rules, "z") +
                names::remap_namespace(rules, "b", "/") + names::remap_namespace(rules, "c", "/"),
            "bc/x/");
}

TEST(Ros2Logging, ConsoleLinesAndStampsLookLikeRos) {
  EXPECT_EQ(ros2::logging::format_line(LogLevel::Info, "robot_cmd_processor", 1700000000012345678LL,
                                       "hello 5"),
            "[INFO] [1700000000.012345678] [robot_cmd_processor]: hello 5\n");
  EXPECT_EQ(ros2::logging::format_line(LogLevel::Warn, "ns.n", 5, "x"),
            "[WARN] [0.000000005] [ns.n]: x\n");
  testing::internal::CaptureStderr();
  ROS2_WARN(ros2::get_logger("fmt"), "%s", std::string(2000, 'x').c_str());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("]: " + std::string(2000, 'x') + "\n"),
            std::string::npos);
  const int64_t before = std::chrono::system_clock::now().time_since_epoch().count();
  const int64_t ns = ros2::Time(ros2::Clock(ros2::RCL_SYSTEM_TIME).now()).nanoseconds();
  EXPECT_TRUE(before <= ns && ns <= std::chrono::system_clock::now().time_since_epoch().count());
  const builtin_interfaces::msg::Time neg = ros2::Time(-1);
  EXPECT_EQ(std::make_tuple(neg.sec, neg.nanosec, ros2::Time(neg).nanoseconds(),
                            ros2::Time(1, 500000000).seconds()),
            std::make_tuple(-1, 999999999u, int64_t{-1}, 1.5));
}

}  // namespace

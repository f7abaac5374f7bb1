// ROS 2 command-line arguments, name resolution, console lines of the logger, and the wall
// clock that stamps messages.

#include "ros2/arguments.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "ros2/logging.h"
#include "ros2/time.h"

namespace {

using ros2::InvalidArgumentError;
using ros2::LogLevel;
using ros2::RemapRule;
using ros2::names::expand_topic_name;

// Parses "prog" followed by the words of line.
ros2::ParsedArguments parse(const std::string& line) {
  std::vector<std::string> words{"prog"};
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());
  return ros2::parse_arguments(static_cast<int>(argv.size()), argv.data());
}

TEST(Ros2Arguments, RosArgsEndAtDoubleDashAndUserArgumentsStay) {
  const auto a = parse(
      "--robot-para-file x.yaml --ros-args -r a:=b --log-level debug -- tail --ros-args "
      "--remap c:=d");
  EXPECT_EQ(a.non_ros, (std::vector<std::string>{"prog", "--robot-para-file", "x.yaml", "tail"}));
  ASSERT_EQ(a.remaps.size(), 2u);
  EXPECT_EQ(a.remaps[0].match, "a");
  EXPECT_EQ(a.remaps[1].replacement, "d");
  EXPECT_EQ(a.default_log_level, LogLevel::Debug);
  const char* argv[] = {"prog", "--ros-args", "-r", "x:=y", "--", "--flag", "v", "old:=new"};
  EXPECT_EQ(ros2::remove_ros_arguments(8, argv), (std::vector<std::string>{"prog", "--flag", "v"}));
}

// Remap rules outside --ros-args still apply, in command-line order, with rcl's warning.
TEST(Ros2Arguments, BareRemapRulesAreDeprecatedRosArguments) {
  const auto a = parse("__ns:=/arm2 --ros-args -r a:=b -- __node:=x from:=to user :=z");
  EXPECT_EQ(a.non_ros, (std::vector<std::string>{"prog", "user", ":=z"}));
  EXPECT_EQ(a.deprecated_remaps,
            (std::vector<std::string>{"__ns:=/arm2", "__node:=x", "from:=to"}));
  std::vector<std::string> matches;
  for (const auto& r : a.remaps) matches.push_back(r.match);
  EXPECT_EQ(matches, (std::vector<std::string>{"__ns", "a", "__node", "from"}));
}

TEST(Ros2Arguments, ParametersEnclaveAndLogFlagsAreAcceptedButUnusedAndLoggerLevelsParsed) {
  const auto a = parse(
      "--ros-args -p rate:=5 --param x:=1 --params-file p.yaml -e /enc --disable-rosout-logs "
      "--log-level robot_cmd_processor:=WARN");
  EXPECT_EQ(a.unused.size(), 5u);
  EXPECT_TRUE(a.remaps.empty());
  ASSERT_EQ(a.logger_levels.size(), 1u);
  EXPECT_EQ(a.logger_levels[0].logger, "robot_cmd_processor");
  EXPECT_EQ(a.logger_levels[0].level, LogLevel::Warn);
  EXPECT_FALSE(a.default_log_level.has_value());
}

TEST(Ros2Arguments, UnknownArgumentsAreNamedAndBadValuesRefused) {
  try {
    parse("--ros-args --what -r a:=b extra");
    ADD_FAILURE() << "unknown arguments accepted";
  } catch (const ros2::UnknownROSArgsError& e) {
    EXPECT_EQ(e.unknown_args(), (std::vector<std::string>{"--what", "extra"}));
    EXPECT_STREQ(e.what(), "found unknown ROS arguments: '--what', 'extra'");
  }
  for (const std::string bad :
       {"-r", "--log-level loud", "-r nothing", "-r __ns:=relative", "-r a/*:=b", "-r a:=\\1"}) {
    EXPECT_THROW(parse("--ros-args " + bad), InvalidArgumentError) << bad;
  }
}

TEST(Ros2Names, ExpansionAndValidationFollowRcl) {
  EXPECT_EQ(expand_topic_name("chatter", "talker", "/"), "/chatter");
  EXPECT_EQ(expand_topic_name("chatter", "talker", "/ns"), "/ns/chatter");
  EXPECT_EQ(expand_topic_name("~/x", "talker", "/ns"), "/ns/talker/x");
  EXPECT_EQ(expand_topic_name("~/x", "talker", "/"), "/talker/x");
  EXPECT_EQ(expand_topic_name("/abs", "talker", "/ns"), "/abs");
  EXPECT_EQ(expand_topic_name("{node}/state", "arm", "/ns"), "/ns/arm/state");
  EXPECT_EQ(expand_topic_name("{ns}/foo", "arm", "/a"), "/a/foo");
  EXPECT_EQ(expand_topic_name("{namespace}/x", "arm", "/a/b"), "/a/b/x");
  EXPECT_EQ(expand_topic_name("{ns}/foo", "arm", "/"), "/foo");
  for (const std::string& bad :
       std::vector<std::string>{"{bogus}", "a//b", "a/1b", "a/", "a-b", std::string(250, 'a')}) {
    EXPECT_THROW(expand_topic_name(bad, "a", "/"), InvalidArgumentError) << bad;
  }
  EXPECT_EQ(ros2::names::normalize_namespace(""), "/");
  EXPECT_EQ(ros2::names::normalize_namespace("robot"), "/robot");
  EXPECT_EQ(ros2::names::normalize_namespace("/a/b/"), "/a/b");
  EXPECT_THROW(ros2::names::normalize_namespace("/a b"), InvalidArgumentError);
  EXPECT_NO_THROW(ros2::names::validate_node_name("robot_cmd_processor"));
  EXPECT_THROW(ros2::names::validate_node_name("9lives"), InvalidArgumentError);
  EXPECT_THROW(ros2::names::validate_node_name("a/b"), InvalidArgumentError);
}

TEST(Ros2Names, RemapRulesMatchByKindNodeAndFullyQualifiedNameAndTheFirstWins) {
  std::vector<RemapRule> rules;
  for (const char* r : {"other:cmd:=x", "rosservice://cmd:=svc", "cmd:=/abs/cmd", "/ns/cmd:=never",
                        "me:rostopic://~/out:=/abs", "a:__node:=b", "__node:=c", "b:__ns:=/x"}) {
    rules.push_back(ros2::parse_remap_rule(r));
  }
  using ros2::names::resolve_name;
  EXPECT_EQ(resolve_name(rules, "cmd", "me", "/ns", false), "/abs/cmd");
  EXPECT_EQ(resolve_name(rules, "cmd", "me", "/ns", true), "/ns/svc");
  EXPECT_EQ(resolve_name(rules, "cmd", "other", "/ns", false), "/ns/x");
  EXPECT_EQ(resolve_name(rules, "/ns/other_topic", "me", "/ns", false), "/ns/other_topic");
  EXPECT_EQ(resolve_name(rules, "~/out", "me", "/ns", false), "/abs");
  EXPECT_EQ(resolve_name(rules, "~/out", "me", "/ns", true), "/ns/me/out");
  EXPECT_EQ(resolve_name(rules, "~/out", "you", "/ns", false), "/ns/you/out");
  // Node and namespace rules are matched on the node's names.
  EXPECT_EQ(ros2::names::remap_node_name(rules, "a"), "b");
  EXPECT_EQ(ros2::names::remap_node_name(rules, "z"), "c");
  EXPECT_EQ(ros2::names::remap_namespace(rules, "b", "/"), "/x");
  EXPECT_EQ(ros2::names::remap_namespace(rules, "c", "/"), "/");
}

TEST(Ros2Logging, LinesLookLikeRosConsoleOutput) {
  EXPECT_EQ(ros2::logging::format_line(LogLevel::Info, "robot_cmd_processor", 1700000000012345678LL,
                                       "hello 5"),
            "[INFO] [1700000000.012345678] [robot_cmd_processor]: hello 5\n");
  EXPECT_EQ(ros2::logging::format_line(LogLevel::Warn, "ns.n", 5, "x"),
            "[WARN] [0.000000005] [ns.n]: x\n");
  ros2::logging::reset_levels();
  testing::internal::CaptureStderr();
  ROS2_INFO(ros2::get_logger("fmt"), "TrapezoidPlannerInput:%lf,%d,%s", 1.5, 7, "ok");
  ROS2_DEBUG(ros2::get_logger("fmt"), "hidden");
  const std::string long_text(2000, 'x');
  ROS2_WARN(ros2::get_logger("fmt"), "%s", long_text.c_str());
  const std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find("] [fmt]: TrapezoidPlannerInput:1.500000,7,ok\n"), std::string::npos);
  EXPECT_EQ(out.find("hidden"), std::string::npos);
  EXPECT_NE(out.find("[WARN] ["), std::string::npos);
  EXPECT_NE(out.find(long_text + "\n"), std::string::npos);
}

TEST(Ros2Logging, LevelsFilterAndChildrenInherit) {
  ros2::logging::reset_levels();
  const ros2::Logger node = ros2::get_logger("robot");
  EXPECT_TRUE(node.enabled(LogLevel::Info));
  EXPECT_FALSE(node.enabled(LogLevel::Debug));
  ros2::logging::set_logger_level("robot", LogLevel::Error);
  EXPECT_FALSE(node.enabled(LogLevel::Warn));
  EXPECT_FALSE(node.get_child("child").enabled(LogLevel::Warn));
  EXPECT_TRUE(ros2::get_logger("robotic").enabled(LogLevel::Info));
  ros2::logging::set_default_level(LogLevel::Debug);
  EXPECT_TRUE(ros2::get_logger("other").enabled(LogLevel::Debug));
  ros2::logging::reset_levels();
}

TEST(Ros2Clock, SystemTimeBecomesAMessageStamp) {
  const auto now_ns = [] {
    return std::chrono::system_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
  };
  const int64_t before = now_ns();
  const builtin_interfaces::msg::Time stamp = ros2::Clock(ros2::RCL_SYSTEM_TIME).now();
  const int64_t after = now_ns(), ns = int64_t{stamp.sec} * 1000000000 + stamp.nanosec;
  EXPECT_GE(ns, before);
  EXPECT_LE(ns, after);
  EXPECT_LT(stamp.nanosec, 1000000000u);
  const builtin_interfaces::msg::Time neg = ros2::Time(-1);
  EXPECT_EQ(neg.sec, -1);
  EXPECT_EQ(neg.nanosec, 999999999u);
  EXPECT_EQ(ros2::Time(neg).nanoseconds(), -1);
  EXPECT_DOUBLE_EQ(ros2::Time(1, 500000000).seconds(), 1.5);
}

}  // namespace

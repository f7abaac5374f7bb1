// ROS 2 command-line arguments and name resolution.

#include "ros2/arguments.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using ros2::InvalidArgumentError;
using ros2::ParsedArguments;
using ros2::RemapRule;

ParsedArguments parse(std::vector<const char*> args) {
  args.insert(args.begin(), "prog");
  return ros2::parse_arguments(static_cast<int>(args.size()), args.data());
}

TEST(Ros2Arguments, RosArgsEndAtDoubleDashAndUserArgumentsStay) {
  const auto a = parse({"--robot-para-file", "x.yaml", "--ros-args", "-r", "a:=b", "--log-level",
                        "debug", "--", "tail", "--ros-args", "--remap", "c:=d"});
  EXPECT_EQ(a.non_ros, (std::vector<std::string>{"prog", "--robot-para-file", "x.yaml", "tail"}));
  ASSERT_EQ(a.remaps.size(), 2u);
  EXPECT_EQ(a.remaps[0].match, "a");
  EXPECT_EQ(a.remaps[1].replacement, "d");
  ASSERT_TRUE(a.default_log_level.has_value());
  EXPECT_EQ(*a.default_log_level, ros2::LogLevel::Debug);
}

TEST(Ros2Arguments, RemoveRosArgumentsKeepsTheRest) {
  const char* argv[] = {"prog", "--ros-args", "-r", "x:=y", "--", "--flag", "v"};
  EXPECT_EQ(ros2::remove_ros_arguments(7, argv), (std::vector<std::string>{"prog", "--flag", "v"}));
}

TEST(Ros2Arguments, ParametersEnclaveAndLogFlagsAreAcceptedButUnused) {
  const auto a = parse({"--ros-args", "-p", "rate:=5", "--param", "x:=1", "--params-file", "p.yaml",
                        "-e", "/enc", "--disable-rosout-logs"});
  EXPECT_EQ(a.unused.size(), 5u);
  EXPECT_TRUE(a.remaps.empty());
}

TEST(Ros2Arguments, UnknownArgumentsAreNamedInTheError) {
  try {
    parse({"--ros-args", "--what", "-r", "a:=b", "extra"});
    FAIL();
  } catch (const ros2::UnknownROSArgsError& e) {
    EXPECT_EQ(e.unknown_args(), (std::vector<std::string>{"--what", "extra"}));
    EXPECT_STREQ(e.what(), "found unknown ROS arguments: '--what', 'extra'");
  }
}

TEST(Ros2Arguments, MissingOrInvalidValuesAreErrors) {
  EXPECT_THROW(parse({"--ros-args", "-r"}), InvalidArgumentError);
  EXPECT_THROW(parse({"--ros-args", "--log-level", "loud"}), InvalidArgumentError);
  EXPECT_THROW(parse({"--ros-args", "-r", "nothing"}), InvalidArgumentError);
  EXPECT_THROW(parse({"--ros-args", "-r", "__ns:=relative"}), InvalidArgumentError);
  EXPECT_THROW(parse({"--ros-args", "-r", "a/*:=b"}), InvalidArgumentError);
  EXPECT_THROW(parse({"--ros-args", "-r", "a:=\\1"}), InvalidArgumentError);
}

TEST(Ros2Arguments, PerLoggerLevels) {
  const auto a = parse({"--ros-args", "--log-level", "robot_cmd_processor:=WARN"});
  ASSERT_EQ(a.logger_levels.size(), 1u);
  EXPECT_EQ(a.logger_levels[0].logger, "robot_cmd_processor");
  EXPECT_EQ(a.logger_levels[0].level, ros2::LogLevel::Warn);
  EXPECT_FALSE(a.default_log_level.has_value());
}

TEST(Ros2RemapRules, KindsPrefixesAndNodeRestriction) {
  const RemapRule ns = ros2::parse_remap_rule("__ns:=/robot");
  EXPECT_EQ(ns.kind, RemapRule::Kind::Namespace);
  const RemapRule name = ros2::parse_remap_rule("talker:__node:=speaker");
  EXPECT_EQ(name.kind, RemapRule::Kind::NodeName);
  EXPECT_EQ(name.node, "talker");
  const RemapRule topic = ros2::parse_remap_rule("rostopic://~/out:=/abs");
  EXPECT_EQ(topic.applies, RemapRule::Applies::Topics);
  EXPECT_EQ(topic.match, "~/out");
  const RemapRule svc = ros2::parse_remap_rule("n:rosservice://srv:=other");
  EXPECT_EQ(svc.applies, RemapRule::Applies::Services);
  EXPECT_EQ(svc.node, "n");
}

TEST(Ros2Names, ExpansionFollowsRcl) {
  using ros2::names::expand_topic_name;
  EXPECT_EQ(expand_topic_name("chatter", "talker", "/"), "/chatter");
  EXPECT_EQ(expand_topic_name("chatter", "talker", "/ns"), "/ns/chatter");
  EXPECT_EQ(expand_topic_name("~/x", "talker", "/ns"), "/ns/talker/x");
  EXPECT_EQ(expand_topic_name("~/x", "talker", "/"), "/talker/x");
  EXPECT_EQ(expand_topic_name("/abs", "talker", "/ns"), "/abs");
  EXPECT_EQ(expand_topic_name("{node}/state", "arm", "/ns"), "/ns/arm/state");
  EXPECT_THROW(expand_topic_name("{bogus}", "a", "/"), InvalidArgumentError);
  EXPECT_THROW(expand_topic_name("a//b", "a", "/"), InvalidArgumentError);
  EXPECT_THROW(expand_topic_name("a/1b", "a", "/"), InvalidArgumentError);
  EXPECT_THROW(expand_topic_name("a/", "a", "/"), InvalidArgumentError);
  EXPECT_THROW(expand_topic_name("a-b", "a", "/"), InvalidArgumentError);
  EXPECT_THROW(expand_topic_name(std::string(250, 'a'), "a", "/"), InvalidArgumentError);
}

TEST(Ros2Names, NamespacesAndNodeNames) {
  EXPECT_EQ(ros2::names::normalize_namespace(""), "/");
  EXPECT_EQ(ros2::names::normalize_namespace("robot"), "/robot");
  EXPECT_EQ(ros2::names::normalize_namespace("/a/b/"), "/a/b");
  EXPECT_THROW(ros2::names::normalize_namespace("/a b"), InvalidArgumentError);
  EXPECT_NO_THROW(ros2::names::validate_node_name("robot_cmd_processor"));
  EXPECT_THROW(ros2::names::validate_node_name("9lives"), InvalidArgumentError);
  EXPECT_THROW(ros2::names::validate_node_name("a/b"), InvalidArgumentError);
}

TEST(Ros2Names, RemappingMatchesFullyQualifiedNames) {
  std::vector<RemapRule> rules = {
      ros2::parse_remap_rule("other:cmd:=x"), ros2::parse_remap_rule("rosservice://cmd:=svc"),
      ros2::parse_remap_rule("cmd:=/abs/cmd"), ros2::parse_remap_rule("/ns/cmd:=never")};
  using ros2::names::resolve_name;
  EXPECT_EQ(resolve_name(rules, "cmd", "me", "/ns", false), "/abs/cmd");
  EXPECT_EQ(resolve_name(rules, "cmd", "me", "/ns", true), "/ns/svc");
  EXPECT_EQ(resolve_name(rules, "cmd", "other", "/ns", false), "/ns/x");
  EXPECT_EQ(resolve_name(rules, "/ns/other_topic", "me", "/ns", false), "/ns/other_topic");
  // The first matching rule wins; node and namespace rules are matched on the node's names.
  const std::vector<RemapRule> node_rules = {ros2::parse_remap_rule("a:__node:=b"),
                                             ros2::parse_remap_rule("__node:=c"),
                                             ros2::parse_remap_rule("b:__ns:=/x")};
  EXPECT_EQ(ros2::names::remap_node_name(node_rules, "a"), "b");
  EXPECT_EQ(ros2::names::remap_node_name(node_rules, "z"), "c");
  EXPECT_EQ(ros2::names::remap_namespace(node_rules, "b", "/"), "/x");
  EXPECT_EQ(ros2::names::remap_namespace(node_rules, "c", "/"), "/");
}

}  // namespace

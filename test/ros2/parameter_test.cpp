// Node parameters by rclcpp's rules, served over the six parameter services to another node's
// AsyncParametersClient, with their declarations and changes on /parameter_events.

#include <gtest/gtest.h>

#include "harness.h"
#include "ros2/node_parameters.h"
#include "ros2/parameter_client.h"

namespace {

using namespace std::chrono_literals;
using ros2::Parameter;
using ros2::ParameterValue;
using Descriptor = rcl_interfaces::msg::ParameterDescriptor;

class Ros2Parameters : public ::testing::Test {
 protected:
  void SetUp() override {
    ros2_test::init();
    node_ = std::make_shared<ros2::Node>(
        "arm", "/robot",
        ros2::NodeOptions().parameter_overrides({{"speed", 1.5}, {"mode", "override"}}));
    Descriptor range;
    range.floating_point_range = {{0.0, 2.0, 0.5}};
    Descriptor read_only;
    read_only.read_only = true;
    Descriptor dynamic;
    dynamic.dynamic_typing = true;
    node_->declare_parameter("speed", 1.0, range);
    node_->declare_parameter("mode", "auto", read_only, true);
    node_->declare_parameter("dyn", 3, dynamic);
    node_->declare_parameter("joints.j1.limit", 0.5);
    node_->declare_parameter("joints.name", "j");
  }
  void TearDown() override { ros2::shutdown(); }

  ros2::Node::SharedPtr node_;
};

TEST_F(Ros2Parameters, DeclaringTakesOverridesUnlessIgnoredAndRefusesWhatRclcppRefuses) {
  EXPECT_EQ(node_->get_parameter("speed").as_double(), 1.5);
  EXPECT_EQ(node_->get_parameter("mode").as_string(), "auto");
  EXPECT_FALSE(node_->get_parameter("use_sim_time").as_bool());
  EXPECT_THROW(node_->declare_parameter("speed", 0.0), std::invalid_argument);
  EXPECT_THROW(node_->declare_parameter("unset", ParameterValue()), std::invalid_argument);
  Descriptor range;
  range.integer_range = {{0, 10, 5}};
  EXPECT_THROW(node_->declare_parameter("odd", 3, range), std::invalid_argument);
  EXPECT_THROW(node_->get_parameter("ghost"), ros2::ParameterNotDeclaredException);
  EXPECT_THROW(node_->get_parameter("speed").as_int(), ros2::ParameterTypeException);
  EXPECT_THROW(node_->undeclare_parameter("mode"), std::invalid_argument);
  auto other = std::make_shared<ros2::Node>(
      "other", ros2::NodeOptions().parameter_overrides({{"speed", "fast"}}));
  EXPECT_THROW(other->declare_parameter("speed", 1.0), std::invalid_argument);
}

// One set call each: whether it succeeds, and the reason when it does not.
struct SetCase {
  Parameter parameter;
  const char* reason;  // "" for success
};

TEST_F(Ros2Parameters, SettingFollowsReadOnlyTypingRangesCallbacksAndSimTime) {
  auto refuse_high = node_->add_on_set_parameters_callback([](const std::vector<Parameter>& ps) {
    rcl_interfaces::msg::SetParametersResult r;
    r.successful = ps[0].get_name() != "speed" || ps[0].as_double() < 2.0;
    r.reason = r.successful ? "" : "too fast";
    return r;
  });
  const SetCase cases[] = {
      {{"speed", 1.0}, ""},
      {{"speed", 2.0}, "too fast"},
      {{"speed", 0.7}, "Parameter {speed} doesn't comply with floating point range."},
      {{"speed", "x"},
       "Wrong parameter type, parameter {speed} is of type {double}, setting it to {string} is "
       "not allowed."},
      {{"mode", "manual"}, "parameter 'mode' cannot be set because it is read-only"},
      {{"ghost", 1}, "parameter 'ghost' is not declared"},
      {{"dyn", "text"}, ""},
      {Parameter("dyn"), ""},
      {Parameter("speed"), "parameter 'speed' is statically typed: cannot unset it"},
      {{"use_sim_time", true}, "use_sim_time cannot be true: this node runs on the system clock"},
      {{"use_sim_time", false}, ""},
  };
  for (const SetCase& c : cases) {
    const auto r = node_->set_parameter(c.parameter);
    EXPECT_EQ(r.successful, std::string(c.reason).empty()) << c.parameter.get_name();
    EXPECT_EQ(r.reason, c.reason);
  }
  EXPECT_EQ(node_->get_parameter("speed").as_double(), 1.0);
  EXPECT_FALSE(node_->has_parameter("dyn"));
  // All or nothing.
  EXPECT_FALSE(node_->set_parameters_atomically({{"speed", 0.5}, {"mode", "x"}}).successful);
  EXPECT_EQ(node_->get_parameter("speed").as_double(), 1.0);
  refuse_high.reset();
  EXPECT_TRUE(node_->set_parameter({"speed", 2.0}).successful);
}

// Prefixes, depth, and the names and prefixes listed, as rclcpp's list_parameters gives them.
struct ListCase {
  std::vector<std::string> prefixes;
  uint64_t depth;
  std::vector<std::string> names, found_prefixes;
};

TEST_F(Ros2Parameters, ListingByPrefixAndDepth) {
  const std::vector<std::string> all{"dyn",  "joints.j1.limit", "joints.name",
                                     "mode", "speed",           "use_sim_time"};
  const ListCase cases[] = {
      {{}, 0, all, {"joints.j1", "joints"}},
      {{}, 1, {"dyn", "mode", "speed", "use_sim_time"}, {}},
      // As in rclcpp, the depth below a prefix counts the dot after it.
      {{"joints"}, 2, {"joints.name"}, {"joints"}},
      {{"joints"}, 0, {"joints.j1.limit", "joints.name"}, {"joints.j1", "joints"}},
      {{"speed", "joints.j1"}, 0, {"joints.j1.limit", "speed"}, {"joints.j1"}},
  };
  for (const ListCase& c : cases) {
    const auto r = node_->list_parameters(c.prefixes, c.depth);
    EXPECT_EQ(r.names, c.names) << c.depth;
    EXPECT_EQ(r.prefixes, c.found_prefixes) << c.depth;
  }
}

TEST_F(Ros2Parameters, AnotherNodeUsesTheServicesAndSeesTheEvents) {
  auto asker = std::make_shared<ros2::Node>("asker");
  ros2::Executor exec;
  exec.add_node(node_);
  exec.add_node(asker);
  std::vector<rcl_interfaces::msg::ParameterEvent> events;
  auto sub = asker->create_subscription<rcl_interfaces::msg::ParameterEvent>(
      "/parameter_events", ros2::ParameterEventsQoS(),
      [&](const rcl_interfaces::msg::ParameterEvent& e) {
        if (e.node == "/robot/arm") events.push_back(e);
      });
  ros2::AsyncParametersClient client(asker, "/robot/arm");
  ASSERT_TRUE(client.wait_for_service(5s));
  ASSERT_TRUE(ros2_test::wait_until([&] { return sub->get_publisher_count() >= 2; }));

  EXPECT_EQ(ros2_test::wait(exec, client.list_parameters({}, 0)).names.size(), 6u);
  const auto got = ros2_test::wait(exec, client.get_parameters({"speed", "ghost"}));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].as_double(), 1.5);
  EXPECT_EQ(got[1].get_type(), ros2::PARAMETER_NOT_SET);
  EXPECT_EQ(ros2_test::wait(exec, client.get_parameter_types({"mode", "ghost"})),
            (std::vector<ros2::ParameterType>{ros2::PARAMETER_STRING, ros2::PARAMETER_NOT_SET}));
  const auto described = ros2_test::wait(exec, client.describe_parameters({"mode", "ghost"}));
  ASSERT_EQ(described.size(), 2u);
  EXPECT_TRUE(described[0].read_only);
  EXPECT_EQ(described[1].name, "ghost");
  const auto results =
      ros2_test::wait(exec, client.set_parameters({{"speed", 0.5}, {"mode", "x"}}));
  ASSERT_EQ(results.size(), 2u);
  EXPECT_TRUE(results[0].successful);
  EXPECT_EQ(results[1].reason, "parameter 'mode' cannot be set because it is read-only");
  EXPECT_FALSE(ros2_test::wait(exec, client.set_parameters_atomically({{"speed", 1.0}, {"x", 1}}))
                   .successful);
  EXPECT_EQ(node_->get_parameter("speed").as_double(), 0.5);

  node_->declare_parameter("late", true);
  ASSERT_TRUE(ros2_test::spin_until(exec, [&] { return events.size() >= 2; }));
  EXPECT_EQ(events[0].changed_parameters.at(0).name, "speed");
  EXPECT_EQ(events[0].changed_parameters.at(0).value.double_value, 0.5);
  EXPECT_EQ(events[1].new_parameters.at(0).name, "late");
}

}  // namespace

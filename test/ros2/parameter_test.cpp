// Node parameters by rclcpp's rules; process_test.cpp uses their services.

#include "harness.h"
#include "ros2/node_parameters.h"

namespace {

using ros2::Parameter;
using Descriptor = rcl_interfaces::msg::ParameterDescriptor;
using Strings = std::vector<std::string>;

using Ros2Parameters = ros2_test::Ros2Test;

// Node /robot/arm: speed (1.5 from an override, range 0..2 step 0.5), mode (read-only, its
// override ignored), dyn (dynamically typed), joints.j1.limit and joints.name.
TEST_F(Ros2Parameters, DeclaringSettingAndListingFollowRclcpp) {
  const auto with = [](const std::vector<Parameter>& overrides) {
    return ros2::NodeOptions().parameter_overrides(overrides);
  };
  auto arm = std::make_shared<ros2::Node>("arm", "/robot", with({{"speed", 1.5}, {"mode", "x"}}));
  Descriptor range, read_only, dynamic;
  range.floating_point_range = {{0.0, 2.0, 0.5}};
  read_only.read_only = true;
  dynamic.dynamic_typing = true;
  arm->declare_parameter("speed", 1.0, range);
  arm->declare_parameter("mode", "auto", read_only, true);
  arm->declare_parameter("dyn", 3, dynamic);
  arm->declare_parameter("joints.j1.limit", 0.5);
  arm->declare_parameter("joints.name", "j");
  EXPECT_EQ(std::make_tuple(arm->get_parameter("speed").as_double(),
                            arm->get_parameter("mode").as_string(),
                            arm->get_parameter("use_sim_time").as_bool()),
            std::make_tuple(1.5, "auto", false));
  Descriptor odd;
  odd.integer_range = {{0, 10, 5}};
  EXPECT_THROW(arm->declare_parameter("speed", 0.0), std::invalid_argument);
  EXPECT_THROW(arm->declare_parameter("unset", ros2::ParameterValue()), std::invalid_argument);
  EXPECT_THROW(arm->declare_parameter("odd", 3, odd), std::invalid_argument);
  EXPECT_THROW(arm->undeclare_parameter("mode"), std::invalid_argument);
  EXPECT_THROW(
      std::make_shared<ros2::Node>("b", with({{"speed", "fast"}}))->declare_parameter("speed", 1.0),
      std::invalid_argument);
  EXPECT_THROW(arm->get_parameter("ghost"), ros2::ParameterNotDeclaredException);
  EXPECT_THROW(arm->get_parameter("speed").as_int(), ros2::ParameterTypeException);

  auto refuse_high = arm->add_on_set_parameters_callback([](const std::vector<Parameter>& ps) {
    rcl_interfaces::msg::SetParametersResult r;
    r.successful = ps[0].get_name() != "speed" || ps[0].as_double() < 2.0;
    r.reason = r.successful ? "" : "too fast";
    return r;
  });
  const std::pair<Parameter, std::string> sets[] = {
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
      {{"use_sim_time", false}, ""}};
  for (const auto& s : sets) {
    const auto r = arm->set_parameter(s.first);
    EXPECT_EQ(std::make_pair(r.successful, r.reason), std::make_pair(s.second.empty(), s.second));
  }
  EXPECT_FALSE(arm->has_parameter("dyn"));
  EXPECT_FALSE(arm->set_parameters_atomically({{"speed", 0.5}, {"mode", "x"}}).successful);
  EXPECT_EQ(arm->get_parameter("speed").as_double(), 1.0);
  refuse_high.reset();
  EXPECT_TRUE(arm->set_parameter({"speed", 2.0}).successful);

  // As in rclcpp, the depth below a prefix counts the dot after it.
  const std::tuple<Strings, uint64_t, Strings, Strings> lists[] = {
      {{},
       0,
       {"joints.j1.limit", "joints.name", "mode", "speed", "use_sim_time"},
       {"joints.j1", "joints"}},
      {{"joints"}, 2, {"joints.name"}, {"joints"}},
      {{"speed", "joints.j1"}, 0, {"joints.j1.limit", "speed"}, {"joints.j1"}}};
  for (const auto& l : lists) {
    const auto r = arm->list_parameters(std::get<0>(l), std::get<1>(l));
    EXPECT_EQ(std::make_pair(r.names, r.prefixes), std::make_pair(std::get<2>(l), std::get<3>(l)));
  }
}

}  // namespace

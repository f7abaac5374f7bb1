// Node parameters by rclcpp's rules; process_test.cpp uses their services.

#include <gtest/gtest.h>

#include "harness.h"
#include "ros2/node_parameters.h"

namespace {

using ros2::Parameter;
using Descriptor = rcl_interfaces::msg::ParameterDescriptor;
using Strings = std::vector<std::string>;

// Node /robot/arm: speed (1.5 from an override, range 0..2 step 0.5), mode (read-only, its
// override ignored), dyn (dynamically typed), joints.j1.limit and joints.name.
class Ros2Parameters : public ros2_test::Ros2Test {
 protected:
  void SetUp() override {
    Ros2Test::SetUp();
    arm_ = node("arm", "/robot", {{"speed", 1.5}, {"mode", "override"}});
    Descriptor range, read_only, dynamic;
    range.floating_point_range = {{0.0, 2.0, 0.5}};
    read_only.read_only = true;
    dynamic.dynamic_typing = true;
    arm_->declare_parameter("speed", 1.0, range);
    arm_->declare_parameter("mode", "auto", read_only, true);
    arm_->declare_parameter("dyn", 3, dynamic);
    arm_->declare_parameter("joints.j1.limit", 0.5);
    arm_->declare_parameter("joints.name", "j");
  }
  ros2::Node::SharedPtr node(const std::string& name, const std::string& ns,
                             const std::vector<Parameter>& overrides) {
    return std::make_shared<ros2::Node>(name, ns,
                                        ros2::NodeOptions().parameter_overrides(overrides));
  }

  ros2::Node::SharedPtr arm_;
};

TEST_F(Ros2Parameters, DeclaringSettingAndListingFollowRclcpp) {
  EXPECT_EQ(std::make_tuple(arm_->get_parameter("speed").as_double(),
                            arm_->get_parameter("mode").as_string(),
                            arm_->get_parameter("use_sim_time").as_bool()),
            std::make_tuple(1.5, "auto", false));
  Descriptor odd;
  odd.integer_range = {{0, 10, 5}};
  EXPECT_THROW(arm_->declare_parameter("speed", 0.0), std::invalid_argument);
  EXPECT_THROW(arm_->declare_parameter("unset", ros2::ParameterValue()), std::invalid_argument);
  EXPECT_THROW(arm_->declare_parameter("odd", 3, odd), std::invalid_argument);
  EXPECT_THROW(arm_->undeclare_parameter("mode"), std::invalid_argument);
  EXPECT_THROW(node("b", "/", {{"speed", "fast"}})->declare_parameter("speed", 1.0),
               std::invalid_argument);
  EXPECT_THROW(arm_->get_parameter("ghost"), ros2::ParameterNotDeclaredException);
  EXPECT_THROW(arm_->get_parameter("speed").as_int(), ros2::ParameterTypeException);

  auto refuse_high = arm_->add_on_set_parameters_callback([](const std::vector<Parameter>& ps) {
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
    const auto r = arm_->set_parameter(s.first);
    EXPECT_EQ(std::make_pair(r.successful, r.reason), std::make_pair(s.second.empty(), s.second));
  }
  EXPECT_FALSE(arm_->has_parameter("dyn"));
  EXPECT_FALSE(arm_->set_parameters_atomically({{"speed", 0.5}, {"mode", "x"}}).successful);
  EXPECT_EQ(arm_->get_parameter("speed").as_double(), 1.0);
  refuse_high.reset();
  EXPECT_TRUE(arm_->set_parameter({"speed", 2.0}).successful);

  // As in rclcpp, the depth below a prefix counts the dot after it.
  const std::tuple<Strings, uint64_t, Strings, Strings> lists[] = {
      {{},
       0,
       {"joints.j1.limit", "joints.name", "mode", "speed", "use_sim_time"},
       {"joints.j1", "joints"}},
      {{}, 1, {"mode", "speed", "use_sim_time"}, {}},
      {{"joints"}, 2, {"joints.name"}, {"joints"}},
      {{"speed", "joints.j1"}, 0, {"joints.j1.limit", "speed"}, {"joints.j1"}}};
  for (const auto& l : lists) {
    const auto r = arm_->list_parameters(std::get<0>(l), std::get<1>(l));
    EXPECT_EQ(std::make_pair(r.names, r.prefixes), std::make_pair(std::get<2>(l), std::get<3>(l)));
  }
}

}  // namespace

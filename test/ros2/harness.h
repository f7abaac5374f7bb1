#pragma once

// The payloads of test/data/ros2_wire_cases.txt, the sample of each message type (its case
// decoded), and a fixture on a private loopback domain that spins its nodes.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/rcl_interfaces.h"
#include "ros2/msg/rmw_dds_common.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/node.h"
#include "support/ros2_test_env.h"

using namespace std::chrono_literals;

namespace ros2_test {

using Bytes = std::vector<uint8_t>;

template <class T>
Bytes encode(const T& msg, Bytes out = {}) {
  return ros2::cdr::serialize(msg, out), out;
}

template <class T>
T decoded(const Bytes& payload, T msg = {}) {
  return ros2::cdr::deserialize(payload.data(), payload.size(), msg), msg;
}

inline Bytes hex(const std::string& text) {
  std::istringstream in(text);
  return Bytes(std::istream_iterator<unsigned>(in >> std::hex), {});
}

// The payload with ROS 2's trailing zero padding to a multiple of 4.
inline Bytes padded(Bytes b) { return b.resize((b.size() + 3) / 4 * 4, 0), b; }

// The cases of the data file, without the padding: a name line, then indented lines of hex.
inline const std::map<std::string, Bytes>& wire_cases() {
  static const std::map<std::string, Bytes> cases = [] {
    std::map<std::string, Bytes> out;
    std::ifstream in(ROS2_WIRE_CASES_FILE);
    std::string line, name;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      const Bytes more = hex(line);
      if (line[0] != ' ') name = line.substr(0, line.find(' '));
      out[name].insert(out[name].end(), more.begin(), line[0] == ' ' ? more.end() : more.begin());
    }
    return out;
  }();
  return cases;
}
inline const Bytes& wire(const std::string& name) { return wire_cases().at(name); }

template <class T>
constexpr T* type = nullptr;

// Calls visit(name, type<T>) for each T and the next of the names.
template <class... T, class Visit>
void visit_cases(Visit&& visit, const std::string& names) {
  std::istringstream in(names);
  std::string name;
  (visit((in >> name, name), type<T>), ...);
}

// Calls visit(name, sample) for every message case; names are valid topic names.
template <class Visit>
void for_each_wire_case(Visit&& visit) {
  using namespace std_msgs::msg;
  using namespace geometry_msgs::msg;
  using namespace trajectory_msgs::msg;
  using namespace rcl_interfaces::msg;
  using FJT = control_msgs::action::FollowJointTrajectory;
  visit_cases<Float64MultiArray, Int32MultiArray, Bool, String, sensor_msgs::msg::JointState, Pose,
              builtin_interfaces::msg::Time, builtin_interfaces::msg::Duration,
              unique_identifier_msgs::msg::UUID, std_msgs::msg::Header, MultiArrayDimension,
              MultiArrayLayout, String, Point, Quaternion, Vector3, Transform, Twist,
              JointTrajectoryPoint, JointTrajectory, MultiDOFJointTrajectoryPoint,
              MultiDOFJointTrajectory, control_msgs::msg::JointTolerance,
              control_msgs::msg::JointComponentTolerance, FJT::Goal, FJT::Result, FJT::Feedback,
              FJT::Impl::FeedbackMessage, action_msgs::msg::GoalStatusArray,
              action_msgs::msg::GoalInfo, Log, ParameterValue, ParameterDescriptor, ParameterEvent,
              rmw_dds_common::msg::ParticipantEntitiesInfo>(
      [&](const std::string& name, auto* t) {
        visit(name, decoded<std::remove_pointer_t<decltype(t)>>(wire(name)));
      },
      "float64_multi_array int32_multi_array bool string joint_state pose time duration uuid "
      "header dimension layout empty_string point quaternion vector3 transform twist "
      "joint_trajectory_point joint_trajectory multi_dof_point multi_dof_trajectory "
      "joint_tolerance component_tolerance fjt_goal fjt_result fjt_feedback "
      "fjt_feedback_message goal_status_array goal_info log parameter_value "
      "parameter_descriptor parameter_event participant_entities_info");
}

inline void init(std::vector<const char*> ros_args = {}) {
  use_private_loopback_domain();
  ros_args.insert(ros_args.begin(), {"test", "--ros-args"});
  ros2::init(static_cast<int>(ros_args.size()), ros_args.data());
}

class Ros2Test : public ::testing::Test {
 protected:
  void SetUp() override { init(); }
  void TearDown() override { ros2::shutdown(); }

  ros2::Node::SharedPtr node(const std::string& name, const std::string& ns = "") {
    auto n = std::make_shared<ros2::Node>(name, ns);
    exec_.add_node(n);
    return n;
  }
  template <class Pred>
  bool spin_until(Pred pred, std::chrono::milliseconds deadline = 10s) {
    return wait_until([&] { return exec_.spin_once(10ms), pred(); }, deadline);
  }
  // The value of a future; a default value after a failure.
  template <class T>
  T wait(const std::shared_future<T>& f) {
    const bool done = exec_.spin_until_future_complete(f, 10s) == ros2::FutureReturnCode::SUCCESS;
    EXPECT_TRUE(done);
    return done ? f.get() : T{};
  }

  ros2::Executor exec_;
};

}  // namespace ros2_test

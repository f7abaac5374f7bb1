// The peer of process_test.cpp: echoes <case>_in on <case>_out, serves follow_joint_trajectory
// (rejects goals without points, others succeed), has the read-only parameter robot_model and
// publishes on chatter. Prints READY, spins, exits with 0 once spin() returned.

#include <cstdio>

#include "harness.h"
#include "ros2/action.h"

using namespace ros2::action;
using FJT = control_msgs::action::FollowJointTrajectory;

int main(int argc, char** argv) {
  ros2::init(argc, argv);
  auto node = std::make_shared<ros2::Node>("talker", "/robot");
  std::vector<std::shared_ptr<void>> keep;
  ros2_test::for_each_wire_case([&](const std::string& name, const auto& msg) {
    using T = std::decay_t<decltype(msg)>;
    auto pub = node->create_publisher<T>(name + "_out", ros2::QoS(10).transient_local());
    keep.push_back(pub);
    keep.push_back(node->create_subscription<T>(name + "_in", ros2::QoS(10).transient_local(),
                                                [pub](const T& m) { pub->publish(m); }));
  });
  keep.push_back(create_server<FJT>(
      node, "follow_joint_trajectory",
      [](const GoalUUID&, std::shared_ptr<const FJT::Goal> goal) {
        return goal->trajectory.points.empty() ? GoalResponse::REJECT
                                               : GoalResponse::ACCEPT_AND_EXECUTE;
      },
      [](auto) { return CancelResponse::REJECT; },
      [](auto h) {
        h->succeed(std::make_shared<FJT::Result>(FJT::Result{0, "reached"}));
      }));
  rcl_interfaces::msg::ParameterDescriptor read_only;
  read_only.read_only = true;
  node->declare_parameter("robot_model", "v5", read_only);
  keep.push_back(node->create_publisher<std_msgs::msg::String>("chatter", 10));
  std::puts("READY");
  std::fflush(stdout);
  ros2::spin(node);
  ros2::shutdown();
  return 0;
}

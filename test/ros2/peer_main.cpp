// A second process for the cross-process tests. Modes:
//   echo     republish every wire case received on <name>_in on <name>_out
//   action   serve follow_joint_trajectory: goals without points are rejected, goals with more
//            than one succeed at once, cancel requests are accepted and end the goal
//   graph    node /robot/talker with a publisher on chatter, a subscription on cmd, a read-only
//            parameter robot_model ("v5"), an info line and the warning "talker up"
// Prints "READY" once its entities exist, spins until SIGINT/SIGTERM, then prints
// "CLEAN_EXIT" and exits with status 0.

#include <cstdio>
#include <string>
#include <vector>

#include "ros2/action.h"
#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/node.h"
#include "wire_cases.h"

namespace {

using FJT = control_msgs::action::FollowJointTrajectory;
using Handle = ros2::action::ServerGoalHandle<FJT>;

}  // namespace

int main(int argc, char** argv) {
  ros2::init(argc, argv);
  const auto args = ros2::remove_ros_arguments(argc, argv);
  const std::string mode = args.size() > 1 ? args[1] : "echo";

  ros2::Node::SharedPtr node;
  std::vector<std::shared_ptr<void>> keep;
  std::vector<std::shared_ptr<Handle>> running;
  if (mode == "echo") {
    node = std::make_shared<ros2::Node>("echo_peer");
    ros2_test::for_each_wire_case([&](const std::string& name, const auto& msg) {
      using T = std::decay_t<decltype(msg)>;
      auto pub = node->create_publisher<T>(name + "_out", 10);
      keep.push_back(pub);
      keep.push_back(
          node->create_subscription<T>(name + "_in", 10, [pub](const T& m) { pub->publish(m); }));
    });
  } else if (mode == "action") {
    node = std::make_shared<ros2::Node>("action_peer");
    keep.push_back(ros2::action::create_server<FJT>(
        node, "follow_joint_trajectory",
        [](const ros2::action::GoalUUID&, std::shared_ptr<const FJT::Goal> goal) {
          return goal->trajectory.points.empty() ? ros2::action::GoalResponse::REJECT
                                                 : ros2::action::GoalResponse::ACCEPT_AND_EXECUTE;
        },
        [](std::shared_ptr<Handle>) { return ros2::action::CancelResponse::ACCEPT; },
        [&running](std::shared_ptr<Handle> h) {
          if (h->get_goal()->trajectory.points.size() < 2) {
            running.push_back(h);
          } else {
            h->succeed(std::make_shared<FJT::Result>(FJT::Result{0, "reached"}));
          }
        }));
    // Goals of one point run until they are canceled.
    keep.push_back(node->create_wall_timer(std::chrono::milliseconds(20), [&running] {
      for (auto& h : running) {
        if (h->is_canceling()) h->canceled(std::make_shared<FJT::Result>());
      }
    }));
  } else if (mode == "graph") {
    node = std::make_shared<ros2::Node>("talker", "/robot");
    keep.push_back(node->create_publisher<std_msgs::msg::String>("chatter", 10));
    keep.push_back(node->create_subscription<std_msgs::msg::String>(
        "cmd", 10, [](const std_msgs::msg::String&) {}));
    rcl_interfaces::msg::ParameterDescriptor read_only;
    read_only.read_only = true;
    node->declare_parameter("robot_model", "v5", read_only);
    ROS2_INFO(node->get_logger(), "below a warn level");
    ROS2_WARN(node->get_logger(), "talker up");
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
  }
  std::printf("READY\n");
  std::fflush(stdout);
  ros2::spin(node);
  std::printf("CLEAN_EXIT\n");
  std::fflush(stdout);
  ros2::shutdown();
  return 0;
}

// A second process for the cross-process tests. Modes:
//   echo     republish every message received on <type>_in on <type>_out
//   action   serve follow_joint_trajectory: goals with points succeed after feedback, goals
//            without points are rejected, cancel requests are accepted and end the goal
//   graph    node /robot/talker with a publisher on chatter and a subscription on cmd
// Prints "READY" once its entities exist, spins until SIGINT/SIGTERM, then prints
// "CLEAN_EXIT" and exits with status 0.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ros2/action.h"
#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/msg/trajectory_msgs.h"
#include "ros2/node.h"

namespace {

using FJT = control_msgs::action::FollowJointTrajectory;

struct Echo {
  std::vector<std::shared_ptr<void>> keep;

  template <class T>
  void add(ros2::Node& node, const std::string& name) {
    auto pub = node.create_publisher<T>(name + "_out", 10);
    auto sub =
        node.create_subscription<T>(name + "_in", 10, [pub](const T& m) { pub->publish(m); });
    keep.push_back(pub);
    keep.push_back(sub);
  }
};

}  // namespace

int main(int argc, char** argv) {
  ros2::init(argc, argv);
  const auto args = ros2::remove_ros_arguments(argc, argv);
  const std::string mode = args.size() > 1 ? args[1] : "echo";

  ros2::Node::SharedPtr node;
  Echo echo;
  ros2::action::Server<FJT>::SharedPtr server;
  std::vector<ros2::action::ServerGoalHandle<FJT>::SharedPtr> running;
  ros2::TimerBase::SharedPtr timer;
  ros2::Publisher<std_msgs::msg::String>::SharedPtr chatter;
  ros2::Subscription<std_msgs::msg::String>::SharedPtr cmd;

  if (mode == "echo") {
    node = std::make_shared<ros2::Node>("echo_peer");
    echo.add<std_msgs::msg::String>(*node, "string");
    echo.add<std_msgs::msg::Bool>(*node, "bool");
    echo.add<std_msgs::msg::Float64MultiArray>(*node, "f64");
    echo.add<std_msgs::msg::Int32MultiArray>(*node, "i32");
    echo.add<sensor_msgs::msg::JointState>(*node, "joint_state");
    echo.add<geometry_msgs::msg::Pose>(*node, "pose");
    echo.add<geometry_msgs::msg::Twist>(*node, "twist");
    echo.add<trajectory_msgs::msg::JointTrajectory>(*node, "joint_trajectory");
    echo.add<trajectory_msgs::msg::MultiDOFJointTrajectory>(*node, "multi_dof");
  } else if (mode == "action") {
    node = std::make_shared<ros2::Node>("action_peer");
    server = ros2::action::create_server<FJT>(
        node, "follow_joint_trajectory",
        [](const ros2::action::GoalUUID&, std::shared_ptr<const FJT::Goal> goal) {
          return goal->trajectory.points.empty() ? ros2::action::GoalResponse::REJECT
                                                 : ros2::action::GoalResponse::ACCEPT_AND_EXECUTE;
        },
        [](std::shared_ptr<ros2::action::ServerGoalHandle<FJT>>) {
          return ros2::action::CancelResponse::ACCEPT;
        },
        [&running](std::shared_ptr<ros2::action::ServerGoalHandle<FJT>> h) {
          running.push_back(h);
        });
    // Each period: canceling goals end as canceled; others get feedback, and goals with more
    // than one point succeed after their second period.
    timer = node->create_wall_timer(std::chrono::milliseconds(20), [&running] {
      std::vector<ros2::action::ServerGoalHandle<FJT>::SharedPtr> still;
      for (auto& h : running) {
        if (h->is_canceling()) {
          h->canceled(std::make_shared<FJT::Result>());
          continue;
        }
        auto fb = std::make_shared<FJT::Feedback>();
        fb->joint_names = h->get_goal()->trajectory.joint_names;
        h->publish_feedback(fb);
        if (h->get_goal()->trajectory.points.size() > 1) {
          auto r = std::make_shared<FJT::Result>();
          r->error_string = "reached";
          h->succeed(r);
          continue;
        }
        still.push_back(h);
      }
      running = still;
    });
  } else if (mode == "graph") {
    node = std::make_shared<ros2::Node>("talker", "/robot");
    chatter = node->create_publisher<std_msgs::msg::String>("chatter", 10);
    cmd = node->create_subscription<std_msgs::msg::String>("cmd", 10,
                                                           [](const std_msgs::msg::String&) {});
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

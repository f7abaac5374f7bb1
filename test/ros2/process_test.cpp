// Two processes on the loopback interface: every message type, the action protocol, graph
// information on ros_discovery_info with command-line remapping, log lines and parameters, and
// shut-down on SIGINT and SIGTERM (the peer exits with status 0 only after spin() returned). The
// other process is ros2_test_peer (peer_main.cpp).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "ros2/action.h"
#include "ros2/parameter_client.h"
#include "support/child_process.h"

namespace {

using namespace std::chrono_literals;
using FJT = control_msgs::action::FollowJointTrajectory;
using ros2::action::ResultCode;
using Status = action_msgs::msg::GoalStatus;

// The peer process; ready() once it printed READY, stop(sig) gives its exit status.
class Peer : public test_support::ChildProcess {
 public:
  explicit Peer(std::vector<std::string> args) : ChildProcess(with_program(std::move(args))) {}
  bool ready() {
    return ros2_test::wait_until([&] { return printed("READY"); }, 5000ms);
  }
  int stop(int sig) {
    signal(sig);
    return waitForExit(5000ms);
  }

 private:
  static std::vector<std::string> with_program(std::vector<std::string> args) {
    args.insert(args.begin(), ROS2_TEST_PEER);
    return args;
  }
};

class Ros2Processes : public ::testing::Test {
 protected:
  void SetUp() override {
    ros2_test::init();
    node_ = std::make_shared<ros2::Node>("tester");
    exec_.add_node(node_);
  }
  void TearDown() override { ros2::shutdown(); }

  template <class T>
  T wait(const std::shared_future<T>& f) {
    return ros2_test::wait(exec_, f);
  }

  ros2::Executor exec_;
  ros2::Node::SharedPtr node_;
};

TEST_F(Ros2Processes, EveryMessageTypeMakesTheRoundTripUnchanged) {
  Peer peer({"echo"});
  ASSERT_TRUE(peer.ready());
  ros2_test::expect_every_wire_case_arrives(*node_, *node_, exec_, "_in", "_out");
  EXPECT_EQ(peer.stop(SIGINT), 0);
}

TEST_F(Ros2Processes, GoalsSucceedAreRejectedAndCanceledAndALateNodeSeesTheirStatus) {
  Peer peer({"action"});
  ASSERT_TRUE(peer.ready());
  auto client = ros2::action::create_client<FJT>(node_, "follow_joint_trajectory");
  ASSERT_TRUE(client->wait_for_action_server(5s));

  FJT::Goal goal;
  goal.trajectory.joint_names = {"joint1"};
  goal.trajectory.points.resize(4);
  auto handle = wait(client->async_send_goal(goal));
  ASSERT_NE(handle, nullptr);
  const auto reached = wait(client->async_get_result(handle));
  EXPECT_EQ(reached.code, ResultCode::SUCCEEDED);
  EXPECT_EQ(reached.result->error_string, "reached");

  EXPECT_EQ(wait(client->async_send_goal(FJT::Goal{})), nullptr);

  goal.trajectory.points.resize(1);
  auto long_goal = wait(client->async_send_goal(goal));
  ASSERT_NE(long_goal, nullptr);
  EXPECT_EQ(wait(client->async_cancel_goal(long_goal))->return_code,
            action_msgs::srv::CancelGoal_Response::ERROR_NONE);
  EXPECT_EQ(wait(client->async_get_result(long_goal)).code, ResultCode::CANCELED);

  auto late = std::make_shared<ros2::Node>("late");
  exec_.add_node(late);
  std::vector<int8_t> seen;
  auto sub = late->create_subscription<action_msgs::msg::GoalStatusArray>(
      "/follow_joint_trajectory/_action/status", ros2::QoS(1).transient_local(),
      [&](const action_msgs::msg::GoalStatusArray& m) {
        seen.clear();
        for (const auto& s : m.status_list) seen.push_back(s.status);
      });
  EXPECT_TRUE(ros2_test::spin_until(exec_, [&] { return seen.size() == 2; }));
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<int8_t>{Status::STATUS_SUCCEEDED, Status::STATUS_CANCELED}));
  EXPECT_EQ(peer.stop(SIGTERM), 0);
}

// The peer with its namespace and a topic remapped on its command line: graph information on
// ros_discovery_info, its log line (at the level set) and its parameters over the services.
TEST_F(Ros2Processes, DiscoveryInfoLogLinesAndParametersOfARemappedPeer) {
  Peer peer(
      {"graph", "--ros-args", "-r", "__ns:=/moved", "-r", "chatter:=news", "--log-level", "warn"});
  ASSERT_TRUE(peer.ready());
  std::vector<rcl_interfaces::msg::Log> lines;
  auto rosout = node_->create_subscription<rcl_interfaces::msg::Log>(
      "/rosout", ros2::QoS(1000).transient_local(),
      [&](const rcl_interfaces::msg::Log& m) { lines.push_back(m); });
  // What graph tools read: the participant's entities, republished transient-local.
  rmw_dds_common::msg::ParticipantEntitiesInfo peer_info;
  auto info_sub = node_->create_subscription<rmw_dds_common::msg::ParticipantEntitiesInfo>(
      "ros_discovery_info",
      ros2::QoS(ros2::KeepAll()).transient_local().avoid_ros_namespace_conventions(true),
      [&](const rmw_dds_common::msg::ParticipantEntitiesInfo& m) {
        for (const auto& n : m.node_entities_info_seq) {
          if (n.node_name == "talker") peer_info = m;
        }
      });
  // Endpoints on the peer's topics, to learn the peer's writer and reader GUIDs.
  auto chatter = node_->create_subscription<std_msgs::msg::String>(
      "/moved/news", 10, [](const std_msgs::msg::String&) {});
  auto cmd = node_->create_publisher<std_msgs::msg::String>("/moved/cmd", 10);
  ASSERT_TRUE(ros2_test::spin_until(exec_, [&] {
    return !peer_info.node_entities_info_seq.empty() && chatter->get_publisher_count() > 0 &&
           cmd->get_subscription_count() > 0 && !lines.empty();
  }));
  ASSERT_EQ(peer_info.node_entities_info_seq.size(), 1u);
  const auto& n = peer_info.node_entities_info_seq[0];
  EXPECT_EQ(n.node_namespace, "/moved");
  // The gid of a DDS GUID: its 16 bytes, then 8 zero bytes.
  const auto listed = [](const auto& gids, const dds_guid_t& guid) {
    rmw_dds_common::msg::Gid gid;
    std::memcpy(gid.data.data(), guid.v, 16);
    return std::count_if(gids.begin(), gids.end(),
                         [&](const auto& g) { return g.data == gid.data; }) == 1;
  };
  dds_instance_handle_t handle = 0;
  ASSERT_EQ(dds_get_matched_publications(chatter->dds_reader(), &handle, 1), 1);
  dds_builtintopic_endpoint_t* w = dds_get_matched_publication_data(chatter->dds_reader(), handle);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(listed(n.writer_gid_seq, w->key));
  EXPECT_EQ(std::memcmp(w->participant_key.v, peer_info.gid.data.data(), 16), 0);
  EXPECT_EQ(std::string(w->topic_name), "rt/moved/news");
  EXPECT_EQ(std::string(w->type_name), "std_msgs::msg::dds_::String_");
  dds_builtintopic_free_endpoint(w);
  ASSERT_EQ(dds_get_matched_subscriptions(cmd->dds_writer(), &handle, 1), 1);
  dds_builtintopic_endpoint_t* r = dds_get_matched_subscription_data(cmd->dds_writer(), handle);
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(listed(n.reader_gid_seq, r->key));
  dds_builtintopic_free_endpoint(r);

  ASSERT_EQ(lines.size(), 1u);  // the info line is below the level
  EXPECT_EQ(std::make_tuple(lines[0].name, lines[0].msg, lines[0].level, lines[0].function),
            std::make_tuple("moved.talker", "talker up", rcl_interfaces::msg::Log::WARN, "main"));
  EXPECT_NE(lines[0].file.find("peer_main.cpp"), std::string::npos);
  ros2::AsyncParametersClient params(node_, "/moved/talker");
  ASSERT_TRUE(params.wait_for_service(5s));
  EXPECT_EQ(wait(params.list_parameters({}, 0)).names,
            (std::vector<std::string>{"robot_model", "use_sim_time"}));
  const auto values = wait(params.get_parameters({"robot_model"}));
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].as_string(), "v5");
  const auto refused = wait(params.set_parameters({{"robot_model", "v6"}}));
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_FALSE(refused[0].successful);
  EXPECT_EQ(peer.stop(SIGINT), 0);
}

}  // namespace

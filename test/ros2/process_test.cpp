// One walk with a second process (peer_main.cpp), its namespace and a topic remapped.

#include <algorithm>
#include <cstring>

#include "harness.h"
#include "ros2/action.h"
#include "ros2/parameter_client.h"
#include "support/child_process.h"

namespace {

using FJT = control_msgs::action::FollowJointTrajectory;
using ros2::action::ResultCode;
using Ros2Processes = ros2_test::Ros2Test;
using Strings = std::vector<std::string>;

TEST_F(Ros2Processes, APeerProcessSpeaksOurWireLanguage) {
  auto tester = node("tester", "/moved");
  test_support::ChildProcess peer(
      {ROS2_TEST_PEER, "--ros-args", "-r", "__ns:=/moved", "-r", "chatter:=news"});
  ASSERT_TRUE(ros2_test::wait_until([&] { return peer.printed("READY"); }, 20s)) << peer.output();
  // Transient-local on both sides: a sample is not lost to a match one side has not seen yet.
  std::map<std::string, ros2_test::Bytes> got;
  std::vector<std::shared_ptr<void>> keep;
  ros2_test::for_each_wire_case([&](const std::string& name, const auto& msg) {
    using T = std::decay_t<decltype(msg)>;
    const auto qos = ros2::QoS(10).transient_local();
    keep.push_back(tester->create_subscription<T>(
        name + "_out", qos, [&got, name](const T& m) { got[name] = ros2_test::encode(m); }));
    auto pub = tester->create_publisher<T>(name + "_in", qos);
    pub->publish(msg);
    keep.push_back(pub);
  });
  EXPECT_TRUE(spin_until([&] { return got.size() == keep.size() / 2; }, 60s));
  for (const auto& g : got)
    EXPECT_EQ(g.second, ros2_test::padded(ros2_test::wire(g.first))) << g.first;

  auto client = ros2::action::create_client<FJT>(tester, "follow_joint_trajectory");
  ASSERT_TRUE(client->wait_for_action_server(20s));
  FJT::Goal goal;
  goal.trajectory.points.resize(4);
  ASSERT_EQ(wait(client->async_send_goal(FJT::Goal{})), nullptr);
  const auto handle = wait(client->async_send_goal(goal));
  ASSERT_NE(handle, nullptr);
  const auto reached = wait(client->async_get_result(handle));
  EXPECT_EQ(std::make_pair(reached.code, reached.result->error_string),
            std::make_pair(ResultCode::SUCCEEDED, std::string("reached")));

  ros2::AsyncParametersClient params(tester, "/moved/talker");
  ASSERT_TRUE(params.wait_for_service(20s));
  EXPECT_EQ(wait(params.list_parameters({}, 0)).names, (Strings{"robot_model", "use_sim_time"}));
  EXPECT_EQ(wait(params.get_parameters({"robot_model"})).at(0).as_string(), "v5");
  EXPECT_EQ(wait(params.get_parameter_types({"ghost"})).at(0), ros2::PARAMETER_NOT_SET);
  EXPECT_TRUE(wait(params.describe_parameters({"robot_model"})).at(0).read_only);
  EXPECT_EQ(wait(params.set_parameters({{"robot_model", "v6"}})).at(0).reason,
            "parameter 'robot_model' cannot be set because it is read-only");
  EXPECT_FALSE(wait(params.set_parameters_atomically({{"robot_model", "v6"}})).successful);

  using Info = rmw_dds_common::msg::ParticipantEntitiesInfo;
  Info info;
  auto info_sub = tester->create_subscription<Info>(
      "ros_discovery_info",
      ros2::QoS(ros2::KeepAll()).transient_local().avoid_ros_namespace_conventions(true),
      [&](const Info& m) {
        const auto& nodes = m.node_entities_info_seq;
        if (nodes.size() == 1 && nodes[0].node_name == "talker") info = m;
      });
  auto chatter = tester->create_subscription<std_msgs::msg::String>("news", 10, [](auto) {});
  ASSERT_TRUE(spin_until(
      [&] { return !info.node_entities_info_seq.empty() && chatter->get_publisher_count() > 0; }));
  const auto& n = info.node_entities_info_seq[0];
  // Its writer as discovery shows it; a gid is the 16 bytes of a DDS GUID, then 8 zeros.
  dds_instance_handle_t h = 0;
  ASSERT_EQ(dds_get_matched_publications(chatter->dds_reader(), &h, 1), 1);
  dds_builtintopic_endpoint_t* w = dds_get_matched_publication_data(chatter->dds_reader(), h);
  std::array<uint8_t, 24> writer{}, participant{};
  std::memcpy(writer.data(), w->key.v, 16);
  std::memcpy(participant.data(), w->participant_key.v, 16);
  dds_builtintopic_free_endpoint(w);
  const auto listed = std::count_if(n.writer_gid_seq.begin(), n.writer_gid_seq.end(),
                                    [&](const auto& g) { return g.data == writer; });
  EXPECT_EQ(std::make_tuple(n.node_namespace, listed, info.gid.data),
            std::make_tuple("/moved", 1, participant));
  peer.signal(SIGINT);
  EXPECT_EQ(peer.waitForExit(10s), 0) << peer.output();
}

}  // namespace

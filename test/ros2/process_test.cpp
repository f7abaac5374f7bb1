// Two processes on the loopback interface: topics of every kind, the action protocol, graph
// information on ros_discovery_info and shut-down on SIGINT. The other process is
// ros2_test_peer (peer_main.cpp).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "ros2/action.h"
#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/rmw_dds_common.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/msg/trajectory_msgs.h"
#include "support/ros2_test_env.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using FJT = control_msgs::action::FollowJointTrajectory;

// The peer process with its standard output on a pipe.
class Peer {
 public:
  explicit Peer(const std::string& mode, std::vector<std::string> extra = {}) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    const std::string path = ROS2_TEST_PEER;
    std::vector<char*> argv = {const_cast<char*>(path.c_str()), const_cast<char*>(mode.c_str())};
    for (auto& e : extra) argv.push_back(e.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, path.c_str(), &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    out_ = fds[0];
    fcntl(out_, F_SETFL, O_NONBLOCK);
  }

  ~Peer() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
  }

  // Waits until the peer has printed text.
  bool wait_for(const std::string& text, std::chrono::milliseconds deadline = 5000ms) {
    return ros2_test::wait_until(
        [&] {
          char buf[256];
          ssize_t n;
          while ((n = read(out_, buf, sizeof(buf))) > 0)
            output_.append(buf, static_cast<size_t>(n));
          return output_.find(text) != std::string::npos;
        },
        deadline);
  }

  // Sends a signal and waits for the exit status (-1 when the peer did not end in time).
  int stop(int sig) {
    kill(pid_, sig);
    int status = 0;
    const bool ended =
        ros2_test::wait_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 5000ms);
    if (!ended) return -1;
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = 0;
  int out_ = -1;
  std::string output_;
};

class Ros2Processes : public ::testing::Test {
 protected:
  void SetUp() override {
    ros2_test::use_private_loopback_domain();
    const char* argv[] = {"test"};
    ros2::init(1, argv);
    node_ = std::make_shared<ros2::Node>("tester");
    exec_.add_node(node_);
  }
  void TearDown() override { ros2::shutdown(); }

  template <class Pred>
  bool spin_until(Pred pred, std::chrono::milliseconds deadline = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!pred()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      exec_.spin_once(10ms);
    }
    return true;
  }

  template <class T>
  void expect_echo(const std::string& name, const T& msg) {
    std::vector<uint8_t> want, got;
    ros2::cdr::serialize(msg, want);
    auto sub = node_->create_subscription<T>(name + "_out", 10,
                                             [&](const T& m) { ros2::cdr::serialize(m, got); });
    auto pub = node_->create_publisher<T>(name + "_in", 10);
    ASSERT_TRUE(ros2_test::wait_until(
        [&] { return pub->get_subscription_count() > 0 && sub->get_publisher_count() > 0; },
        5000ms))
        << name;
    pub->publish(msg);
    EXPECT_TRUE(spin_until([&] { return !got.empty(); })) << name;
    EXPECT_EQ(got, want) << name;
  }

  ros2::Executor exec_;
  ros2::Node::SharedPtr node_;
};

TEST_F(Ros2Processes, TopicsOfEveryKindMakeTheRoundTrip) {
  Peer peer("echo");
  ASSERT_TRUE(peer.wait_for("READY"));
  std_msgs::msg::String s;
  s.data = "across";
  expect_echo("string", s);
  std_msgs::msg::Bool b;
  b.data = true;
  expect_echo("bool", b);
  std_msgs::msg::Float64MultiArray f;
  f.layout.dim = {{"values", 5, 5}};
  f.data = {1, 2, 3, 4, 5};
  expect_echo("f64", f);
  std_msgs::msg::Int32MultiArray i;
  i.data = {1, -2};
  expect_echo("i32", i);
  sensor_msgs::msg::JointState js;
  js.header.frame_id = "base_link";
  js.name = {"joint1", "joint2"};
  js.position = {0.1, 0.2};
  expect_echo("joint_state", js);
  geometry_msgs::msg::Pose pose;
  pose.orientation.w = 0.5;
  expect_echo("pose", pose);
  geometry_msgs::msg::Twist tw;
  tw.angular.y = 1;
  expect_echo("twist", tw);
  trajectory_msgs::msg::JointTrajectory jt;
  jt.points.resize(3);
  jt.points[2].effort = {1};
  expect_echo("joint_trajectory", jt);
  trajectory_msgs::msg::MultiDOFJointTrajectory mt;
  mt.joint_names = {"base"};
  expect_echo("multi_dof", mt);
  EXPECT_EQ(peer.stop(SIGINT), 0);
}

TEST_F(Ros2Processes, ActionGoalsSucceedAreRejectedAndCanceled) {
  Peer peer("action");
  ASSERT_TRUE(peer.wait_for("READY"));
  auto client = ros2::action::create_client<FJT>(node_, "follow_joint_trajectory");
  ASSERT_TRUE(client->wait_for_action_server(5s));

  FJT::Goal goal;
  goal.trajectory.joint_names = {"joint1"};
  goal.trajectory.points.resize(4);
  int feedback = 0;
  ros2::action::Client<FJT>::SendGoalOptions options;
  options.feedback_callback = [&](auto, auto f) { feedback += f->joint_names.size() == 1; };
  auto handle_future = client->async_send_goal(goal, options);
  ASSERT_EQ(exec_.spin_until_future_complete(handle_future, 5s), ros2::FutureReturnCode::SUCCESS);
  auto handle = handle_future.get();
  ASSERT_NE(handle, nullptr);
  auto result = client->async_get_result(handle);
  ASSERT_EQ(exec_.spin_until_future_complete(result, 5s), ros2::FutureReturnCode::SUCCESS);
  EXPECT_EQ(result.get().code, ros2::action::ResultCode::SUCCEEDED);
  EXPECT_EQ(result.get().result->error_string, "reached");

  FJT::Goal empty;
  auto rejected = client->async_send_goal(empty);
  ASSERT_EQ(exec_.spin_until_future_complete(rejected, 5s), ros2::FutureReturnCode::SUCCESS);
  EXPECT_EQ(rejected.get(), nullptr);

  FJT::Goal long_goal;
  long_goal.trajectory.points.resize(1);
  auto lh = client->async_send_goal(long_goal);
  ASSERT_EQ(exec_.spin_until_future_complete(lh, 5s), ros2::FutureReturnCode::SUCCESS);
  ASSERT_NE(lh.get(), nullptr);
  auto cancel = client->async_cancel_goal(lh.get());
  ASSERT_EQ(exec_.spin_until_future_complete(cancel, 5s), ros2::FutureReturnCode::SUCCESS);
  EXPECT_EQ(cancel.get()->return_code, action_msgs::srv::CancelGoal_Response::ERROR_NONE);
  auto canceled = client->async_get_result(lh.get());
  ASSERT_EQ(exec_.spin_until_future_complete(canceled, 5s), ros2::FutureReturnCode::SUCCESS);
  EXPECT_EQ(canceled.get().code, ros2::action::ResultCode::CANCELED);
  EXPECT_EQ(peer.stop(SIGINT), 0);
}

TEST_F(Ros2Processes, LateClientGetsTheStatusOfFinishedGoals) {
  Peer peer("action");
  ASSERT_TRUE(peer.wait_for("READY"));
  {
    auto first = ros2::action::create_client<FJT>(node_, "follow_joint_trajectory");
    ASSERT_TRUE(first->wait_for_action_server(5s));
    FJT::Goal goal;
    goal.trajectory.points.resize(2);
    auto h = first->async_send_goal(goal);
    ASSERT_EQ(exec_.spin_until_future_complete(h, 5s), ros2::FutureReturnCode::SUCCESS);
    auto r = first->async_get_result(h.get());
    ASSERT_EQ(exec_.spin_until_future_complete(r, 5s), ros2::FutureReturnCode::SUCCESS);
  }
  auto late = std::make_shared<ros2::Node>("late");
  exec_.add_node(late);
  action_msgs::msg::GoalStatusArray seen;
  auto sub = late->create_subscription<action_msgs::msg::GoalStatusArray>(
      "/follow_joint_trajectory/_action/status", ros2::QoS(1).transient_local(),
      [&](const action_msgs::msg::GoalStatusArray& m) { seen = m; });
  EXPECT_TRUE(spin_until([&] { return !seen.status_list.empty(); }));
  ASSERT_EQ(seen.status_list.size(), 1u);
  EXPECT_EQ(seen.status_list[0].status, action_msgs::msg::GoalStatus::STATUS_SUCCEEDED);
  EXPECT_EQ(peer.stop(SIGTERM), 0);
}

TEST_F(Ros2Processes, DiscoveryInfoNamesThePeersNodeAndEndpoints) {
  Peer peer("graph");
  ASSERT_TRUE(peer.wait_for("READY"));
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
      "/robot/chatter", 10, [](const std_msgs::msg::String&) {});
  auto cmd = node_->create_publisher<std_msgs::msg::String>("/robot/cmd", 10);
  ASSERT_TRUE(spin_until([&] {
    return !peer_info.node_entities_info_seq.empty() && chatter->get_publisher_count() > 0 &&
           cmd->get_subscription_count() > 0;
  }));
  ASSERT_EQ(peer_info.node_entities_info_seq.size(), 1u);
  const auto& n = peer_info.node_entities_info_seq[0];
  EXPECT_EQ(n.node_namespace, "/robot");
  ASSERT_EQ(n.writer_gid_seq.size(), 1u);
  ASSERT_EQ(n.reader_gid_seq.size(), 1u);

  dds_instance_handle_t handle = 0;
  ASSERT_EQ(dds_get_matched_publications(chatter->dds_reader(), &handle, 1), 1);
  dds_builtintopic_endpoint_t* w = dds_get_matched_publication_data(chatter->dds_reader(), handle);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(std::memcmp(w->key.v, n.writer_gid_seq[0].data.data(), 16), 0);
  EXPECT_EQ(std::memcmp(w->participant_key.v, peer_info.gid.data.data(), 16), 0);
  EXPECT_EQ(std::string(w->topic_name), "rt/robot/chatter");
  EXPECT_EQ(std::string(w->type_name), "std_msgs::msg::dds_::String_");
  dds_builtintopic_free_endpoint(w);
  for (int i = 16; i < 24; ++i) EXPECT_EQ(n.writer_gid_seq[0].data[static_cast<size_t>(i)], 0);

  ASSERT_EQ(dds_get_matched_subscriptions(cmd->dds_writer(), &handle, 1), 1);
  dds_builtintopic_endpoint_t* r = dds_get_matched_subscription_data(cmd->dds_writer(), handle);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(std::memcmp(r->key.v, n.reader_gid_seq[0].data.data(), 16), 0);
  dds_builtintopic_free_endpoint(r);
  EXPECT_EQ(peer.stop(SIGINT), 0);
}

TEST_F(Ros2Processes, CommandLineRemapsMoveThePeersNodeAndTopics) {
  Peer peer("graph",
            {"--ros-args", "-r", "__ns:=/moved", "-r", "chatter:=news", "--log-level", "warn"});
  ASSERT_TRUE(peer.wait_for("READY"));
  std::string ns;
  auto info_sub = node_->create_subscription<rmw_dds_common::msg::ParticipantEntitiesInfo>(
      "ros_discovery_info",
      ros2::QoS(ros2::KeepAll()).transient_local().avoid_ros_namespace_conventions(true),
      [&](const rmw_dds_common::msg::ParticipantEntitiesInfo& m) {
        for (const auto& n : m.node_entities_info_seq) {
          if (n.node_name == "talker") ns = n.node_namespace;
        }
      });
  auto news = node_->create_subscription<std_msgs::msg::String>(
      "/moved/news", 10, [](const std_msgs::msg::String&) {});
  EXPECT_TRUE(spin_until([&] { return ns == "/moved" && news->get_publisher_count() > 0; }));
  EXPECT_EQ(peer.stop(SIGINT), 0);
}

TEST_F(Ros2Processes, SigintEndsSpinningAndTheProcessExitsCleanly) {
  Peer peer("graph");
  ASSERT_TRUE(peer.wait_for("READY"));
  EXPECT_EQ(peer.stop(SIGINT), 0);
  EXPECT_TRUE(peer.wait_for("CLEAN_EXIT", 100ms));
  Peer second("echo");
  ASSERT_TRUE(second.wait_for("READY"));
  EXPECT_EQ(second.stop(SIGTERM), 0);
}

}  // namespace

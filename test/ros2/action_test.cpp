// The FollowJointTrajectory action between a server node and a client node of one process:
// accept, reject, feedback, succeed, abort, cancel with its return codes, results asked for
// after the end and by late clients, status publication, deferred goals and bad requests.

#include "ros2/action.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "control_msgs/action/follow_joint_trajectory.hpp"
#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/serdata.h"
#include "std_msgs/msg/float64_multi_array.hpp"
#include "std_msgs/msg/string.hpp"
#include "support/ros2_test_env.h"

namespace {

using namespace std::chrono_literals;
using FJT = control_msgs::action::FollowJointTrajectory;
using GoalHandle = ros2::action::ServerGoalHandle<FJT>;
using ClientHandle = ros2::action::ClientGoalHandle<FJT>;
using ros2::action::CancelResponse;
using ros2::action::GoalResponse;
using ros2::action::ResultCode;
using CancelReply = action_msgs::srv::CancelGoal_Response;

FJT::Goal goal_with_points_for_test(size_t n) {
  FJT::Goal g;
  g.trajectory.points.resize(n);
  return g;
}

class Ros2Action : public ::testing::Test {
 protected:
  void SetUp() override {
    ros2_test::use_private_loopback_domain();
    const char* argv[] = {"test"};
    ros2::init(1, argv);
    server_node_ = std::make_shared<ros2::Node>("server_node");
    client_node_ = std::make_shared<ros2::Node>("client_node");
    exec_.add_node(server_node_);
    exec_.add_node(client_node_);
  }
  void TearDown() override { ros2::shutdown(); }

  void start_server(GoalResponse decision = GoalResponse::ACCEPT_AND_EXECUTE,
                    CancelResponse cancel = CancelResponse::ACCEPT) {
    server_ = ros2::action::create_server<FJT>(
        server_node_, "follow_joint_trajectory",
        [this, decision](const ros2::action::GoalUUID& uuid, std::shared_ptr<const FJT::Goal> g) {
          last_uuid_ = uuid;
          last_points_ = g->trajectory.points.size();
          return decision;
        },
        [this, cancel](std::shared_ptr<GoalHandle>) {
          ++cancel_calls_;
          return cancel;
        },
        [this](std::shared_ptr<GoalHandle> h) { handles_.push_back(h); });
    client_ = ros2::action::create_client<FJT>(client_node_, "follow_joint_trajectory");
    ASSERT_TRUE(client_->wait_for_action_server(3s));
  }

  template <class Pred>
  bool spin_until(Pred pred) {
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (!pred()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      exec_.spin_once(10ms);
    }
    return true;
  }

  template <class T>
  T wait(const std::shared_future<T>& f) {
    EXPECT_EQ(exec_.spin_until_future_complete(f, 3s), ros2::FutureReturnCode::SUCCESS);
    return f.get();
  }

  static FJT::Goal goal_with_points(size_t n) {
    FJT::Goal g;
    g.trajectory.joint_names = {"joint1", "joint2"};
    g.trajectory.points.resize(n);
    for (size_t i = 0; i < n; ++i) {
      g.trajectory.points[i].positions = {0.1 * static_cast<double>(i), 0.2};
      g.trajectory.points[i].time_from_start.sec = static_cast<int32_t>(i);
    }
    return g;
  }

  static std::shared_ptr<FJT::Result> result(int32_t code, const std::string& text = "") {
    auto r = std::make_shared<FJT::Result>();
    r->error_code = code;
    r->error_string = text;
    return r;
  }

  ClientHandle::SharedPtr send_accepted_goal(
      const ros2::action::Client<FJT>::SendGoalOptions& options = {}) {
    auto handle = wait(client_->async_send_goal(goal_with_points(4), options));
    EXPECT_NE(handle, nullptr);
    EXPECT_TRUE(spin_until([&] { return !handles_.empty(); }));
    return handle;
  }

  ros2::Executor exec_;
  ros2::Node::SharedPtr server_node_;
  ros2::Node::SharedPtr client_node_;
  ros2::action::Server<FJT>::SharedPtr server_;
  ros2::action::Client<FJT>::SharedPtr client_;
  std::vector<std::shared_ptr<GoalHandle>> handles_;
  ros2::action::GoalUUID last_uuid_{};
  size_t last_points_ = 0;
  int cancel_calls_ = 0;
};

TEST_F(Ros2Action, AcceptedGoalGetsFeedbackAndSucceeds) {
  start_server();
  std::vector<double> feedback_positions;
  ros2::action::Client<FJT>::SendGoalOptions options;
  options.feedback_callback = [&](ClientHandle::SharedPtr, std::shared_ptr<const FJT::Feedback> f) {
    feedback_positions = f->actual.positions;
  };
  auto handle = send_accepted_goal(options);
  EXPECT_EQ(last_points_, 4u);
  EXPECT_EQ(handles_[0]->get_goal_id(), handle->get_goal_id());
  EXPECT_EQ(handles_[0]->get_goal()->trajectory.points.size(), 4u);
  EXPECT_TRUE(handles_[0]->is_executing());
  EXPECT_GT(handle->get_goal_stamp().nanoseconds(), 0);

  auto fb = std::make_shared<FJT::Feedback>();
  fb->actual.positions = {1.0, 2.0};
  handles_[0]->publish_feedback(fb);
  EXPECT_TRUE(spin_until([&] { return !feedback_positions.empty(); }));
  EXPECT_EQ(feedback_positions, (std::vector<double>{1.0, 2.0}));

  handles_[0]->succeed(result(FJT::Result::SUCCESSFUL));
  EXPECT_FALSE(handles_[0]->is_active());
  const auto wrapped = wait(client_->async_get_result(handle));
  EXPECT_EQ(wrapped.code, ResultCode::SUCCEEDED);
  EXPECT_EQ(wrapped.result->error_code, 0);
  EXPECT_EQ(wrapped.goal_id, handle->get_goal_id());
  EXPECT_EQ(handle->get_status(), action_msgs::msg::GoalStatus::STATUS_SUCCEEDED);
}

TEST_F(Ros2Action, RejectedGoalGivesNoHandle) {
  start_server(GoalResponse::REJECT);
  bool response_called = false;
  ros2::action::Client<FJT>::SendGoalOptions options;
  options.goal_response_callback = [&](ClientHandle::SharedPtr h) {
    response_called = h == nullptr;
  };
  EXPECT_EQ(wait(client_->async_send_goal(goal_with_points(2), options)), nullptr);
  EXPECT_TRUE(response_called);
  EXPECT_TRUE(handles_.empty());
}

TEST_F(Ros2Action, AbortedGoalCarriesTheErrorToTheClient) {
  start_server();
  ClientHandle::WrappedResult from_callback;
  ros2::action::Client<FJT>::SendGoalOptions options;
  options.result_callback = [&](const ClientHandle::WrappedResult& r) { from_callback = r; };
  auto handle = send_accepted_goal(options);
  handles_[0]->abort(result(FJT::Result::INVALID_GOAL, "too few points"));
  const auto wrapped = wait(client_->async_get_result(handle));
  EXPECT_EQ(wrapped.code, ResultCode::ABORTED);
  EXPECT_EQ(wrapped.result->error_code, -1);
  EXPECT_EQ(wrapped.result->error_string, "too few points");
  EXPECT_EQ(from_callback.code, ResultCode::ABORTED);
}

TEST_F(Ros2Action, FinishingFromAnotherThreadReachesTheClient) {
  start_server();
  auto handle = send_accepted_goal();
  auto server_handle = handles_[0];
  std::thread control([server_handle] {
    server_handle->publish_feedback(std::make_shared<FJT::Feedback>());
    server_handle->succeed(std::make_shared<FJT::Result>());
  });
  const auto wrapped = wait(client_->async_get_result(handle));
  control.join();
  EXPECT_EQ(wrapped.code, ResultCode::SUCCEEDED);
}

TEST_F(Ros2Action, AcceptedCancelMovesTheGoalToCanceling) {
  start_server();
  auto handle = send_accepted_goal();
  const auto reply = wait(client_->async_cancel_goal(handle));
  EXPECT_EQ(reply->return_code, CancelReply::ERROR_NONE);
  ASSERT_EQ(reply->goals_canceling.size(), 1u);
  EXPECT_EQ(reply->goals_canceling[0].goal_id.uuid, handle->get_goal_id());
  EXPECT_EQ(cancel_calls_, 1);
  EXPECT_TRUE(handles_[0]->is_canceling());
  EXPECT_TRUE(spin_until(
      [&] { return handle->get_status() == action_msgs::msg::GoalStatus::STATUS_CANCELING; }));
  handles_[0]->canceled(result(0));
  EXPECT_EQ(wait(client_->async_get_result(handle)).code, ResultCode::CANCELED);
}

TEST_F(Ros2Action, CancelReturnCodesFollowRos) {
  start_server(GoalResponse::ACCEPT_AND_EXECUTE, CancelResponse::REJECT);
  auto handle = send_accepted_goal();
  // The server refuses: ERROR_REJECTED, the goal keeps executing.
  EXPECT_EQ(wait(client_->async_cancel_goal(handle))->return_code, CancelReply::ERROR_REJECTED);
  EXPECT_TRUE(handles_[0]->is_executing());
  // Already finished: ERROR_GOAL_TERMINATED.
  handles_[0]->succeed(result(0));
  wait(client_->async_get_result(handle));
  EXPECT_EQ(wait(client_->async_cancel_goal(handle))->return_code,
            CancelReply::ERROR_GOAL_TERMINATED);
  // A goal id the server never saw: ERROR_UNKNOWN_GOAL_ID; "all goals" with none active: ok.
  auto stranger = std::make_shared<ClientHandle>(ros2::action::GoalUUID{9, 9, 9},
                                                 builtin_interfaces::msg::Time{});
  EXPECT_EQ(wait(client_->async_cancel_goal(stranger))->return_code,
            CancelReply::ERROR_UNKNOWN_GOAL_ID);
  const auto all = wait(client_->async_cancel_all_goals());
  EXPECT_EQ(all->return_code, CancelReply::ERROR_NONE);
  EXPECT_TRUE(all->goals_canceling.empty());
}

TEST_F(Ros2Action, InvalidTransitionsThrow) {
  start_server(GoalResponse::ACCEPT_AND_DEFER);
  auto handle = send_accepted_goal();
  auto h = handles_[0];
  EXPECT_TRUE(h->is_active());
  EXPECT_FALSE(h->is_executing());
  EXPECT_THROW(h->succeed(result(0)), std::runtime_error);
  h->execute();
  EXPECT_TRUE(h->is_executing());
  EXPECT_THROW(h->canceled(result(0)), std::runtime_error);
  h->abort(result(-1));
  EXPECT_THROW(h->succeed(result(0)), std::runtime_error);
  EXPECT_EQ(wait(client_->async_get_result(handle)).code, ResultCode::ABORTED);
}

// Raw service requests, as another client would send them.
class RawRequests {
 public:
  explicit RawRequests(ros2::Node& node)
      : get_result_(node, "/follow_joint_trajectory/_action/get_result",
                    ros2::action::detail::action_types<FJT>().get_result),
        send_goal_(node, "/follow_joint_trajectory/_action/send_goal",
                   ros2::action::detail::action_types<FJT>().send_goal) {}
  ros2::detail::ServiceClient get_result_;
  ros2::detail::ServiceClient send_goal_;
};

template <class Reply>
bool take_reply(ros2::detail::ServiceClient& client, int64_t seq, Reply& out) {
  int64_t got = 0;
  const std::vector<uint8_t>* payload = nullptr;
  while (client.take(got, payload)) {
    uint64_t guid = 0;
    ros2::cdr::deserialize_with_header(payload->data(), payload->size(), guid, got, out);
    if (got == seq) return true;
  }
  return false;
}

TEST_F(Ros2Action, ResultIsAnsweredAfterTheEndAndForUnknownGoals) {
  start_server();
  auto handle = send_accepted_goal();
  handles_[0]->succeed(result(0, "done"));
  wait(client_->async_get_result(handle));

  auto late = std::make_shared<ros2::Node>("late_client");
  RawRequests raw(*late);
  ASSERT_TRUE(ros2_test::wait_until([&] { return raw.get_result_.is_ready(); }));
  FJT::Impl::GetResultService::Request known;
  known.goal_id.uuid = handle->get_goal_id();
  const int64_t s1 = raw.get_result_.send(known);
  FJT::Impl::GetResultService::Request unknown;
  unknown.goal_id.uuid[0] = 0xee;
  const int64_t s2 = raw.get_result_.send(unknown);
  FJT::Impl::GetResultService::Response r1, r2;
  EXPECT_TRUE(spin_until([&] { return take_reply(raw.get_result_, s1, r1); }));
  EXPECT_TRUE(spin_until([&] { return take_reply(raw.get_result_, s2, r2); }));
  EXPECT_EQ(r1.status, action_msgs::msg::GoalStatus::STATUS_SUCCEEDED);
  EXPECT_EQ(r1.result.error_string, "done");
  EXPECT_EQ(r2.status, action_msgs::msg::GoalStatus::STATUS_UNKNOWN);
  EXPECT_EQ(r2.result.error_code, 0);
}

TEST_F(Ros2Action, ResultRequestedEarlyIsAnsweredWhenTheGoalEnds) {
  start_server();
  auto handle = send_accepted_goal();
  RawRequests raw(*client_node_);
  ASSERT_TRUE(ros2_test::wait_until([&] { return raw.get_result_.is_ready(); }));
  FJT::Impl::GetResultService::Request req;
  req.goal_id.uuid = handle->get_goal_id();
  const int64_t seq = raw.get_result_.send(req);
  FJT::Impl::GetResultService::Response reply;
  exec_.spin_some();
  EXPECT_FALSE(take_reply(raw.get_result_, seq, reply));
  handles_[0]->abort(result(-4));
  EXPECT_TRUE(spin_until([&] { return take_reply(raw.get_result_, seq, reply); }));
  EXPECT_EQ(reply.status, action_msgs::msg::GoalStatus::STATUS_ABORTED);
  EXPECT_EQ(reply.result.error_code, -4);
}

TEST_F(Ros2Action, DuplicateGoalIdIsRefused) {
  start_server();
  RawRequests raw(*client_node_);
  ASSERT_TRUE(ros2_test::wait_until([&] { return raw.send_goal_.is_ready(); }));
  FJT::Impl::SendGoalService::Request req;
  req.goal_id.uuid[0] = 7;
  req.goal = goal_with_points(4);
  const int64_t s1 = raw.send_goal_.send(req);
  FJT::Impl::SendGoalService::Response r1, r2;
  EXPECT_TRUE(spin_until([&] { return take_reply(raw.send_goal_, s1, r1); }));
  const int64_t s2 = raw.send_goal_.send(req);
  EXPECT_TRUE(spin_until([&] { return take_reply(raw.send_goal_, s2, r2); }));
  EXPECT_TRUE(r1.accepted);
  EXPECT_NE(r1.stamp.sec, 0);
  EXPECT_FALSE(r2.accepted);
  EXPECT_EQ(handles_.size(), 1u);
}

TEST_F(Ros2Action, LateSubscriberSeesTheLastStatusArray) {
  start_server();
  auto handle = send_accepted_goal();
  handles_[0]->succeed(result(0));
  wait(client_->async_get_result(handle));
  auto observer = std::make_shared<ros2::Node>("observer");
  action_msgs::msg::GoalStatusArray last;
  auto sub = observer->create_subscription<action_msgs::msg::GoalStatusArray>(
      "/follow_joint_trajectory/_action/status", ros2::QoS(1).transient_local(),
      [&](const action_msgs::msg::GoalStatusArray& m) { last = m; });
  exec_.add_node(observer);
  EXPECT_TRUE(spin_until([&] { return !last.status_list.empty(); }));
  ASSERT_EQ(last.status_list.size(), 1u);
  EXPECT_EQ(last.status_list[0].status, action_msgs::msg::GoalStatus::STATUS_SUCCEEDED);
  EXPECT_EQ(last.status_list[0].goal_info.goal_id.uuid, handle->get_goal_id());
}

TEST_F(Ros2Action, MalformedGoalRequestsAreDropped) {
  start_server();
  const dds_entity_t pp = dds_create_participant(DDS_DOMAIN_DEFAULT, nullptr, nullptr);
  const ddsi_sertype* st = nullptr;
  const dds_entity_t topic = ros2::detail::create_raw_topic(
      pp, "rq/follow_joint_trajectory/_action/send_goalRequest",
      "control_msgs::action::dds_::FollowJointTrajectory_SendGoal_Request_", &st);
  dds_qos_t* q = dds_create_qos();
  dds_qset_reliability(q, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
  dds_qset_history(q, DDS_HISTORY_KEEP_ALL, 0);
  const dds_entity_t w = dds_create_writer(pp, topic, q, nullptr);
  dds_delete_qos(q);
  ASSERT_TRUE(ros2_test::wait_until([&] {
    dds_publication_matched_status_t m;
    dds_get_publication_matched_status(w, &m);
    return m.current_count > 0;
  }));
  // A header with no goal, then a goal id followed by a 4 G joint-name count.
  std::vector<uint8_t> cut(4 + 16, 0);
  cut[1] = 1;
  std::vector<uint8_t> huge(4 + 16 + 16 + 24, 0);
  huge[1] = 1;
  for (size_t i = 56; i < 60; ++i) huge[i] = 0xff;
  ros2::detail::write_payload(w, st, cut.data(), cut.size());
  ros2::detail::write_payload(w, st, huge.data(), huge.size());
  exec_.spin_some();
  EXPECT_TRUE(handles_.empty());
  send_accepted_goal();
  EXPECT_EQ(handles_.size(), 1u);
  dds_delete(pp);
}

}  // namespace

namespace {

// A node class in the style the command node is written in: derived from the node, callbacks
// bound to const member functions, the action server created in the constructor with this.
class CommandNode : public ros2::Node {
 public:
  CommandNode() : ros2::Node("robot_cmd_processor") {
    using std::placeholders::_1;
    using std::placeholders::_2;
    server_ = ros2::action::create_server<FJT>(this, "follow_joint_trajectory",
                                               std::bind(&CommandNode::handle_goal, this, _1, _2),
                                               std::bind(&CommandNode::handle_cancel, this, _1),
                                               std::bind(&CommandNode::handle_accepted, this, _1));
    stop_ = create_subscription<std_msgs::msg::String>(
        "stop_topic", ros2::QoS(1), std::bind(&CommandNode::stop_callback, this, _1));
    movs_ = create_subscription<std_msgs::msg::Float64MultiArray>(
        "movj_s_topic", ros2::QoS(10), std::bind(&CommandNode::movs_callback, this, _1));
    ROS2_INFO(get_logger(), "---robot_cmd_processor node init. ---\n");
  }

  mutable std::vector<std::string> events;

 private:
  GoalResponse handle_goal(const ros2::action::GoalUUID&, std::shared_ptr<const FJT::Goal> g) {
    events.push_back("goal " + std::to_string(g->trajectory.points.size()));
    return GoalResponse::ACCEPT_AND_EXECUTE;
  }
  CancelResponse handle_cancel(const std::shared_ptr<GoalHandle>) {
    ROS2_INFO(ros2::get_logger("server"), "Got request to cancel goal");
    return CancelResponse::ACCEPT;
  }
  void handle_accepted(const std::shared_ptr<GoalHandle> h) {
    auto r = std::make_shared<FJT::Result>();
    r->error_code = FJT::Result::INVALID_GOAL;
    h->abort(r);
  }
  void stop_callback(const std_msgs::msg::String& m) const { events.push_back("stop " + m.data); }
  void movs_callback(std_msgs::msg::Float64MultiArray::SharedPtr m) {
    events.push_back("movs " + std::to_string(m->data.size()));
  }

  ros2::action::Server<FJT>::SharedPtr server_;
  ros2::Subscription<std_msgs::msg::String>::SharedPtr stop_;
  ros2::Subscription<std_msgs::msg::Float64MultiArray>::SharedPtr movs_;
};

TEST(Ros2NodeClass, DerivedNodeWithBoundCallbacksServesTopicsAndTheAction) {
  ros2_test::use_private_loopback_domain();
  const char* argv[] = {"test"};
  ros2::init(1, argv);
  {
    auto cmd = std::make_shared<CommandNode>();
    auto user = std::make_shared<ros2::Node>("user");
    auto stop = user->create_publisher<std_msgs::msg::String>("stop_topic", 1);
    auto movs = user->create_publisher<std_msgs::msg::Float64MultiArray>("movj_s_topic", 10);
    auto client = ros2::action::create_client<FJT>(user, "follow_joint_trajectory");
    ASSERT_TRUE(client->wait_for_action_server(3s));
    ASSERT_TRUE(ros2_test::wait_until(
        [&] { return stop->get_subscription_count() > 0 && movs->get_subscription_count() > 0; }));
    std_msgs::msg::String s;
    s.data = "now";
    stop->publish(s);
    std_msgs::msg::Float64MultiArray m;
    m.data = {1, 2, 3};
    movs->publish(m);
    ros2::Executor exec;
    exec.add_node(cmd);
    exec.add_node(user);
    auto handle = client->async_send_goal(goal_with_points_for_test(3));
    ASSERT_EQ(exec.spin_until_future_complete(handle, 3s), ros2::FutureReturnCode::SUCCESS);
    auto result = client->async_get_result(handle.get());
    ASSERT_EQ(exec.spin_until_future_complete(result, 3s), ros2::FutureReturnCode::SUCCESS);
    EXPECT_EQ(result.get().code, ResultCode::ABORTED);
    EXPECT_EQ(result.get().result->error_code, -1);
    ros2_test::wait_until([&] {
      exec.spin_some();
      return cmd->events.size() >= 3;
    });
    std::sort(cmd->events.begin(), cmd->events.end());
    EXPECT_EQ(cmd->events, (std::vector<std::string>{"goal 3", "movs 3", "stop now"}));
  }
  ros2::shutdown();
}

}  // namespace

namespace {

TEST_F(Ros2Action, CancelBeforeAStampTakesOnlyEarlierGoals) {
  start_server();
  auto first = send_accepted_goal();
  auto second = wait(client_->async_send_goal(goal_with_points(4)));
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(spin_until([&] { return handles_.size() == 2; }));
  const auto reply = wait(client_->async_cancel_goals_before(first->get_goal_stamp()));
  EXPECT_EQ(reply->return_code, CancelReply::ERROR_NONE);
  ASSERT_EQ(reply->goals_canceling.size(), 1u);
  EXPECT_EQ(reply->goals_canceling[0].goal_id.uuid, first->get_goal_id());
  EXPECT_TRUE(handles_[0]->is_canceling());
  EXPECT_TRUE(handles_[1]->is_executing());
  const auto all = wait(client_->async_cancel_all_goals());
  ASSERT_EQ(all->goals_canceling.size(), 1u);
  EXPECT_EQ(all->goals_canceling[0].goal_id.uuid, second->get_goal_id());
  EXPECT_EQ(cancel_calls_, 2);
}

TEST_F(Ros2Action, ResultsAreForgottenAfterTheResultTimeout) {
  ros2::action::ServerOptions options;
  options.result_timeout = std::chrono::milliseconds(1);
  std::vector<std::shared_ptr<GoalHandle>> handles;
  auto server = ros2::action::create_server<FJT>(
      server_node_, "short_memory",
      [](const ros2::action::GoalUUID&, std::shared_ptr<const FJT::Goal>) {
        return GoalResponse::ACCEPT_AND_EXECUTE;
      },
      [](std::shared_ptr<GoalHandle>) { return CancelResponse::ACCEPT; },
      [&](std::shared_ptr<GoalHandle> h) { handles.push_back(h); }, options);
  auto client = ros2::action::create_client<FJT>(client_node_, "short_memory");
  ASSERT_TRUE(client->wait_for_action_server(3s));
  auto handle = wait(client->async_send_goal(goal_with_points(1)));
  ASSERT_TRUE(spin_until([&] { return !handles.empty(); }));
  handles[0]->succeed(result(0));
  EXPECT_EQ(wait(client->async_get_result(handle)).code, ResultCode::SUCCEEDED);

  ros2::detail::ServiceClient raw(*client_node_, "/short_memory/_action/get_result",
                                  ros2::action::detail::action_types<FJT>().get_result);
  ASSERT_TRUE(ros2_test::wait_until([&] { return raw.is_ready(); }));
  std::this_thread::sleep_for(5ms);  // longer than the result timeout
  FJT::Impl::GetResultService::Request req;
  req.goal_id.uuid = handle->get_goal_id();
  const int64_t seq = raw.send(req);
  FJT::Impl::GetResultService::Response reply;
  reply.status = -1;
  EXPECT_TRUE(spin_until([&] { return take_reply(raw, seq, reply); }));
  EXPECT_EQ(reply.status, action_msgs::msg::GoalStatus::STATUS_UNKNOWN);
}

}  // namespace

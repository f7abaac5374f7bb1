// The FollowJointTrajectory action between a server node and a client node of one process:
// accept, reject, feedback, succeed, abort, cancel with its return codes, results asked for
// after the end and by late clients, status publication, deferred goals and bad requests. The
// client asks for the result as soon as a goal is accepted, so every goal ended here also
// answers a result request made before its end.

#include "ros2/action.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "control_msgs/action/follow_joint_trajectory.hpp"
#include "harness.h"

namespace {

using namespace std::chrono_literals;
using FJT = control_msgs::action::FollowJointTrajectory;
using GoalHandle = ros2::action::ServerGoalHandle<FJT>;
using ClientHandle = ros2::action::ClientGoalHandle<FJT>;
using Options = ros2::action::Client<FJT>::SendGoalOptions;
using ros2::action::CancelResponse;
using ros2::action::GoalResponse;
using ros2::action::ResultCode;
using CancelReply = action_msgs::srv::CancelGoal_Response;
using Status = action_msgs::msg::GoalStatus;
using ros2_test::Bytes;

FJT::Goal goal_with_points(size_t n) {
  FJT::Goal g;
  g.trajectory.joint_names = {"joint1", "joint2"};
  g.trajectory.points.resize(n);
  for (size_t i = 0; i < n; ++i) g.trajectory.points[i].positions = {0.1 * double(i), 0.2};
  return g;
}

std::shared_ptr<FJT::Result> result(int32_t code, const std::string& text = "") {
  auto r = std::make_shared<FJT::Result>();
  r->error_code = code;
  r->error_string = text;
  return r;
}

// Sends a raw service request and spins until its reply arrives.
template <class Reply, class Request>
bool ask(ros2::Executor& exec, ros2::detail::ServiceClient& client, const Request& request,
         Reply& reply) {
  const int64_t seq = client.send(request);
  return ros2_test::spin_until(exec, [&] {
    int64_t got = 0;
    const std::vector<uint8_t>* payload = nullptr;
    while (client.take(got, payload)) {
      uint64_t guid = 0;
      ros2::cdr::deserialize_with_header(payload->data(), payload->size(), guid, got, reply);
      if (got == seq) return true;
    }
    return false;
  });
}

// Server and client of follow_joint_trajectory; the server refuses goals without points.
class Ros2Action : public ::testing::Test {
 protected:
  void SetUp() override {
    ros2_test::init();
    exec_.add_node(server_node_ = std::make_shared<ros2::Node>("server_node"));
    exec_.add_node(client_node_ = std::make_shared<ros2::Node>("client_node"));
  }
  void TearDown() override { ros2::shutdown(); }

  void start_server(GoalResponse accept = GoalResponse::ACCEPT_AND_EXECUTE,
                    CancelResponse cancel = CancelResponse::ACCEPT,
                    const ros2::action::ServerOptions& options = {}) {
    server_ = ros2::action::create_server<FJT>(
        server_node_, "follow_joint_trajectory",
        [accept](const ros2::action::GoalUUID&, std::shared_ptr<const FJT::Goal> g) {
          return g->trajectory.points.empty() ? GoalResponse::REJECT : accept;
        },
        [this, cancel](std::shared_ptr<GoalHandle>) {
          ++cancel_calls_;
          return cancel;
        },
        [this](std::shared_ptr<GoalHandle> h) { handles_.push_back(h); }, options);
    client_ = ros2::action::create_client<FJT>(client_node_, "follow_joint_trajectory");
    ASSERT_TRUE(client_->wait_for_action_server(3s));
  }

  template <class T>
  T wait(const std::shared_future<T>& f) {
    return ros2_test::wait(exec_, f);
  }

  ClientHandle::SharedPtr send_accepted_goal(const Options& options = {}) {
    const size_t before = handles_.size();
    auto handle = wait(client_->async_send_goal(goal_with_points(4), options));
    EXPECT_NE(handle, nullptr);
    EXPECT_TRUE(ros2_test::spin_until(exec_, [&] { return handles_.size() > before; }));
    return handle;
  }

  std::unique_ptr<ros2::detail::ServiceClient> raw_client(ros2::Node& node, bool get_result) {
    const auto types = ros2::action::detail::action_types<FJT>();
    auto raw = std::make_unique<ros2::detail::ServiceClient>(
        node,
        std::string("/follow_joint_trajectory/_action/") +
            (get_result ? "get_result" : "send_goal"),
        get_result ? types.get_result : types.send_goal);
    EXPECT_TRUE(ros2_test::wait_until([&] { return raw->is_ready(); }));
    return raw;
  }

  ros2::Executor exec_;
  ros2::Node::SharedPtr server_node_, client_node_;
  ros2::action::Server<FJT>::SharedPtr server_;
  ros2::action::Client<FJT>::SharedPtr client_;
  std::vector<std::shared_ptr<GoalHandle>> handles_;
  int cancel_calls_ = 0;
};

// How a goal ends: succeed or abort, on the spinning thread or on another one.
struct Ending {
  const char* name;
  bool abort;
  bool other_thread;
};

class Ros2ActionEnding : public Ros2Action, public ::testing::WithParamInterface<Ending> {};

TEST_P(Ros2ActionEnding, AcceptedGoalGetsFeedbackAndItsResult) {
  const bool abort = GetParam().abort;
  start_server();
  std::vector<double> feedback;
  std::atomic<bool> seen{false};
  ClientHandle::WrappedResult from_callback;
  Options options;
  options.feedback_callback = [&](ClientHandle::SharedPtr, std::shared_ptr<const FJT::Feedback> f) {
    feedback = f->actual.positions;
    seen.store(true);
  };
  options.result_callback = [&](const ClientHandle::WrappedResult& r) { from_callback = r; };
  auto handle = send_accepted_goal(options);
  auto server_handle = handles_.at(0);
  EXPECT_EQ(server_handle->get_goal_id(), handle->get_goal_id());
  EXPECT_EQ(server_handle->get_goal()->trajectory.points.size(), 4u);
  EXPECT_TRUE(server_handle->is_executing());
  EXPECT_GT(handle->get_goal_stamp().nanoseconds(), 0);

  // Feedback, and the end once the client has seen it.
  const auto finish = [&](const std::function<bool()>& until_seen) {
    auto fb = std::make_shared<FJT::Feedback>();
    fb->actual.positions = {1.0, 2.0};
    server_handle->publish_feedback(fb);
    EXPECT_TRUE(until_seen());
    if (abort) {
      server_handle->abort(result(FJT::Result::INVALID_GOAL, "too few points"));
    } else {
      server_handle->succeed(result(FJT::Result::SUCCESSFUL, "done"));
    }
  };
  std::thread other;
  if (GetParam().other_thread) {
    other = std::thread(finish, [&] { return ros2_test::wait_until([&] { return seen.load(); }); });
  } else {
    finish([&] { return ros2_test::spin_until(exec_, [&] { return seen.load(); }); });
    EXPECT_FALSE(server_handle->is_active());
  }
  const auto wrapped = wait(client_->async_get_result(handle));
  if (other.joinable()) other.join();
  EXPECT_EQ(feedback, (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(wrapped.code, abort ? ResultCode::ABORTED : ResultCode::SUCCEEDED);
  ASSERT_NE(wrapped.result, nullptr);
  EXPECT_EQ(wrapped.result->error_code, abort ? -1 : 0);
  EXPECT_EQ(wrapped.result->error_string, abort ? "too few points" : "done");
  EXPECT_EQ(wrapped.goal_id, handle->get_goal_id());
  EXPECT_EQ(from_callback.code, wrapped.code);
  EXPECT_EQ(handle->get_status(), abort ? Status::STATUS_ABORTED : Status::STATUS_SUCCEEDED);
}

INSTANTIATE_TEST_SUITE_P(Endings, Ros2ActionEnding,
                         ::testing::Values(Ending{"Succeed", false, false},
                                           Ending{"Abort", true, false},
                                           Ending{"SucceedFromAnotherThread", false, true}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Ros2Action, CancelBeforeAStampOneGoalAndAllGoals) {
  start_server();
  auto first = send_accepted_goal();
  auto second = send_accepted_goal();
  auto third = send_accepted_goal();
  ASSERT_EQ(handles_.size(), 3u);
  const auto expect_canceling = [&](const auto& reply, const ClientHandle::SharedPtr& goal) {
    EXPECT_EQ(reply->return_code, CancelReply::ERROR_NONE);
    ASSERT_EQ(reply->goals_canceling.size(), 1u);
    EXPECT_EQ(reply->goals_canceling[0].goal_id.uuid, goal->get_goal_id());
  };
  expect_canceling(wait(client_->async_cancel_goals_before(first->get_goal_stamp())), first);
  EXPECT_TRUE(handles_[0]->is_canceling());
  EXPECT_TRUE(handles_[1]->is_executing());
  EXPECT_TRUE(ros2_test::spin_until(
      exec_, [&] { return first->get_status() == Status::STATUS_CANCELING; }));
  handles_[0]->canceled(result(0));
  EXPECT_EQ(wait(client_->async_get_result(first)).code, ResultCode::CANCELED);
  expect_canceling(wait(client_->async_cancel_goal(second)), second);
  expect_canceling(wait(client_->async_cancel_all_goals()), third);
  EXPECT_EQ(cancel_calls_, 3);
}

TEST_F(Ros2Action, RejectedGoalsAndCancelReturnCodesFollowRos) {
  start_server(GoalResponse::ACCEPT_AND_EXECUTE, CancelResponse::REJECT);
  bool rejected = false;
  Options options;
  options.goal_response_callback = [&](ClientHandle::SharedPtr h) { rejected = !h; };
  EXPECT_EQ(wait(client_->async_send_goal(goal_with_points(0), options)), nullptr);
  EXPECT_TRUE(rejected);
  EXPECT_TRUE(handles_.empty());
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

TEST_F(Ros2Action, DeferredGoalsAndInvalidTransitions) {
  start_server(GoalResponse::ACCEPT_AND_DEFER);
  auto handle = send_accepted_goal();
  auto h = handles_.at(0);
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

TEST_F(Ros2Action, AfterTheEndALateClientGetsTheResultAndUnknownGoalsAreUnknown) {
  start_server();
  auto handle = send_accepted_goal();
  handles_.at(0)->succeed(result(0, "done"));
  wait(client_->async_get_result(handle));

  auto late = std::make_shared<ros2::Node>("late_client");
  auto raw = raw_client(*late, true);
  FJT::Impl::GetResultService::Request known, unknown;
  known.goal_id.uuid = handle->get_goal_id();
  unknown.goal_id.uuid[0] = 0xee;
  FJT::Impl::GetResultService::Response r1, r2;
  EXPECT_TRUE(ask(exec_, *raw, known, r1));
  EXPECT_TRUE(ask(exec_, *raw, unknown, r2));
  EXPECT_EQ(r1.status, Status::STATUS_SUCCEEDED);
  EXPECT_EQ(r1.result.error_string, "done");
  EXPECT_EQ(r2.status, Status::STATUS_UNKNOWN);
  EXPECT_EQ(r2.result.error_code, 0);
}

TEST_F(Ros2Action, ResultsAreForgottenAfterTheResultTimeout) {
  ros2::action::ServerOptions options;
  options.result_timeout = 1ms;
  start_server(GoalResponse::ACCEPT_AND_EXECUTE, CancelResponse::ACCEPT, options);
  auto handle = send_accepted_goal();
  handles_.at(0)->succeed(result(0));
  EXPECT_EQ(wait(client_->async_get_result(handle)).code, ResultCode::SUCCEEDED);
  auto raw = raw_client(*client_node_, true);
  FJT::Impl::GetResultService::Request req;
  req.goal_id.uuid = handle->get_goal_id();
  FJT::Impl::GetResultService::Response reply;
  EXPECT_TRUE(ros2_test::wait_until(
      [&] { return ask(exec_, *raw, req, reply) && reply.status == Status::STATUS_UNKNOWN; }));
}

// A client's reply reader may be discovered after its request arrives; the reply waits for it.
TEST_F(Ros2Action, AReplyWaitsForTheClientsReplyReaderWithoutBlockingTheServer) {
  start_server();
  const auto types = ros2::action::detail::action_types<FJT>();
  const std::string name = "/follow_joint_trajectory/_action/get_result";
  ros2::detail::Endpoint requests(*client_node_, ros2::detail::Endpoint::Kind::Writer,
                                  "rq" + name + "Request", types.get_result.request_type,
                                  ros2::ServicesQoS(), "clientid=late.reader;");
  ASSERT_TRUE(ros2_test::wait_until([&] { return requests.matched_count() > 0; }));
  Bytes request;
  ros2::cdr::serialize_with_header(7, 1, FJT::Impl::GetResultService::Request{}, request);
  ASSERT_EQ(requests.write(request), DDS_RETCODE_OK);
  // The server answers (an unknown goal) while the reader does not exist yet.
  ros2_test::spin_until(
      exec_, [] { return false; }, 300ms);
  ros2::detail::Endpoint replies(*client_node_, ros2::detail::Endpoint::Kind::Reader,
                                 "rr" + name + "Reply", types.get_result.response_type,
                                 ros2::ServicesQoS(), "clientid=late.reader;",
                                 types.get_result.response_descriptor);
  FJT::Impl::GetResultService::Response reply;
  uint64_t guid = 0;
  int64_t seq = 0;
  EXPECT_TRUE(ros2_test::spin_until(exec_, [&] {
    ros2::detail::Endpoint::Sample s;
    if (!replies.take(s) || !s.valid) return false;
    ros2::cdr::deserialize_with_header(s.payload->data(), s.payload->size(), guid, seq, reply);
    return true;
  }));
  EXPECT_EQ(guid, 7u);
  EXPECT_EQ(seq, 1);
  EXPECT_EQ(reply.status, Status::STATUS_UNKNOWN);
}

TEST_F(Ros2Action, DuplicateAndMalformedGoalRequestsAreRefusedAndStatusKeepsAcceptanceOrder) {
  start_server();
  auto raw = raw_client(*client_node_, false);
  ros2_test::RawWriter hostile(
      "rq/follow_joint_trajectory/_action/send_goalRequest",
      "control_msgs::action::dds_::FollowJointTrajectory_SendGoal_Request_");
  ASSERT_TRUE(ros2_test::wait_until([&] { return hostile.matched() > 0; }));
  // A header with no goal, then a goal id followed by a 4 G joint-name count.
  ros2_test::Bytes cut(4 + 16, 0), huge(4 + 16 + 16 + 24, 0);
  cut[1] = huge[1] = 1;
  std::fill(huge.begin() + 56, huge.begin() + 60, 0xff);
  hostile.write(cut);
  hostile.write(huge);
  FJT::Impl::SendGoalService::Request req;
  req.goal = goal_with_points(4);
  FJT::Impl::SendGoalService::Response r1, r2, r3;
  req.goal_id.uuid[0] = 9;
  EXPECT_TRUE(ask(exec_, *raw, req, r1));
  req.goal_id.uuid[0] = 7;
  EXPECT_TRUE(ask(exec_, *raw, req, r2));
  EXPECT_TRUE(ask(exec_, *raw, req, r3));
  EXPECT_TRUE(r1.accepted && r2.accepted);
  EXPECT_NE(r1.stamp.sec, 0);
  EXPECT_FALSE(r3.accepted);
  EXPECT_EQ(handles_.size(), 2u);
  std::vector<uint8_t> order;
  auto sub = client_node_->create_subscription<action_msgs::msg::GoalStatusArray>(
      "/follow_joint_trajectory/_action/status", ros2::QoS(1).transient_local(),
      [&](const action_msgs::msg::GoalStatusArray& m) {
        order.clear();
        for (const auto& st : m.status_list) order.push_back(st.goal_info.goal_id.uuid[0]);
      });
  EXPECT_TRUE(ros2_test::spin_until(exec_, [&] { return order == std::vector<uint8_t>{9, 7}; }));
}

}  // namespace

// FollowJointTrajectory between a server and a client node of one process. The server rejects
// goals without points, defers goals of one point and executes the others.

#include "ros2/action.h"

#include <gtest/gtest.h>

#include "control_msgs/action/follow_joint_trajectory.hpp"
#include "harness.h"

namespace {

using FJT = control_msgs::action::FollowJointTrajectory;
using GoalHandle = ros2::action::ServerGoalHandle<FJT>;
using ClientHandle = ros2::action::ClientGoalHandle<FJT>;
using ros2::action::CancelResponse;
using ros2::action::GoalResponse;
using ros2::action::ResultCode;
using CancelReply = action_msgs::srv::CancelGoal_Response;
using Status = action_msgs::msg::GoalStatus;
using ResultService = FJT::Impl::GetResultService;

FJT::Goal goal(size_t points) {
  FJT::Goal g;
  g.trajectory.points.resize(points);
  return g;
}

std::shared_ptr<FJT::Result> result(int32_t code, const std::string& text = "") {
  return std::make_shared<FJT::Result>(FJT::Result{code, text});
}

class Ros2Action : public ros2_test::Ros2Test {
 protected:
  void start(const ros2::action::ServerOptions& options = {}) {
    client_node_ = node("client");
    server_ = ros2::action::create_server<FJT>(
        server_node_ = node("server"), "follow_joint_trajectory",
        [](const ros2::action::GoalUUID&, std::shared_ptr<const FJT::Goal> g) {
          const size_t n = g->trajectory.points.size();
          return n == 0   ? GoalResponse::REJECT
                 : n == 1 ? GoalResponse::ACCEPT_AND_DEFER
                          : GoalResponse::ACCEPT_AND_EXECUTE;
        },
        [this](std::shared_ptr<GoalHandle>) {
          ++cancel_calls_;
          return cancel_;
        },
        [this](std::shared_ptr<GoalHandle> h) { handles_.push_back(h); }, options);
    client_ = ros2::action::create_client<FJT>(client_node_, "follow_joint_trajectory");
    ASSERT_TRUE(client_->wait_for_action_server(10s));
  }

  ClientHandle::SharedPtr send(size_t points,
                               const ros2::action::Client<FJT>::SendGoalOptions& o = {}) {
    const size_t before = handles_.size();
    auto handle = wait(client_->async_send_goal(goal(points), o));
    EXPECT_TRUE(handle && spin_until([&] { return handles_.size() > before; }));
    return handle;
  }

  // A request on a raw client of send_goal or get_result, and its reply.
  template <class Reply, class Request>
  bool ask(const Request& request, Reply& reply) {
    const auto types = ros2::action::detail::action_types<FJT>();
    const bool goal = std::is_same_v<Reply, FJT::Impl::SendGoalService::Response>;
    ros2::detail::ServiceClient client(
        *client_node_,
        std::string("/follow_joint_trajectory/_action/") + (goal ? "send_goal" : "get_result"),
        goal ? types.send_goal : types.get_result);
    EXPECT_TRUE(ros2_test::wait_until([&] { return client.is_ready(); }));
    const int64_t seq = client.send(request);
    return spin_until([&] {
      int64_t got = 0;
      uint64_t guid = 0;
      const std::vector<uint8_t>* payload = nullptr;
      while (client.take(got, payload)) {
        ros2::cdr::deserialize_with_header(payload->data(), payload->size(), guid, got, reply);
        if (got == seq) return true;
      }
      return false;
    });
  }

  ros2::Node::SharedPtr client_node_, server_node_;
  ros2::action::Server<FJT>::SharedPtr server_;
  ros2::action::Client<FJT>::SharedPtr client_;
  std::vector<std::shared_ptr<GoalHandle>> handles_;
  CancelResponse cancel_ = CancelResponse::ACCEPT;
  int cancel_calls_ = 0;
};

TEST_F(Ros2Action, GoalsAreRejectedDeferredSucceededAndAbortedAndResultsStayKnown) {
  start();
  bool null_response = false;
  ros2::action::Client<FJT>::SendGoalOptions options;
  options.goal_response_callback = [&](ClientHandle::SharedPtr h) { null_response = !h; };
  EXPECT_EQ(wait(client_->async_send_goal(goal(0), options)), nullptr);
  EXPECT_TRUE(null_response);
  std::vector<double> feedback;
  ResultCode from_callback = ResultCode::UNKNOWN;
  options.goal_response_callback = nullptr;
  options.feedback_callback = [&](ClientHandle::SharedPtr, std::shared_ptr<const FJT::Feedback> f) {
    feedback = f->actual.positions;
  };
  options.result_callback = [&](const ClientHandle::WrappedResult& r) { from_callback = r.code; };
  auto done = send(4, options), deferred = send(1);
  ASSERT_EQ(handles_.size(), 2u);
  const auto h = handles_[0], d = handles_[1];
  EXPECT_EQ(h->get_goal_id(), done->get_goal_id());
  EXPECT_EQ(h->get_goal()->trajectory.points.size(), 4u);
  EXPECT_TRUE(h->is_executing() && d->is_active() && !d->is_executing());
  auto fb = std::make_shared<FJT::Feedback>();
  fb->actual.positions = {1.0, 2.0};
  h->publish_feedback(fb);
  EXPECT_TRUE(spin_until([&] { return feedback == fb->actual.positions; }));
  h->succeed(result(FJT::Result::SUCCESSFUL, "done"));
  EXPECT_FALSE(h->is_active());
  const auto wrapped = wait(client_->async_get_result(done));
  EXPECT_EQ(std::make_tuple(wrapped.code, wrapped.result->error_string, wrapped.goal_id),
            std::make_tuple(ResultCode::SUCCEEDED, "done", done->get_goal_id()));
  EXPECT_EQ(std::make_pair(from_callback, done->get_status()),
            std::make_pair(ResultCode::SUCCEEDED, Status::STATUS_SUCCEEDED));
  // A deferred goal ends only once executing; canceled() needs a canceling goal.
  EXPECT_THROW(d->succeed(result(0)), std::runtime_error);
  d->execute();
  EXPECT_TRUE(d->is_executing());
  EXPECT_THROW(d->canceled(result(0)), std::runtime_error);
  d->abort(result(FJT::Result::INVALID_GOAL, "too few points"));
  EXPECT_THROW(d->succeed(result(0)), std::runtime_error);
  const auto aborted = wait(client_->async_get_result(deferred));
  EXPECT_EQ(std::make_tuple(aborted.code, aborted.result->error_code, aborted.result->error_string,
                            deferred->get_status()),
            std::make_tuple(ResultCode::ABORTED, -1, "too few points", Status::STATUS_ABORTED));
  // Asked again after the end, and for a goal the server never saw.
  ResultService::Request known{{done->get_goal_id()}}, unknown{};
  unknown.goal_id.uuid[0] = 0xee;
  ResultService::Response r1, r2;
  EXPECT_TRUE(ask(known, r1) && ask(unknown, r2));
  EXPECT_EQ(std::make_tuple(r1.status, r1.result.error_string, r2.status),
            std::make_tuple(Status::STATUS_SUCCEEDED, "done", Status::STATUS_UNKNOWN));
}

TEST_F(Ros2Action, CancelRequestsGetRosReturnCodes) {
  start();
  auto first = send(4), second = send(4), third = send(4);
  ASSERT_EQ(handles_.size(), 3u);
  const auto expect_reply = [&](const auto& future, std::vector<ClientHandle::SharedPtr> goals,
                                int8_t code = CancelReply::ERROR_NONE) {
    const auto reply = wait(future);
    std::vector<ros2::action::GoalUUID> ids, want;
    for (const auto& g : reply->goals_canceling) ids.push_back(g.goal_id.uuid);
    for (const auto& g : goals) want.push_back(g->get_goal_id());
    EXPECT_EQ(std::make_pair(reply->return_code, ids), std::make_pair(code, want));
  };
  expect_reply(client_->async_cancel_goals_before(first->get_goal_stamp()), {first});
  EXPECT_TRUE(handles_[0]->is_canceling() && handles_[1]->is_executing());
  EXPECT_TRUE(spin_until([&] { return first->get_status() == Status::STATUS_CANCELING; }));
  handles_[0]->canceled(result(0));
  EXPECT_EQ(wait(client_->async_get_result(first)).code, ResultCode::CANCELED);
  cancel_ = CancelResponse::REJECT;
  expect_reply(client_->async_cancel_goal(second), {}, CancelReply::ERROR_REJECTED);
  EXPECT_TRUE(handles_[1]->is_executing());
  expect_reply(client_->async_cancel_goal(first), {}, CancelReply::ERROR_GOAL_TERMINATED);
  auto stranger =
      std::make_shared<ClientHandle>(ros2::action::GoalUUID{9}, builtin_interfaces::msg::Time{});
  expect_reply(client_->async_cancel_goal(stranger), {}, CancelReply::ERROR_UNKNOWN_GOAL_ID);
  cancel_ = CancelResponse::ACCEPT;
  expect_reply(client_->async_cancel_goal(second), {second});
  expect_reply(client_->async_cancel_all_goals(), {third});
  EXPECT_EQ(cancel_calls_, 4);
  handles_[1]->canceled(result(0));
  handles_[2]->canceled(result(0));
  expect_reply(client_->async_cancel_all_goals(), {});
}

// Damaged goal requests and a goal id in use are refused, the status lists goals in acceptance
// order, and results are forgotten after the result timeout.
TEST_F(Ros2Action, RawRequestsAreAnsweredAsRosAnswersThem) {
  ros2::action::ServerOptions options;
  options.result_timeout = std::chrono::milliseconds(1);
  start(options);
  ros2::detail::Endpoint hostile(
      *client_node_, ros2::detail::Endpoint::Kind::Writer,
      "rq/follow_joint_trajectory/_action/send_goalRequest",
      "control_msgs::action::dds_::FollowJointTrajectory_SendGoal_Request_", ros2::ServicesQoS());
  ASSERT_TRUE(ros2_test::wait_until([&] { return hostile.matched_count() > 0; }));
  // A header with no goal, then a goal id followed by a 4 G joint-name count.
  ros2_test::Bytes cut(4 + 16, 0), huge(4 + 16 + 16 + 24, 0);
  cut[1] = huge[1] = 1;
  std::fill(huge.begin() + 56, huge.begin() + 60, 0xff);
  EXPECT_EQ(hostile.write(cut) + hostile.write(huge), 0);
  auto first = send(4), second = send(4);
  FJT::Impl::SendGoalService::Request again{{second->get_goal_id()}, goal(4)};
  FJT::Impl::SendGoalService::Response refused;
  refused.accepted = true;
  EXPECT_TRUE(ask(again, refused));
  EXPECT_FALSE(refused.accepted);
  EXPECT_EQ(handles_.size(), 2u);
  std::vector<ros2::action::GoalUUID> order;
  auto sub = client_node_->create_subscription<action_msgs::msg::GoalStatusArray>(
      "/follow_joint_trajectory/_action/status", ros2::QoS(1).transient_local(),
      [&](const action_msgs::msg::GoalStatusArray& m) {
        order.clear();
        for (const auto& st : m.status_list) order.push_back(st.goal_info.goal_id.uuid);
      });
  EXPECT_TRUE(spin_until([&] {
    return order ==
           std::vector<ros2::action::GoalUUID>{first->get_goal_id(), second->get_goal_id()};
  }));
  handles_[0]->succeed(result(0));
  EXPECT_EQ(wait(client_->async_get_result(first)).code, ResultCode::SUCCEEDED);
  ResultService::Response reply;
  EXPECT_TRUE(ros2_test::wait_until([&] {
    return ask(ResultService::Request{{first->get_goal_id()}}, reply) &&
           reply.status == Status::STATUS_UNKNOWN;
  }));
}

}  // namespace

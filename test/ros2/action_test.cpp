// Actions in one process; the server rejects goals without points and defers those of one.

#include "ros2/action.h"

#include "harness.h"

namespace {

using namespace ros2::action;
using FJT = control_msgs::action::FollowJointTrajectory;
using Status = action_msgs::msg::GoalStatus;
using Cancel = action_msgs::srv::CancelGoal_Response;
using GetResult = FJT::Impl::GetResultService;
using SendGoal = FJT::Impl::SendGoalService;

std::shared_ptr<FJT::Result> result(int32_t code, const std::string& text = "") {
  return std::make_shared<FJT::Result>(FJT::Result{code, text});
}

class Ros2Action : public ros2_test::Ros2Test {
 protected:
  using GoalHandle = ServerGoalHandle<FJT>;
  using C = Client<FJT>;

  void SetUp() override {
    Ros2Test::SetUp();
    server_ = create_server<FJT>(
        server_node_ = node("server"), "follow_joint_trajectory",
        [](const GoalUUID&, std::shared_ptr<const FJT::Goal> g) {
          const size_t n = g->trajectory.points.size();
          return n == 0   ? GoalResponse::REJECT
                 : n == 1 ? GoalResponse::ACCEPT_AND_DEFER
                          : GoalResponse::ACCEPT_AND_EXECUTE;
        },
        [this](std::shared_ptr<GoalHandle>) { return cancel_; },
        [this](std::shared_ptr<GoalHandle> h) { handles_.push_back(h); });
    client_ = create_client<FJT>(client_node_ = node("client"), "follow_joint_trajectory");
    ASSERT_TRUE(client_->wait_for_action_server(10s));
  }

  C::GoalHandle::SharedPtr send(size_t points, const C::SendGoalOptions& options = {}) {
    FJT::Goal goal;
    goal.trajectory.points.resize(points);
    return wait(client_->async_send_goal(goal, options));
  }

  // The server's reply to a request sent by hand.
  template <class Reply, class Request>
  Reply ask(const Request& request) {
    const auto types = detail::action_types<FJT>();
    const bool goal = std::is_same_v<Reply, SendGoal::Response>;
    ros2::detail::ServiceClient client(
        *client_node_,
        std::string("/follow_joint_trajectory/_action/") + (goal ? "send_goal" : "get_result"),
        goal ? types.send_goal : types.get_result);
    EXPECT_TRUE(ros2_test::wait_until([&] { return client.is_ready(); }));
    int64_t seq = client.send(request);
    uint64_t guid = 0;
    const std::vector<uint8_t>* payload = nullptr;
    Reply reply;
    EXPECT_TRUE(spin_until([&] { return client.take(seq, payload); }));
    if (payload)
      ros2::cdr::deserialize_with_header(payload->data(), payload->size(), guid, seq, reply);
    return reply;
  }

  ros2::Node::SharedPtr client_node_, server_node_;
  Server<FJT>::SharedPtr server_;
  C::SharedPtr client_;
  std::vector<std::shared_ptr<GoalHandle>> handles_;
  CancelResponse cancel_ = CancelResponse::ACCEPT;
};

TEST_F(Ros2Action, GoalsAreRejectedDeferredSucceededAndAbortedAndResultsStayKnown) {
  bool null_response = false;
  C::SendGoalOptions options;
  options.goal_response_callback = [&](C::GoalHandle::SharedPtr h) { null_response = !h; };
  EXPECT_TRUE(send(0, options) == nullptr && null_response);
  options.goal_response_callback = nullptr;
  std::vector<double> feedback;
  ResultCode from_callback = ResultCode::UNKNOWN;
  options.feedback_callback = [&](auto, auto f) { feedback = f->actual.positions; };
  options.result_callback = [&](const C::WrappedResult& r) { from_callback = r.code; };
  auto done = send(4, options), deferred = send(1);
  ASSERT_EQ(handles_.size(), 2u);
  const auto h = handles_[0], d = handles_[1];
  EXPECT_TRUE(h->get_goal_id() == done->get_goal_id() &&
              h->get_goal()->trajectory.points.size() == 4 && h->is_executing() && d->is_active() &&
              !d->is_executing());
  auto fb = std::make_shared<FJT::Feedback>();
  fb->actual.positions = {1.0, 2.0};
  h->publish_feedback(fb);
  EXPECT_TRUE(spin_until([&] { return feedback == fb->actual.positions; }));
  h->succeed(result(FJT::Result::SUCCESSFUL, "done"));
  const auto wrapped = wait(client_->async_get_result(done));
  EXPECT_EQ(std::make_tuple(wrapped.code, wrapped.result->error_string, wrapped.goal_id,
                            from_callback, done->get_status(), h->is_active()),
            std::make_tuple(ResultCode::SUCCEEDED, "done", done->get_goal_id(),
                            ResultCode::SUCCEEDED, Status::STATUS_SUCCEEDED, false));
  // A deferred goal ends only once executing; canceled() needs a canceling goal.
  EXPECT_THROW(d->succeed(result(0)), std::runtime_error);
  d->execute();
  EXPECT_THROW(d->canceled(result(0)), std::runtime_error);
  d->abort(result(FJT::Result::INVALID_GOAL, "too few points"));
  EXPECT_THROW(d->succeed(result(0)), std::runtime_error);
  const auto aborted = wait(client_->async_get_result(deferred));
  EXPECT_EQ(std::make_tuple(aborted.code, aborted.result->error_code, deferred->get_status()),
            std::make_tuple(ResultCode::ABORTED, -1, Status::STATUS_ABORTED));
  const auto again = ask<GetResult::Response>(GetResult::Request{{done->get_goal_id()}});
  const auto unknown = ask<GetResult::Response>(GetResult::Request{{{0xee}}});
  EXPECT_EQ(std::make_tuple(again.status, again.result.error_string, unknown.status),
            std::make_tuple(Status::STATUS_SUCCEEDED, "done", Status::STATUS_UNKNOWN));
  SendGoal::Request in_use{{done->get_goal_id()}, {}};
  in_use.goal.trajectory.points.resize(4);
  EXPECT_FALSE(ask<SendGoal::Response>(in_use).accepted);
}

TEST_F(Ros2Action, CancelRequestsGetRosReturnCodes) {
  auto first = send(4), second = send(4), third = send(4);
  ASSERT_EQ(handles_.size(), 3u);
  const auto expect_reply = [&](const auto& future, std::vector<C::GoalHandle::SharedPtr> goals,
                                int8_t code = Cancel::ERROR_NONE) {
    const auto reply = wait(future);
    std::vector<GoalUUID> ids, want;
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
  expect_reply(client_->async_cancel_goal(second), {}, Cancel::ERROR_REJECTED);
  EXPECT_TRUE(handles_[1]->is_executing());
  expect_reply(client_->async_cancel_goal(first), {}, Cancel::ERROR_GOAL_TERMINATED);
  auto stranger = std::make_shared<C::GoalHandle>(GoalUUID{9}, builtin_interfaces::msg::Time{});
  expect_reply(client_->async_cancel_goal(stranger), {}, Cancel::ERROR_UNKNOWN_GOAL_ID);
  cancel_ = CancelResponse::ACCEPT;
  expect_reply(client_->async_cancel_goal(second), {second});
  expect_reply(client_->async_cancel_all_goals(), {third});
  handles_[1]->canceled(result(0));
  handles_[2]->canceled(result(0));
  expect_reply(client_->async_cancel_all_goals(), {});
}

}  // namespace

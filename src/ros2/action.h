#pragma once

// Actions with the shape of rclcpp_action, on the wire as rcl_action + rmw_cyclonedds_cpp:
//
//   auto server = ros2::action::create_server<control_msgs::action::FollowJointTrajectory>(
//       node, "follow_joint_trajectory",
//       [](const ros2::action::GoalUUID&, std::shared_ptr<const Goal>) {
//         return ros2::action::GoalResponse::ACCEPT_AND_EXECUTE; },
//       [](std::shared_ptr<GoalHandle>) { return ros2::action::CancelResponse::ACCEPT; },
//       [](std::shared_ptr<GoalHandle> handle) { ... handle->succeed(result); });
//
// The three callbacks run on the executor that spins the node. Goal handles may be finished,
// and feedback published, from any thread.

#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ros2/action_core.h"
#include "ros2/init.h"
#include "ros2/msg/action_msgs.h"
#include "ros2/node.h"

namespace ros2::action {

namespace detail {

template <class ActionT>
ActionTypes action_types() {
  using Impl = typename ActionT::Impl;
  using SendGoal = typename Impl::SendGoalService;
  using GetResult = typename Impl::GetResultService;
  using Cancel = typename Impl::CancelGoalService;
  ActionTypes t;
  t.send_goal = {ros2::detail::type_name<typename SendGoal::Request>(),
                 ros2::detail::type_name<typename SendGoal::Response>(),
                 TypeSupport<typename SendGoal::Request>::descriptor(),
                 TypeSupport<typename SendGoal::Response>::descriptor()};
  t.get_result = {ros2::detail::type_name<typename GetResult::Request>(),
                  ros2::detail::type_name<typename GetResult::Response>(),
                  TypeSupport<typename GetResult::Request>::descriptor(),
                  TypeSupport<typename GetResult::Response>::descriptor()};
  t.cancel_goal = {ros2::detail::type_name<typename Cancel::Request>(),
                   ros2::detail::type_name<typename Cancel::Response>(),
                   TypeSupport<typename Cancel::Request>::descriptor(),
                   TypeSupport<typename Cancel::Response>::descriptor()};
  t.feedback_type = ros2::detail::type_name<typename Impl::FeedbackMessage>();
  t.feedback_descriptor = TypeSupport<typename Impl::FeedbackMessage>::descriptor();
  t.status_type = ros2::detail::type_name<typename Impl::GoalStatusMessage>();
  t.status_descriptor = TypeSupport<typename Impl::GoalStatusMessage>::descriptor();
  return t;
}

}  // namespace detail

template <class ActionT>
class ServerGoalHandle {
 public:
  using SharedPtr = std::shared_ptr<ServerGoalHandle>;
  using Goal = typename ActionT::Goal;
  using Result = typename ActionT::Result;
  using Feedback = typename ActionT::Feedback;

  ServerGoalHandle(std::shared_ptr<detail::ServerCore> core, const GoalUUID& uuid,
                   std::shared_ptr<const Goal> goal)
      : core_(std::move(core)), uuid_(uuid), goal_(std::move(goal)) {}

  const GoalUUID& get_goal_id() const { return uuid_; }
  std::shared_ptr<const Goal> get_goal() const { return goal_; }

  bool is_canceling() const { return core_->status(uuid_) == GoalStatus::STATUS_CANCELING; }
  bool is_executing() const { return core_->status(uuid_) == GoalStatus::STATUS_EXECUTING; }
  bool is_active() const {
    const int8_t s = core_->status(uuid_);
    return s == GoalStatus::STATUS_ACCEPTED || s == GoalStatus::STATUS_EXECUTING ||
           s == GoalStatus::STATUS_CANCELING;
  }

  // A goal accepted with ACCEPT_AND_DEFER starts executing.
  void execute() { core_->execute(uuid_); }

  void publish_feedback(std::shared_ptr<Feedback> feedback) {
    typename ActionT::Impl::FeedbackMessage msg;
    msg.goal_id.uuid = uuid_;
    msg.feedback = *feedback;
    std::vector<uint8_t> payload;
    cdr::serialize(msg, payload);
    core_->publish_feedback(payload);
  }

  // Terminal transitions; each throws std::runtime_error when the goal's state does not allow
  // it (canceled() needs a canceling goal).
  void succeed(std::shared_ptr<Result> result) { finish(GoalStatus::STATUS_SUCCEEDED, *result); }
  void abort(std::shared_ptr<Result> result) { finish(GoalStatus::STATUS_ABORTED, *result); }
  void canceled(std::shared_ptr<Result> result) { finish(GoalStatus::STATUS_CANCELED, *result); }

 private:
  void finish(int8_t status, const Result& result) {
    typename ActionT::Impl::GetResultService::Response reply;
    reply.status = status;
    reply.result = result;
    std::vector<uint8_t> payload;
    cdr::serialize_with_header(0, 0, reply, payload);
    core_->finish(uuid_, status, std::move(payload));
  }

  std::shared_ptr<detail::ServerCore> core_;
  GoalUUID uuid_;
  std::shared_ptr<const Goal> goal_;
};

struct ServerOptions {
  // How long a finished goal's result stays available, counted from the goal's acceptance.
  std::chrono::nanoseconds result_timeout = std::chrono::minutes(15);
};

template <class ActionT>
class Server : public ros2::detail::Waitable {
 public:
  using SharedPtr = std::shared_ptr<Server>;
  using GoalHandle = ServerGoalHandle<ActionT>;
  using Goal = typename ActionT::Goal;
  using GoalCallback = std::function<GoalResponse(const GoalUUID&, std::shared_ptr<const Goal>)>;
  using CancelCallback = std::function<CancelResponse(std::shared_ptr<GoalHandle>)>;
  using AcceptedCallback = std::function<void(std::shared_ptr<GoalHandle>)>;

  Server(Node& node, const std::string& name, GoalCallback handle_goal,
         CancelCallback handle_cancel, AcceptedCallback handle_accepted,
         const ServerOptions& options = ServerOptions())
      : core_(std::make_shared<detail::ServerCore>(node, name, detail::action_types<ActionT>(),
                                                   options.result_timeout)),
        handle_goal_(std::move(handle_goal)),
        handle_cancel_(std::move(handle_cancel)),
        handle_accepted_(std::move(handle_accepted)),
        logger_(node.get_logger()) {
    core_->publish_status();
  }

  std::vector<dds_entity_t> conditions() const override {
    std::vector<dds_entity_t> out;
    for (const auto* service : {&core_->send_goal, &core_->cancel_goal, &core_->get_result}) {
      for (dds_entity_t c : service->conditions()) out.push_back(c);
    }
    return out;
  }

  void execute() override {
    core_->send_goal.send_pending();
    core_->cancel_goal.send_pending();
    core_->get_result.send_pending();
    core_->expire_results();
    forget_finished();
    take_goals();
    take_cancels();
    take_result_requests();
  }

 private:
  using SendGoal = typename ActionT::Impl::SendGoalService;
  using GetResult = typename ActionT::Impl::GetResultService;
  using CancelGoal = typename ActionT::Impl::CancelGoalService;

  void forget_finished() {
    for (auto it = handles_.begin(); it != handles_.end();) {
      it = it->second->is_active() ? std::next(it) : handles_.erase(it);
    }
  }

  void take_goals() {
    take_requests<typename SendGoal::Request>(
        core_->send_goal,
        [this](const ros2::detail::RequestId& id, typename SendGoal::Request& request) {
          const GoalUUID uuid = request.goal_id.uuid;
          typename SendGoal::Response response;
          auto goal = std::make_shared<const Goal>(std::move(request.goal));
          GoalResponse decision = GoalResponse::REJECT;
          if (core_->exists(uuid)) {
            ROS2_WARN(logger_, "refused a goal whose id is already in use");
          } else {
            decision = handle_goal_(uuid, goal);
          }
          response.accepted = decision != GoalResponse::REJECT;
          if (response.accepted) {
            response.stamp = core_->accept(uuid, decision == GoalResponse::ACCEPT_AND_EXECUTE);
          }
          core_->send_goal.reply_with(id, response);
          if (!response.accepted) return;
          core_->publish_status();
          auto handle = std::make_shared<GoalHandle>(core_, uuid, goal);
          handles_[uuid] = handle;
          handle_accepted_(handle);
        });
  }

  void take_cancels() {
    take_requests<typename CancelGoal::Request>(
        core_->cancel_goal,
        [this](const ros2::detail::RequestId& id, typename CancelGoal::Request& request) {
          typename CancelGoal::Response response;
          const auto candidates = core_->cancel_candidates(request.goal_info, response.return_code);
          for (const auto& info : candidates) {
            const auto it = handles_.find(info.goal_id.uuid);
            if (it == handles_.end()) continue;
            if (handle_cancel_(it->second) == CancelResponse::ACCEPT &&
                core_->start_canceling(info.goal_id.uuid)) {
              response.goals_canceling.push_back(info);
            }
          }
          if (!candidates.empty() && response.goals_canceling.empty()) {
            response.return_code = CancelGoal::Response::ERROR_REJECTED;
          }
          if (!response.goals_canceling.empty()) core_->publish_status();
          core_->cancel_goal.reply_with(id, response);
        });
  }

  void take_result_requests() {
    take_requests<typename GetResult::Request>(
        core_->get_result,
        [this](const ros2::detail::RequestId& id, typename GetResult::Request& request) {
          if (unknown_reply_.empty()) {
            typename GetResult::Response unknown;
            cdr::serialize_with_header(0, 0, unknown, unknown_reply_);
          }
          core_->request_result(id, request.goal_id.uuid, unknown_reply_);
        });
  }

  // Takes one waiting request of a service and hands it, with its id, to handle when it decodes;
  // a malformed request is dropped. Requests left wake the executor again.
  template <class Request, class Service, class Handle>
  static void take_requests(Service& service, Handle handle) {
    ros2::detail::RequestId id;
    const std::vector<uint8_t>* payload = nullptr;
    if (!service.take(id, payload)) return;
    Request request;
    uint64_t guid = 0;
    int64_t seq = 0;
    try {
      cdr::deserialize_with_header(payload->data(), payload->size(), guid, seq, request);
    } catch (const cdr::DecodeError&) {
      return;
    }
    handle(id, request);
  }

  std::shared_ptr<detail::ServerCore> core_;
  GoalCallback handle_goal_;
  CancelCallback handle_cancel_;
  AcceptedCallback handle_accepted_;
  Logger logger_;
  std::map<GoalUUID, std::shared_ptr<GoalHandle>> handles_;
  std::vector<uint8_t> unknown_reply_;
};

template <class ActionT>
typename Server<ActionT>::SharedPtr create_server(
    Node* node, const std::string& name, typename Server<ActionT>::GoalCallback handle_goal,
    typename Server<ActionT>::CancelCallback handle_cancel,
    typename Server<ActionT>::AcceptedCallback handle_accepted,
    const ServerOptions& options = ServerOptions()) {
  auto server = std::make_shared<Server<ActionT>>(*node, name, std::move(handle_goal),
                                                  std::move(handle_cancel),
                                                  std::move(handle_accepted), options);
  node->add_waitable(server);
  return server;
}

template <class ActionT, class NodeT>
typename Server<ActionT>::SharedPtr create_server(
    const std::shared_ptr<NodeT>& node, const std::string& name,
    typename Server<ActionT>::GoalCallback handle_goal,
    typename Server<ActionT>::CancelCallback handle_cancel,
    typename Server<ActionT>::AcceptedCallback handle_accepted,
    const ServerOptions& options = ServerOptions()) {
  return create_server<ActionT>(static_cast<Node*>(node.get()), name, std::move(handle_goal),
                                std::move(handle_cancel), std::move(handle_accepted), options);
}

template <class ActionT>
class ClientGoalHandle {
 public:
  using SharedPtr = std::shared_ptr<ClientGoalHandle>;
  using Feedback = typename ActionT::Feedback;
  using Result = typename ActionT::Result;

  struct WrappedResult {
    GoalUUID goal_id{};
    ResultCode code = ResultCode::UNKNOWN;
    std::shared_ptr<Result> result;
  };
  using FeedbackCallback = std::function<void(SharedPtr, std::shared_ptr<const Feedback>)>;
  using ResultCallback = std::function<void(const WrappedResult&)>;

  ClientGoalHandle(const GoalUUID& uuid, const builtin_interfaces::msg::Time& stamp)
      : uuid_(uuid), stamp_(stamp), result_future_(result_promise_.get_future().share()) {}

  const GoalUUID& get_goal_id() const { return uuid_; }
  Time get_goal_stamp() const { return Time(stamp_); }
  int8_t get_status() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
  }
  std::shared_future<WrappedResult> result_future() const { return result_future_; }

 private:
  template <class>
  friend class Client;

  GoalUUID uuid_;
  builtin_interfaces::msg::Time stamp_;
  mutable std::mutex mutex_;
  int8_t status_ = GoalStatus::STATUS_ACCEPTED;
  bool done_ = false;
  FeedbackCallback feedback_callback_;
  ResultCallback result_callback_;
  std::promise<WrappedResult> result_promise_;
  std::shared_future<WrappedResult> result_future_;
};

template <class ActionT>
class Client : public ros2::detail::Waitable {
 public:
  using SharedPtr = std::shared_ptr<Client>;
  using Goal = typename ActionT::Goal;
  using GoalHandle = ClientGoalHandle<ActionT>;
  using WrappedResult = typename GoalHandle::WrappedResult;
  using CancelResponse = typename ActionT::Impl::CancelGoalService::Response;
  using CancelCallback = std::function<void(std::shared_ptr<CancelResponse>)>;

  struct SendGoalOptions {
    std::function<void(typename GoalHandle::SharedPtr)> goal_response_callback;
    typename GoalHandle::FeedbackCallback feedback_callback;
    typename GoalHandle::ResultCallback result_callback;
  };

  Client(Node& node, const std::string& name)
      : core_(node, name, detail::action_types<ActionT>()) {}

  bool action_server_is_ready() const { return core_.server_is_ready(); }

  template <class Rep, class Period>
  bool wait_for_action_server(std::chrono::duration<Rep, Period> timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!action_server_is_ready()) {
      if (std::chrono::steady_clock::now() >= end || !ros2::ok()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  // Completes with the goal handle when the server accepts, with nullptr when it rejects.
  std::shared_future<typename GoalHandle::SharedPtr> async_send_goal(
      const Goal& goal, const SendGoalOptions& options = SendGoalOptions()) {
    typename ActionT::Impl::SendGoalService::Request request;
    request.goal_id.uuid = detail::random_uuid();
    request.goal = goal;
    auto pending = std::make_shared<PendingGoal>();
    pending->uuid = request.goal_id.uuid;
    pending->options = options;
    auto fut = pending->promise.get_future().share();
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t seq = core_.send_goal.send(request);
    pending_goals_[seq] = pending;
    return fut;
  }

  std::shared_future<WrappedResult> async_get_result(
      typename GoalHandle::SharedPtr handle,
      typename GoalHandle::ResultCallback callback = nullptr) {
    if (callback) {
      std::lock_guard<std::mutex> lock(handle->mutex_);
      handle->result_callback_ = std::move(callback);
    }
    return handle->result_future();
  }

  std::shared_future<std::shared_ptr<CancelResponse>> async_cancel_goal(
      typename GoalHandle::SharedPtr handle, CancelCallback callback = nullptr) {
    typename ActionT::Impl::CancelGoalService::Request request;
    request.goal_info.goal_id.uuid = handle->get_goal_id();
    return send_cancel(request, std::move(callback));
  }

  std::shared_future<std::shared_ptr<CancelResponse>> async_cancel_all_goals(
      CancelCallback callback = nullptr) {
    return send_cancel(typename ActionT::Impl::CancelGoalService::Request{}, std::move(callback));
  }

  // Cancels every goal accepted at or before stamp.
  std::shared_future<std::shared_ptr<CancelResponse>> async_cancel_goals_before(
      const Time& stamp, CancelCallback callback = nullptr) {
    typename ActionT::Impl::CancelGoalService::Request request;
    request.goal_info.stamp = stamp;
    return send_cancel(request, std::move(callback));
  }

  std::vector<dds_entity_t> conditions() const override {
    return {core_.send_goal.read_condition(), core_.get_result.read_condition(),
            core_.cancel_goal.read_condition(), core_.feedback.read_condition(),
            core_.status.read_condition()};
  }

  void execute() override {
    take_goal_responses();
    // Feedback before results: a goal's result ends its handle, and feedback published before the
    // result must still reach the callback.
    take_feedback();
    take_results();
    take_cancel_responses();
    take_status();
  }

 private:
  struct PendingGoal {
    GoalUUID uuid{};
    SendGoalOptions options;
    std::promise<typename GoalHandle::SharedPtr> promise;
  };
  struct PendingCancel {
    CancelCallback callback;
    std::promise<std::shared_ptr<CancelResponse>> promise;
  };

  std::shared_future<std::shared_ptr<CancelResponse>> send_cancel(
      const typename ActionT::Impl::CancelGoalService::Request& request, CancelCallback callback) {
    auto pending = std::make_shared<PendingCancel>();
    pending->callback = std::move(callback);
    auto fut = pending->promise.get_future().share();
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t seq = core_.cancel_goal.send(request);
    pending_cancels_[seq] = pending;
    return fut;
  }

  template <class T, class Map>
  static std::shared_ptr<T> pop(Map& map, int64_t seq) {
    const auto it = map.find(seq);
    if (it == map.end()) return nullptr;
    auto value = it->second;
    map.erase(it);
    return value;
  }

  void take_goal_responses() {
    int64_t seq = 0;
    const std::vector<uint8_t>* payload = nullptr;
    while (core_.send_goal.take(seq, payload)) {
      typename ActionT::Impl::SendGoalService::Response response;
      uint64_t guid = 0;
      try {
        cdr::deserialize_with_header(payload->data(), payload->size(), guid, seq, response);
      } catch (const cdr::DecodeError&) {
        continue;
      }
      std::shared_ptr<PendingGoal> pending;
      typename GoalHandle::SharedPtr handle;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        pending = pop<PendingGoal>(pending_goals_, seq);
        if (!pending) continue;
        if (response.accepted) {
          handle = std::make_shared<GoalHandle>(pending->uuid, response.stamp);
          handle->feedback_callback_ = pending->options.feedback_callback;
          handle->result_callback_ = pending->options.result_callback;
          goals_[pending->uuid] = handle;
          typename ActionT::Impl::GetResultService::Request request;
          request.goal_id.uuid = pending->uuid;
          pending_results_[core_.get_result.send(request)] = handle;
        }
      }
      if (pending->options.goal_response_callback) pending->options.goal_response_callback(handle);
      pending->promise.set_value(handle);
    }
  }

  void take_results() {
    int64_t seq = 0;
    const std::vector<uint8_t>* payload = nullptr;
    while (core_.get_result.take(seq, payload)) {
      typename ActionT::Impl::GetResultService::Response response;
      uint64_t guid = 0;
      try {
        cdr::deserialize_with_header(payload->data(), payload->size(), guid, seq, response);
      } catch (const cdr::DecodeError&) {
        continue;
      }
      typename GoalHandle::SharedPtr handle;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        handle = pop<GoalHandle>(pending_results_, seq);
        if (!handle) continue;
        goals_.erase(handle->get_goal_id());
      }
      WrappedResult wrapped;
      wrapped.goal_id = handle->get_goal_id();
      wrapped.code = static_cast<ResultCode>(response.status);
      wrapped.result = std::make_shared<typename ActionT::Result>(std::move(response.result));
      typename GoalHandle::ResultCallback callback;
      {
        std::lock_guard<std::mutex> lock(handle->mutex_);
        if (handle->done_) continue;
        handle->done_ = true;
        if (response.status != GoalStatus::STATUS_UNKNOWN) handle->status_ = response.status;
        callback = handle->result_callback_;
      }
      if (callback) callback(wrapped);
      handle->result_promise_.set_value(wrapped);
    }
  }

  void take_cancel_responses() {
    int64_t seq = 0;
    const std::vector<uint8_t>* payload = nullptr;
    while (core_.cancel_goal.take(seq, payload)) {
      auto response = std::make_shared<CancelResponse>();
      uint64_t guid = 0;
      try {
        cdr::deserialize_with_header(payload->data(), payload->size(), guid, seq, *response);
      } catch (const cdr::DecodeError&) {
        continue;
      }
      std::shared_ptr<PendingCancel> pending;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        pending = pop<PendingCancel>(pending_cancels_, seq);
      }
      if (!pending) continue;
      if (pending->callback) pending->callback(response);
      pending->promise.set_value(response);
    }
  }

  typename GoalHandle::SharedPtr known_goal(const GoalUUID& uuid) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = goals_.find(uuid);
    return it == goals_.end() ? nullptr : it->second;
  }

  void take_feedback() {
    ros2::detail::Endpoint::Sample s;
    while (core_.feedback.take(s)) {
      if (!s.valid) continue;
      typename ActionT::Impl::FeedbackMessage msg;
      try {
        cdr::deserialize(s.payload->data(), s.payload->size(), msg);
      } catch (const cdr::DecodeError&) {
        continue;
      }
      auto handle = known_goal(msg.goal_id.uuid);
      if (!handle) continue;
      typename GoalHandle::FeedbackCallback callback;
      {
        std::lock_guard<std::mutex> lock(handle->mutex_);
        callback = handle->feedback_callback_;
      }
      if (callback) {
        callback(handle,
                 std::make_shared<const typename ActionT::Feedback>(std::move(msg.feedback)));
      }
    }
  }

  void take_status() {
    ros2::detail::Endpoint::Sample s;
    while (core_.status.take(s)) {
      if (!s.valid) continue;
      typename ActionT::Impl::GoalStatusMessage msg;
      try {
        cdr::deserialize(s.payload->data(), s.payload->size(), msg);
      } catch (const cdr::DecodeError&) {
        continue;
      }
      for (const auto& st : msg.status_list) {
        auto handle = known_goal(st.goal_info.goal_id.uuid);
        if (!handle) continue;
        std::lock_guard<std::mutex> lock(handle->mutex_);
        handle->status_ = st.status;
      }
    }
  }

  detail::ClientCore core_;
  std::mutex mutex_;
  std::map<int64_t, std::shared_ptr<PendingGoal>> pending_goals_;
  std::map<int64_t, typename GoalHandle::SharedPtr> pending_results_;
  std::map<int64_t, std::shared_ptr<PendingCancel>> pending_cancels_;
  std::map<GoalUUID, typename GoalHandle::SharedPtr> goals_;
};

template <class ActionT>
typename Client<ActionT>::SharedPtr create_client(Node* node, const std::string& name) {
  auto client = std::make_shared<Client<ActionT>>(*node, name);
  node->add_waitable(client);
  return client;
}

template <class ActionT, class NodeT>
typename Client<ActionT>::SharedPtr create_client(const std::shared_ptr<NodeT>& node,
                                                  const std::string& name) {
  return create_client<ActionT>(static_cast<Node*>(node.get()), name);
}

}  // namespace ros2::action

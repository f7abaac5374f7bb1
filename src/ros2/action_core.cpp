#include "ros2/action_core.h"

#include <algorithm>
#include <random>
#include <stdexcept>

namespace ros2::action::detail {
namespace {

bool is_terminal(int8_t status) {
  return status == GoalStatus::STATUS_SUCCEEDED || status == GoalStatus::STATUS_CANCELED ||
         status == GoalStatus::STATUS_ABORTED;
}

bool is_cancelable(int8_t status) {
  return status == GoalStatus::STATUS_ACCEPTED || status == GoalStatus::STATUS_EXECUTING;
}

bool is_zero(const GoalUUID& uuid) {
  for (uint8_t b : uuid) {
    if (b != 0) return false;
  }
  return true;
}

int64_t to_ns(const builtin_interfaces::msg::Time& t) {
  return int64_t{t.sec} * 1000000000 + t.nanosec;
}

}  // namespace

std::string action_entity_name(const Node& node, const std::string& action_name,
                               const std::string& suffix) {
  return node.resolve_topic_name(action_name + "/_action/" + suffix,
                                 suffix != "feedback" && suffix != "status");
}

ServerCore::ServerCore(Node& node, const std::string& name, const ActionTypes& types,
                       std::chrono::nanoseconds result_timeout)
    : send_goal(node, action_entity_name(node, name, "send_goal"), types.send_goal),
      cancel_goal(node, action_entity_name(node, name, "cancel_goal"), types.cancel_goal),
      get_result(node, action_entity_name(node, name, "get_result"), types.get_result),
      feedback_(node, ros2::detail::Endpoint::Kind::Writer,
                "rt" + action_entity_name(node, name, "feedback"), types.feedback_type, QoS(10)),
      status_(node, ros2::detail::Endpoint::Kind::Writer,
              "rt" + action_entity_name(node, name, "status"), types.status_type,
              QoS(1).transient_local()),
      result_timeout_(result_timeout) {}

bool ServerCore::exists(const GoalUUID& uuid) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return goals_.count(uuid) > 0;
}

builtin_interfaces::msg::Time ServerCore::accept(const GoalUUID& uuid, bool execute) {
  std::lock_guard<std::mutex> lock(mutex_);
  Goal& g = goals_[uuid];
  accepted_order_.push_back(uuid);
  g.info.goal_id.uuid = uuid;
  g.info.stamp = Clock().now();
  g.status = execute ? GoalStatus::STATUS_EXECUTING : GoalStatus::STATUS_ACCEPTED;
  return g.info.stamp;
}

int8_t ServerCore::status(const GoalUUID& uuid) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = goals_.find(uuid);
  return it == goals_.end() ? GoalStatus::STATUS_UNKNOWN : it->second.status;
}

void ServerCore::execute(const GoalUUID& uuid) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = goals_.find(uuid);
    if (it == goals_.end() || it->second.status != GoalStatus::STATUS_ACCEPTED) {
      throw std::runtime_error("goal cannot start executing from its present state");
    }
    it->second.status = GoalStatus::STATUS_EXECUTING;
    publish_status_locked();
  }
}

void ServerCore::finish(const GoalUUID& uuid, int8_t status, std::vector<uint8_t> result_reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = goals_.find(uuid);
  if (it == goals_.end()) throw std::runtime_error("goal is not known");
  Goal& g = it->second;
  const bool ok =
      status == GoalStatus::STATUS_CANCELED
          ? g.status == GoalStatus::STATUS_CANCELING
          : (g.status == GoalStatus::STATUS_EXECUTING || g.status == GoalStatus::STATUS_CANCELING);
  if (!ok) throw std::runtime_error("invalid goal state transition");
  g.status = status;
  g.result_reply = std::move(result_reply);
  // Replies never wait for their readers, so this is safe to do under the lock and from any
  // thread.
  for (const auto& id : g.waiting) get_result.reply(id, g.result_reply);
  g.waiting.clear();
  publish_status_locked();
}

void ServerCore::request_result(const ros2::detail::RequestId& id, const GoalUUID& uuid,
                                const std::vector<uint8_t>& unknown_reply) {
  std::vector<uint8_t> reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = goals_.find(uuid);
    if (it == goals_.end()) {
      reply = unknown_reply;
    } else if (is_terminal(it->second.status)) {
      reply = it->second.result_reply;
    } else {
      it->second.waiting.push_back(id);
      return;
    }
  }
  get_result.reply(id, std::move(reply));
}

std::vector<action_msgs::msg::GoalInfo> ServerCore::cancel_candidates(
    const action_msgs::msg::GoalInfo& request, int8_t& return_code) const {
  using Response = action_msgs::srv::CancelGoal_Response;
  std::vector<action_msgs::msg::GoalInfo> out;
  const bool all = is_zero(request.goal_id.uuid);
  const int64_t before = to_ns(request.stamp);
  return_code = Response::ERROR_NONE;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!all && before == 0) {
    const auto it = goals_.find(request.goal_id.uuid);
    if (it == goals_.end()) {
      return_code = Response::ERROR_UNKNOWN_GOAL_ID;
    } else if (!is_cancelable(it->second.status)) {
      return_code = Response::ERROR_GOAL_TERMINATED;
    } else {
      out.push_back(it->second.info);
    }
    return out;
  }
  for (const auto& [uuid, g] : goals_) {
    if (!is_cancelable(g.status)) continue;
    const bool named = !all && uuid == request.goal_id.uuid;
    const bool early_enough = before != 0 && to_ns(g.info.stamp) <= before;
    if ((all && before == 0) || named || early_enough) out.push_back(g.info);
  }
  return out;
}

bool ServerCore::start_canceling(const GoalUUID& uuid) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = goals_.find(uuid);
  if (it == goals_.end() || !is_cancelable(it->second.status)) return false;
  it->second.status = GoalStatus::STATUS_CANCELING;
  return true;
}

action_msgs::msg::GoalStatusArray ServerCore::status_array_locked() const {
  action_msgs::msg::GoalStatusArray arr;
  arr.status_list.reserve(accepted_order_.size());
  for (const GoalUUID& uuid : accepted_order_) {
    const Goal& g = goals_.at(uuid);
    action_msgs::msg::GoalStatus st;
    st.goal_info = g.info;
    st.status = g.status;
    arr.status_list.push_back(st);
  }
  return arr;
}

void ServerCore::publish_status() {
  std::lock_guard<std::mutex> lock(mutex_);
  publish_status_locked();
}

void ServerCore::publish_status_locked() {
  // Built and written under one lock: an array built earlier by another thread can never be
  // written after this one and stay the last (transient-local) value.
  std::vector<uint8_t> payload;
  cdr::serialize(status_array_locked(), payload);
  status_.write(payload);
}

void ServerCore::publish_feedback(const std::vector<uint8_t>& payload) { feedback_.write(payload); }

void ServerCore::expire_results() {
  const int64_t now = Clock().now().nanoseconds();
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = goals_.begin(); it != goals_.end();) {
    if (is_terminal(it->second.status) &&
        now - to_ns(it->second.info.stamp) > result_timeout_.count()) {
      accepted_order_.erase(std::find(accepted_order_.begin(), accepted_order_.end(), it->first));
      it = goals_.erase(it);
    } else {
      ++it;
    }
  }
}

ClientCore::ClientCore(Node& node, const std::string& name, const ActionTypes& types)
    : send_goal(node, action_entity_name(node, name, "send_goal"), types.send_goal),
      cancel_goal(node, action_entity_name(node, name, "cancel_goal"), types.cancel_goal),
      get_result(node, action_entity_name(node, name, "get_result"), types.get_result),
      feedback(node, ros2::detail::Endpoint::Kind::Reader,
               "rt" + action_entity_name(node, name, "feedback"), types.feedback_type, QoS(10), "",
               types.feedback_descriptor),
      status(node, ros2::detail::Endpoint::Kind::Reader,
             "rt" + action_entity_name(node, name, "status"), types.status_type,
             QoS(1).transient_local(), "", types.status_descriptor) {}

bool ClientCore::server_is_ready() const {
  return send_goal.is_ready() && cancel_goal.is_ready() && get_result.is_ready() &&
         feedback.matched_count() > 0 && status.matched_count() > 0;
}

GoalUUID random_uuid() {
  thread_local std::mt19937_64 rng{std::random_device{}()};
  GoalUUID u;
  for (size_t i = 0; i < u.size(); i += 8) {
    const uint64_t v = rng();
    for (size_t j = 0; j < 8; ++j) u[i + j] = static_cast<uint8_t>(v >> (8 * j));
  }
  return u;
}

}  // namespace ros2::action::detail

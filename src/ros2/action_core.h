#pragma once

// The untyped half of the action server and client: goal bookkeeping with rcl_action's state
// machine, status publication, result keeping and the cancel rules. The typed halves are in
// action.h.

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ros2/msg/action_msgs.h"
#include "ros2/node.h"
#include "ros2/service.h"

namespace ros2::action {

using GoalUUID = std::array<uint8_t, 16>;

enum class GoalResponse { REJECT = 1, ACCEPT_AND_EXECUTE = 2, ACCEPT_AND_DEFER = 3 };
enum class CancelResponse { REJECT = 1, ACCEPT = 2 };
enum class ResultCode : int8_t { UNKNOWN = 0, SUCCEEDED = 4, CANCELED = 5, ABORTED = 6 };

// Goal status codes (action_msgs/GoalStatus).
using GoalStatus = action_msgs::msg::GoalStatus;

namespace detail {

// DDS names and types of one action.
struct ActionTypes {
  ros2::detail::ServiceTypes send_goal;
  ros2::detail::ServiceTypes get_result;
  ros2::detail::ServiceTypes cancel_goal;
  std::string feedback_type;
  const dds_topic_descriptor_t* feedback_descriptor = nullptr;
  std::string status_type;
  const dds_topic_descriptor_t* status_descriptor = nullptr;
};

// The five DDS-level names of action "name" resolved for the node ("/ns/name/_action/...").
std::string action_entity_name(const Node& node, const std::string& action_name,
                               const std::string& suffix);

class ServerCore {
 public:
  ServerCore(Node& node, const std::string& name, const ActionTypes& types,
             std::chrono::nanoseconds result_timeout);

  ros2::detail::ServiceServer send_goal;
  ros2::detail::ServiceServer cancel_goal;
  ros2::detail::ServiceServer get_result;

  bool exists(const GoalUUID& uuid) const;
  // Adds an accepted goal (executing when execute is set) stamped now; returns the stamp.
  builtin_interfaces::msg::Time accept(const GoalUUID& uuid, bool execute);
  int8_t status(const GoalUUID& uuid) const;

  // Deferred goal starts executing. Throws std::runtime_error when not ACCEPTED.
  void execute(const GoalUUID& uuid);
  // Terminal transition with the encoded GetResult reply (any header); answers the queued
  // result requests and publishes the status. Throws std::runtime_error on an invalid
  // transition (for example canceled() on a goal that is not canceling).
  void finish(const GoalUUID& uuid, int8_t status, std::vector<uint8_t> result_reply);

  // Answers or queues a result request; unknown_reply is the encoded reply for unknown goals.
  void request_result(const ros2::detail::RequestId& id, const GoalUUID& uuid,
                      const std::vector<uint8_t>& unknown_reply);

  // The goals a cancel request names that can still be canceled, and the return code when
  // none can (ERROR_NONE when the request was for "all goals").
  std::vector<action_msgs::msg::GoalInfo> cancel_candidates(
      const action_msgs::msg::GoalInfo& request, int8_t& return_code) const;
  // ACCEPTED or EXECUTING -> CANCELING; false when the goal moved on meanwhile.
  bool start_canceling(const GoalUUID& uuid);

  // Publishes the status of every known goal, in the order of their acceptance.
  void publish_status();
  void publish_feedback(const std::vector<uint8_t>& payload);
  // Forgets terminal goals accepted longer ago than the result timeout.
  void expire_results();

 private:
  struct Goal {
    action_msgs::msg::GoalInfo info;
    int8_t status = GoalStatus::STATUS_UNKNOWN;
    std::vector<uint8_t> result_reply;
    std::vector<ros2::detail::RequestId> waiting;
  };

  action_msgs::msg::GoalStatusArray status_array_locked() const;
  void publish_status_locked();

  ros2::detail::Endpoint feedback_;
  ros2::detail::Endpoint status_;
  std::chrono::nanoseconds result_timeout_;
  mutable std::mutex mutex_;
  std::map<GoalUUID, Goal> goals_;
  std::vector<GoalUUID> accepted_order_;
};

class ClientCore {
 public:
  ClientCore(Node& node, const std::string& name, const ActionTypes& types);

  ros2::detail::ServiceClient send_goal;
  ros2::detail::ServiceClient cancel_goal;
  ros2::detail::ServiceClient get_result;
  ros2::detail::Endpoint feedback;
  ros2::detail::Endpoint status;

  // All three services answer and both topics have a publisher.
  bool server_is_ready() const;
};

// 16 random bytes.
GoalUUID random_uuid();

}  // namespace detail
}  // namespace ros2::action

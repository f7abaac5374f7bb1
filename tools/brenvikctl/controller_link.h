#pragma once

// The ROS 2 side of brenvikctl: one node "brenvikctl" (ROS 2 arguments such as remapping and
// namespace apply), the subscriptions of the eight status topics kept in a StatusSnapshot,
// publishers of the command topics made on first use, and the spinning of it all on the calling
// thread. All calls on the main thread; callbacks run inside the spin calls.

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "brenvikctl/status_snapshot.h"
#include "ros2/executor.h"
#include "ros2/msg/rcl_interfaces.h"
#include "ros2/node.h"

namespace brenvikctl {

class ControllerLink {
 public:
  // How long a controller has to show itself by default: status samples, a subscriber, an
  // acknowledgement, an action server.
  static constexpr std::chrono::milliseconds kDiscoveryTime{2000};

  // ros_argv: the program name and its ROS 2 arguments; discovery_time: kDiscoveryTime or longer
  // for a slow network or machine. Initialises ROS 2 and installs the Ctrl-C handling of
  // Interrupt.
  ControllerLink(const std::vector<std::string>& ros_argv,
                 std::chrono::milliseconds discovery_time = kDiscoveryTime);
  ~ControllerLink();
  ControllerLink(const ControllerLink&) = delete;
  ControllerLink& operator=(const ControllerLink&) = delete;

  // Waits up to the discovery time for two samples of current_reference_joint and one of
  // current_actual_joint. Returns exit_code::kOk or exit_code::kNoController with error naming
  // the ROS domain and the topic.
  [[nodiscard]] int connect(std::string& error);

  // N, from the reference joint state (valid after connect).
  size_t axisCount() const { return status_.reference.position.size(); }
  // "ROS domain D" and, outside the root namespace, the namespace.
  std::string where() const;

  const StatusSnapshot& status() const { return status_; }
  // Called after each sample of current_reference_joint (or current_actual_joint) has entered the
  // snapshot.
  void onReference(std::function<void()> callback) { on_reference_ = std::move(callback); }
  void onActual(std::function<void()> callback) { on_actual_ = std::move(callback); }

  // Publishes msg on topic once a subscriber has matched (up to the discovery time), then waits
  // up to the discovery time for the subscriber to acknowledge it. Returns exit_code::kOk or
  // exit_code::kNoController with error naming the topic and the domain.
  template <class MessageT>
  [[nodiscard]] int publish(const std::string& topic, const MessageT& msg, std::string& error) {
    auto& slot = publishers_[topic];
    if (!slot) slot = node_->create_publisher<MessageT>(topic, ros2::QoS(10));
    auto* pub = static_cast<ros2::Publisher<MessageT>*>(slot.get());
    if (const int result = awaitSubscriber(*slot, error); result != 0) return result;
    pub->publish(msg);
    return awaitAcknowledgement(*slot, error);
  }

  // Spins until done() holds (true), the timeout passes or, when interruptible, Ctrl-C (false).
  bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                 bool interruptible = true);
  // Spins for duration, or less on Ctrl-C.
  void spinFor(std::chrono::milliseconds duration);

  const std::shared_ptr<ros2::Node>& node() const { return node_; }
  std::chrono::milliseconds discoveryTime() const { return discovery_time_; }

  // The controller's log lines from /rosout since clearLog(), the last kLogLines of them; lines
  // of this node are left out. Controllers that publish no /rosout leave it empty.
  static constexpr size_t kLogLines = 20;
  const std::deque<rcl_interfaces::msg::Log>& log() const { return log_; }
  void clearLog() { log_.clear(); }
  // Its last warning and error lines, or, when there are none, its last two lines of any level,
  // each as "controller: [LEVEL] [logger] text".
  std::vector<std::string> reasons() const;

 private:
  [[nodiscard]] int awaitSubscriber(const ros2::PublisherBase& pub, std::string& error);
  [[nodiscard]] int awaitAcknowledgement(const ros2::PublisherBase& pub, std::string& error);
  void subscribe();

  [[nodiscard]] std::string within() const;

  std::chrono::milliseconds discovery_time_;
  std::shared_ptr<ros2::Node> node_;
  ros2::Executor executor_;
  StatusSnapshot status_;
  std::function<void()> on_reference_;
  std::function<void()> on_actual_;
  std::vector<std::shared_ptr<ros2::SubscriptionBase>> subscriptions_;
  std::map<std::string, std::shared_ptr<ros2::PublisherBase>> publishers_;
  std::deque<rcl_interfaces::msg::Log> log_;
};

}  // namespace brenvikctl

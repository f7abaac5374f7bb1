#include "brenvikctl/controller_link.h"

#include <dds/dds.h>

#include <cstdio>

#include "brenvikctl/exit_codes.h"
#include "brenvikctl/interrupt.h"
#include "ros2/context.h"
#include "ros2/init.h"

namespace brenvikctl {
namespace {

using namespace std::chrono_literals;

std::vector<const char*> pointers(const std::vector<std::string>& args) {
  std::vector<const char*> out;
  for (const std::string& arg : args) out.push_back(arg.c_str());
  return out;
}

}  // namespace

ControllerLink::ControllerLink(const std::vector<std::string>& ros_argv,
                               std::chrono::milliseconds discovery_time)
    : discovery_time_(discovery_time) {
  const std::vector<const char*> argv = pointers(ros_argv);
  ros2::init(static_cast<int>(argv.size()), argv.data());
  Interrupt::install();
  node_ = std::make_shared<ros2::Node>("brenvikctl");
  executor_.add_node(node_);
  subscribe();
}

ControllerLink::~ControllerLink() {
  publishers_.clear();
  subscriptions_.clear();
  executor_.remove_node(node_);
  node_.reset();
  ros2::shutdown();
}

void ControllerLink::subscribe() {
  // Deep enough that no sample is lost between two spins of a recording.
  const ros2::QoS qos(100);
  auto joint_state = [&](StatusTopic topic, sensor_msgs::msg::JointState& latest,
                         std::function<void()>& callback) {
    subscriptions_.push_back(node_->create_subscription<sensor_msgs::msg::JointState>(
        kStatusTopicNames[topic], qos,
        [this, topic, &latest, &callback](const sensor_msgs::msg::JointState& msg) {
          latest = msg;
          ++status_.counts[topic];
          if (callback) callback();
        }));
  };
  auto flag = [&](StatusTopic topic, bool& latest) {
    subscriptions_.push_back(node_->create_subscription<std_msgs::msg::Bool>(
        kStatusTopicNames[topic], qos, [this, topic, &latest](const std_msgs::msg::Bool& msg) {
          latest = msg.data;
          ++status_.counts[topic];
        }));
  };
  auto array = [&](StatusTopic topic, std::vector<double>& latest) {
    subscriptions_.push_back(node_->create_subscription<std_msgs::msg::Float64MultiArray>(
        kStatusTopicNames[topic], qos,
        [this, topic, &latest](const std_msgs::msg::Float64MultiArray& msg) {
          latest = msg.data;
          ++status_.counts[topic];
        }));
  };
  joint_state(kActualJoint, status_.actual, on_actual_);
  joint_state(kReferenceJoint, status_.reference, on_reference_);
  flag(kEnableFlag, status_.enabled);
  array(kTorqueEstimate, status_.torque_estimate);
  flag(kIsCollision, status_.collision);
  subscriptions_.push_back(node_->create_subscription<geometry_msgs::msg::Pose>(
      kStatusTopicNames[kTcpPose], qos, [this](const geometry_msgs::msg::Pose& msg) {
        status_.tcp_pose = msg;
        ++status_.counts[kTcpPose];
      }));
  array(kCollisionData, status_.collision_data);
  flag(kUnnormalFlag, status_.unnormal);
  subscriptions_.push_back(node_->create_subscription<rcl_interfaces::msg::Log>(
      "/rosout", ros2::QoS(100), [this](const rcl_interfaces::msg::Log& line) {
        if (line.name == node_->get_name()) return;
        log_.push_back(line);
        if (log_.size() > kLogLines) log_.pop_front();
      }));
}

std::vector<std::string> ControllerLink::reasons() const {
  auto text = [](const rcl_interfaces::msg::Log& line) {
    const char* level = line.level >= rcl_interfaces::msg::Log::FATAL   ? "FATAL"
                        : line.level >= rcl_interfaces::msg::Log::ERROR ? "ERROR"
                        : line.level >= rcl_interfaces::msg::Log::WARN  ? "WARN"
                        : line.level >= rcl_interfaces::msg::Log::INFO  ? "INFO"
                                                                        : "DEBUG";
    std::string msg = line.msg;
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
    return "controller: [" + std::string(level) + "] [" + line.name + "] " + msg;
  };
  std::vector<std::string> lines;
  for (const rcl_interfaces::msg::Log& line : log_) {
    if (line.level >= rcl_interfaces::msg::Log::WARN) lines.push_back(text(line));
  }
  if (lines.empty()) {
    for (size_t i = log_.size() > 2 ? log_.size() - 2 : 0; i < log_.size(); ++i) {
      lines.push_back(text(log_[i]));
    }
  }
  return lines;
}

std::string ControllerLink::where() const {
  std::string text = "ROS domain " + std::to_string(ros2::detail::Context::current()->domain_id());
  if (node_->get_namespace() != "/") text += ", namespace " + node_->get_namespace();
  return text;
}

std::string ControllerLink::within() const {
  char text[48];
  std::snprintf(text, sizeof(text), " within %g s",
                std::chrono::duration<double>(discovery_time_).count());
  return text;
}

int ControllerLink::connect(std::string& error) {
  if (spinUntil(
          [&] {
            return status_.counts[kReferenceJoint] >= 2 && status_.has(kActualJoint) &&
                   !status_.reference.position.empty();
          },
          discovery_time_)) {
    return exit_code::kOk;
  }
  if (Interrupt::requested()) return exit_code::kInterrupted;
  error = "no controller found on " + where() + within() + ": nothing published " +
          node_->resolve_topic_name(kStatusTopicNames[kReferenceJoint]) +
          " (is brenvik_robot running with the same ROS_DOMAIN_ID and ROS_LOCALHOST_ONLY?)";
  return exit_code::kNoController;
}

int ControllerLink::awaitSubscriber(const ros2::PublisherBase& pub, std::string& error) {
  if (spinUntil([&] { return pub.get_subscription_count() > 0; }, discovery_time_)) {
    return exit_code::kOk;
  }
  if (Interrupt::requested()) return exit_code::kInterrupted;
  error = "no controller found on " + where() + within() + ": nothing subscribes to " +
          pub.get_topic_name();
  return exit_code::kNoController;
}

int ControllerLink::awaitAcknowledgement(const ros2::PublisherBase& pub, std::string& error) {
  const auto timeout = std::chrono::duration_cast<std::chrono::nanoseconds>(discovery_time_);
  if (dds_wait_for_acks(pub.dds_writer(), timeout.count()) == DDS_RETCODE_OK) {
    return exit_code::kOk;
  }
  error = "the controller did not acknowledge " + pub.get_topic_name() + within() + " (" + where() +
          ")";
  return exit_code::kNoController;
}

bool ControllerLink::spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                               bool interruptible) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if ((interruptible && Interrupt::requested()) || std::chrono::steady_clock::now() >= end) {
      return done();
    }
    executor_.spin_once(10ms);
  }
  return true;
}

void ControllerLink::spinFor(std::chrono::milliseconds duration) {
  (void)spinUntil([] { return false; }, duration);
}

}  // namespace brenvikctl

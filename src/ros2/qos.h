#pragma once

// Quality of service of publishers and subscriptions, as rclcpp::QoS: QoS(depth) is keep-last
// with that depth, reliable and volatile, and every policy can be changed with the setters.

#include <chrono>
#include <cstddef>

typedef struct dds_qos dds_qos_t;

namespace ros2 {

enum class ReliabilityPolicy { Reliable, BestEffort };
enum class DurabilityPolicy { Volatile, TransientLocal };
enum class HistoryPolicy { KeepLast, KeepAll };

struct KeepLast {
  explicit KeepLast(size_t d) : depth(d) {}
  size_t depth;
};
struct KeepAll {};

class QoS {
 public:
  QoS(size_t depth) : depth_(depth == 0 ? 1 : depth) {}  // NOLINT: rclcpp allows QoS q = 10.
  QoS(KeepLast k) : QoS(k.depth) {}                      // NOLINT
  QoS(KeepAll) : history_(HistoryPolicy::KeepAll) {}     // NOLINT

  QoS& keep_last(size_t depth) {
    history_ = HistoryPolicy::KeepLast;
    depth_ = depth == 0 ? 1 : depth;
    return *this;
  }
  QoS& keep_all() {
    history_ = HistoryPolicy::KeepAll;
    return *this;
  }
  QoS& reliable() {
    reliability_ = ReliabilityPolicy::Reliable;
    return *this;
  }
  QoS& best_effort() {
    reliability_ = ReliabilityPolicy::BestEffort;
    return *this;
  }
  QoS& durability_volatile() {
    durability_ = DurabilityPolicy::Volatile;
    return *this;
  }
  QoS& transient_local() {
    durability_ = DurabilityPolicy::TransientLocal;
    return *this;
  }
  // How long a sample stays valid after it was written (0: forever).
  QoS& lifespan(std::chrono::nanoseconds lifespan) {
    lifespan_ = lifespan;
    return *this;
  }
  // Use the topic name as the DDS topic name, without the "rt" prefix.
  QoS& avoid_ros_namespace_conventions(bool avoid) {
    avoid_ros_conventions_ = avoid;
    return *this;
  }

  HistoryPolicy history() const { return history_; }
  size_t depth() const { return depth_; }
  ReliabilityPolicy reliability() const { return reliability_; }
  DurabilityPolicy durability() const { return durability_; }
  bool avoid_ros_namespace_conventions() const { return avoid_ros_conventions_; }
  std::chrono::nanoseconds lifespan() const { return lifespan_; }

 private:
  HistoryPolicy history_ = HistoryPolicy::KeepLast;
  size_t depth_ = 10;
  ReliabilityPolicy reliability_ = ReliabilityPolicy::Reliable;
  DurabilityPolicy durability_ = DurabilityPolicy::Volatile;
  bool avoid_ros_conventions_ = false;
  std::chrono::nanoseconds lifespan_{0};
};

// Best effort, keep last 5 (rclcpp::SensorDataQoS).
class SensorDataQoS : public QoS {
 public:
  SensorDataQoS() : QoS(5) { best_effort(); }
};

// Keep last 10, reliable, volatile (services and action feedback).
class ServicesQoS : public QoS {
 public:
  ServicesQoS() : QoS(10) {}
};

// Keep last 1000, reliable, volatile: parameter services and /parameter_events
// (rclcpp::ParametersQoS, rclcpp::ParameterEventsQoS).
class ParametersQoS : public QoS {
 public:
  ParametersQoS() : QoS(1000) {}
};
using ParameterEventsQoS = ParametersQoS;

// Keep last 1000, reliable, transient local, lifespan 10 s: /rosout (rclcpp::RosoutQoS).
class RosoutQoS : public QoS {
 public:
  RosoutQoS() : QoS(1000) { transient_local().lifespan(std::chrono::seconds(10)); }
};

namespace detail {
// A new Cyclone QoS with every policy set the way rmw_cyclonedds_cpp sets it; the caller
// deletes it with dds_delete_qos.
dds_qos_t* make_dds_qos(const QoS& qos);
}  // namespace detail

}  // namespace ros2

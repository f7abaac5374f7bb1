#include "ros2/rosout.h"

#include <stdexcept>

namespace ros2::detail {

Rosout::Rosout(Node& node)
    : publisher_(node, "/rosout", RosoutQoS()),
      posted_(dds_create_guardcondition(node.context()->participant())) {
  if (posted_ < 0) throw std::runtime_error("cannot create the /rosout guard condition");
}

Rosout::~Rosout() { dds_delete(posted_); }

void Rosout::publish(const rcl_interfaces::msg::Log& line) { publisher_.publish(line); }

bool Rosout::post(rcl_interfaces::msg::Log line) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.size() >= logging::kRosoutQueueLimit) return false;
    queue_.push_back(std::move(line));
  }
  dds_set_guardcondition(posted_, true);
  return true;
}

void Rosout::execute() {
  bool triggered = false;
  if (dds_take_guardcondition(posted_, &triggered) < 0) {
    throw std::runtime_error("cannot reset the /rosout guard condition");
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    draining_.swap(queue_);
  }
  // Published outside the lock, so that posting never waits for the network.
  for (const auto& line : draining_) publisher_.publish(line);
  draining_.clear();
}

}  // namespace ros2::detail

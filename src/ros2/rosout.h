#pragma once

// A node's /rosout publisher: the lines of the node's loggers, published on the logging thread,
// and lines posted from elsewhere (logging::post_to_rosout), queued and published by the
// executor that spins the node.

#include <dds/dds.h>

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "ros2/logging.h"
#include "ros2/msg/rcl_interfaces.h"
#include "ros2/node.h"

namespace ros2::detail {

class Rosout : public Waitable, public logging::detail::RosoutSink {
 public:
  // Creates the node's /rosout writer (RosoutQoS) and a guard condition that wakes the executor.
  explicit Rosout(Node& node);
  ~Rosout() override;
  Rosout(const Rosout&) = delete;
  Rosout& operator=(const Rosout&) = delete;

  void publish(const rcl_interfaces::msg::Log& line) override;
  bool post(rcl_interfaces::msg::Log line) override;

  std::vector<dds_entity_t> conditions() const override { return {posted_}; }
  // Publishes the posted lines. Executor thread.
  void execute() override;

 private:
  Publisher<rcl_interfaces::msg::Log> publisher_;
  dds_entity_t posted_ = 0;
  std::mutex mutex_;
  std::deque<rcl_interfaces::msg::Log> queue_;
  std::deque<rcl_interfaces::msg::Log> draining_;
};

}  // namespace ros2::detail

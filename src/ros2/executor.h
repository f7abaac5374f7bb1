#pragma once

// A single-threaded executor: the thread that calls spin() runs every callback of the nodes
// added to it, one at a time. Cyclone's threads only wake it through a waitset.

#include <dds/dds.h>

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "ros2/init.h"
#include "ros2/node.h"

namespace ros2 {

enum class FutureReturnCode { SUCCESS, INTERRUPTED, TIMEOUT };

class Executor {
 public:
  Executor() = default;
  ~Executor();
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;

  void add_node(const std::shared_ptr<Node>& node);
  void remove_node(const std::shared_ptr<Node>& node);

  // Runs callbacks until ROS 2 shuts down or cancel() is called.
  void spin();
  // Runs what is ready now, without waiting, for at most max_duration (0: no limit).
  void spin_some(std::chrono::nanoseconds max_duration = std::chrono::nanoseconds(0));
  // Waits up to timeout (negative: forever) for work and runs what is ready.
  void spin_once(std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));

  template <class FutureT, class Rep = int64_t, class Period = std::milli>
  FutureReturnCode spin_until_future_complete(
      const FutureT& future,
      std::chrono::duration<Rep, Period> timeout = std::chrono::duration<Rep, Period>(-1)) {
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
    while (ok() && !canceled_.load()) {
      if (future.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        return FutureReturnCode::SUCCESS;
      }
      std::chrono::nanoseconds wait = std::chrono::milliseconds(100);
      if (limit >= std::chrono::nanoseconds(0)) {
        const auto left = limit - (std::chrono::steady_clock::now() - start);
        if (left <= std::chrono::nanoseconds(0)) return FutureReturnCode::TIMEOUT;
        wait = std::min(wait, std::chrono::duration_cast<std::chrono::nanoseconds>(left));
      }
      spin_once(wait);
    }
    canceled_.store(false);
    if (future.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
      return FutureReturnCode::SUCCESS;
    }
    return FutureReturnCode::INTERRUPTED;
  }

  // Makes spin() return; callable from any thread.
  void cancel();

 private:
  // Attaches the conditions of the current entities; returns the waitables and timers.
  void prepare(std::vector<std::shared_ptr<detail::Waitable>>& waitables,
               std::vector<std::shared_ptr<TimerBase>>& timers);
  // One wait and the callbacks that are then ready; false when nothing ran.
  bool run_once(std::chrono::nanoseconds timeout);

  std::mutex mutex_;
  std::vector<std::weak_ptr<Node>> nodes_;
  std::shared_ptr<detail::Context> context_;
  dds_entity_t waitset_ = 0;
  dds_entity_t cancel_guard_ = 0;
  std::map<dds_entity_t, size_t> attached_;  // condition -> index into the last waitables
  std::atomic<bool> canceled_{false};
};

using SingleThreadedExecutor = Executor;
namespace executors {
using SingleThreadedExecutor = ros2::Executor;
}

// Shorthands for one node, as in rclcpp.
void spin(const std::shared_ptr<Node>& node);
void spin_some(const std::shared_ptr<Node>& node);

template <class FutureT, class Rep = int64_t, class Period = std::milli>
FutureReturnCode spin_until_future_complete(
    const std::shared_ptr<Node>& node, const FutureT& future,
    std::chrono::duration<Rep, Period> timeout = std::chrono::duration<Rep, Period>(-1)) {
  Executor exec;
  exec.add_node(node);
  return exec.spin_until_future_complete(future, timeout);
}

}  // namespace ros2

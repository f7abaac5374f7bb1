#pragma once

// A single-threaded executor: the thread that calls spin() runs every callback of the nodes
// added to it, one at a time. It sleeps in a DDS waitset until something is due: a sample or a
// request, a timer, a node that gained an entity, cancel() or the shut-down.
//
// Each wake runs at most one sample per subscription (one request per service), so one busy
// topic cannot starve the others; whatever is left wakes it again at once. The entities are
// collected again only when a node's set of entities changed, and a wake for a sample allocates
// nothing in the executor.
//
// Like rclcpp: a node belongs to at most one executor at a time (add_node throws otherwise), and
// only one thread may spin an executor at a time (the spin functions throw otherwise).

#include <dds/dds.h>

#include <atomic>
#include <chrono>
#include <future>
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

  // Any thread. Throws std::runtime_error when the node is already in an executor, or belongs
  // to another ROS 2 session than the nodes already added.
  void add_node(const std::shared_ptr<Node>& node);
  void remove_node(const std::shared_ptr<Node>& node);

  // Runs callbacks until ROS 2 shuts down or cancel() is called.
  void spin();
  // Runs what is ready now, without waiting, for at most max_duration (0: no limit).
  void spin_some(std::chrono::nanoseconds max_duration = std::chrono::nanoseconds(0));
  // Waits up to timeout (negative: forever) for work and runs what is then ready.
  void spin_once(std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));

  template <class FutureT, class Rep = int64_t, class Period = std::milli>
  FutureReturnCode spin_until_future_complete(
      const FutureT& future,
      std::chrono::duration<Rep, Period> timeout = std::chrono::duration<Rep, Period>(-1)) {
    SpinGuard guard(*this, "spin_until_future_complete");
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
    while (ok() && !canceled_.load()) {
      if (future.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        return FutureReturnCode::SUCCESS;
      }
      // The future may be completed by another thread, which does not wake the waitset.
      std::chrono::nanoseconds wait = std::chrono::milliseconds(100);
      if (limit >= std::chrono::nanoseconds(0)) {
        const auto left = limit - (std::chrono::steady_clock::now() - start);
        if (left <= std::chrono::nanoseconds(0)) return FutureReturnCode::TIMEOUT;
        wait = std::min(wait, std::chrono::duration_cast<std::chrono::nanoseconds>(left));
      }
      wait_and_run(wait);
    }
    consume_cancel();
    if (future.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
      return FutureReturnCode::SUCCESS;
    }
    return FutureReturnCode::INTERRUPTED;
  }

  // Makes spin() return; callable from any thread.
  void cancel();

 private:
  // Marks the executor as spinning for the guard's lifetime; throws when it already is.
  class SpinGuard {
   public:
    SpinGuard(Executor& exec, const char* what);
    ~SpinGuard() { exec_.spinning_.store(false); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;

   private:
    Executor& exec_;
  };

  // Attach arguments of the executor's own conditions; waitables use their index (>= 0).
  static constexpr dds_attach_t kCancel = -1;
  static constexpr dds_attach_t kShutdown = -2;
  static constexpr dds_attach_t kNodesChanged = -3;  // a node's change guard or interrupt_guard_

  // The waitset of the current ROS 2 session, made on first use; false before init().
  bool ensure_waitset();
  // Clears the change conditions and collects the entities again when a node was added or
  // removed or a node's entities changed.
  void update_entities();
  void collect();
  // One wait and the callbacks that are then ready; false when nothing ran.
  bool wait_and_run(std::chrono::nanoseconds timeout);
  // Clears a cancel() that ended spinning.
  void consume_cancel();

  std::mutex mutex_;  // guards nodes_, nodes_changed_ and the session's entities below
  std::vector<std::weak_ptr<Node>> nodes_;
  bool nodes_changed_ = true;
  std::shared_ptr<detail::Context> context_;
  dds_entity_t waitset_ = 0;
  dds_entity_t cancel_guard_ = 0;
  dds_entity_t interrupt_guard_ = 0;  // a node was added or removed
  std::atomic<bool> canceled_{false};
  std::atomic<bool> spinning_{false};

  // Used by the spinning thread only; sized when the entities are collected.
  struct CollectedNode {
    std::weak_ptr<Node> node;
    uint64_t generation = 0;
  };
  std::vector<CollectedNode> collected_nodes_;
  std::vector<std::weak_ptr<detail::Waitable>> waitables_;
  std::vector<std::weak_ptr<TimerBase>> timers_;
  std::vector<dds_entity_t> attached_;
  std::vector<dds_attach_t> triggered_;
  std::vector<uint8_t> ready_;
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

#include "ros2/executor.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace ros2 {
namespace {

void check(dds_return_t rc, const char* what) {
  if (rc < 0) throw std::runtime_error(std::string(what) + ": " + dds_strretcode(rc));
}

// Resets a guard condition. Cyclone refuses a null result pointer without resetting the
// trigger, which would leave the waitset returning at once for good.
void take_guard(dds_entity_t guard) {
  bool triggered = false;
  check(dds_take_guardcondition(guard, &triggered), "cannot reset a guard condition");
}

}  // namespace

Executor::SpinGuard::SpinGuard(Executor& exec, const char* what) : exec_(exec) {
  if (exec_.spinning_.exchange(true)) {
    throw std::runtime_error(std::string(what) + "() called while already spinning");
  }
}

Executor::~Executor() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& w : nodes_) {
    if (auto node = w.lock()) node->in_executor_.store(false);
  }
  if (waitset_ > 0) dds_delete(waitset_);
  if (cancel_guard_ > 0) dds_delete(cancel_guard_);
  if (interrupt_guard_ > 0) dds_delete(interrupt_guard_);
}

bool Executor::ensure_waitset() {
  if (waitset_ > 0) return true;
  if (!context_) context_ = detail::Context::current_or_null();
  if (!context_) return false;
  const dds_entity_t pp = context_->participant();
  waitset_ = dds_create_waitset(pp);
  check(waitset_, "cannot create a waitset");
  cancel_guard_ = dds_create_guardcondition(pp);
  check(cancel_guard_, "cannot create a guard condition");
  interrupt_guard_ = dds_create_guardcondition(pp);
  check(interrupt_guard_, "cannot create a guard condition");
  check(dds_waitset_attach(waitset_, cancel_guard_, kCancel), "cannot attach a condition");
  check(dds_waitset_attach(waitset_, interrupt_guard_, kNodesChanged), "cannot attach a condition");
  check(dds_waitset_attach(waitset_, context_->shutdown_condition(), kShutdown),
        "cannot attach a condition");
  return true;
}

void Executor::add_node(const std::shared_ptr<Node>& node) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (context_ && context_ != node->context()) {
    throw std::runtime_error("an executor cannot mix nodes of different ROS 2 sessions");
  }
  if (node->in_executor_.exchange(true)) {
    throw std::runtime_error("Node '" + node->get_fully_qualified_name() +
                             "' has already been added to an executor.");
  }
  context_ = node->context();
  try {
    ensure_waitset();
    check(dds_waitset_attach(waitset_, node->change_condition(), kNodesChanged),
          "cannot attach a condition");
  } catch (...) {
    node->in_executor_.store(false);
    throw;
  }
  nodes_.push_back(node);
  nodes_changed_ = true;
  dds_set_guardcondition(interrupt_guard_, true);
}

void Executor::remove_node(const std::shared_ptr<Node>& node) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = std::find_if(nodes_.begin(), nodes_.end(),
                               [&](const std::weak_ptr<Node>& w) { return w.lock() == node; });
  if (it == nodes_.end()) return;
  nodes_.erase(it);
  node->in_executor_.store(false);
  // Its conditions are detached when the entities are collected again.
  dds_waitset_detach(waitset_, node->change_condition());
  nodes_changed_ = true;
  dds_set_guardcondition(interrupt_guard_, true);
}

void Executor::cancel() {
  canceled_.store(true);
  std::lock_guard<std::mutex> lock(mutex_);
  if (cancel_guard_ > 0) dds_set_guardcondition(cancel_guard_, true);
}

void Executor::consume_cancel() {
  canceled_.store(false);
  std::lock_guard<std::mutex> lock(mutex_);
  if (cancel_guard_ > 0) take_guard(cancel_guard_);
}

void Executor::spin() {
  SpinGuard guard(*this, "spin");
  while (ok() && !canceled_.load()) wait_and_run(std::chrono::nanoseconds(-1));
  consume_cancel();
}

void Executor::spin_some(std::chrono::nanoseconds max_duration) {
  SpinGuard guard(*this, "spin_some");
  const auto start = std::chrono::steady_clock::now();
  while (ok() && !canceled_.load()) {
    if (!wait_and_run(std::chrono::nanoseconds(0))) break;
    if (max_duration > std::chrono::nanoseconds(0) &&
        std::chrono::steady_clock::now() - start >= max_duration) {
      break;
    }
  }
  consume_cancel();
}

void Executor::spin_once(std::chrono::nanoseconds timeout) {
  SpinGuard guard(*this, "spin_once");
  wait_and_run(timeout);
}

void Executor::update_entities() {
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    take_guard(interrupt_guard_);
    if (nodes_changed_) {
      nodes_changed_ = false;
      changed = true;
      collected_nodes_.clear();
      for (const auto& w : nodes_) collected_nodes_.push_back({w, 0});
    }
  }
  for (CollectedNode& c : collected_nodes_) {
    const auto node = c.node.lock();
    if (!node) continue;
    take_guard(node->change_condition());
    const uint64_t generation = node->entities_generation();
    changed = changed || generation != c.generation;
  }
  if (changed) collect();
}

void Executor::collect() {
  std::vector<std::shared_ptr<detail::Waitable>> waitables;
  std::vector<std::shared_ptr<TimerBase>> timers;
  for (CollectedNode& c : collected_nodes_) {
    if (const auto node = c.node.lock()) {
      c.generation = node->entities_generation();
      node->collect(waitables, timers);
    }
  }
  // Conditions of entities destroyed since were detached by Cyclone when they were deleted.
  for (dds_entity_t cond : attached_) dds_waitset_detach(waitset_, cond);
  attached_.clear();
  waitables_.assign(waitables.begin(), waitables.end());
  timers_.assign(timers.begin(), timers.end());
  for (size_t i = 0; i < waitables.size(); ++i) {
    for (dds_entity_t cond : waitables[i]->conditions()) {
      check(dds_waitset_attach(waitset_, cond, static_cast<dds_attach_t>(i)),
            "cannot attach a condition");
      attached_.push_back(cond);
    }
  }
  ready_.assign(waitables_.size(), 0);
  // Every attached condition can trigger at once: the entities', the nodes' change conditions
  // and the executor's three.
  triggered_.resize(attached_.size() + collected_nodes_.size() + 3);
}

bool Executor::wait_and_run(std::chrono::nanoseconds timeout) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ensure_waitset()) return false;
  }
  update_entities();

  dds_duration_t wait = timeout < std::chrono::nanoseconds(0) ? DDS_INFINITY : timeout.count();
  for (const auto& w : timers_) {
    const auto t = w.lock();
    if (!t || t->is_canceled()) continue;
    const int64_t left = std::max<int64_t>(0, t->time_until_trigger().count());
    if (wait == DDS_INFINITY || left < wait) wait = left;
  }
  const dds_return_t n = dds_waitset_wait(waitset_, triggered_.data(), triggered_.size(), wait);
  check(n, "waiting for work failed");

  for (size_t i = 0; i < std::min(static_cast<size_t>(n), triggered_.size()); ++i) {
    const dds_attach_t arg = triggered_[i];
    if (arg >= 0 && static_cast<size_t>(arg) < ready_.size()) {
      ready_[static_cast<size_t>(arg)] = 1;
    } else if (arg == kCancel) {
      // canceled_ carries the request on to the spin loop.
      take_guard(cancel_guard_);
    }
  }
  bool ran = false;
  for (const auto& w : timers_) {
    if (!ok()) return ran;
    const auto t = w.lock();
    ran = (t && t->execute_if_due()) || ran;
  }
  for (size_t i = 0; i < ready_.size(); ++i) {
    if (ready_[i] == 0) continue;
    ready_[i] = 0;
    if (!ok()) continue;
    if (const auto waitable = waitables_[i].lock()) {
      waitable->execute();
      ran = true;
    }
  }
  return ran;
}

void spin(const std::shared_ptr<Node>& node) {
  Executor exec;
  exec.add_node(node);
  exec.spin();
}

void spin_some(const std::shared_ptr<Node>& node) {
  Executor exec;
  exec.add_node(node);
  exec.spin_some();
}

}  // namespace ros2

#include "ros2/executor.h"

#include <algorithm>
#include <stdexcept>

namespace ros2 {

Executor::~Executor() {
  if (waitset_ > 0) dds_delete(waitset_);
  if (cancel_guard_ > 0) dds_delete(cancel_guard_);
}

void Executor::add_node(const std::shared_ptr<Node>& node) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!context_) {
    context_ = node->context();
    waitset_ = dds_create_waitset(context_->participant());
    cancel_guard_ = dds_create_guardcondition(context_->participant());
    dds_waitset_attach(waitset_, cancel_guard_, cancel_guard_);
    dds_waitset_attach(waitset_, context_->shutdown_condition(), context_->shutdown_condition());
  } else if (context_ != node->context()) {
    throw std::runtime_error("an executor cannot mix nodes of different ROS 2 sessions");
  }
  nodes_.push_back(node);
  dds_waitset_attach(waitset_, node->change_condition(), node->change_condition());
}

void Executor::remove_node(const std::shared_ptr<Node>& node) {
  std::lock_guard<std::mutex> lock(mutex_);
  nodes_.erase(std::remove_if(nodes_.begin(), nodes_.end(),
                              [&](const std::weak_ptr<Node>& w) {
                                auto sp = w.lock();
                                return !sp || sp == node;
                              }),
               nodes_.end());
  if (waitset_ > 0) dds_waitset_detach(waitset_, node->change_condition());
}

void Executor::cancel() {
  canceled_.store(true);
  std::lock_guard<std::mutex> lock(mutex_);
  if (cancel_guard_ > 0) dds_set_guardcondition(cancel_guard_, true);
}

void Executor::spin() {
  while (ok() && !canceled_.load()) run_once(std::chrono::nanoseconds(-1));
  canceled_.store(false);
}

void Executor::spin_some(std::chrono::nanoseconds max_duration) {
  const auto start = std::chrono::steady_clock::now();
  while (ok() && !canceled_.load()) {
    if (!run_once(std::chrono::nanoseconds(0))) break;
    if (max_duration > std::chrono::nanoseconds(0) &&
        std::chrono::steady_clock::now() - start >= max_duration) {
      break;
    }
  }
  canceled_.store(false);
}

void Executor::spin_once(std::chrono::nanoseconds timeout) { run_once(timeout); }

void Executor::prepare(std::vector<std::shared_ptr<detail::Waitable>>& waitables,
                       std::vector<std::shared_ptr<TimerBase>>& timers) {
  std::vector<std::shared_ptr<Node>> nodes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& w : nodes_) {
      if (auto sp = w.lock()) nodes.push_back(std::move(sp));
    }
  }
  for (const auto& n : nodes) {
    dds_take_guardcondition(n->change_condition(), nullptr);
    n->collect(waitables, timers);
  }
  std::map<dds_entity_t, size_t> wanted;
  for (size_t i = 0; i < waitables.size(); ++i) {
    for (dds_entity_t c : waitables[i]->conditions()) wanted[c] = i;
  }
  for (const auto& [cond, index] : attached_) {
    if (wanted.count(cond) == 0) dds_waitset_detach(waitset_, cond);
  }
  for (const auto& [cond, index] : wanted) {
    if (attached_.count(cond) == 0) dds_waitset_attach(waitset_, cond, cond);
  }
  attached_ = std::move(wanted);
}

bool Executor::run_once(std::chrono::nanoseconds timeout) {
  if (waitset_ <= 0) return false;
  std::vector<std::shared_ptr<detail::Waitable>> waitables;
  std::vector<std::shared_ptr<TimerBase>> timers;
  prepare(waitables, timers);

  dds_duration_t wait = timeout < std::chrono::nanoseconds(0) ? DDS_INFINITY : timeout.count();
  for (const auto& t : timers) {
    if (t->is_canceled()) continue;
    const int64_t left = std::max<int64_t>(0, t->time_until_trigger().count());
    if (wait == DDS_INFINITY || left < wait) wait = left;
  }

  // Every attached condition can trigger: the entities', each node's change condition, the
  // cancel and the shut-down conditions.
  size_t node_count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    node_count = nodes_.size();
  }
  std::vector<dds_attach_t> triggered(attached_.size() + node_count + 2);
  const dds_return_t n = dds_waitset_wait(waitset_, triggered.data(), triggered.size(), wait);
  if (n < 0) return false;
  dds_take_guardcondition(cancel_guard_, nullptr);

  bool ran = false;
  for (const auto& t : timers) {
    if (!ok()) return ran;
    ran = t->execute_if_due() || ran;
  }
  std::vector<size_t> ready;
  for (dds_return_t i = 0; i < n && static_cast<size_t>(i) < triggered.size(); ++i) {
    const auto it = attached_.find(static_cast<dds_entity_t>(triggered[static_cast<size_t>(i)]));
    if (it != attached_.end()) ready.push_back(it->second);
  }
  std::sort(ready.begin(), ready.end());
  ready.erase(std::unique(ready.begin(), ready.end()), ready.end());
  for (size_t index : ready) {
    if (!ok()) break;
    waitables[index]->execute();
    ran = true;
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

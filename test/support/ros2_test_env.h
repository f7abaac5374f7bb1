#pragma once

// Tests that start DDS stay on loopback, each process (and its children) in a domain of its own.

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace ros2_test {

inline void use_private_loopback_domain() {
  setenv("ROS_LOCALHOST_ONLY", "1", 1);
  unsetenv("CYCLONEDDS_URI");
  const int domain = 1 + static_cast<int>(getpid() % 230);
  setenv("ROS_DOMAIN_ID", std::to_string(domain).c_str(), 1);
}

// Polls pred until it holds or the deadline passes; returns the last result.
template <class Pred>
bool wait_until(Pred pred, std::chrono::milliseconds deadline = std::chrono::milliseconds(3000)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace ros2_test

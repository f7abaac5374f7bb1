#pragma once

// Process-wide start and end of ROS 2: init() reads the ROS 2 arguments and the environment
// (ROS_DOMAIN_ID, ROS_LOCALHOST_ONLY, CYCLONEDDS_URI), creates the DDS participant shared by
// every node, and installs SIGINT/SIGTERM handlers that shut ROS 2 down, which ends spinning.

#include <functional>
#include <string>
#include <vector>

namespace ros2 {

void init(int argc, const char* const argv[]);
inline void init(int argc, char** argv) { init(argc, const_cast<const char* const*>(argv)); }

// True between init() and shutdown() (or a SIGINT/SIGTERM).
bool ok();

// Ends ROS 2: spinning stops, ok() turns false. Returns false when it was not running.
bool shutdown(const std::string& reason = "user called shutdown");

// Called once when ROS 2 shuts down (on the thread that shuts it down).
void on_shutdown(std::function<void()> callback);

}  // namespace ros2

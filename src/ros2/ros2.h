#pragma once

// The ROS 2 client layer in one include: init/shutdown, nodes, publishers, subscriptions,
// timers, executors, logging, and the message types.

#include "ros2/arguments.h"
#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/logging.h"
#include "ros2/msg/builtin_interfaces.h"
#include "ros2/msg/geometry_msgs.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/msg/std_msgs.h"
#include "ros2/msg/trajectory_msgs.h"
#include "ros2/node.h"
#include "ros2/parameter.h"
#include "ros2/parameter_client.h"
#include "ros2/qos.h"
#include "ros2/service.h"
#include "ros2/time.h"

#pragma once

// The include path ROS 2 code uses for this service.
#include "ros2/msg/rcl_interfaces.h"

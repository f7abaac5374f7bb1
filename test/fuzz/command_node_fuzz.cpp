// Any sequence of messages on the command node's topics, straight into its callbacks, with the
// control loop stepped between them on the simulated arm: nothing crashes, nothing hangs, and
// nothing the loop writes to the drives is non-finite or outside the joint limits.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "fuzz_controller.h"
#include "ros2/ros2.h"

namespace {

using std_msgs::msg::Bool;
using std_msgs::msg::Float64MultiArray;
using std_msgs::msg::Int32MultiArray;

using brenvik::fuzz::Controller;

Controller* controller = nullptr;

// Mostly plausible joint values, sometimes anything at all.
double value(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
      return in.ConsumeFloatingPoint<double>();
    case 1:
      return std::nan("");
    default:
      return in.ConsumeFloatingPointInRange<double>(-4.0, 4.0);
  }
}

Float64MultiArray doubles(FuzzedDataProvider& in) {
  Float64MultiArray msg;
  const int dims = in.ConsumeIntegralInRange<int>(0, 3);
  for (int d = 0; d < dims; ++d) {
    std_msgs::msg::MultiArrayDimension dim;
    dim.size = in.ConsumeIntegralInRange<uint32_t>(0, 12);
    if (in.ConsumeBool()) {
      dim.size = in.ConsumeIntegral<uint32_t>();
    }
    dim.stride = in.ConsumeIntegral<uint32_t>();
    msg.layout.dim.push_back(dim);
  }
  const size_t n = in.ConsumeIntegralInRange<size_t>(0, 48);
  for (size_t i = 0; i < n; ++i) {
    msg.data.push_back(value(in));
  }
  return msg;
}

void checkSetpoint(const brenvik::Interpolator& interpolator, const brenvik::Robot& robot) {
  const auto& q = interpolator.refJointState().positions;
  const auto& axes = robot.robot_para_.axis_paras;
  for (size_t i = 0; i < q.size(); ++i) {
    if (!std::isfinite(q[i]) || q[i] > axes[i].max_joint_pos + 1e-9 ||
        q[i] < axes[i].min_joint_pos - 1e-9) {
      std::fprintf(stderr, "axis %zu reference %g outside [%g, %g]\n", i + 1, q[i],
                   axes[i].min_joint_pos, axes[i].max_joint_pos);
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    std::abort();
  }
  setenv("ROS_LOCALHOST_ONLY", "1", 1);
  // The node's INFO lines would drown the fuzzer's report.
  const char* argv[] = {"command_node_fuzz", "--ros-args", "--log-level", "fatal"};
  ros2::init(4, argv);
  brenvik::Logger::instance()->display_level_ = 1;
  controller = new Controller();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  brenvik::RobotCmdRosTwoWrapper& node = *controller->node;
  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange<int>(0, 12)) {
      case 0: {
        std_msgs::msg::String msg;
        msg.data = in.ConsumeRandomLengthString(16);
        node.stopCallback(msg);
        break;
      }
      case 1:
        node.serveOnCallback(Bool{in.ConsumeBool()});
        break;
      case 2:
        node.movjCallback(doubles(in));
        break;
      case 3:
        node.movsCallback(std::make_shared<Float64MultiArray>(doubles(in)));
        break;
      case 4:
        node.movjToPoseCallback(doubles(in));
        break;
      case 5:
        node.movLCallback(doubles(in));
        break;
      case 6: {
        std_msgs::msg::String msg;
        msg.data = in.ConsumeRandomLengthString(16);
        node.setHomeCallback(msg);
        break;
      }
      case 7: {
        Int32MultiArray msg;
        const size_t n = in.ConsumeIntegralInRange<size_t>(0, 4);
        for (size_t i = 0; i < n; ++i) {
          msg.data.push_back(in.ConsumeIntegral<int32_t>());
        }
        node.ctrlIOCallback(msg);
        break;
      }
      case 8:
        node.recoverCallback(Bool{in.ConsumeBool()});
        break;
      case 9:
        node.collisionCallback(Bool{in.ConsumeBool()});
        break;
      case 10:
        node.dragTeachingCallback(Bool{in.ConsumeBool()});
        break;
      case 11:
        node.setCollisionSensitivityCallback(doubles(in));
        break;
      default: {
        // Let the loop run for a while: up to 2 s of control periods.
        const int periods = in.ConsumeIntegralInRange<int>(1, 400);
        for (int k = 0; k < periods; ++k) {
          controller->step();
          checkSetpoint(*controller->interpolator, *controller->robot);
        }
        break;
      }
    }
  }
  return 0;
}

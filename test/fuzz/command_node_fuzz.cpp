// Any sequence of messages into the command node's callbacks, the loop stepped between them:
// every reference the loop writes stays finite and inside the joint limits.

#include "fuzz_controller.h"

namespace {

using std_msgs::msg::Bool;
using std_msgs::msg::Float64MultiArray;
using Node = brenvik::RobotCmdRosTwoWrapper;

brenvik::fuzz::Controller* controller = nullptr;

// Up to three layout dimensions of any size, up to 48 values.
Float64MultiArray doubles(FuzzedDataProvider& in) {
  Float64MultiArray msg;
  for (int d = in.ConsumeIntegralInRange<int>(0, 3); d > 0; --d) {
    std_msgs::msg::MultiArrayDimension dim;
    dim.size = in.ConsumeIntegralInRange<uint32_t>(0, 12);
    if (in.ConsumeBool()) dim.size = in.ConsumeIntegral<uint32_t>();
    dim.stride = in.ConsumeIntegral<uint32_t>();
    msg.layout.dim.push_back(dim);
  }
  for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 48); n > 0; --n) {
    msg.data.push_back(brenvik::fuzz::number(in, 6, 4.0));
  }
  return msg;
}

std_msgs::msg::String text(FuzzedDataProvider& in) {
  std_msgs::msg::String msg;
  msg.data = in.ConsumeRandomLengthString(16);
  return msg;
}

using Message = void (*)(FuzzedDataProvider&, Node&);
const Message kMessages[] = {
    [](FuzzedDataProvider& in, Node& node) { node.stopCallback(text(in)); },
    [](FuzzedDataProvider& in, Node& node) { node.serveOnCallback(Bool{in.ConsumeBool()}); },
    [](FuzzedDataProvider& in, Node& node) { node.movjCallback(doubles(in)); },
    [](FuzzedDataProvider& in, Node& node) {
      node.movsCallback(std::make_shared<Float64MultiArray>(doubles(in)));
    },
    [](FuzzedDataProvider& in, Node& node) { node.movjToPoseCallback(doubles(in)); },
    [](FuzzedDataProvider& in, Node& node) { node.movLCallback(doubles(in)); },
    [](FuzzedDataProvider& in, Node& node) { node.setHomeCallback(text(in)); },
    [](FuzzedDataProvider& in, Node& node) {
      std_msgs::msg::Int32MultiArray msg;
      for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 4); n > 0; --n) {
        msg.data.push_back(in.ConsumeIntegral<int32_t>());
      }
      node.ctrlIOCallback(msg);
    },
    [](FuzzedDataProvider& in, Node& node) { node.recoverCallback(Bool{in.ConsumeBool()}); },
    [](FuzzedDataProvider& in, Node& node) { node.collisionCallback(Bool{in.ConsumeBool()}); },
    [](FuzzedDataProvider& in, Node& node) { node.dragTeachingCallback(Bool{in.ConsumeBool()}); },
    [](FuzzedDataProvider& in, Node& node) { node.setCollisionSensitivityCallback(doubles(in)); },
    [](FuzzedDataProvider& in, Node&) {  // the loop runs for up to 2 s of control periods
      for (int k = in.ConsumeIntegralInRange<int>(1, 400); k > 0; --k) {
        controller->step();
        const auto& q = controller->interpolator->refJointState().positions;
        const auto& axes = controller->robot->robot_para_.axis_paras;
        for (size_t i = 0; i < q.size(); ++i) {
          if (!std::isfinite(q[i]) || q[i] > axes[i].max_joint_pos + 1e-9 ||
              q[i] < axes[i].min_joint_pos - 1e-9) {
            std::fprintf(stderr, "axis %zu reference %g outside [%g, %g]\n", i + 1, q[i],
                         axes[i].min_joint_pos, axes[i].max_joint_pos);
            std::abort();
          }
        }
      }
    }};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  controller = brenvik::fuzz::startController("command_node_fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  while (in.remaining_bytes() > 0) {
    kMessages[in.ConsumeIntegralInRange<int>(0, 12)](in, *controller->node);
  }
  return 0;
}

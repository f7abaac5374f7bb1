// Any messages into the command node, the loop stepped between: references within joint limits.

#include "fuzz_controller.h"

namespace {

using namespace brenvik::fuzz;
using std_msgs::msg::Bool;
using std_msgs::msg::Float64MultiArray;
using Node = brenvik::RobotCmdRosTwoWrapper;

Controller* controller = nullptr;

Float64MultiArray doubles(FuzzedDataProvider& in) {
  Float64MultiArray msg;
  for (int d = in.ConsumeIntegralInRange<int>(0, 3); d > 0; --d) {
    std_msgs::msg::MultiArrayDimension& dim = msg.layout.dim.emplace_back();
    dim.size = in.ConsumeIntegralInRange<uint32_t>(0, 12);
    if (in.ConsumeBool()) dim.size = in.ConsumeIntegral<uint32_t>();
    dim.stride = in.ConsumeIntegral<uint32_t>();
  }
  for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 48); n > 0; --n)
    msg.data.push_back(number(in, 6, 4.0));
  return msg;
}

std_msgs::msg::String text(FuzzedDataProvider& in) { return {in.ConsumeRandomLengthString(16)}; }

std_msgs::msg::Int32MultiArray ints(FuzzedDataProvider& in) {
  std_msgs::msg::Int32MultiArray msg;
  for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 4); n > 0; --n)
    msg.data.push_back(in.ConsumeIntegral<int32_t>());
  return msg;
}

void run(int periods) {
  const auto& axes = controller->robot->robot_para_.axis_paras;
  for (; periods > 0; --periods) {
    controller->step();
    const auto& q = controller->interpolator->refJointState().positions;
    for (size_t i = 0; i < q.size(); ++i)
      if (!(q[i] <= axes[i].max_joint_pos + 1e-9 && q[i] >= axes[i].min_joint_pos - 1e-9))
        fail("axis " + std::to_string(i + 1) + " outside its limits: " + std::to_string(q[i]));
  }
}

#define MESSAGE(call) [](FuzzedDataProvider& in, [[maybe_unused]] Node& node) { call; }
void (*const kMessages[])(FuzzedDataProvider&, Node&) = {
    MESSAGE(node.stopCallback(text(in))),
    MESSAGE(node.serveOnCallback(Bool{in.ConsumeBool()})),
    MESSAGE(node.movjCallback(doubles(in))),
    MESSAGE(node.movsCallback(std::make_shared<Float64MultiArray>(doubles(in)))),
    MESSAGE(node.movjToPoseCallback(doubles(in))),
    MESSAGE(node.movLCallback(doubles(in))),
    MESSAGE(node.setHomeCallback(text(in))),
    MESSAGE(node.ctrlIOCallback(ints(in))),
    MESSAGE(node.recoverCallback(Bool{in.ConsumeBool()})),
    MESSAGE(node.collisionCallback(Bool{in.ConsumeBool()})),
    MESSAGE(node.dragTeachingCallback(Bool{in.ConsumeBool()})),
    MESSAGE(node.setCollisionSensitivityCallback(doubles(in))),
    MESSAGE(run(in.ConsumeIntegralInRange<int>(1, 400)))};  // up to 2 s

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  controller = startController("command_node_fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  while (in.remaining_bytes() > 0)
    kMessages[in.ConsumeIntegralInRange<int>(0, 12)](in, *controller->node);
  return 0;
}

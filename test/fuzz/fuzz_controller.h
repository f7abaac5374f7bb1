#pragma once

// The command node and the control loop on the simulated arm, stepped by hand.

#include <fuzzer/FuzzedDataProvider.h>

#include "common/logger.h"
#include "controller_frame/robot_cmd_ros_two_wrapper.h"
#include "robot_factory/brenvik_bot_v5.h"
#include "support/fake_loop_clock.h"

namespace brenvik::fuzz {

[[noreturn]] inline void fail(const std::string& why) {
  std::fprintf(stderr, "%s\n", why.c_str());
  std::abort();
}

struct Controller {
  void step() { interpolator->update(time += Interpolator::kPeriod); }  // one control period
  std::shared_ptr<Robot> robot = std::make_shared<BrenvikBotV5>("config/brenvik_v5_sim.yaml");
  std::unique_ptr<Interpolator> interpolator =
      std::make_unique<Interpolator>(robot, std::make_shared<testing::FakeLoopClock>());
  std::shared_ptr<RobotCmdRosTwoWrapper> node =
      std::make_shared<RobotCmdRosTwoWrapper>(interpolator.get());
  double time = 0.0;  // s of loop time
};

// On loopback, console and INFO lines silenced; with enable, the drives are enabled first.
inline Controller* startController(const char* name, bool enable = false) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  setenv("ROS_LOCALHOST_ONLY", "1", 1);
  const char* argv[] = {name, "--ros-args", "--log-level", "fatal"};
  ros2::init(4, argv);
  Logger::instance()->display_level_ = 1;
  auto* controller = new Controller();
  if (!enable) return controller;
  controller->node->serveOnCallback(std_msgs::msg::Bool{true});
  for (int k = 0; k < 1000 && !controller->interpolator->enableFlag(); ++k) controller->step();
  if (!controller->interpolator->enableFlag()) fail("the simulated drives did not enable");
  return controller;
}

// Mostly plausible numbers in [-range, range], sometimes anything at all or NaN.
inline double number(FuzzedDataProvider& in, int plausible, double range) {
  const int kind = in.ConsumeIntegralInRange<int>(0, plausible + 1);
  return kind == 0   ? in.ConsumeFloatingPoint<double>()
         : kind == 1 ? std::nan("")
                     : in.ConsumeFloatingPointInRange<double>(-range, range);
}

}  // namespace brenvik::fuzz

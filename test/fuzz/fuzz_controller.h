#pragma once

// The command node and the control loop on the simulated arm, for the fuzz targets: the loop is
// stepped by hand (step), never by a thread, and its clock never moves on its own.

#include <chrono>
#include <memory>

#include "controller_frame/interpolator.h"
#include "controller_frame/robot_cmd_ros_two_wrapper.h"
#include "robot_factory/brenvik_bot_v5.h"

namespace brenvik::fuzz {

class ManualClock : public LoopClock {
 public:
  std::chrono::nanoseconds now() override { return std::chrono::nanoseconds(0); }
  void sleepUntil(std::chrono::nanoseconds) override {}
};

struct Controller {
  void step() { interpolator->update(time += Interpolator::kPeriod); }  // one control period
  std::shared_ptr<Robot> robot = std::make_shared<BrenvikBotV5>("config/brenvik_v5_sim.yaml");
  std::unique_ptr<Interpolator> interpolator =
      std::make_unique<Interpolator>(robot, std::make_shared<ManualClock>());
  std::shared_ptr<RobotCmdRosTwoWrapper> node =
      std::make_shared<RobotCmdRosTwoWrapper>(interpolator.get());
  double time = 0.0;  // s of loop time
};

}  // namespace brenvik::fuzz

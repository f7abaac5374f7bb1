// What the simulated drives add to a control period: one drive alone (write, position, velocity
// and torque reads), and the whole simulated arm as the loop reads it, the torque of its load
// included.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "quiet_stdout.h"
#include "robot_factory/brenvik_bot_v5.h"

namespace brenvik {
namespace {

// A setpoint that keeps the drives moving: a slow sine.
double setpoint(long period, int axis) { return 0.5 * std::sin(0.01 * period + axis); }

void BM_VirtualMotorPeriod(benchmark::State& state) {
  VirtualMotor motor(1);
  double position = 0.0, velocity = 0.0, torque = 0.0;
  long period = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(motor.setMotorPosition(setpoint(period++, 0)));
    benchmark::DoNotOptimize(motor.getMotorPosition(position));
    benchmark::DoNotOptimize(motor.getVelocity(velocity));
    benchmark::DoNotOptimize(motor.getTorque(torque));
  }
}

void BM_SimulatedArmPeriod(benchmark::State& state) {
  std::unique_ptr<BrenvikBotV5> robot;
  {
    bench::QuietStdout quiet;
    robot = std::make_unique<BrenvikBotV5>(BRENVIK_SIM_PARA_FILE);
  }
  auto& axes = robot->robot_para_.axis_paras;
  double value = 0.0;
  long period = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < axes.size(); ++i) {
      benchmark::DoNotOptimize(axes[i].motor->getMotorPosition(value));
    }
    for (size_t i = 0; i < axes.size(); ++i) {
      benchmark::DoNotOptimize(axes[i].motor->getVelocity(value));
    }
    for (size_t i = 0; i < axes.size(); ++i) {
      benchmark::DoNotOptimize(axes[i].motor->getTorque(value));
    }
    for (size_t i = 0; i < axes.size(); ++i) {
      benchmark::DoNotOptimize(
          axes[i].motor->setMotorPosition(setpoint(period, static_cast<int>(i))));
    }
    ++period;
  }
}

BENCHMARK(BM_VirtualMotorPeriod);
BENCHMARK(BM_SimulatedArmPeriod);

}  // namespace
}  // namespace brenvik

BENCHMARK_MAIN();

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "common/logger.h"
#include "controller_frame/all_axises_joint_plan_cmd.h"
#include "controller_frame/cubic_planner.h"
#include "controller_frame/interpolator.h"
#include "noop_status_publisher.h"
#include "simulated_arm.h"

// Every heap allocation of this executable is counted.
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// The replacement pairs malloc with free on purpose; GCC cannot see that.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace brenvik::bench {
namespace {

// One control period on the simulated arm: collision detection on, a trajectory executing, the
// eight start-up status topics published to a no-op publisher. When a move ends, the next one is
// queued outside the measurement and the loop time jumps over the 500 ms pause.
// allocs_per_period counts every measured period, including those that end a move (their console
// line allocates); mid_move_allocs_per_period only the periods in the middle of a move.
void BM_InterpolatorPeriod(benchmark::State& state) {
  QuietStdout quiet;
  auto robot = makeSimulatedArm();
  Interpolator interpolator(robot);
  interpolator.setStatusPublisher(std::make_shared<testing::NoopStatusPublisher>());
  interpolator.addStatusTopic(Interpolator::kActualJointState, "current_actual_joint");
  interpolator.addStatusTopic(Interpolator::kRefJointState, "current_reference_joint");
  interpolator.addStatusTopic(Interpolator::kEnableFlag, "enable_flag");
  interpolator.addStatusTopic(Interpolator::kDynamicTorqueEstimate, "dynamic_torque_estimate");
  interpolator.addStatusTopic(Interpolator::kIsCollision, "is_collision_flag");
  interpolator.addStatusTopic(Interpolator::kTcpPose, "tcp_pose");
  interpolator.addStatusTopic(Interpolator::kCollisionData, "collision_data");
  interpolator.addStatusTopic(Interpolator::kUnnormalFlag, "unnormal_flag");
  interpolator.setCollisionEnable(true);
  interpolator.setDragTeachingEnable(false);

  double t = 0.0;
  interpolator.update(t);
  bool towards_b = true;
  auto queueNext = [&] {
    const std::vector<double> start = interpolator.getMotionStartPoint();
    interpolator.addCmd(makeMove(robot, start, towards_b ? poseB() : poseA(), 0.1));
    towards_b = !towards_b;
  };
  queueNext();
  t += Interpolator::kPeriod;
  // Warm up into the move so that every buffer has its steady-state size.
  for (int i = 0; i < 20; ++i) {
    interpolator.update(t);
    t += Interpolator::kPeriod;
  }

  long excluded = 0;
  long periods = 0;
  long mid_move_allocations = 0;
  long mid_move_periods = 0;
  const long before = g_allocations.load();
  for (auto _ : state) {
    const long period_from = g_allocations.load(std::memory_order_relaxed);
    interpolator.update(t);
    t += Interpolator::kPeriod;
    ++periods;
    if (interpolator.idleFlag() == 0) {
      // A period that neither took nor ended a move: the steady state.
      mid_move_allocations += g_allocations.load(std::memory_order_relaxed) - period_from;
      ++mid_move_periods;
    }
    if (ROBOTSTATUS() >= RobotStatus::ERROR) {
      state.SkipWithError("the simulated move failed");
      break;
    }
    if (interpolator.idleFlag() == 1) {
      state.PauseTiming();
      const long paused_from = g_allocations.load();
      t += Interpolator::kPauseAfterTrajectory;
      queueNext();
      interpolator.update(t);  // takes the new command (allocates its console line)
      t += Interpolator::kPeriod;
      excluded += g_allocations.load() - paused_from;
      state.ResumeTiming();
    }
  }
  const long allocations = g_allocations.load() - before - excluded;
  state.counters["allocs_per_period"] =
      benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(periods));
  state.counters["mid_move_allocs_per_period"] = benchmark::Counter(
      static_cast<double>(mid_move_allocations) / static_cast<double>(mid_move_periods));
}
BENCHMARK(BM_InterpolatorPeriod)->Repetitions(5)->ReportAggregatesOnly(true);

// Planning a 5-axis point-to-point move with synchronisation (plan + re-plan of 4 axes),
// including building the command and its planners.
void BM_PlanTrapezoid5AxisWithReplan(benchmark::State& state) {
  QuietStdout quiet;
  auto robot = makeSimulatedArm();
  const std::vector<double> a = poseA();
  const std::vector<double> b = poseB();
  for (auto _ : state) {
    AllAxisesJointPlanCmd* cmd = makeMove(robot, a, b, 0.5);
    benchmark::DoNotOptimize(cmd);
    delete cmd;
  }
}
BENCHMARK(BM_PlanTrapezoid5AxisWithReplan);

CubicPlannerInput splineInput(int knots, int axis) {
  CubicPlannerInput in;
  in.positions.reserve(knots);
  in.times.reserve(knots);
  for (int k = 0; k < knots; ++k) {
    in.times.push_back(0.01 * k);
    in.positions.push_back(0.5 * std::sin(0.003 * k * (axis + 1)));
  }
  return in;
}

// Planning a 5-axis cubic spline of state.range(0) knots (inputs set, planAllJoints).
void BM_PlanCubic5Axis(benchmark::State& state) {
  QuietStdout quiet;
  auto robot = makeSimulatedArm();
  const int knots = static_cast<int>(state.range(0));
  std::vector<CubicPlannerInput> inputs;
  for (int axis = 0; axis < 5; ++axis) {
    inputs.push_back(splineInput(knots, axis));
  }
  for (auto _ : state) {
    AllAxisesJointPlanCmd cmd(robot);
    for (int axis = 0; axis < 5; ++axis) {
      auto planner = std::make_unique<CubicPlanner>();
      planner->setInput(&inputs[axis]);
      cmd.traj_interface_ptrs_.push_back(std::move(planner));
    }
    if (cmd.planAllJoints() != 0) {
      state.SkipWithError("spline planning failed");
    }
  }
  state.SetComplexityN(knots);
}
BENCHMARK(BM_PlanCubic5Axis)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Sampling every axis of a planned 5-axis spline of state.range(0) knots at one time (what the
// trajectory step does each period).
void BM_SampleCubic5Axis(benchmark::State& state) {
  QuietStdout quiet;
  const int knots = static_cast<int>(state.range(0));
  std::vector<std::unique_ptr<CubicPlanner>> planners;
  for (int axis = 0; axis < 5; ++axis) {
    auto planner = std::make_unique<CubicPlanner>();
    const CubicPlannerInput in = splineInput(knots, axis);
    planner->setInput(&in);
    if (planner->plan() != 0) {
      state.SkipWithError("spline planning failed");
      return;
    }
    planners.push_back(std::move(planner));
  }
  const double end = 0.01 * (knots - 1);
  double t = 0.0;
  const long before = g_allocations.load();
  for (auto _ : state) {
    double sum = 0.0;
    for (const auto& planner : planners) {
      int reached = 0;
      sum += planner->calPosition(t, &reached);
    }
    benchmark::DoNotOptimize(sum);
    t += 0.005;
    if (t > end) {
      t = 0.0;
    }
  }
  state.counters["allocs"] = static_cast<double>(g_allocations.load() - before);
}
BENCHMARK(BM_SampleCubic5Axis)->Arg(100)->Arg(10000);

}  // namespace
}  // namespace brenvik::bench

BENCHMARK_MAIN();

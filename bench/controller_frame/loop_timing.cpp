// Runs the real control loop on the simulated arm for a number of seconds and prints period
// statistics: mean period, lateness of the wake-ups against their deadlines (p50, p99, largest),
// overruns, and the drift of the last period's start from start + N x 5 ms.
//
//   loop_timing [seconds]    (default 10)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "common/logger.h"
#include "controller_frame/interpolator.h"
#include "controller_frame/steady_loop_clock.h"
#include "noop_status_publisher.h"
#include "simulated_arm.h"

namespace brenvik::bench {
namespace {

using std::chrono::nanoseconds;

// The monotonic clock of the loop, recording every deadline and the time each sleep returned.
// Control thread only; read after the loop has ended.
class RecordingClock : public LoopClock {
 public:
  explicit RecordingClock(size_t capacity) {
    deadlines_.reserve(capacity);
    wakes_.reserve(capacity);
  }
  nanoseconds now() override {
    const nanoseconds t = clock_.now();
    if (!started_) {
      start_ = t;
      started_ = true;
    }
    return t;
  }
  void sleepUntil(nanoseconds deadline) override {
    clock_.sleepUntil(deadline);
    if (deadlines_.size() < deadlines_.capacity()) {
      deadlines_.push_back(deadline);
      wakes_.push_back(clock_.now());
    }
  }
  nanoseconds start() const { return start_; }
  const std::vector<nanoseconds>& deadlines() const { return deadlines_; }
  const std::vector<nanoseconds>& wakes() const { return wakes_; }

 private:
  SteadyLoopClock clock_;
  bool started_ = false;
  nanoseconds start_{};
  std::vector<nanoseconds> deadlines_;
  std::vector<nanoseconds> wakes_;
};

double ms(nanoseconds d) { return std::chrono::duration<double, std::milli>(d).count(); }

int run(double seconds) {
  const size_t capacity = static_cast<size_t>(seconds / Interpolator::kPeriod) + 1000;
  auto clock = std::make_shared<RecordingClock>(capacity);
  std::shared_ptr<Robot> robot;
  std::unique_ptr<Interpolator> interpolator;
  std::atomic<bool> failed{false};
  {
    QuietStdout quiet;
    Logger::instance()->display_level_ = 1;
    robot = makeSimulatedArm();
    interpolator = std::make_unique<Interpolator>(robot, clock);
    interpolator->setStatusPublisher(std::make_shared<testing::NoopStatusPublisher>());
    interpolator->addStatusTopic(Interpolator::kActualJointState, "current_actual_joint");
    interpolator->addStatusTopic(Interpolator::kRefJointState, "current_reference_joint");
    interpolator->addStatusTopic(Interpolator::kEnableFlag, "enable_flag");
    interpolator->addStatusTopic(Interpolator::kDynamicTorqueEstimate, "dynamic_torque_estimate");
    interpolator->addStatusTopic(Interpolator::kIsCollision, "is_collision_flag");
    interpolator->addStatusTopic(Interpolator::kTcpPose, "tcp_pose");
    interpolator->addStatusTopic(Interpolator::kCollisionData, "collision_data");
    interpolator->addStatusTopic(Interpolator::kUnnormalFlag, "unnormal_flag");
    interpolator->setCollisionEnable(true);
    interpolator->setDragTeachingEnable(false);

    std::thread control([&] { interpolator->run(); });
    // The command side keeps a move queued: alternate between two poses.
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    bool towards_b = true;
    while (std::chrono::steady_clock::now() < end) {
      if (interpolator->isCmdQueueEmpty()) {
        const std::vector<double> start = interpolator->getMotionStartPoint();
        AllAxisesJointPlanCmd* move = makeMove(robot, start, towards_b ? poseB() : poseA(), 0.5);
        if (move == nullptr) {
          failed = true;
          break;
        }
        interpolator->addCmd(move);
        towards_b = !towards_b;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    interpolator->requestExit();
    control.join();
  }

  const std::vector<nanoseconds>& deadlines = clock->deadlines();
  const std::vector<nanoseconds>& wakes = clock->wakes();
  const size_t n = wakes.size();
  if (n < 2) {
    std::printf("too few periods\n");
    return 1;
  }
  std::vector<double> lateness(n);
  for (size_t k = 0; k < n; ++k) {
    lateness[k] = ms(wakes[k] - deadlines[k]);
  }
  std::vector<double> sorted = lateness;
  std::sort(sorted.begin(), sorted.end());
  const double mean_period = ms(wakes.back() - wakes.front()) / static_cast<double>(n - 1);
  const double p50 = sorted[n / 2];
  const double p99 = sorted[std::min(n - 1, static_cast<size_t>(0.99 * static_cast<double>(n)))];
  const double largest = sorted.back();
  // Drift: where the last measured period started against where the grid puts it.
  const std::int64_t grid_index =
      (deadlines.back() - clock->start()) / std::chrono::milliseconds(5);
  const double drift =
      ms(wakes.back() - (clock->start() + grid_index * std::chrono::milliseconds(5)));

  std::printf(
      "loop_timing: %.1f s on the simulated arm (BrenvikBotV5 models, collision detection "
      "on, moves executing, 8 status topics to a no-op publisher)\n",
      seconds);
  std::printf("periods measured        %zu\n", n);
  std::printf("mean period             %.4f ms\n", mean_period);
  std::printf("lateness p50            %.4f ms\n", p50);
  std::printf("lateness p99            %.4f ms\n", p99);
  std::printf("lateness largest        %.4f ms\n", largest);
  std::printf("overruns                %llu\n",
              static_cast<unsigned long long>(interpolator->overrunCount()));
  std::printf("drift after %lld periods %.4f ms\n", static_cast<long long>(grid_index), drift);
  std::printf("robot status            %d%s\n", ROBOTSTATUS(),
              failed.load() ? " (a move could not be planned)" : "");
  return failed.load() ? 1 : 0;
}

}  // namespace
}  // namespace brenvik::bench

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  if (!(seconds > 0.0)) {
    std::fprintf(stderr, "usage: loop_timing [seconds]\n");
    return 2;
  }
  return brenvik::bench::run(seconds);
}

// Robot model against Orocos KDL: forward kinematics, inverse kinematics, inverse dynamics, and
// the collision checks alone. Prints our time / KDL time per pair at the end (CPU time, so that
// other load on the machine counts less).

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <kdl/chainfksolverpos_recursive.hpp>
#include <kdl/chainidsolver_recursive_newton_euler.hpp>
#include <kdl/chainiksolverpos_lma.hpp>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "quiet_stdout.h"
#include "robot_model/brenvik_bot_v3_kinematics.h"
#include "robot_model/collision_detector_brenvik_bot_v5.h"
#include "robot_model/dynamics_brenvik_bot_v5.h"
#include "support/robot_model_kdl_reference.h"

namespace brenvik {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSamples = 256;

std::shared_ptr<RobotPara> benchPara() {
  auto para = std::make_shared<RobotPara>();
  para->axis_num = 5;
  para->mdh_para.zds = {0.2, 0.0, 0.0, 0.0, 0.1};
  para->mdh_para.xas = {0.0, 0.05, 0.3, 0.25, 0.02};
  para->mdh_para.alphas = {0.0, kPi / 2, 0.0, 0.0, -kPi / 2};
  para->mdh_para.qzeros = {0.3, -0.5, 0.7, -0.2, 1.1};
  para->dynamics_para.inertial_para = {
      2.1e-3, 1.0e-4,  -2.0e-4, 1.9e-3, 3.0e-4,  1.1e-3, 0.01, -0.02,  -0.05, 1.3,
      5.0e-4, 2.0e-5,  1.0e-5,  4.1e-3, -6.0e-5, 3.9e-3, 0.14, 0.01,   0.02,  0.8,
      3.0e-4, -1.0e-5, 4.0e-5,  2.2e-3, 2.0e-5,  2.0e-3, 0.11, -0.015, 0.01,  0.45};
  para->dynamics_para.friction_para = {0.25, 0.12, 0.0, 0.30, 0.15, 0.0,
                                       0.20, 0.10, 0.0, 0.05, 0.02};
  para->dynamics_application_para.signal_bound_para = {-3, -3, -3, -2, -2, 3, 3, 3, 2, 2, 2, 4};
  para->dynamics_application_para.admittance_para = {
      2, 2, 2, 1.5, 1.5, 0.5, 0.5, 0.5, 0.3, 0.3, 20, 20, 20, 15.0, 15.0, 0.5, 0.5, 0.5, 0.3, 0.3};
  return para;
}

// Joint vectors in (−0.9π, 0.9π) and rates in (−2, 2), fixed seed.
struct Samples {
  std::vector<std::vector<double>> q;
  std::vector<std::vector<double>> qd;
  std::vector<std::vector<double>> qdd;
  std::vector<Eigen::Matrix4d> poses;
  std::vector<KDL::Frame> frames;
  std::vector<KDL::JntArray> kdl_q;
  std::vector<KDL::JntArray> kdl_seed;  // q moved by up to ±0.3 rad per joint
};

using bench::QuietStdout;

const BrenvikBotV3Kinematics& kinematics() {
  static const BrenvikBotV3Kinematics instance = [] {
    BrenvikBotV3Kinematics k;
    const auto para = benchPara();
    const MdhPara& m = para->mdh_para;
    QuietStdout quiet;
    if (k.setMdhPara(m.zds, m.xas, m.alphas, m.qzeros) != kinematics_result::kOk) {
      std::abort();
    }
    return k;
  }();
  return instance;
}

const Samples& samples() {
  static const Samples instance = [] {
    Samples s;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> angle(-0.9 * kPi, 0.9 * kPi);
    std::uniform_real_distribution<double> rate(-2.0, 2.0);
    std::uniform_real_distribution<double> offset(-0.3, 0.3);
    for (int i = 0; i < kSamples; ++i) {
      std::vector<double> q(5), qd(5), qdd(5);
      KDL::JntArray seed(5);
      for (int j = 0; j < 5; ++j) {
        q[j] = angle(rng);
        qd[j] = rate(rng);
        qdd[j] = 3.0 * rate(rng);
        seed(j) = q[j] + offset(rng);
      }
      s.poses.push_back(kinematics().forwardKinematics(q));
      KDL::Frame frame;
      const Eigen::Matrix4d& pose = s.poses.back();
      frame.p = KDL::Vector(pose(0, 3), pose(1, 3), pose(2, 3));
      frame.M = KDL::Rotation(pose(0, 0), pose(0, 1), pose(0, 2), pose(1, 0), pose(1, 1),
                              pose(1, 2), pose(2, 0), pose(2, 1), pose(2, 2));
      s.frames.push_back(frame);
      s.kdl_q.push_back(test::jntArray(q, 5));
      s.kdl_seed.push_back(seed);
      s.q.push_back(q);
      s.qd.push_back(qd);
      s.qdd.push_back(qdd);
    }
    return s;
  }();
  return instance;
}

void BM_ForwardKinematics(benchmark::State& state) {
  const Samples& s = samples();
  const BrenvikBotV3Kinematics& k = kinematics();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(k.forwardKinematics(s.q[i]));
    i = (i + 1) % kSamples;
  }
}

void BM_KdlForwardKinematics(benchmark::State& state) {
  const Samples& s = samples();
  const KDL::Chain chain = test::kinematicsChain(benchPara()->mdh_para);
  KDL::ChainFkSolverPos_recursive solver(chain);
  KDL::Frame frame;
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(solver.JntToCart(s.kdl_q[i], frame));
    benchmark::DoNotOptimize(frame);
    i = (i + 1) % kSamples;
  }
}

void BM_InverseKinematics(benchmark::State& state) {
  const Samples& s = samples();
  const BrenvikBotV3Kinematics& k = kinematics();
  std::vector<double> joints(5);
  int i = 0;
  QuietStdout quiet;
  for (auto _ : state) {
    benchmark::DoNotOptimize(k.inverseKinematics(s.poses[i], s.q[i], joints));
    benchmark::DoNotOptimize(joints.data());
    i = (i + 1) % kSamples;
  }
}

void BM_KdlInverseKinematicsLma(benchmark::State& state) {
  const Samples& s = samples();
  const KDL::Chain chain = test::kinematicsChain(benchPara()->mdh_para);
  KDL::ChainIkSolverPos_LMA solver(chain);
  KDL::JntArray result(5);
  int i = 0;
  int failures = 0;
  for (auto _ : state) {
    failures += solver.CartToJnt(s.kdl_seed[i], s.frames[i], result) < 0 ? 1 : 0;
    benchmark::DoNotOptimize(result);
    i = (i + 1) % kSamples;
  }
  state.counters["failed"] = benchmark::Counter(failures, benchmark::Counter::kAvgIterations);
}

void BM_EstimateTorque(benchmark::State& state) {
  const Samples& s = samples();
  DynamicsBrenvikBotV5 dynamics;
  dynamics.initDynamics(benchPara());
  int i = 0;
  double time = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(dynamics.estimateTorque(s.q[i], s.qd[i], s.qdd[i], time).data());
    time += 0.005;
    i = (i + 1) % kSamples;
  }
}

void BM_KdlInverseDynamicsRne(benchmark::State& state) {
  const Samples& s = samples();
  const auto para = benchPara();
  const KDL::Chain chain = test::dynamicsChain(para->mdh_para, para->dynamics_para.inertial_para);
  KDL::ChainIdSolver_RNE solver(chain, KDL::Vector(0.0, 0.0, -9.8));
  std::vector<KDL::JntArray> q, qd, qdd;
  for (int i = 0; i < kSamples; ++i) {
    q.push_back(test::jntArray(s.q[i], 3));
    qd.push_back(test::jntArray(s.qd[i], 3));
    qdd.push_back(test::jntArray(s.qdd[i], 3));
  }
  const KDL::Wrenches no_wrenches(3, KDL::Wrench::Zero());
  KDL::JntArray torques(3);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(solver.CartToJnt(q[i], qd[i], qdd[i], no_wrenches, torques));
    benchmark::DoNotOptimize(torques);
    i = (i + 1) % kSamples;
  }
}

// Measured torques around the estimate, some outside the bands.
std::vector<std::vector<double>> measuredTorques() {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> torque(-5.0, 5.0);
  std::vector<std::vector<double>> result(kSamples, std::vector<double>(5));
  for (auto& m : result) {
    for (double& value : m) {
      value = torque(rng);
    }
  }
  return result;
}

void BM_DetectCollision(benchmark::State& state) {
  const Samples& s = samples();
  const auto measured = measuredTorques();
  CollisionDetectorBrenvikBotV5 detector;
  detector.initCollisionDetector(benchPara());
  const std::vector<double> none;
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(detector.detectCollision(s.qd[i], measured[i], none, none, none, 0));
    i = (i + 1) % kSamples;
  }
}

void BM_ComputeAdmittance(benchmark::State& state) {
  const Samples& s = samples();
  const auto measured = measuredTorques();
  CollisionDetectorBrenvikBotV5 detector;
  detector.initCollisionDetector(benchPara());
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        detector.computeAdmittance(s.qd[i], measured[i], s.q[i], s.qd[i], s.qdd[i], 0).data());
    i = (i + 1) % kSamples;
  }
}

BENCHMARK(BM_ForwardKinematics);
BENCHMARK(BM_KdlForwardKinematics);
BENCHMARK(BM_InverseKinematics);
BENCHMARK(BM_KdlInverseKinematicsLma);
BENCHMARK(BM_EstimateTorque);
BENCHMARK(BM_KdlInverseDynamicsRne);
BENCHMARK(BM_DetectCollision);
BENCHMARK(BM_ComputeAdmittance);

// Console output as usual, keeping the CPU time per iteration (ns) of every benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        cpu_ns_[run.benchmark_name()] =
            run.GetAdjustedCPUTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      }
    }
  }

  void printRatios() const {
    const std::array<std::array<const char*, 3>, 3> pairs = {{
        {"BM_ForwardKinematics", "BM_KdlForwardKinematics", "at most 0.5"},
        {"BM_InverseKinematics", "BM_KdlInverseKinematicsLma", "at most 0.05"},
        {"BM_EstimateTorque", "BM_KdlInverseDynamicsRne", "below 1"},
    }};
    std::printf("\n%-24s %12s %12s %10s  %s\n", "our time / KDL time", "ours (ns)", "KDL (ns)",
                "ratio", "target");
    for (const auto& pair : pairs) {
      const auto ours = cpu_ns_.find(pair[0]);
      const auto kdl = cpu_ns_.find(pair[1]);
      if (ours == cpu_ns_.end() || kdl == cpu_ns_.end()) {
        continue;
      }
      std::printf("%-24s %12.1f %12.1f %10.4f  %s\n", pair[0] + 3, ours->second, kdl->second,
                  ours->second / kdl->second, pair[2]);
    }
    for (const char* alone : {"BM_DetectCollision", "BM_ComputeAdmittance"}) {
      const auto it = cpu_ns_.find(alone);
      if (it != cpu_ns_.end()) {
        std::printf("%-24s %12.1f\n", alone + 3, it->second);
      }
    }
  }

 private:
  std::map<std::string, double> cpu_ns_;
};

}  // namespace
}  // namespace brenvik

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  brenvik::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.printRatios();
  return 0;
}

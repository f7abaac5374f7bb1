#pragma once

#include <cstdint>
#include <limits>

namespace brenvik {

// Device error codes of the faults a simulated device injects (the callers print them and never
// interpret them; 0 is success).
namespace device_result {
inline constexpr int kOk = 0;
inline constexpr int kInitFault = 101;        // init refused (init_failures)
inline constexpr int kReadFault = 102;        // a position, velocity or torque read failed
inline constexpr int kWriteFault = 103;       // a position write failed
inline constexpr int kHomeFault = 104;        // set home failed (home_fails)
inline constexpr int kNoAnswer = 105;         // the control-IO device did not answer
inline constexpr int kInvalidSetpoint = 106;  // a position setpoint that is not finite
}  // namespace device_result

// Faults a simulated motor injects, set per axis in the parameter file (simulated_faults). Times
// are the drive's own time: the periods it has advanced (VirtualMotor::periods), exact under any
// clock. Random faults draw from a generator seeded with fault_seed, so a run repeats exactly.
struct VirtualMotorFaults {
  static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

  int init_failures = 0;  // init fails this many times before it succeeds
  // Position, velocity and torque reads fail once the drive has advanced this many periods, and
  // each one with this probability.
  std::int64_t read_fault_from_period = kNever;
  double read_fault_probability = 0.0;
  // Position writes fail (the setpoint is not taken) likewise.
  std::int64_t write_fault_from_period = kNever;
  double write_fault_probability = 0.0;
  std::uint32_t fault_seed = 1;
  bool enable_never_arrives = false;  // setEnableStatus(true) succeeds, the drive stays disabled
  bool home_fails = false;            // setHome fails and the position stays
  // Torque of something pushing the axis (motor side), added to the reported torque once the drive
  // has advanced external_torque_from_period periods.
  double external_torque = 0.0;
  std::int64_t external_torque_from_period = 0;
};

// Faults a simulated control-IO device injects, set per device in the parameter file
// (simulated_faults).
struct VirtualIoFaults {
  bool never_answers = false;  // setCmd and getState fail: no command ever completes
};

}  // namespace brenvik

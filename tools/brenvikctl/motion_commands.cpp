#include "brenvikctl/motion_commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "brenvikctl/exit_codes.h"
#include "brenvikctl/interrupt.h"
#include "brenvikctl/move_outcome_judge.h"
#include "brenvikctl/number_text.h"
#include "ros2/time.h"

namespace brenvikctl {
namespace {

using namespace std::chrono_literals;
using Joints = std::vector<double>;

std::string joints(const Joints& values) {
  std::string text = "[";
  char buffer[32];
  for (size_t i = 0; i < values.size(); ++i) {
    // No "-0.0000" for a value that rounds to zero.
    const double value = std::fabs(values[i]) < 5e-5 ? 0.0 : values[i];
    std::snprintf(buffer, sizeof(buffer), "%s%.4f", i == 0 ? "" : " ", value);
    text += buffer;
  }
  return text + "] rad";
}

double largestError(const Joints& a, const Joints& b, size_t* axis = nullptr) {
  double largest = a.size() == b.size() ? 0.0 : INFINITY;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    const double e = std::fabs(a[i] - b[i]);
    if (e > largest) {
      largest = e;
      if (axis != nullptr) *axis = i;
    }
  }
  return largest;
}

// Distance of the tool pose from the goal pose: position (m) and rotation angle (rad).
std::pair<double, double> poseError(const geometry_msgs::msg::Pose& a, const Joints& goal) {
  const double position =
      std::hypot(a.position.x - goal[0], a.position.y - goal[1], a.position.z - goal[2]);
  const auto& q = a.orientation;
  const double dot = std::fabs(q.x * goal[3] + q.y * goal[4] + q.z * goal[5] + q.w * goal[6]);
  return {position, 2.0 * std::acos(std::min(1.0, dot))};
}

int usageError(std::ostream& err, const std::string& message) {
  err << "brenvikctl: " << message << "\n";
  return exit_code::kUsage;
}

// Waits for the end of the move just sent. goal: joint goal (movj, movs) or the normalised pose
// x y z qx qy qz qw (pose).
int waitForOutcome(const Invocation& inv, const Joints& goal, ControllerLink& link,
                   MoveOutcomeJudge& judge, MoveOutcome& outcome, std::ostream& out) {
  const bool pose = inv.command == Command::kPose;
  const StatusSnapshot& status = link.status();
  auto last_sample = std::chrono::steady_clock::now();
  link.onReference([&] {
    last_sample = std::chrono::steady_clock::now();
    MoveSample sample;
    sample.stamp = ros2::Time(status.reference.header.stamp).seconds();
    sample.reference = &status.reference.position;
    sample.unnormal = status.unnormal;
    if (pose) {
      const auto [position, angle] = poseError(status.tcp_pose, goal);
      sample.actual_at_goal = position <= inv.tolerance && angle <= inv.tolerance;
      sample.reference_at_goal = sample.actual_at_goal;
    } else {
      sample.reference_at_goal = largestError(status.reference.position, goal) <= inv.tolerance;
      sample.actual_at_goal = largestError(status.actual.position, goal) <= inv.tolerance;
    }
    const MoveOutcome verdict = judge.update(sample);
    if (judge.sent()) outcome = verdict;
  });
  const bool ended = link.spinUntil(
      [&] {
        return outcome != MoveOutcome::kPending ||
               std::chrono::steady_clock::now() - last_sample > link.discoveryTime();
      },
      std::chrono::hours(1));
  link.onReference(nullptr);
  if (!ended) {
    out << "interrupted: the move goes on (brenvikctl stop stops it)\n";
    return exit_code::kInterrupted;
  }
  const Joints& reference = status.reference.position;
  if (outcome == MoveOutcome::kPending) {
    out << "lost the controller: its status stopped\n";
    return exit_code::kNoController;
  }
  if (outcome == MoveOutcome::kReached) {
    char actual[64];
    std::snprintf(actual, sizeof(actual), " (actual within %.4f rad)",
                  largestError(status.actual.position, status.reference.position));
    out << "reached: " << joints(reference) << (pose ? "" : actual) << "\n";
    return exit_code::kOk;
  }
  // Its /rosout lines since the command, when the controller publishes them.
  link.spinFor(100ms);
  const std::vector<std::string> reasons = link.reasons();
  out << moveOutcomeName(outcome);
  if (outcome == MoveOutcome::kRefused) {
    out << ": the controller did not start the move; the arm rests at " << joints(reference)
        << (reasons.empty() ? " (the controller's console gives the reason)" : "") << "\n";
  } else if (pose) {
    const auto [position, angle] = poseError(status.tcp_pose, goal);
    out << " at " << joints(reference) << ": the tool is " << position << " m and " << angle
        << " rad from the goal pose\n";
  } else {
    size_t axis = 0;
    const double error = largestError(status.actual.position, goal, &axis);
    out << " at " << joints(reference) << ", target " << joints(goal) << ": joint" << axis + 1
        << " is " << error << " rad away\n";
  }
  for (const std::string& line : reasons) out << line << "\n";
  return exit_code::kNotReached;
}

}  // namespace

int MotionCommands::run(const Invocation& inv, const std::vector<TimedPoint>& points,
                        ControllerLink& link, std::ostream& out, std::ostream& err) {
  const size_t n = link.axisCount();
  std_msgs::msg::Float64MultiArray msg;
  Joints goal;
  std::string topic;
  std::string summary;
  if (inv.command == Command::kMovj) {
    if (inv.values.size() != n) {
      return usageError(err, "movj: the controller has " + std::to_string(n) + " axes, got " +
                                 std::to_string(inv.values.size()) + " joint values");
    }
    goal = inv.values;
    const double vel = inv.velocity.value_or(kDefaultScale);
    const double acc = inv.acceleration.value_or(vel);
    msg.data = goal;
    msg.data.push_back(vel);
    if (inv.acceleration || inv.block) msg.data.push_back(acc);
    if (inv.block) msg.data.push_back(1.0);
    topic = "movj_topic";
    char buffer[96];
    std::snprintf(buffer, sizeof(buffer), ", velocity scale %g, acceleration scale %g%s", vel, acc,
                  inv.block ? ", blocking" : "");
    summary = "movj sent: target " + joints(goal) + buffer;
  } else if (inv.command == Command::kMovs) {
    if (points.front().positions.size() != n) {
      return usageError(
          err, "movs: the controller has " + std::to_string(n) + " axes, " + inv.file + " has " +
                   std::to_string(points.front().positions.size()) + " joint values a point");
    }
    const double scale = inv.degrees ? kRadPerDeg : 1.0;
    msg.layout.dim.resize(2);
    msg.layout.dim[0].label = "points";
    msg.layout.dim[0].size = static_cast<uint32_t>(points.size());
    msg.layout.dim[0].stride = static_cast<uint32_t>(points.size() * (n + 1));
    msg.layout.dim[1].label = "joints_and_time";
    msg.layout.dim[1].size = static_cast<uint32_t>(n + 1);
    msg.layout.dim[1].stride = static_cast<uint32_t>(n + 1);
    for (const TimedPoint& point : points) {
      for (const double q : point.positions) msg.data.push_back(q * scale);
      msg.data.push_back(point.time);
    }
    goal.assign(msg.data.end() - static_cast<std::ptrdiff_t>(n + 1), msg.data.end() - 1);
    topic = "movj_s_topic";
    char span[64];
    std::snprintf(span, sizeof(span), " points over %g s to ",
                  points.back().time - points.front().time);
    summary = "movs sent: " + std::to_string(points.size()) + span + joints(goal);
  } else {
    const Joints& v = inv.values;
    const double norm = std::sqrt(v[3] * v[3] + v[4] * v[4] + v[5] * v[5] + v[6] * v[6]);
    goal = {v[0], v[1], v[2], v[3] / norm, v[4] / norm, v[5] / norm, v[6] / norm};
    msg.data = goal;
    msg.data.push_back(inv.velocity.value_or(kDefaultScale));
    topic = "movj_to_pose_topic";
    summary = "pose sent";
  }

  MoveOutcomeJudge judge;
  MoveOutcome outcome = MoveOutcome::kPending;
  if (inv.wait) {
    // Samples before the send tell whether the arm was idle when the command went out.
    link.onReference([&] {
      MoveSample sample;
      sample.stamp = ros2::Time(link.status().reference.header.stamp).seconds();
      sample.reference = &link.status().reference.position;
      sample.unnormal = link.status().unnormal;
      (void)judge.update(sample);
    });
    link.spinFor(30ms);
  }
  std::string error;
  if (const int result = link.publish(topic, msg, error); result != exit_code::kOk) {
    err << "brenvikctl: " << error << "\n";
    return result;
  }
  out << summary << "\n";
  if (!inv.wait) return exit_code::kOk;
  judge.commandSent();
  link.clearLog();
  return waitForOutcome(inv, goal, link, judge, outcome, out);
}

}  // namespace brenvikctl

#include "brenvikctl/status_formatter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "brenvikctl/number_text.h"

namespace brenvikctl {
namespace {

std::string printf_string(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), format, value);
  return buffer;
}

// A cell of width columns: the value in format, or "-" when i is not in values.
std::string cell(const std::vector<double>& values, size_t i, const char* format, int width,
                 double scale = 1.0) {
  // DBL_MAX marks a joint without a value (the torque estimate of joints the model leaves out).
  const bool known = i < values.size() && std::fabs(values[i]) < 1e300;
  std::string text = known ? printf_string(format, values[i] * scale) : "-";
  // No "-0.0000" for a value that rounds to zero.
  if (known && text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) {
    text.erase(0, 1);
  }
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
  return text;
}

std::string flag(const StatusSnapshot& s, StatusTopic topic, bool value, const char* yes,
                 const char* no) {
  return s.has(topic) ? (value ? yes : no) : "-";
}

}  // namespace

std::string StatusFormatter::format(const StatusSnapshot& s, const std::string& title) {
  std::string out = title + "\n";
  out += "drives: " + flag(s, kEnableFlag, s.enabled, "enabled", "disabled") +
         "   error: " + flag(s, kUnnormalFlag, s.unnormal, "YES", "no") +
         "   collision: " + flag(s, kIsCollision, s.collision, "YES", "no") + "\n\n";
  out +=
      "joint    reference          actual             error              velocity  torque    "
      "torque\n"
      "         rad       deg      rad       deg      rad       deg      rad/s     measured  "
      "estimated\n";
  const std::vector<double>& ref = s.reference.position;
  const std::vector<double>& act = s.actual.position;
  std::vector<double> error;
  if (s.has(kActualJoint) && s.has(kReferenceJoint)) {
    for (size_t i = 0; i < std::min(ref.size(), act.size()); ++i) error.push_back(ref[i] - act[i]);
  }
  const size_t rows = std::max(ref.size(), act.size());
  for (size_t i = 0; i < rows; ++i) {
    std::string name =
        i < s.actual.name.size() ? s.actual.name[i] : "joint" + std::to_string(i + 1);
    name.resize(std::max<size_t>(name.size(), 7), ' ');
    out += name;
    for (const std::vector<double>* values : {&ref, &act, &std::as_const(error)}) {
      out += cell(*values, i, "%.4f", 9) + cell(*values, i, "%.2f", 9, 1.0 / kRadPerDeg);
    }
    out += cell(s.actual.velocity, i, "%.4f", 10) + cell(s.actual.effort, i, "%.3f", 10) +
           cell(s.torque_estimate, i, "%.3f", 10) + "\n";
  }
  if (rows == 0) out += "(no joint state received)\n";
  out += "\ntool pose: ";
  if (s.has(kTcpPose)) {
    const auto& p = s.tcp_pose.position;
    const auto& q = s.tcp_pose.orientation;
    char buffer[200];
    std::snprintf(buffer, sizeof(buffer),
                  "x %.4f  y %.4f  z %.4f m   quaternion x %.4f  y %.4f  z %.4f  w %.4f", p.x, p.y,
                  p.z, q.x, q.y, q.z, q.w);
    out += buffer;
  } else {
    out += "-";
  }
  out += "\ncollision data:";
  const size_t shown = std::min<size_t>(s.collision_data.size(), 8);
  for (size_t i = 0; i < shown; ++i) out += " " + printf_string("%.4g", s.collision_data[i]);
  if (shown < s.collision_data.size()) {
    out += " ... (" + std::to_string(s.collision_data.size()) + " values)";
  }
  if (s.has(kCollisionData) && s.collision_data.empty()) out += " (empty)";
  out += s.has(kCollisionData) ? "\n" : " -\n";
  return out;
}

}  // namespace brenvikctl

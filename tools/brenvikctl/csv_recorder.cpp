#include "brenvikctl/csv_recorder.h"

#include <cerrno>
#include <cstring>

#include "brenvikctl/exit_codes.h"
#include "ros2/time.h"

namespace brenvikctl {
namespace {

void append(std::string& line, double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), ",%.9g", value);
  line += buffer;
}

void appendAt(std::string& line, const std::vector<double>& values, size_t i, bool received) {
  if (received && i < values.size()) {
    append(line, values[i]);
  } else {
    line += ',';
  }
}

}  // namespace

CsvRecorder::~CsvRecorder() {
  if (file_ != nullptr) std::fclose(file_);
}

std::vector<std::string> CsvRecorder::columns(size_t axis_count) {
  std::vector<std::string> names = {"time_s", "enabled", "unnormal", "collision"};
  for (const char* prefix :
       {"ref_pos_", "act_pos_", "ref_vel_", "act_vel_", "act_effort_", "torque_est_"}) {
    for (size_t i = 1; i <= axis_count; ++i) names.push_back(prefix + std::to_string(i));
  }
  for (const char* name : {"tcp_x", "tcp_y", "tcp_z", "tcp_qx", "tcp_qy", "tcp_qz", "tcp_qw"}) {
    names.push_back(name);
  }
  return names;
}

int CsvRecorder::open(const std::string& path, size_t axis_count, std::string& error) {
  path_ = path;
  axis_count_ = axis_count;
  file_ = std::fopen(path.c_str(), "w");
  if (file_ == nullptr) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return exit_code::kFile;
  }
  std::string header;
  for (const std::string& name : columns(axis_count)) header += (header.empty() ? "" : ",") + name;
  std::fprintf(file_, "%s\n", header.c_str());
  return exit_code::kOk;
}

void CsvRecorder::write(const StatusSnapshot& s) {
  if (file_ == nullptr) return;
  // Nanoseconds: a double of seconds since 1970 keeps only about 0.2 us.
  const int64_t stamp = ros2::Time(s.actual.header.stamp).nanoseconds();
  if (rows_ == 0) first_stamp_ = stamp;
  last_time_ = static_cast<double>(stamp - first_stamp_) * 1e-9;
  line_.clear();
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%.6f", last_time_);
  line_ += buffer;
  line_ += s.enabled ? ",1" : ",0";
  line_ += s.unnormal ? ",1" : ",0";
  line_ += s.collision ? ",1" : ",0";
  const bool ref = s.has(kReferenceJoint);
  const bool act = s.has(kActualJoint);
  const std::pair<const std::vector<double>*, bool> groups[] = {
      {&s.reference.position, ref}, {&s.actual.position, act},
      {&s.reference.velocity, ref}, {&s.actual.velocity, act},
      {&s.actual.effort, act},      {&s.torque_estimate, s.has(kTorqueEstimate)}};
  for (const auto& [values, received] : groups) {
    for (size_t i = 0; i < axis_count_; ++i) appendAt(line_, *values, i, received);
  }
  const auto& p = s.tcp_pose.position;
  const auto& q = s.tcp_pose.orientation;
  for (const double value : {p.x, p.y, p.z, q.x, q.y, q.z, q.w}) {
    if (s.has(kTcpPose)) {
      append(line_, value);
    } else {
      line_ += ',';
    }
  }
  std::fprintf(file_, "%s\n", line_.c_str());
  ++rows_;
}

int CsvRecorder::close(std::string& error) {
  if (file_ == nullptr) return exit_code::kOk;
  const bool failed = std::ferror(file_) != 0;
  const bool close_failed = std::fclose(file_) != 0;
  file_ = nullptr;
  if (failed || close_failed) {
    error = "writing " + path_ + " failed";
    return exit_code::kFile;
  }
  return exit_code::kOk;
}

}  // namespace brenvikctl

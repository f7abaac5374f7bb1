#pragma once

// Writes status snapshots to a CSV file, one row a sample of current_actual_joint. Columns:
//   time_s (s since the first row, from the joint state stamps), enabled, unnormal, collision
//   (0/1), then per axis i = 1..N: ref_pos_i, act_pos_i (rad), ref_vel_i, act_vel_i (rad/s),
//   act_effort_i, torque_est_i (drive torque unit), then tcp_x, tcp_y, tcp_z (m), tcp_qx, tcp_qy,
//   tcp_qz, tcp_qw.
// A value not received yet is an empty field. Main thread; no DDS.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "brenvikctl/status_snapshot.h"

namespace brenvikctl {

class CsvRecorder {
 public:
  CsvRecorder() = default;
  ~CsvRecorder();
  CsvRecorder(const CsvRecorder&) = delete;
  CsvRecorder& operator=(const CsvRecorder&) = delete;

  // Creates the file and writes the header for axis_count axes. Returns exit_code::kOk or
  // exit_code::kFile with error naming the file.
  [[nodiscard]] int open(const std::string& path, size_t axis_count, std::string& error);

  // Appends the row of the snapshot's latest actual joint state.
  void write(const StatusSnapshot& status);

  // Flushes and closes; exit_code::kFile when a write failed.
  [[nodiscard]] int close(std::string& error);

  size_t rows() const { return rows_; }
  double duration() const { return last_time_; }  // s covered by the rows

  // The column names, in order, for axis_count axes.
  static std::vector<std::string> columns(size_t axis_count);

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  size_t axis_count_ = 0;
  size_t rows_ = 0;
  int64_t first_stamp_ = 0;  // ns
  double last_time_ = 0.0;
  std::string line_;
};

}  // namespace brenvikctl

#pragma once

// Files of timed joint points, for movs and trajectory: one point a line, its time (s from the
// start of the motion) then its N joint values, separated by blanks and/or commas. Lines starting
// with '#' (after blanks) and blank lines are skipped, and so is a first line without any number
// (a CSV header). Main thread; no DDS.

#include <istream>
#include <string>
#include <vector>

namespace brenvikctl {

struct TimedPoint {
  double time = 0.0;              // s from the start of the motion
  std::vector<double> positions;  // N joint values (rad, or degrees as written in the file)
};

class PointFile {
 public:
  // Reads every point of the file at path. Every point must have the same number of joint
  // values; times are finite, not negative and strictly increasing. Returns exit_code::kOk, or
  // exit_code::kFile with error naming the file, the line number and the value at fault.
  [[nodiscard]] static int read(const std::string& path, std::vector<TimedPoint>& points,
                                std::string& error);

  // The same for a stream; name stands for the file in messages.
  [[nodiscard]] static int parse(std::istream& in, const std::string& name,
                                 std::vector<TimedPoint>& points, std::string& error);
};

}  // namespace brenvikctl

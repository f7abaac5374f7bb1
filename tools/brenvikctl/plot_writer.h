#pragma once

// Turns a recording of CsvRecorder into a PNG with gnuplot (Debian's gnuplot-nox): joint
// positions (rad) above, joint velocities (rad/s) below, over time (s); per joint the reference
// dashed and the actual solid in one colour. Main thread; runs gnuplot as a child process.

#include <string>

namespace brenvikctl {

class PlotWriter {
 public:
  // Writes png_path from csv_path. Returns exit_code::kOk; exit_code::kFile when the CSV cannot
  // be read, has no position columns or no rows; exit_code::kExternal when gnuplot fails or
  // writes no image. error names the file or the gnuplot status.
  [[nodiscard]] static int plot(const std::string& csv_path, const std::string& png_path,
                                std::string& error);

  // The PNG path used without -o: the CSV path with ".csv" replaced by (or else followed by)
  // ".png".
  static std::string defaultOutput(const std::string& csv_path);

  // The gnuplot script for a CSV whose header line is header.
  static std::string script(const std::string& csv_path, const std::string& png_path,
                            const std::string& header);
};

}  // namespace brenvikctl

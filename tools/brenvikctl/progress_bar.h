#pragma once

// A one-line progress bar on a terminal: "[#########-----------]  45%  detail", redrawn in place
// at most 10 times a second. When the stream is not a terminal, or the process runs in the
// background, only the final line is written.
// Main thread.

#include <chrono>
#include <cstdio>
#include <string>

namespace brenvikctl {

class ProgressBar {
 public:
  explicit ProgressBar(std::FILE* out);

  // fraction in [0, 1] (clamped).
  void update(double fraction, const std::string& detail);
  // Draws the last state and ends the line.
  void finish();

  static std::string render(double fraction, const std::string& detail);

 private:
  std::FILE* out_;
  bool terminal_;
  std::string line_;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace brenvikctl

#include "brenvikctl/progress_bar.h"

#include <unistd.h>

#include <algorithm>

namespace brenvikctl {

// Redrawn only on a terminal, and only while this process is in its foreground: a recording
// started with '&' does not draw over the commands typed meanwhile.
ProgressBar::ProgressBar(std::FILE* out)
    : out_(out), terminal_(isatty(fileno(out)) != 0 && tcgetpgrp(fileno(out)) == getpgrp()) {}

std::string ProgressBar::render(double fraction, const std::string& detail) {
  constexpr int kWidth = 30;
  fraction = std::clamp(fraction, 0.0, 1.0);
  const int filled = static_cast<int>(fraction * kWidth + 1e-9);
  char percent[8];
  std::snprintf(percent, sizeof(percent), "%3d%%", static_cast<int>(fraction * 100.0 + 1e-9));
  return "[" + std::string(filled, '#') + std::string(kWidth - filled, '-') + "] " + percent +
         "  " + detail;
}

void ProgressBar::update(double fraction, const std::string& detail) {
  line_ = render(fraction, detail);
  const auto now = std::chrono::steady_clock::now();
  if (!terminal_ || now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  std::fprintf(out_, "\r%s\033[K", line_.c_str());
  std::fflush(out_);
}

void ProgressBar::finish() {
  if (line_.empty()) return;
  std::fprintf(out_, terminal_ ? "\r%s\033[K\n" : "%s\n", line_.c_str());
  std::fflush(out_);
}

}  // namespace brenvikctl

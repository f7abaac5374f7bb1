#pragma once

// Strict conversion of text to numbers: the whole text must be one finite number, in the C
// locale's notation ("1.5", "-2e-3"); anything else ("1.5x", "", "nan", "inf") is refused.

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace brenvikctl {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kRadPerDeg = kPi / 180.0;

inline bool parseDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

inline bool parseInt(const std::string& text, int& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || errno == ERANGE || parsed < INT_MIN ||
      parsed > INT_MAX) {
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace brenvikctl

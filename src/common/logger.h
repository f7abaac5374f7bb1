#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "common/robot_status.h"

namespace brenvik {

// Colour escapes of the console lines.
inline constexpr const char* COLOR_GREEN = "\033[1;32m";
inline constexpr const char* COLOR_BOLD_RED = "\033[1;31m";
inline constexpr const char* COLOR_YELLOW = "\033[1;33m";
inline constexpr const char* COLOR_RESET = "\033[0m";
inline constexpr const char* COLOR_RED = "\033[31m";

// Error codes passed with leveled messages. Level and message per code:
//   0  (2) empty text: a control period without collision
//   1  (2|3) command node and action server rejections and failures
//   2  (4) "load yaml file failed\n"
//   3  (4) "The %dst axis motor init error!\n"
//   4  (4) "The MOTOR write error.\n"
//   6  (2) "Ctrl io command time out error!!!\n"
//   7  (3) "The arm get collision.\n"
//   8  (2) "set home failed!\n"
//   9  (2) "enable or disable cmd time out error!!!"
//   11 (2) "force control time out!\n"
//   12 (4) "peroid update status error!"
//   13 (2) "time is over 20s or collision!\n"
//   14 (2) trajectory execution faults
namespace error_code {
inline constexpr int kNoCollision = 0;
inline constexpr int kCommandRejected = 1;
inline constexpr int kLoadParaFile = 2;
inline constexpr int kMotorInit = 3;
inline constexpr int kMotorWrite = 4;
inline constexpr int kCtrlIoTimeout = 6;
inline constexpr int kCollision = 7;
inline constexpr int kSetHome = 8;
inline constexpr int kEnableTimeout = 9;
inline constexpr int kForceCtrlTimeout = 11;
inline constexpr int kPeriodUpdate = 12;
inline constexpr int kTrajectoryTimeout = 13;
inline constexpr int kTrajectoryFault = 14;
}  // namespace error_code

// The process-wide console logger and keeper of the robot status.
//
// log() prints a coloured, time-stamped line naming the caller's file and line, and records the
// message as the governing one when its level is at least the present status (or, while
// recovering_, when the status is below FATAL). info() prints a green time-stamped line and never
// touches the status. Both may be called from any thread; console lines of two threads may
// interleave.
class Logger {
 public:
  // The single logger, created on first use (first use happens on the main thread before any
  // other thread exists). Never destroyed.
  static Logger* instance();

  // file: the caller's path beginning "./src/" (__FILE__ under -fmacro-prefix-map).
  void log(int level, int code, const char* file, int line, const char* format, ...)
      __attribute__((format(printf, 6, 7)));
  void info(const char* format, ...) __attribute__((format(printf, 2, 3)));

  int status() const { return status_.load(std::memory_order_relaxed); }
  int statusCode() const;
  std::string statusText() const;

  // Back to the initial values (status NORMAL, display level 5, not recovering). Start-up and
  // tests only: never while another thread logs.
  void reset();

  // Console threshold: leveled messages print when display_level_ is at most their level's
  // threshold (level 3 and 4 at their own level, every other level at 2); info prints when it is
  // at least 1. Start-up lowers it from 5 to 1.
  std::atomic<int> display_level_{5};
  // Set by the recover command while it waits for the status to fall.
  std::atomic<bool> recovering_{false};

 private:
  Logger() = default;

  std::atomic<int> status_{RobotStatus::NORMAL};  // read without the lock through ROBOTSTATUS()
  int status_code_ = 0;
  mutable std::mutex mutex_;  // guards status_ writes, status_code_, status_text_
  std::string status_text_;
};

}  // namespace brenvik

// The robot status: level of the governing logger message, read without a lock.
#define ROBOTSTATUS() (::brenvik::Logger::instance()->status())

// Leveled log with the caller's file and line.
#define LOG_STATUS(level, code, ...) \
  ::brenvik::Logger::instance()->log((level), (code), __FILE__, __LINE__, __VA_ARGS__)

#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

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

// How a console line is printed: log() with colour, time, file and line; info() in green with
// the time; print() exactly as formatted.
enum class ConsoleLineKind { kLeveled, kInfo, kPlain };

// One console line, fixed in size so that logging allocates nothing. Longer texts are cut.
struct ConsoleLine {
  static constexpr size_t kTextSize = 240;
  static constexpr size_t kFileSize = 64;
  ConsoleLineKind kind = ConsoleLineKind::kInfo;
  int level = 0;  // RobotStatus level of a leveled line
  int line = 0;
  std::time_t when = 0;  // wall clock, s
  char file[kFileSize] = {};
  char text[kTextSize] = {};
};

// The process-wide console logger and keeper of the robot status.
//
// log() prints a coloured, time-stamped line naming the caller's file and line, and records the
// message as the governing one when its level is at least the present status (or, while
// recovering_, when the status is below FATAL). info() prints a green time-stamped line and never
// touches the status, nor does print(). All may be called from any thread and allocate nothing.
//
// Until startConsoleThread() the lines are printed by the calling thread. After it they go
// through a bounded queue of kQueueLines lines that a console thread prints, so that a slow
// terminal or pipe never holds up the caller (the control thread); a line that finds the queue
// full is dropped and counted, and the console thread prints the count.
class Logger {
 public:
  static constexpr size_t kQueueLines = 256;
  // How often the console thread looks at the queue when nobody wakes it (ms).
  static constexpr int kConsolePollMs = 50;

  // The single logger, created on first use (first use happens on the main thread before any
  // other thread exists). Never destroyed.
  static Logger* instance();

  // file: the caller's path beginning "./src/" (__FILE__ under -fmacro-prefix-map).
  void log(int level, int code, const char* file, int line, const char* format, ...)
      __attribute__((format(printf, 6, 7)));
  void info(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // The text exactly as formatted (device and planner lines), through the same queue.
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));

  int status() const { return status_.load(std::memory_order_relaxed); }
  int statusCode() const;
  std::string statusText() const;

  // Main thread: lines go through the queue from now on (start-up), or are printed by the caller
  // again once the queue has been printed (shut-down; also called by reset()).
  void startConsoleThread();
  void stopConsoleThread();
  // Main thread, before startConsoleThread or after stopConsoleThread: called on the console
  // thread with every line that has a text, whatever the display level (for /rosout). An empty
  // function removes it.
  void setConsoleSink(std::function<void(const ConsoleLine&)> sink);
  // Lines dropped because the queue was full, since start-up.
  std::uint64_t droppedLines() const { return dropped_.load(); }

  // Back to the initial values (status NORMAL, display level 5, not recovering, no console
  // thread, no sink). Start-up and tests only: never while another thread logs.
  void reset();

  // Console threshold: leveled messages print when display_level_ is at most their level's
  // threshold (level 3 and 4 at their own level, every other level at 2); info prints when it is
  // at least 1. Start-up lowers it from 5 to 1.
  std::atomic<int> display_level_{5};
  // Set by the recover command while it waits for the status to fall.
  std::atomic<bool> recovering_{false};

 private:
  Logger();

  // Prints the line when the display level asks for it, then hands it to the sink.
  void emit(const ConsoleLine& line);
  // The caller's line: printed now, or queued for the console thread.
  void submit(const ConsoleLine& line);
  void consoleLoop();

  std::atomic<int> status_{RobotStatus::NORMAL};  // read without the lock through ROBOTSTATUS()
  int status_code_ = 0;
  mutable std::mutex mutex_;  // guards status_ writes, status_code_, status_text_
  std::array<char, ConsoleLine::kTextSize> status_text_{};

  // The console queue: a ring of kQueueLines lines under queue_mutex_.
  std::mutex queue_mutex_;
  std::condition_variable queue_wake_;
  std::array<ConsoleLine, kQueueLines> queue_{};
  size_t queue_head_ = 0;  // oldest line
  size_t queue_size_ = 0;
  bool queue_on_ = false;  // lines go to the queue
  bool console_stop_ = false;
  std::atomic<std::uint64_t> dropped_{0};
  std::uint64_t dropped_reported_ = 0;  // console thread only
  std::thread console_thread_;
  std::function<void(const ConsoleLine&)> sink_;  // set only while no console thread runs
};

}  // namespace brenvik

// The robot status: level of the governing logger message, read without a lock.
#define ROBOTSTATUS() (::brenvik::Logger::instance()->status())

// Leveled log with the caller's file and line.
#define LOG_STATUS(level, code, ...) \
  ::brenvik::Logger::instance()->log((level), (code), __FILE__, __LINE__, __VA_ARGS__)

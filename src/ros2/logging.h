#pragma once

// Named loggers that print like ROS 2's console output:
//   [INFO] [1700000000.123456789] [node_name]: text
// Lines at or above the logger's level go to standard error (standard output when
// RCUTILS_LOGGING_USE_STDOUT=1), one write per line. The default level is INFO; --log-level
// changes it globally or per logger name.
//
// A line logged on a node's logger (or a child of it, "node.child") is also published on
// /rosout as rcl_interfaces/msg/Log by that node, with the level, logger name, text (without a
// trailing newline), file, function, line and wall-clock stamp of the call.

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ros2/arguments.h"

namespace rcl_interfaces::msg {
struct Log;
}

namespace ros2 {

// Where a log call was made (the ROS2_* macros fill it in).
struct LogLocation {
  const char* file = "";
  const char* function = "";
  uint32_t line = 0;
};

class Logger {
 public:
  explicit Logger(std::string name) : name_(std::move(name)) {}
  const std::string& get_name() const { return name_; }
  Logger get_child(const std::string& suffix) const { return Logger(name_ + "." + suffix); }

  bool enabled(LogLevel level) const;
  // Prints the line and puts it on /rosout when the logger belongs to a node. Any thread.
  void log(LogLevel level, const char* format, ...) const __attribute__((format(printf, 3, 4)));
  void log_at(const LogLocation& where, LogLevel level, const char* format, ...) const
      __attribute__((format(printf, 4, 5)));

 private:
  void write(const LogLocation& where, LogLevel level, const char* format, va_list args) const;

  std::string name_;
};

Logger get_logger(const std::string& name);

namespace logging {

// Level applied to loggers without a level of their own.
void set_default_level(LogLevel level);
LogLevel default_level();
void set_logger_level(const std::string& name, LogLevel level);
// Forgets all per-logger levels and returns to INFO.
void reset_levels();

// Formats one line without printing it (the time stamp is wall-clock nanoseconds).
std::string format_line(LogLevel level, const std::string& name, int64_t stamp_ns,
                        const std::string& text);

// Puts a line that was logged elsewhere (for example by a console logger of its own) on
// /rosout under logger_name, the name of a node's logger (node->get_logger().get_name()) or of
// a child of it; the line is not printed. The stamp is the time of this call.
//
// Thread-safe and non-blocking, for any thread: the line is queued and published by the
// executor that spins that node. Returns false when no node has that logger name, or when the
// node's queue already holds kRosoutQueueLimit lines (the line is then dropped).
bool post_to_rosout(const std::string& logger_name, LogLevel level, const std::string& text,
                    const LogLocation& where = LogLocation());
inline constexpr size_t kRosoutQueueLimit = 1000;

namespace detail {

// Where the lines of one node's loggers go besides the console.
class RosoutSink {
 public:
  virtual ~RosoutSink() = default;
  // Publishes now, on the calling thread.
  virtual void publish(const rcl_interfaces::msg::Log& line) = 0;
  // Queues for the node's executor; false when the queue is full.
  virtual bool post(rcl_interfaces::msg::Log line) = 0;
};

// The sink of the loggers named logger_name and its children. When two nodes share a name, the
// first one registered takes their lines.
void add_rosout_sink(const std::string& logger_name, std::shared_ptr<RosoutSink> sink);
void remove_rosout_sink(const RosoutSink* sink);

}  // namespace detail
}  // namespace logging
}  // namespace ros2

#define ROS2_LOG_(logger, level, ...)                                                   \
  do {                                                                                  \
    const ::ros2::Logger& ros2_log_logger_ = (logger);                                  \
    if (ros2_log_logger_.enabled(level)) {                                              \
      ros2_log_logger_.log_at(::ros2::LogLocation{__FILE__, __func__, __LINE__}, level, \
                              __VA_ARGS__);                                             \
    }                                                                                   \
  } while (0)

#define ROS2_DEBUG(logger, ...) ROS2_LOG_(logger, ::ros2::LogLevel::Debug, __VA_ARGS__)
#define ROS2_INFO(logger, ...) ROS2_LOG_(logger, ::ros2::LogLevel::Info, __VA_ARGS__)
#define ROS2_WARN(logger, ...) ROS2_LOG_(logger, ::ros2::LogLevel::Warn, __VA_ARGS__)
#define ROS2_ERROR(logger, ...) ROS2_LOG_(logger, ::ros2::LogLevel::Error, __VA_ARGS__)
#define ROS2_FATAL(logger, ...) ROS2_LOG_(logger, ::ros2::LogLevel::Fatal, __VA_ARGS__)

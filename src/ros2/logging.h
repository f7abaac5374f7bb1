#pragma once

// Named loggers that print like ROS 2's console output:
//   [INFO] [1700000000.123456789] [node_name]: text
// Lines at or above the logger's level go to standard error (standard output when
// RCUTILS_LOGGING_USE_STDOUT=1), one write per line. The default level is INFO; --log-level
// changes it globally or per logger name.

#include <string>

#include "ros2/arguments.h"

namespace ros2 {

class Logger {
 public:
  explicit Logger(std::string name) : name_(std::move(name)) {}
  const std::string& get_name() const { return name_; }
  Logger get_child(const std::string& suffix) const { return Logger(name_ + "." + suffix); }

  bool enabled(LogLevel level) const;
  void log(LogLevel level, const char* format, ...) const __attribute__((format(printf, 3, 4)));

 private:
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

}  // namespace logging
}  // namespace ros2

#define ROS2_LOG_(logger, level, ...)                                              \
  do {                                                                             \
    const ::ros2::Logger& ros2_log_logger_ = (logger);                             \
    if (ros2_log_logger_.enabled(level)) ros2_log_logger_.log(level, __VA_ARGS__); \
  } while (0)

#define ROS2_DEBUG(logger, ...) ROS2_LOG_(logger, ::ros2::LogLevel::Debug, __VA_ARGS__)
#define ROS2_INFO(logger, ...) ROS2_LOG_(logger, ::ros2::LogLevel::Info, __VA_ARGS__)
#define ROS2_WARN(logger, ...) ROS2_LOG_(logger, ::ros2::LogLevel::Warn, __VA_ARGS__)
#define ROS2_ERROR(logger, ...) ROS2_LOG_(logger, ::ros2::LogLevel::Error, __VA_ARGS__)
#define ROS2_FATAL(logger, ...) ROS2_LOG_(logger, ::ros2::LogLevel::Fatal, __VA_ARGS__)

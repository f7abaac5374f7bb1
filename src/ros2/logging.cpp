#include "ros2/logging.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "ros2/time.h"

namespace ros2 {
namespace {

struct LevelTable {
  std::mutex mutex;
  LogLevel default_level = LogLevel::Info;
  std::map<std::string, LogLevel> levels;
};

LevelTable& table() {
  static LevelTable t;
  return t;
}

const char* level_name(LogLevel level) {
  switch (level) {
    case LogLevel::Debug:
      return "DEBUG";
    case LogLevel::Info:
      return "INFO";
    case LogLevel::Warn:
      return "WARN";
    case LogLevel::Error:
      return "ERROR";
    case LogLevel::Fatal:
      return "FATAL";
  }
  return "INFO";
}

}  // namespace

bool Logger::enabled(LogLevel level) const {
  LevelTable& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  // The closest configured ancestor decides ("a.b.c" falls back to "a.b", then "a").
  std::string name = name_;
  while (true) {
    const auto it = t.levels.find(name);
    if (it != t.levels.end()) return level >= it->second;
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) break;
    name.resize(dot);
  }
  return level >= t.default_level;
}

void Logger::log(LogLevel level, const char* format, ...) const {
  char stack_buf[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(stack_buf, sizeof(stack_buf), format, args);
  va_end(args);
  std::string text;
  if (n < 0) {
    text = format;
  } else if (static_cast<size_t>(n) < sizeof(stack_buf)) {
    text.assign(stack_buf, static_cast<size_t>(n));
  } else {
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, copy);
    text.assign(big.data(), static_cast<size_t>(n));
  }
  va_end(copy);
  const std::string line =
      logging::format_line(level, name_, Clock(ClockType::SystemTime).now().nanoseconds(), text);
  const char* use_stdout = std::getenv("RCUTILS_LOGGING_USE_STDOUT");
  FILE* out = (use_stdout != nullptr && std::strcmp(use_stdout, "1") == 0) ? stdout : stderr;
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

Logger get_logger(const std::string& name) { return Logger(name); }

namespace logging {

void set_default_level(LogLevel level) {
  std::lock_guard<std::mutex> lock(table().mutex);
  table().default_level = level;
}

LogLevel default_level() {
  std::lock_guard<std::mutex> lock(table().mutex);
  return table().default_level;
}

void set_logger_level(const std::string& name, LogLevel level) {
  std::lock_guard<std::mutex> lock(table().mutex);
  table().levels[name] = level;
}

void reset_levels() {
  std::lock_guard<std::mutex> lock(table().mutex);
  table().default_level = LogLevel::Info;
  table().levels.clear();
}

std::string format_line(LogLevel level, const std::string& name, int64_t stamp_ns,
                        const std::string& text) {
  char stamp[48];
  std::snprintf(stamp, sizeof(stamp), "%lld.%09lld", static_cast<long long>(stamp_ns / 1000000000),
                static_cast<long long>(stamp_ns % 1000000000));
  std::string line;
  line.reserve(text.size() + name.size() + 40);
  line += "[";
  line += level_name(level);
  line += "] [";
  line += stamp;
  line += "] [";
  line += name;
  line += "]: ";
  line += text;
  line += "\n";
  return line;
}

}  // namespace logging
}  // namespace ros2

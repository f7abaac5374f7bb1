#include "ros2/logging.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "ros2/msg/rcl_interfaces.h"
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

// The registered sinks, searched in registration order.
struct SinkTable {
  std::mutex mutex;
  std::vector<std::pair<std::string, std::shared_ptr<logging::detail::RosoutSink>>> sinks;
};

SinkTable& sinks() {
  static SinkTable t;
  return t;
}

// The sink of a logger: its own name's, or that of its closest registered ancestor.
std::shared_ptr<logging::detail::RosoutSink> sink_for(const std::string& logger_name) {
  SinkTable& t = sinks();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (t.sinks.empty()) return nullptr;
  std::string name = logger_name;
  while (true) {
    for (const auto& [registered, sink] : t.sinks) {
      if (registered == name) return sink;
    }
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return nullptr;
    name.resize(dot);
  }
}

rcl_interfaces::msg::Log log_message(LogLevel level, const std::string& name,
                                     const std::string& text, const LogLocation& where,
                                     int64_t stamp_ns) {
  rcl_interfaces::msg::Log m;
  m.stamp = Time(stamp_ns);
  m.level = static_cast<uint8_t>(level);
  m.name = name;
  // Many texts end in a newline of their own (the console prints it); the message leaves it out.
  m.msg = text;
  if (!m.msg.empty() && m.msg.back() == '\n') m.msg.pop_back();
  m.file = where.file != nullptr ? where.file : "";
  m.function = where.function != nullptr ? where.function : "";
  m.line = where.line;
  return m;
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
  va_list args;
  va_start(args, format);
  write(LogLocation(), level, format, args);
  va_end(args);
}

void Logger::log_at(const LogLocation& where, LogLevel level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  write(where, level, format, args);
  va_end(args);
}

void Logger::write(const LogLocation& where, LogLevel level, const char* format,
                   va_list args) const {
  char stack_buf[512];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(stack_buf, sizeof(stack_buf), format, args);
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
  const int64_t stamp = Clock(ClockType::SystemTime).now().nanoseconds();
  const std::string line = logging::format_line(level, name_, stamp, text);
  const char* use_stdout = std::getenv("RCUTILS_LOGGING_USE_STDOUT");
  FILE* out = (use_stdout != nullptr && std::strcmp(use_stdout, "1") == 0) ? stdout : stderr;
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
  if (auto sink = sink_for(name_)) sink->publish(log_message(level, name_, text, where, stamp));
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

bool post_to_rosout(const std::string& logger_name, LogLevel level, const std::string& text,
                    const LogLocation& where) {
  const auto sink = sink_for(logger_name);
  if (!sink) return false;
  return sink->post(log_message(level, logger_name, text, where,
                                Clock(ClockType::SystemTime).now().nanoseconds()));
}

namespace detail {

void add_rosout_sink(const std::string& logger_name, std::shared_ptr<RosoutSink> sink) {
  SinkTable& t = sinks();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.sinks.emplace_back(logger_name, std::move(sink));
}

void remove_rosout_sink(const RosoutSink* sink) {
  SinkTable& t = sinks();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.sinks.erase(std::remove_if(t.sinks.begin(), t.sinks.end(),
                               [&](const auto& entry) { return entry.second.get() == sink; }),
                t.sinks.end());
}

}  // namespace detail

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

#include "common/logger.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <iostream>

namespace brenvik {
namespace {

// printf-style formatting into a string: measure, then format into a buffer of that size.
std::string formatText(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) {
    return std::string();
  }
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

// Local time to the second, "%Y-%m-%d %H:%M:%S".
std::string timestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  const size_t n = std::strftime(buffer, sizeof(buffer), "%Y-%m-%d %H:%M:%S", &local);
  return std::string(buffer, n);
}

}  // namespace

Logger* Logger::instance() {
  // Function-local static: created on first use, never destroyed (leaked on purpose so that the
  // control thread may still log while the process exits).
  static Logger* const logger = new Logger();
  return logger;
}

void Logger::log(int level, int code, const char* file, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = formatText(format, args);
  va_end(args);

  {
    std::lock_guard<std::mutex> lock(mutex_);
    const int status = status_.load(std::memory_order_relaxed);
    if (level >= status || (status != RobotStatus::FATAL && recovering_.load())) {
      status_.store(level, std::memory_order_relaxed);
      status_code_ = code;
      status_text_ = text;
    }
  }

  const int display_level = display_level_.load();
  const char* color = COLOR_YELLOW;
  bool print = display_level <= 2;
  if (level == RobotStatus::ERROR) {
    color = COLOR_RED;
    print = display_level <= 3;
  } else if (level == RobotStatus::FATAL) {
    color = COLOR_BOLD_RED;
    print = display_level <= 4;
  }
  if (!print || text.empty()) {
    return;
  }
  std::cout << color << timestamp() << "; " << file << ":" << line << " " << text << COLOR_RESET
            << std::endl;
}

void Logger::info(const char* format, ...) {
  if (display_level_.load() < 1) {
    return;
  }
  va_list args;
  va_start(args, format);
  const std::string text = formatText(format, args);
  va_end(args);
  std::cout << COLOR_GREEN << timestamp() << "; " << text << COLOR_RESET << std::endl;
}

int Logger::statusCode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_code_;
}

std::string Logger::statusText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_text_;
}

void Logger::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.store(RobotStatus::NORMAL);
  status_code_ = 0;
  status_text_.clear();
  display_level_.store(5);
  recovering_.store(false);
}

}  // namespace brenvik

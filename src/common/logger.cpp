#include "common/logger.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace brenvik {
namespace {

// Copies at most size - 1 characters and always terminates.
void copyText(char* out, size_t size, const char* text) { std::snprintf(out, size, "%s", text); }

}  // namespace

Logger::Logger() {
  // Reads the time zone once, so that formatting a line's time never touches the filesystem.
  tzset();
}

Logger* Logger::instance() {
  // Function-local static: created on first use, never destroyed (leaked on purpose so that the
  // control thread may still log while the process exits).
  static Logger* const logger = new Logger();
  return logger;
}

void Logger::log(int level, int code, const char* file, int line, const char* format, ...) {
  ConsoleLine entry;
  va_list args;
  va_start(args, format);
  std::vsnprintf(entry.text, sizeof(entry.text), format, args);
  va_end(args);

  {
    std::lock_guard<std::mutex> lock(mutex_);
    const int status = status_.load(std::memory_order_relaxed);
    if (level >= status || (status != RobotStatus::FATAL && recovering_.load())) {
      status_.store(level, std::memory_order_relaxed);
      status_code_ = code;
      std::memcpy(status_text_.data(), entry.text, status_text_.size());
    }
  }
  if (entry.text[0] == '\0') {
    return;
  }
  entry.kind = ConsoleLineKind::kLeveled;
  entry.level = level;
  entry.line = line;
  entry.when = std::time(nullptr);
  copyText(entry.file, sizeof(entry.file), file);
  submit(entry);
}

void Logger::info(const char* format, ...) {
  ConsoleLine entry;
  va_list args;
  va_start(args, format);
  std::vsnprintf(entry.text, sizeof(entry.text), format, args);
  va_end(args);
  entry.when = std::time(nullptr);
  submit(entry);
}

void Logger::print(const char* format, ...) {
  ConsoleLine entry;
  va_list args;
  va_start(args, format);
  std::vsnprintf(entry.text, sizeof(entry.text), format, args);
  va_end(args);
  entry.kind = ConsoleLineKind::kPlain;
  entry.when = std::time(nullptr);
  submit(entry);
}

void Logger::submit(const ConsoleLine& line) {
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    if (queue_on_) {
      if (queue_size_ == queue_.size()) {
        dropped_.fetch_add(1);
        return;
      }
      queue_[(queue_head_ + queue_size_) % queue_.size()] = line;
      ++queue_size_;
      queue_wake_.notify_one();
      return;
    }
  }
  emit(line);
}

void Logger::emit(const ConsoleLine& line) {
  const int display_level = display_level_.load();
  const char* color = COLOR_GREEN;
  bool print = display_level >= 1;
  if (line.kind == ConsoleLineKind::kLeveled) {
    color = COLOR_YELLOW;
    print = display_level <= 2;
    if (line.level == RobotStatus::ERROR) {
      color = COLOR_RED;
      print = display_level <= 3;
    } else if (line.level == RobotStatus::FATAL) {
      color = COLOR_BOLD_RED;
      print = display_level <= 4;
    }
  }
  if (line.kind == ConsoleLineKind::kPlain) {
    std::fputs(line.text, stdout);
    std::fflush(stdout);
  } else if (print) {
    std::tm local{};
    localtime_r(&line.when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);
    if (line.kind == ConsoleLineKind::kLeveled) {
      std::printf("%s%s; %s:%d %s%s\n", color, stamp, line.file, line.line, line.text, COLOR_RESET);
    } else {
      std::printf("%s%s; %s%s\n", color, stamp, line.text, COLOR_RESET);
    }
    std::fflush(stdout);
  }
  if (sink_ && line.text[0] != '\0') {
    sink_(line);
  }
}

void Logger::consoleLoop() {
  // Lines are copied out under the lock and printed outside it, a batch at a time.
  std::array<ConsoleLine, 16> batch;
  std::unique_lock<std::mutex> lock(queue_mutex_);
  while (true) {
    if (queue_size_ == 0) {
      if (console_stop_) {
        break;
      }
      queue_wake_.wait_for(lock, std::chrono::milliseconds(kConsolePollMs));
    }
    size_t n = 0;
    while (queue_size_ > 0 && n < batch.size()) {
      batch[n++] = queue_[queue_head_];
      queue_head_ = (queue_head_ + 1) % queue_.size();
      --queue_size_;
    }
    const std::uint64_t dropped = dropped_.load();
    lock.unlock();
    for (size_t i = 0; i < n; ++i) {
      emit(batch[i]);
    }
    if (dropped != dropped_reported_) {
      std::printf("%s%llu console lines dropped: the console could not keep up%s\n", COLOR_YELLOW,
                  static_cast<unsigned long long>(dropped - dropped_reported_), COLOR_RESET);
      std::fflush(stdout);
      dropped_reported_ = dropped;
    }
    lock.lock();
  }
}

void Logger::startConsoleThread() {
  std::lock_guard<std::mutex> lock(queue_mutex_);
  if (queue_on_) {
    return;
  }
  queue_on_ = true;
  console_stop_ = false;
  console_thread_ = std::thread(&Logger::consoleLoop, this);
}

void Logger::stopConsoleThread() {
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    if (!queue_on_) {
      return;
    }
    console_stop_ = true;
    queue_wake_.notify_one();
  }
  // The console thread prints what is queued before it ends; lines logged since are printed
  // here, outside the lock, since a sink may log.
  console_thread_.join();
  std::unique_lock<std::mutex> lock(queue_mutex_);
  queue_on_ = false;
  while (queue_size_ > 0) {
    const ConsoleLine line = queue_[queue_head_];
    queue_head_ = (queue_head_ + 1) % queue_.size();
    --queue_size_;
    lock.unlock();
    emit(line);
    lock.lock();
  }
}

void Logger::setConsoleSink(std::function<void(const ConsoleLine&)> sink) {
  sink_ = std::move(sink);
}

int Logger::statusCode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_code_;
}

std::string Logger::statusText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::string(status_text_.data());
}

void Logger::reset() {
  stopConsoleThread();
  sink_ = nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  status_.store(RobotStatus::NORMAL);
  status_code_ = 0;
  status_text_.fill('\0');
  display_level_.store(5);
  recovering_.store(false);
}

}  // namespace brenvik

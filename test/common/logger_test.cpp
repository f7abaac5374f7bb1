#include "common/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <future>

namespace brenvik {
namespace {

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { logger_->reset(); }
  void TearDown() override { logger_->reset(); }
  // Logs (level 5: info) and returns what reached standard output.
  std::string capture(int level, int code, const char* text) {
    ::testing::internal::CaptureStdout();
    level == 5 ? logger_->info("%s", text)
               : logger_->log(level, code, "./src/x.cpp", 42, "%s", text);
    return ::testing::internal::GetCapturedStdout();
  }
  Logger* logger_ = Logger::instance();
};

TEST_F(LoggerTest, LineHasColourTimestampFileLineTextAndReset) {
  EXPECT_EQ(capture(4, 2, "load yaml file failed\n"), "");  // before start-up lowers the level
  logger_->display_level_ = 1;
  const std::string out = capture(4, 4, "The MOTOR write error.\n"), red = COLOR_BOLD_RED;
  ASSERT_EQ(out.rfind(red, 0), 0u) << out;
  std::string masked = out.substr(red.size());  // the time stamp's digits as 9
  std::replace_if(
      masked.begin(), masked.begin() + 19, [](unsigned char c) { return std::isdigit(c) != 0; },
      '9');
  EXPECT_EQ(masked, "9999-99-99 99:99:99; ./src/x.cpp:42 The MOTOR write error.\n" +
                        std::string(COLOR_RESET) + "\n");
  const std::string long_text(5000, 'x');  // cut to the fixed line
  capture(4, 1, long_text.c_str());
  EXPECT_EQ(logger_->statusText(), long_text.substr(0, ConsoleLine::kTextSize - 1));
  logger_->display_level_ = 0;
  EXPECT_EQ(capture(4, 4, ""), "");  // empty text prints nothing
  capture(3, 7, "lower\n");          // a lower level never hides the status above it
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
  EXPECT_EQ(logger_->statusCode(), 4);
}

// Per display level 0..5: do levels 2, 3, 4 and info (bits 0..3) print, in their colours.
TEST_F(LoggerTest, DisplayLevelDecidesWhatPrints) {
  const char* colours[] = {COLOR_YELLOW, COLOR_RED, COLOR_BOLD_RED, COLOR_GREEN};
  const int prints[] = {0b0111, 0b1111, 0b1111, 0b1110, 0b1100, 0b1000};
  for (int display = 0; display < 6; ++display) {
    logger_->display_level_ = display;
    for (int level = 2; level <= 5; ++level) {
      const std::string out = capture(level, 1, level == 5 ? "hello arm\n" : "x\n");
      const bool expected = (prints[display] >> (level - 2)) & 1;
      EXPECT_EQ(!out.empty(), expected) << display << " " << level;
      EXPECT_EQ(out.empty() ? 0u : out.rfind(colours[level - 2], 0), 0u) << level;
    }
    EXPECT_EQ(logger_->statusCode(), 1);
  }
  EXPECT_NE(capture(5, 0, "hello arm\n").find("; hello arm\n"), std::string::npos);
  const std::string empty = capture(5, 0, ""), tail = "; " + std::string(COLOR_RESET) + "\n";
  EXPECT_EQ(empty.substr(empty.size() - tail.size()), tail);
}

TEST_F(LoggerTest, ConsoleThreadPrintsInOrderFeedsTheSinkAndCountsDroppedLines) {
  logger_->display_level_ = 1;
  std::vector<std::string> seen;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  logger_->setConsoleSink([&](const ConsoleLine& line) {
    if (seen.empty()) released.wait();  // holds the console thread on the first line
    seen.push_back(std::to_string(line.level) + " " + line.file + ":" + std::to_string(line.line) +
                   " " + line.text);
  });
  ::testing::internal::CaptureStdout();
  logger_->startConsoleThread();
  const int lines = static_cast<int>(Logger::kQueueLines) + 40;
  for (int i = 0; i < lines; ++i) logger_->log(2, 1, "./src/x.cpp", i, "line %d", i);
  const std::uint64_t dropped = logger_->droppedLines();
  release.set_value();
  logger_->stopConsoleThread();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_GE(dropped, 40u - 16u);
  EXPECT_EQ(seen.size() + dropped, static_cast<size_t>(lines));
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), "2 ./src/x.cpp:0 line 0");
  EXPECT_NE(out.find("; ./src/x.cpp:0 line 0"), std::string::npos);
  EXPECT_NE(out.find(std::to_string(dropped) + " console lines dropped"), std::string::npos);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(), [](const auto& a, const auto& b) {
    return std::stoi(a.substr(a.find(':') + 1)) < std::stoi(b.substr(b.find(':') + 1));
  }));
}

}  // namespace
}  // namespace brenvik

#include "common/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <vector>

namespace brenvik {
namespace {

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { logger_->reset(); }
  void TearDown() override { logger_->reset(); }

  // Logs and returns what reached standard output.
  template <typename... Args>
  std::string capture(int level, int code, const char* format, Args... args) {
    ::testing::internal::CaptureStdout();
    logger_->log(level, code, "./src/x.cpp", 42, format, args...);
    return ::testing::internal::GetCapturedStdout();
  }

  Logger* logger_ = Logger::instance();
};

TEST_F(LoggerTest, BeforeStartUpLowersTheLevelNothingPrintsButTheStatusIsRecorded) {
  EXPECT_EQ(capture(4, 2, "load yaml file failed\n"), "");
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
  EXPECT_EQ(logger_->statusCode(), 2);
  EXPECT_EQ(logger_->statusText(), "load yaml file failed\n");
}

TEST_F(LoggerTest, LineHasColourTimestampFileLineTextAndReset) {
  logger_->display_level_ = 1;
  const std::string out = capture(4, 4, "The MOTOR write error.\n");
  const std::string head = std::string(COLOR_BOLD_RED);
  ASSERT_EQ(out.rfind(head, 0), 0u) << out;
  // "YYYY-MM-DD HH:MM:SS" follows the colour.
  const std::string stamp = out.substr(head.size(), 19);
  EXPECT_EQ(stamp[4], '-');
  EXPECT_EQ(stamp[10], ' ');
  EXPECT_EQ(stamp[13], ':');
  EXPECT_EQ(out.substr(head.size() + 19),
            "; ./src/x.cpp:42 The MOTOR write error.\n" + std::string(COLOR_RESET) + "\n");
}

TEST_F(LoggerTest, MilderMessageIsPrintedInYellowAndLeavesTheStatus) {
  logger_->display_level_ = 1;
  capture(3, 7, "The arm get collision.\n");
  const std::string out = capture(2, 1, "warning %d\n", 5);
  EXPECT_EQ(out.rfind(COLOR_YELLOW, 0), 0u);
  EXPECT_NE(out.find("warning 5\n"), std::string::npos);
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::ERROR);
  EXPECT_EQ(logger_->statusCode(), 7);
}

TEST_F(LoggerTest, LevelThreeIsRedAndEqualLevelReplacesTheRecord) {
  logger_->display_level_ = 1;
  EXPECT_EQ(capture(3, 7, "a\n").rfind(COLOR_RED, 0), 0u);
  capture(3, 1, "b\n");
  EXPECT_EQ(logger_->statusCode(), 1);
  EXPECT_EQ(logger_->statusText(), "b\n");
}

TEST_F(LoggerTest, RecoveringLetsAnEmptyMildMessageLowerAnError) {
  logger_->display_level_ = 1;
  capture(3, 7, "The arm get collision.\n");
  logger_->recovering_ = true;
  EXPECT_EQ(capture(2, 0, ""), "");
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::WARN);
  EXPECT_EQ(logger_->statusCode(), 0);
}

TEST_F(LoggerTest, FatalIsReplacedOnlyByFatal) {
  capture(4, 12, "peroid update status error!");
  logger_->recovering_ = true;
  capture(2, 0, "");
  capture(3, 7, "x");
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
  EXPECT_EQ(logger_->statusCode(), 12);
  capture(4, 4, "The MOTOR write error.\n");
  EXPECT_EQ(logger_->statusCode(), 4);
}

TEST_F(LoggerTest, EmptyTextAtFatalPrintsNothingButRecords) {
  logger_->display_level_ = 0;
  EXPECT_EQ(capture(4, 4, "%s", ""), "");
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
}

struct DisplayCase {
  int display_level;
  bool info_prints;
  bool level2_prints;
  bool level3_prints;
  bool level4_prints;
};

void PrintTo(const DisplayCase& c, std::ostream* os) { *os << "display_level_" << c.display_level; }

class LoggerDisplayLevelTest : public LoggerTest,
                               public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(LoggerDisplayLevelTest, ThresholdDecidesWhatPrints) {
  const DisplayCase& c = GetParam();
  logger_->display_level_ = c.display_level;
  EXPECT_EQ(!capture(2, 1, "two\n").empty(), c.level2_prints);
  EXPECT_EQ(!capture(3, 1, "three\n").empty(), c.level3_prints);
  EXPECT_EQ(!capture(4, 1, "four\n").empty(), c.level4_prints);
  ::testing::internal::CaptureStdout();
  logger_->info("hello %s\n", "arm");
  const std::string info = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(!info.empty(), c.info_prints);
  if (c.info_prints) {
    EXPECT_EQ(info.rfind(COLOR_GREEN, 0), 0u);
    EXPECT_NE(info.find("; hello arm\n"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, LoggerDisplayLevelTest,
                         ::testing::Values(DisplayCase{0, false, true, true, true},
                                           DisplayCase{1, true, true, true, true},
                                           DisplayCase{3, true, false, true, true},
                                           DisplayCase{5, true, false, false, false}));

TEST_F(LoggerTest, InfoNeverTouchesTheStatusAndPrintsEmptyText) {
  logger_->display_level_ = 1;
  ::testing::internal::CaptureStdout();
  logger_->info("%s", "");
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string tail = "; " + std::string(COLOR_RESET) + "\n";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::NORMAL);
}

TEST_F(LoggerTest, LongTextIsCutToTheFixedLine) {
  const std::string long_text(5000, 'x');
  capture(2, 1, "%s", long_text.c_str());
  EXPECT_EQ(logger_->statusText(), long_text.substr(0, ConsoleLine::kTextSize - 1));
}

// Through the console queue every line keeps its order, reaches the sink with its level, file
// and line, and a console that cannot keep up costs dropped lines, never a blocked caller.
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
  for (int i = 0; i < lines; ++i) {
    logger_->log(2, 1, "./src/x.cpp", i, "line %d", i);
  }
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
  EXPECT_TRUE(
      std::is_sorted(seen.begin(), seen.end(), [](const std::string& a, const std::string& b) {
        return std::stoi(a.substr(a.find(':') + 1)) < std::stoi(b.substr(b.find(':') + 1));
      }));
}

}  // namespace
}  // namespace brenvik

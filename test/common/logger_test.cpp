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
  std::string info(const char* text) {
    ::testing::internal::CaptureStdout();
    logger_->info("%s", text);
    return ::testing::internal::GetCapturedStdout();
  }

  Logger* logger_ = Logger::instance();
};

// Messages in order (recovering_ set after the first) and the status they leave.
struct StatusCase {
  const char* name;
  bool recovering;
  std::vector<std::pair<int, int>> messages;  // level, code; the text is "<code>\n"
  int status, code;
};

class LoggerStatusTest : public LoggerTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(LoggerStatusTest, GoverningMessageIsTheLatestOfTheHighestLevel) {
  const StatusCase& c = GetParam();
  for (size_t i = 0; i < c.messages.size(); ++i) {
    capture(c.messages[i].first, c.messages[i].second, "%d\n", c.messages[i].second);
    if (i == 0) logger_->recovering_ = c.recovering;
  }
  EXPECT_EQ(ROBOTSTATUS(), c.status);
  EXPECT_EQ(logger_->statusCode(), c.code);
  EXPECT_EQ(logger_->statusText(), std::to_string(c.code) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, LoggerStatusTest,
    ::testing::Values(StatusCase{"Fatal", false, {{4, 2}}, RobotStatus::FATAL, 2},
                      StatusCase{"MilderLeavesIt", false, {{3, 7}, {2, 1}}, RobotStatus::ERROR, 7},
                      StatusCase{"EqualReplaces", false, {{3, 7}, {3, 1}}, RobotStatus::ERROR, 1},
                      StatusCase{"RecoveringLowers", true, {{3, 7}, {2, 0}}, RobotStatus::WARN, 0},
                      StatusCase{
                          "FatalStays", true, {{4, 12}, {2, 0}, {3, 7}}, RobotStatus::FATAL, 12},
                      StatusCase{"FatalByFatal", true, {{4, 12}, {4, 4}}, RobotStatus::FATAL, 4}),
    [](const auto& c) { return std::string(c.param.name); });

TEST_F(LoggerTest, LineHasColourTimestampFileLineTextAndReset) {
  EXPECT_EQ(capture(4, 2, "load yaml file failed\n"), "");  // before start-up lowers the level
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
  EXPECT_NE(capture(2, 1, "warning %d\n", 5).find("warning 5\n"), std::string::npos);
  // A long text is cut to the fixed line.
  const std::string long_text(5000, 'x');
  capture(4, 1, "%s", long_text.c_str());
  EXPECT_EQ(logger_->statusText(), long_text.substr(0, ConsoleLine::kTextSize - 1));
  logger_->display_level_ = 0;
  EXPECT_EQ(capture(4, 4, "%s", ""), "");  // empty text prints nothing
  EXPECT_EQ(ROBOTSTATUS(), RobotStatus::FATAL);
}

// Per display level whether levels 2, 3, 4 and info print, each in its colour.
struct DisplayCase {
  int display_level;
  bool prints[4];
};

void PrintTo(const DisplayCase& c, std::ostream* os) { *os << "display_level_" << c.display_level; }

class LoggerDisplayLevelTest : public LoggerTest,
                               public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(LoggerDisplayLevelTest, ThresholdDecidesWhatPrints) {
  const DisplayCase& c = GetParam();
  logger_->display_level_ = c.display_level;
  const char* colours[] = {COLOR_YELLOW, COLOR_RED, COLOR_BOLD_RED};
  for (int level = 2; level <= 4; ++level) {
    const std::string out = capture(level, 1, "x\n");
    EXPECT_EQ(!out.empty(), c.prints[level - 2]) << level;
    EXPECT_EQ(out.empty() ? 0u : out.rfind(colours[level - 2], 0), 0u) << level;
  }
  const std::string out = info("hello arm\n");
  EXPECT_EQ(!out.empty(), c.prints[3]);
  if (c.prints[3]) {
    EXPECT_EQ(out.rfind(COLOR_GREEN, 0), 0u);
    EXPECT_NE(out.find("; hello arm\n"), std::string::npos);
    const std::string empty = info(""), tail = "; " + std::string(COLOR_RESET) + "\n";
    EXPECT_EQ(empty.substr(empty.size() - tail.size()), tail);
  }
  EXPECT_EQ(logger_->statusCode(), 1);  // info leaves the status
}

INSTANTIATE_TEST_SUITE_P(Levels, LoggerDisplayLevelTest,
                         ::testing::Values(DisplayCase{0, {true, true, true, false}},
                                           DisplayCase{1, {true, true, true, true}},
                                           DisplayCase{2, {true, true, true, true}},
                                           DisplayCase{3, {false, true, true, true}},
                                           DisplayCase{4, {false, false, true, true}},
                                           DisplayCase{5, {false, false, false, true}}));

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

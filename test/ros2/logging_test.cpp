// Console lines of the node logger, and the wall clock that stamps messages.

#include "ros2/logging.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "ros2/time.h"

namespace {

TEST(Ros2Logging, LineLooksLikeRosConsoleOutput) {
  EXPECT_EQ(ros2::logging::format_line(ros2::LogLevel::Info, "robot_cmd_processor",
                                       1700000000012345678LL, "hello 5"),
            "[INFO] [1700000000.012345678] [robot_cmd_processor]: hello 5\n");
  EXPECT_EQ(ros2::logging::format_line(ros2::LogLevel::Warn, "ns.n", 5, "x"),
            "[WARN] [0.000000005] [ns.n]: x\n");
}

TEST(Ros2Logging, LevelsFilterAndChildrenInherit) {
  ros2::logging::reset_levels();
  const ros2::Logger node = ros2::get_logger("robot");
  EXPECT_TRUE(node.enabled(ros2::LogLevel::Info));
  EXPECT_FALSE(node.enabled(ros2::LogLevel::Debug));
  ros2::logging::set_logger_level("robot", ros2::LogLevel::Error);
  EXPECT_FALSE(node.enabled(ros2::LogLevel::Warn));
  EXPECT_FALSE(node.get_child("child").enabled(ros2::LogLevel::Warn));
  EXPECT_TRUE(ros2::get_logger("robotic").enabled(ros2::LogLevel::Info));
  ros2::logging::set_default_level(ros2::LogLevel::Debug);
  EXPECT_TRUE(ros2::get_logger("other").enabled(ros2::LogLevel::Debug));
  ros2::logging::reset_levels();
}

TEST(Ros2Logging, PrintfFormattingReachesTheStream) {
  ros2::logging::reset_levels();
  testing::internal::CaptureStderr();
  ROS2_INFO(ros2::get_logger("fmt"), "TrapezoidPlannerInput:%lf,%d,%s", 1.5, 7, "ok");
  ROS2_DEBUG(ros2::get_logger("fmt"), "hidden");
  const std::string long_text(2000, 'x');
  ROS2_WARN(ros2::get_logger("fmt"), "%s", long_text.c_str());
  const std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find("] [fmt]: TrapezoidPlannerInput:1.500000,7,ok\n"), std::string::npos);
  EXPECT_EQ(out.find("hidden"), std::string::npos);
  EXPECT_NE(out.find("[WARN] ["), std::string::npos);
  EXPECT_NE(out.find(long_text + "\n"), std::string::npos);
}

}  // namespace

namespace {

TEST(Ros2Clock, SystemTimeBecomesAMessageStamp) {
  const ros2::Clock clock(ros2::RCL_SYSTEM_TIME);
  const auto before = std::chrono::system_clock::now();
  const builtin_interfaces::msg::Time stamp = clock.now();
  const auto after = std::chrono::system_clock::now();
  const int64_t ns = int64_t{stamp.sec} * 1000000000 + stamp.nanosec;
  EXPECT_GE(
      ns, std::chrono::duration_cast<std::chrono::nanoseconds>(before.time_since_epoch()).count());
  EXPECT_LE(ns,
            std::chrono::duration_cast<std::chrono::nanoseconds>(after.time_since_epoch()).count());
  EXPECT_LT(stamp.nanosec, 1000000000u);
  const builtin_interfaces::msg::Time neg = ros2::Time(-1);
  EXPECT_EQ(neg.sec, -1);
  EXPECT_EQ(neg.nanosec, 999999999u);
  EXPECT_EQ(ros2::Time(neg).nanoseconds(), -1);
  EXPECT_DOUBLE_EQ(ros2::Time(1, 500000000).seconds(), 1.5);
}

}  // namespace

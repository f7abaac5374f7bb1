// /rosout: the lines of a node's loggers with where they were logged, lines posted from another
// thread, and the QoS rclcpp gives the writer.

#include "ros2/rosout.h"

#include <gtest/gtest.h>

#include <thread>

#include "harness.h"

namespace {

using ros2::LogLevel;
using Log = rcl_interfaces::msg::Log;

TEST(Ros2Rosout, NodeLoggersAndPostedLinesReachALateSubscriber) {
  ros2_test::init();
  auto talker = std::make_shared<ros2::Node>("talker", "/robot");
  ros2::Executor exec;
  exec.add_node(talker);
  const int64_t before = ros2::Clock().now().nanoseconds();
  const uint32_t line = __LINE__ + 1;
  ROS2_WARN(talker->get_logger(), "hot %d\n", 5);
  ROS2_DEBUG(talker->get_logger(), "below the level");
  ROS2_INFO(talker->get_logger().get_child("arm"), "child");
  ROS2_INFO(ros2::get_logger("server"), "not a node's logger");
  bool posted = false, unknown = true;
  std::thread([&] {
    posted = ros2::logging::post_to_rosout("robot.talker", LogLevel::Error, "posted",
                                           {"console.cpp", "print", 9});
    unknown = ros2::logging::post_to_rosout("nobody", LogLevel::Error, "lost");
  }).join();
  EXPECT_TRUE(posted);
  EXPECT_FALSE(unknown);

  auto listener =
      std::make_shared<ros2::Node>("listener", ros2::NodeOptions().enable_rosout(false));
  exec.add_node(listener);
  std::vector<Log> got;
  auto sub = listener->create_subscription<Log>("/rosout", ros2::QoS(1000).transient_local(),
                                                [&](const Log& m) { got.push_back(m); });
  ASSERT_TRUE(ros2_test::spin_until(exec, [&] { return got.size() >= 3; }));
  exec.spin_some();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].level, Log::WARN);
  EXPECT_EQ(got[0].name, "robot.talker");
  EXPECT_EQ(got[0].msg, "hot 5");
  EXPECT_NE(got[0].file.find("rosout_test.cpp"), std::string::npos);
  EXPECT_EQ(got[0].function, "TestBody");
  EXPECT_EQ(got[0].line, line);
  const int64_t stamp = ros2::Time(got[0].stamp).nanoseconds();
  EXPECT_TRUE(stamp >= before && stamp <= ros2::Clock().now().nanoseconds());
  EXPECT_EQ(got[1].name, "robot.talker.arm");
  EXPECT_EQ(got[1].level, Log::INFO);
  EXPECT_EQ(std::make_tuple(got[2].level, got[2].msg, got[2].file, got[2].function, got[2].line),
            std::make_tuple(Log::ERROR, std::string("posted"), std::string("console.cpp"),
                            std::string("print"), 9u));

  // The writer's QoS, as a ROS 2 reader sees it.
  dds_instance_handle_t writer = 0;
  ASSERT_EQ(dds_get_matched_publications(sub->dds_reader(), &writer, 1), 1);
  dds_builtintopic_endpoint_t* ep = dds_get_matched_publication_data(sub->dds_reader(), writer);
  ASSERT_NE(ep, nullptr);
  dds_reliability_kind_t reliability;
  dds_durability_kind_t durability;
  dds_history_kind_t history;
  int32_t depth = 0;
  dds_duration_t lifespan = 0, blocking = 0;
  ASSERT_TRUE(dds_qget_reliability(ep->qos, &reliability, &blocking) &&
              dds_qget_durability(ep->qos, &durability) &&
              dds_qget_history(ep->qos, &history, &depth) && dds_qget_lifespan(ep->qos, &lifespan));
  EXPECT_EQ(reliability, DDS_RELIABILITY_RELIABLE);
  EXPECT_EQ(durability, DDS_DURABILITY_TRANSIENT_LOCAL);
  EXPECT_EQ(std::make_pair(history, depth), std::make_pair(DDS_HISTORY_KEEP_LAST, 1000));
  EXPECT_EQ(lifespan, DDS_SECS(10));
  dds_builtintopic_free_endpoint(ep);
  ros2::shutdown();
}

TEST(Ros2Rosout, PostedLinesStopAtTheQueueLimitOfANodeNobodySpins) {
  ros2_test::init();
  auto node = std::make_shared<ros2::Node>("unspun");
  size_t accepted = 0;
  for (size_t i = 0; i <= ros2::logging::kRosoutQueueLimit; ++i) {
    accepted += ros2::logging::post_to_rosout("unspun", LogLevel::Info, "line");
  }
  EXPECT_EQ(accepted, ros2::logging::kRosoutQueueLimit);
  ros2::shutdown();
}

}  // namespace

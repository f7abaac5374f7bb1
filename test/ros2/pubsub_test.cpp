// Topics between nodes of one process, /rosout, the executor, shut-down and start-up errors.

#include <signal.h>

#include <atomic>
#include <future>
#include <thread>

#include "harness.h"
#include "ros2/rosout.h"
#include "std_msgs.h"

namespace {

using ros2_test::wait_until;
using S = std_msgs::msg::String;
using F64 = std_msgs::msg::Float64MultiArray;
using Log = rcl_interfaces::msg::Log;
using Ros2PubSub = ros2_test::Ros2Test;

TEST_F(Ros2PubSub, RemapRulesPlaceNodesAndTopicsAndEveryCallbackFormReceives) {
  ros2::shutdown();
  ros2_test::init(
      {"-r", "chatter:=talk", "-r", "other:cmd:=x", "-r", "__ns:=/robot", "-r", "__node:=renamed"});
  auto talker = std::make_shared<ros2::Node>("original");
  auto local = std::make_shared<ros2::Node>(
      "local", ros2::NodeOptions().arguments({"--ros-args", "-r", "chatter:=own"}));
  const auto topic = [](ros2::Node& n, const std::string& name) {
    return n.create_publisher<S>(name, 10)->get_topic_name() + " ";
  };
  EXPECT_EQ(talker->get_fully_qualified_name() + " " + talker->get_logger().get_name() + " " +
                topic(*talker, "cmd") + topic(*talker, "~/debug") + topic(*talker, "/global") +
                topic(*local, "chatter"),
            "/robot/renamed robot.renamed /robot/cmd /robot/renamed/debug /global /robot/own ");
  auto l = node("listener", "/");
  std::vector<int> n(3);
  auto s1 =
      l->create_subscription<S>("/robot/talk", 10, [&](const S& m) { n[0] += m.data == "hi"; });
  auto s2 = l->create_subscription<S>("/robot/talk", 10, [&](S::ConstSharedPtr) { ++n[1]; });
  auto s3 = l->create_subscription<S>("/robot/talk", 10, [&](S::UniquePtr) { ++n[2]; });
  auto pub = talker->create_publisher<S>("chatter", 10);
  ASSERT_TRUE(wait_until([&] { return pub->get_subscription_count() == 3; }));
  pub->publish(S{"hi"});
  EXPECT_TRUE(spin_until([&] { return n == std::vector<int>{1, 1, 1}; }));
}

TEST_F(Ros2PubSub, QosIsHonouredDamagedSamplesDroppedAndPlainCycloneWritersHeard) {
  auto n = node("qos");
  std::vector<double> latest, hostile, native;
  const auto into = [](std::vector<double>& v) {
    return [&v](const F64& m) { v.insert(v.end(), m.data.begin(), m.data.end()); };
  };
  auto sub = n->create_subscription<F64>("numbers", ros2::QoS(2), into(latest));
  auto victim = n->create_subscription<F64>("hostile", 10, into(hostile));
  auto heard = n->create_subscription<F64>("native", 10, into(native));
  auto best_effort = n->create_publisher<F64>("numbers", ros2::SensorDataQoS());
  auto pub = n->create_publisher<F64>("numbers", 10);
  ros2::detail::Endpoint raw(*n, ros2::detail::Endpoint::Kind::Writer, "rt/hostile",
                             "std_msgs::msg::dds_::Float64MultiArray_", 10);
  const dds_entity_t pp = dds_create_participant(DDS_DOMAIN_DEFAULT, nullptr, nullptr);
  const auto& desc = std_msgs_msg_dds__Float64MultiArray__desc;
  const dds_entity_t w = dds_create_writer(
      pp, dds_create_topic(pp, &desc, "rt/native", nullptr, nullptr), nullptr, nullptr);
  ASSERT_TRUE(wait_until([&] {
    return pub->get_subscription_count() > 0 && raw.matched_count() > 0 &&
           heard->get_publisher_count() > 0;
  }));
  EXPECT_EQ(best_effort->get_subscription_count() + victim->get_publisher_count(), 1u);
  int bad = 0;
  for (const auto& c : ros2_test::wire_cases())
    if (c.first.rfind("bad.float64_multi_array.", 0) == 0) bad += raw.write(c.second) == 0;
  EXPECT_EQ(bad + raw.write(ros2_test::encode(F64{{}, {42.0}})), 8);
  for (double i = 0; i < 5; ++i) pub->publish(F64{{}, {i}});
  double values[] = {0.5, 1.5};
  const std_msgs_msg_dds__Float64MultiArray_ sample{{}, {2, 2, values, false}};
  ASSERT_EQ(dds_write(w, &sample), DDS_RETCODE_OK);
  EXPECT_TRUE(spin_until([&] { return hostile.size() + latest.size() + native.size() >= 5; }));
  exec_.spin_some();
  EXPECT_EQ(std::make_tuple(hostile, latest, native),
            std::make_tuple(std::vector<double>{42.0}, std::vector<double>{3, 4},
                            std::vector<double>{0.5, 1.5}));
  dds_delete(pp);
}

TEST_F(Ros2PubSub, NodeLoggersAndPostedLinesReachALateRosoutSubscriber) {
  ros2::shutdown();
  ros2_test::init({"--log-level", "warn"});
  auto talker = node("talker", "/robot");
  const uint32_t line = __LINE__ + 1;
  ROS2_WARN(talker->get_logger(), "hot %d\n", 5);
  ROS2_INFO(talker->get_logger(), "below the level");
  ROS2_ERROR(talker->get_logger().get_child("arm"), "child");
  ROS2_ERROR(ros2::get_logger("server"), "not a node's logger");
  std::thread([&] {
    EXPECT_TRUE(ros2::logging::post_to_rosout("robot.talker", ros2::LogLevel::Info, "posted",
                                              {"console.cpp", "print", 9}));
    EXPECT_FALSE(ros2::logging::post_to_rosout("nobody", ros2::LogLevel::Error, "lost"));
  }).join();
  auto listener = node("listener");
  std::vector<Log> got;
  auto sub = listener->create_subscription<Log>("/rosout", ros2::QoS(1000).transient_local(),
                                                [&](const Log& m) { got.push_back(m); });
  ASSERT_TRUE(spin_until([&] { return got.size() >= 3; }));
  exec_.spin_some();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(std::make_tuple(got[0].level, got[0].name, got[0].msg, got[0].file, got[0].function,
                            got[0].line),
            std::make_tuple(Log::WARN, "robot.talker", "hot 5", __FILE__, "TestBody", line));
  EXPECT_EQ(std::make_tuple(got[1].level, got[1].name, got[2].level, got[2].msg, got[2].file,
                            got[2].function, got[2].line),
            std::make_tuple(Log::ERROR, "robot.talker.arm", Log::INFO, "posted", "console.cpp",
                            "print", 9u));
  ros2::logging::reset_levels();
}

TEST_F(Ros2PubSub, FuturesTimeOutAndANodeIsSpunByOneExecutorOnOneThread) {
  auto n = node("spun");
  std::promise<void> never;
  EXPECT_EQ(exec_.spin_until_future_complete(never.get_future(), 30ms),
            ros2::FutureReturnCode::TIMEOUT);
  ros2::Executor second;
  EXPECT_THROW(second.add_node(n), std::runtime_error);
  std::string nested;
  auto again = n->create_wall_timer(1ms, [&] {
    try {
      exec_.spin_some();
    } catch (const std::runtime_error& e) {
      nested = e.what();
    }
    exec_.cancel();
  });
  exec_.spin();
  EXPECT_EQ(nested, "spin_some() called while already spinning");
  exec_.remove_node(n);
  EXPECT_NO_THROW(second.add_node(n));
}

// 0: ros2::shutdown() on the test thread; otherwise the signal raised.
class Ros2Shutdown : public ::testing::TestWithParam<int> {};

TEST_P(Ros2Shutdown, EndsSpinningOnAnotherThreadAfterTheCallbacks) {
  ros2_test::init();
  auto node = std::make_shared<ros2::Node>("spinner");
  std::atomic<int> ticks{0};
  std::atomic<bool> called{false}, returned{false};
  auto timer = node->create_wall_timer(5ms, [&] { ++ticks; });
  ros2::on_shutdown([&] { called.store(true); });
  std::thread t([&] { ros2::spin(node), returned.store(true); });
  EXPECT_TRUE(wait_until([&] { return ticks.load() >= 3; }));
  EXPECT_FALSE(returned.load());
  EXPECT_TRUE(GetParam() == 0 ? ros2::shutdown() : raise(GetParam()) == 0);
  t.join();
  EXPECT_TRUE(returned.load() && called.load() && !ros2::ok());
  EXPECT_FALSE(ros2::shutdown());
}

INSTANTIATE_TEST_SUITE_P(Triggers, Ros2Shutdown, ::testing::Values(0, SIGINT, SIGTERM));

// The loopback-only domain is released as it was acquired; one made by others is never joined.
TEST(Ros2Init, RefusesEarlyNodesUnknownArgumentsBadDomainIdsAndForeignDomains) {
  EXPECT_THROW(ros2::Node("early"), std::runtime_error);
  EXPECT_THROW(ros2_test::init({"--bogus"}), ros2::UnknownROSArgsError);
  const std::string domain_id = getenv("ROS_DOMAIN_ID");
  setenv("ROS_DOMAIN_ID", "abc", 1);
  const char* argv[] = {"prog"};
  EXPECT_THROW(ros2::init(1, argv), std::runtime_error);
  ros2_test::init();
  unsetenv("ROS_LOCALHOST_ONLY");
  ros2::shutdown();
  const dds_entity_t domain =
      dds_create_domain(static_cast<uint32_t>(std::stoul(domain_id)),
                        "<CycloneDDS><Domain><General><Interfaces><NetworkInterface name=\"lo\"/>"
                        "</Interfaces></General></Domain></CycloneDDS>");
  ASSERT_GT(domain, 0) << "the domain of the last session was not released";
  EXPECT_THROW(ros2_test::init(), std::runtime_error);
  EXPECT_FALSE(ros2::ok());
  dds_delete(domain);
}

}  // namespace

// Topics between nodes of one process over the loopback interface: names and remapping, callback
// forms, QoS, hostile samples, plain Cyclone endpoints, the graph information, /rosout, threads
// and shut-down, and start-up errors.

#include <dds/dds.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "harness.h"
#include "ros2/rosout.h"
#include "std_msgs.h"

namespace {

using namespace std::chrono_literals;
using ros2_test::wait_until;
using StringMsg = std_msgs::msg::String;
using F64Array = std_msgs::msg::Float64MultiArray;
using Log = rcl_interfaces::msg::Log;

class Ros2PubSub : public ::testing::Test {
 protected:
  void SetUp() override { ros2_test::init(); }
  void TearDown() override { ros2::shutdown(); }

  // A node whose callbacks exec_ runs.
  ros2::Node::SharedPtr spun_node(const std::string& name, const std::string& ns = "") {
    auto node = std::make_shared<ros2::Node>(name, ns);
    exec_.add_node(node);
    return node;
  }
  template <class Pred>
  bool spin_until(Pred pred) {
    return ros2_test::spin_until(exec_, pred);
  }

  ros2::Executor exec_;
};

TEST_F(Ros2PubSub, RemapRulesPlaceNodesAndTopicsAndEveryCallbackFormReceives) {
  ros2::shutdown();
  ros2_test::init({"-r", "chatter:=talk", "-r", "other:cmd:=elsewhere", "-r", "__ns:=/robot", "-r",
                   "__node:=renamed"});
  auto node = std::make_shared<ros2::Node>("original");
  auto local = std::make_shared<ros2::Node>(
      "local", ros2::NodeOptions().arguments({"--ros-args", "-r", "chatter:=own"}));
  EXPECT_EQ(node->get_fully_qualified_name(), "/robot/renamed");
  EXPECT_EQ(node->get_logger().get_name(), "robot.renamed");
  const auto topic = [](ros2::Node& n, const std::string& name) {
    return n.create_publisher<StringMsg>(name, 10)->get_topic_name();
  };
  EXPECT_EQ(topic(*node, "cmd") + topic(*node, "~/debug") + topic(*node, "/global"),
            "/robot/cmd/robot/renamed/debug/global");
  EXPECT_EQ(topic(*local, "chatter"), "/robot/own");
  EXPECT_THROW(topic(*node, "bad name"), ros2::InvalidArgumentError);

  auto listener = spun_node("listener", "/");
  std::vector<int> n(4);
  auto s1 = listener->create_subscription<StringMsg>(
      "/robot/talk", 10, [&](const StringMsg& m) { n[0] += m.data == "remapped"; });
  auto s2 = listener->create_subscription<StringMsg>("/robot/talk", 10,
                                                     [&](StringMsg::SharedPtr) { ++n[1]; });
  auto s3 = listener->create_subscription<StringMsg>("/robot/talk", 10,
                                                     [&](StringMsg::ConstSharedPtr) { ++n[2]; });
  auto s4 = listener->create_subscription<StringMsg>("/robot/talk", 10,
                                                     [&](StringMsg::UniquePtr) { ++n[3]; });
  auto pub = node->create_publisher<StringMsg>("chatter", 10);
  ASSERT_TRUE(wait_until([&] { return pub->get_subscription_count() == 4; }));
  pub->publish(StringMsg{"remapped"});
  EXPECT_TRUE(spin_until([&] { return n == std::vector<int>{1, 1, 1, 1}; }));
}

// A depth-2 reader keeps the latest two and ignores best-effort writers; damaged samples and
// writers of another type are dropped, and later samples still arrive.
TEST_F(Ros2PubSub, QosIsHonouredAndDamagedSamplesAreDropped) {
  auto node = spun_node("qos");
  std::vector<double> latest, hostile;
  auto sub = node->create_subscription<F64Array>(
      "numbers", ros2::QoS(2), [&](const F64Array& m) { latest.push_back(m.data.at(0)); });
  auto victim = node->create_subscription<F64Array>("hostile", 10, [&](const F64Array& m) {
    hostile.insert(hostile.end(), m.data.begin(), m.data.end());
  });
  auto best_effort = node->create_publisher<F64Array>("numbers", ros2::SensorDataQoS());
  auto pub = node->create_publisher<F64Array>("numbers", 10);
  ros2_test::RawWriter raw("rt/hostile", "std_msgs::msg::dds_::Float64MultiArray_");
  ros2_test::RawWriter wrong_type("rt/hostile", "std_msgs::msg::dds_::String_");
  ASSERT_TRUE(wait_until([&] { return pub->get_subscription_count() > 0 && raw.matched(); }));
  EXPECT_EQ(best_effort->get_subscription_count() + victim->get_publisher_count(), 1u);
  EXPECT_FALSE(wrong_type.matched());
  for (const auto& c : ros2_test::wire_cases()) {
    if (c.first.rfind("bad.float64_multi_array.", 0) == 0) raw.write(c.second);
  }
  raw.write(ros2_test::encode(F64Array{{}, {42.0}}));
  for (double i = 0; i < 5; ++i) pub->publish(F64Array{{}, {i}});
  EXPECT_TRUE(spin_until([&] { return !hostile.empty() && latest.size() >= 2; }));
  exec_.spin_some();
  EXPECT_EQ(hostile, std::vector<double>{42.0});
  EXPECT_EQ(latest, (std::vector<double>{3, 4}));
}

TEST_F(Ros2PubSub, PlainCycloneEndpointsInteroperate) {
  auto node = spun_node("ours");
  std::vector<double> got;
  auto sub = node->create_subscription<F64Array>("native_in", 10,
                                                 [&](const F64Array& m) { got = m.data; });
  auto pub = node->create_publisher<F64Array>("native_out", 10);
  const dds_entity_t pp = dds_create_participant(DDS_DOMAIN_DEFAULT, nullptr, nullptr);
  dds_qos_t* q = dds_create_qos();
  dds_qset_reliability(q, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
  const auto topic = [&](const char* name) {
    return dds_create_topic(pp, &std_msgs_msg_dds__Float64MultiArray__desc, name, q, nullptr);
  };
  const dds_entity_t w = dds_create_writer(pp, topic("rt/native_in"), q, nullptr);
  const dds_entity_t r = dds_create_reader(pp, topic("rt/native_out"), q, nullptr);
  dds_delete_qos(q);
  ASSERT_TRUE(wait_until([&] {
    dds_publication_matched_status_t st{};
    dds_get_publication_matched_status(w, &st);
    return st.current_count > 0 && pub->get_subscription_count() > 0;
  }));
  double values[] = {0.5, 1.5};
  std_msgs_msg_dds__Float64MultiArray_ sample{};
  sample.data._length = sample.data._maximum = 2;
  sample.data._buffer = values;
  ASSERT_EQ(dds_write(w, &sample), DDS_RETCODE_OK);
  EXPECT_TRUE(spin_until([&] { return got == std::vector<double>{0.5, 1.5}; }));

  pub->publish(F64Array{{{{"points", 4, 24}}, 0}, {3.0}});
  void* samples[1] = {nullptr};
  dds_sample_info_t info;
  ASSERT_TRUE(wait_until([&] { return dds_take(r, samples, &info, 1, 1) == 1; }));
  const auto* taken = static_cast<std_msgs_msg_dds__Float64MultiArray_*>(samples[0]);
  ASSERT_EQ(taken->data._length * taken->layout.dim._length, 1u);
  EXPECT_EQ(taken->data._buffer[0], 3.0);
  EXPECT_STREQ(taken->layout.dim._buffer[0].label, "points");
  EXPECT_EQ(taken->layout.dim._buffer[0].stride, 24u);
  dds_return_loan(r, samples, 1);
  dds_delete(pp);
}

TEST_F(Ros2PubSub, GraphInfoListsNodesAndEndpointsAndTheParticipantNamesItsEnclave) {
  auto ctx = ros2::detail::Context::current();
  dds_qos_t* q = dds_create_qos();
  void* data = nullptr;
  size_t size = 0;
  ASSERT_TRUE(dds_get_qos(ctx->participant(), q) == DDS_RETCODE_OK &&
              dds_qget_userdata(q, &data, &size));
  EXPECT_EQ(std::string(static_cast<char*>(data), size), "enclave=/;");
  dds_free(data);
  dds_delete_qos(q);
  {
    auto node = std::make_shared<ros2::Node>("grapher", "ns");
    auto pub = node->create_publisher<StringMsg>("out", 10);
    auto sub = node->create_subscription<StringMsg>("in", 10, [](const StringMsg&) {});
    const auto info = ctx->graph_info();
    ASSERT_EQ(info.node_entities_info_seq.size(), 1u);
    const auto& n = info.node_entities_info_seq[0];
    EXPECT_EQ(n.node_namespace + " " + n.node_name, "/ns grapher");
    const auto listed = [](const auto& gids, dds_entity_t e) {
      dds_guid_t guid;
      dds_get_guid(e, &guid);
      return std::count_if(gids.begin(), gids.end(), [&](const auto& g) {
               return std::memcmp(g.data.data(), guid.v, 16) == 0;
             }) == 1;
    };
    EXPECT_TRUE(listed(std::vector<rmw_dds_common::msg::Gid>{info.gid}, ctx->participant()));
    EXPECT_TRUE(listed(n.writer_gid_seq, pub->dds_writer()));
    EXPECT_TRUE(listed(n.reader_gid_seq, sub->dds_reader()));
    const size_t readers = n.reader_gid_seq.size();
    sub.reset();
    EXPECT_EQ(ctx->graph_info().node_entities_info_seq[0].reader_gid_seq.size(), readers - 1);
  }
  EXPECT_TRUE(ctx->graph_info().node_entities_info_seq.empty());
}

// A late subscriber gets the lines of a node's loggers with where they were logged, lines posted
// from another thread, and the writer QoS rclcpp gives /rosout.
TEST_F(Ros2PubSub, NodeLoggersAndPostedLinesReachALateRosoutSubscriber) {
  auto talker = spun_node("talker", "/robot");
  const int64_t before = ros2::Clock().now().nanoseconds();
  const uint32_t line = __LINE__ + 1;
  ROS2_WARN(talker->get_logger(), "hot %d\n", 5);
  ROS2_DEBUG(talker->get_logger(), "below the level");
  ROS2_INFO(talker->get_logger().get_child("arm"), "child");
  ROS2_INFO(ros2::get_logger("server"), "not a node's logger");
  bool posted = false, unknown = true;
  std::thread([&] {
    posted = ros2::logging::post_to_rosout("robot.talker", ros2::LogLevel::Error, "posted",
                                           {"console.cpp", "print", 9});
    unknown = ros2::logging::post_to_rosout("nobody", ros2::LogLevel::Error, "lost");
  }).join();
  EXPECT_TRUE(posted);
  EXPECT_FALSE(unknown);
  auto listener =
      std::make_shared<ros2::Node>("listener", ros2::NodeOptions().enable_rosout(false));
  exec_.add_node(listener);
  std::vector<Log> got;
  auto sub = listener->create_subscription<Log>("/rosout", ros2::QoS(1000).transient_local(),
                                                [&](const Log& m) { got.push_back(m); });
  ASSERT_TRUE(spin_until([&] { return got.size() >= 3; }));
  exec_.spin_some();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(std::make_tuple(got[0].level, got[0].name, got[0].msg, got[0].function, got[0].line),
            std::make_tuple(Log::WARN, "robot.talker", "hot 5", "TestBody", line));
  EXPECT_NE(got[0].file.find("pubsub_test.cpp"), std::string::npos);
  const int64_t stamp = ros2::Time(got[0].stamp).nanoseconds();
  EXPECT_TRUE(stamp >= before && stamp <= ros2::Clock().now().nanoseconds());
  EXPECT_EQ(std::make_tuple(got[1].level, got[1].name),
            std::make_tuple(Log::INFO, "robot.talker.arm"));
  EXPECT_EQ(std::make_tuple(got[2].level, got[2].msg, got[2].file, got[2].function, got[2].line),
            std::make_tuple(Log::ERROR, "posted", "console.cpp", "print", 9u));

  dds_instance_handle_t writer = 0;
  ASSERT_EQ(dds_get_matched_publications(sub->dds_reader(), &writer, 1), 1);
  dds_builtintopic_endpoint_t* ep = dds_get_matched_publication_data(sub->dds_reader(), writer);
  dds_reliability_kind_t reliability;
  dds_durability_kind_t durability;
  dds_history_kind_t history;
  int32_t depth = 0;
  dds_duration_t lifespan = 0, blocking = 0;
  ASSERT_TRUE(dds_qget_reliability(ep->qos, &reliability, &blocking) &&
              dds_qget_durability(ep->qos, &durability) &&
              dds_qget_history(ep->qos, &history, &depth) && dds_qget_lifespan(ep->qos, &lifespan));
  EXPECT_EQ(std::make_tuple(reliability, durability, history, depth, lifespan),
            std::make_tuple(DDS_RELIABILITY_RELIABLE, DDS_DURABILITY_TRANSIENT_LOCAL,
                            DDS_HISTORY_KEEP_LAST, 1000, DDS_SECS(10)));
  dds_builtintopic_free_endpoint(ep);
  // Nobody spins this node: posted lines stop at the queue limit.
  auto unspun = std::make_shared<ros2::Node>("unspun");
  size_t accepted = 0;
  for (size_t i = 0; i <= ros2::logging::kRosoutQueueLimit; ++i) {
    accepted += ros2::logging::post_to_rosout("unspun", ros2::LogLevel::Info, "line");
  }
  EXPECT_EQ(accepted, ros2::logging::kRosoutQueueLimit);
}

// 0: ros2::shutdown() on the test thread; otherwise the signal raised. Until then, callbacks run
// on the spinning thread while another thread publishes.
class Ros2Shutdown : public ::testing::TestWithParam<int> {};

TEST_P(Ros2Shutdown, EndsSpinningOnAnotherThreadAfterTheCallbacks) {
  ros2_test::init();
  auto node = std::make_shared<ros2::Node>("spinner");
  std::atomic<int> received{0}, ticks{0}, elsewhere{0};
  std::atomic<bool> called{false}, returned{false};
  std::thread::id spinner_id;
  const auto count = [&](std::atomic<int>& n) {
    elsewhere += std::this_thread::get_id() != spinner_id;
    ++n;
  };
  auto sub = node->create_subscription<sensor_msgs::msg::JointState>(
      "joints", 100, [&](const sensor_msgs::msg::JointState&) { count(received); });
  auto timer = node->create_wall_timer(5ms, [&] { count(ticks); });
  auto pub = node->create_publisher<sensor_msgs::msg::JointState>("joints", 100);
  ros2::on_shutdown([&] { called.store(true); });
  std::thread t([&] {
    spinner_id = std::this_thread::get_id();
    ros2::spin(node);
    returned.store(true);
  });
  std::thread([&] {
    for (int i = 0; i < 50; ++i) pub->publish(sensor_msgs::msg::JointState{});
  }).join();
  EXPECT_TRUE(wait_until([&] { return received.load() == 50 && ticks.load() >= 3; }));
  EXPECT_FALSE(returned.load());
  if (GetParam() == 0) {
    EXPECT_TRUE(ros2::shutdown());
  } else {
    raise(GetParam());
  }
  t.join();
  EXPECT_EQ(elsewhere.load(), 0);
  EXPECT_TRUE(returned.load() && called.load());
  EXPECT_FALSE(ros2::ok());
  EXPECT_FALSE(ros2::shutdown());
}

INSTANTIATE_TEST_SUITE_P(Triggers, Ros2Shutdown, ::testing::Values(0, SIGINT, SIGTERM));

TEST(Ros2Init, RefusesEarlyNodesUnknownArgumentsAndBadDomainIds) {
  EXPECT_THROW(ros2::Node("early"), std::runtime_error);
  ros2_test::use_private_loopback_domain();
  const char* argv[] = {"prog", "--ros-args", "--bogus", "-r", "a:=b"};
  EXPECT_THROW(ros2::init(5, argv), ros2::UnknownROSArgsError);
  EXPECT_FALSE(ros2::ok());
  setenv("ROS_DOMAIN_ID", "abc", 1);
  EXPECT_THROW(ros2::init(1, argv), std::runtime_error);
  EXPECT_FALSE(ros2::ok());
}

// The loopback-only domain is released as it was acquired, even when the environment changed
// meanwhile; a domain of that id made by someone else is refused, never joined.
TEST(Ros2Init, TheLoopbackDomainIsReleasedAsAcquiredAndNeverShared) {
  ros2_test::init();
  unsetenv("ROS_LOCALHOST_ONLY");
  ros2::shutdown();
  const dds_entity_t domain =
      dds_create_domain(static_cast<uint32_t>(std::stoul(getenv("ROS_DOMAIN_ID"))),
                        "<CycloneDDS><Domain><General><Interfaces><NetworkInterface name=\"lo\"/>"
                        "</Interfaces></General></Domain></CycloneDDS>");
  ASSERT_GT(domain, 0) << "the domain of the last session was not released";
  EXPECT_THROW(ros2_test::init(), std::runtime_error);
  EXPECT_FALSE(ros2::ok());
  dds_delete(domain);
}

}  // namespace

// Topics between nodes of one process over the loopback interface: callback forms, QoS,
// names and remapping, threads, timers, shut-down, interoperation with plain Cyclone endpoints,
// hostile samples, start-up errors and the graph information.

#include <dds/dds.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

#include "harness.h"
#include "std_msgs.h"

namespace {

using namespace std::chrono_literals;
using ros2_test::wait_until;
using StringMsg = std_msgs::msg::String;
using F64Array = std_msgs::msg::Float64MultiArray;

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

TEST_F(Ros2PubSub, EveryCallbackFormReceivesTheMessage) {
  auto node = spun_node("forms");
  std::vector<int> n(4);
  auto s1 = node->create_subscription<StringMsg>("t", 10, [&](const StringMsg&) { ++n[0]; });
  auto s2 = node->create_subscription<StringMsg>("t", 10, [&](StringMsg::SharedPtr) { ++n[1]; });
  auto s3 =
      node->create_subscription<StringMsg>("t", 10, [&](StringMsg::ConstSharedPtr) { ++n[2]; });
  auto s4 = node->create_subscription<StringMsg>("t", 10, [&](StringMsg::UniquePtr) { ++n[3]; });
  auto pub = node->create_publisher<StringMsg>("t", 10);
  ASSERT_TRUE(wait_until([&] { return pub->get_subscription_count() == 4; }));
  pub->publish(StringMsg{});
  EXPECT_TRUE(spin_until([&] { return n == std::vector<int>{1, 1, 1, 1}; }));
}

TEST_F(Ros2PubSub, DepthKeepsTheLatestAndReliableReadersIgnoreBestEffortWriters) {
  auto node = spun_node("depth");
  std::vector<int32_t> got;
  auto sub = node->create_subscription<std_msgs::msg::Int32MultiArray>(
      "numbers", ros2::QoS(2),
      [&](const std_msgs::msg::Int32MultiArray& m) { got.push_back(m.data.at(0)); });
  auto best_effort =
      node->create_publisher<std_msgs::msg::Int32MultiArray>("numbers", ros2::SensorDataQoS());
  auto pub = node->create_publisher<std_msgs::msg::Int32MultiArray>("numbers", 10);
  ASSERT_TRUE(wait_until([&] { return pub->get_subscription_count() > 0; }));
  EXPECT_EQ(best_effort->get_subscription_count(), 0u);
  EXPECT_EQ(sub->get_publisher_count(), 1u);
  for (int32_t i = 0; i < 5; ++i) {
    std_msgs::msg::Int32MultiArray m;
    m.data = {i};
    pub->publish(m);
  }
  spin_until([&] { return got.size() >= 2; });
  exec_.spin_some();
  EXPECT_EQ(got, (std::vector<int32_t>{3, 4}));
}

TEST_F(Ros2PubSub, NamesExpandInTheNodeNamespace) {
  auto node = std::make_shared<ros2::Node>("arm", "robot");
  EXPECT_EQ(node->get_namespace(), "/robot");
  EXPECT_EQ(node->get_fully_qualified_name(), "/robot/arm");
  EXPECT_EQ(node->get_logger().get_name(), "robot.arm");
  EXPECT_EQ(node->create_publisher<StringMsg>("status", 10)->get_topic_name(), "/robot/status");
  EXPECT_EQ(node->create_publisher<StringMsg>("~/debug", 10)->get_topic_name(), "/robot/arm/debug");
  EXPECT_EQ(node->create_publisher<StringMsg>("/global", 10)->get_topic_name(), "/global");
  EXPECT_THROW(node->create_publisher<StringMsg>("bad name", 10), ros2::InvalidArgumentError);
}

TEST_F(Ros2PubSub, RemapRulesMoveTopicsNodesAndNamespacesAndNodeRulesComeFirst) {
  ros2::shutdown();
  ros2_test::init({"-r", "chatter:=talk", "-r", "other:cmd:=elsewhere", "-r", "__ns:=/robot", "-r",
                   "__node:=renamed"});
  auto node = std::make_shared<ros2::Node>("original");
  EXPECT_EQ(node->get_name(), "renamed");
  EXPECT_EQ(node->get_namespace(), "/robot");
  auto pub = node->create_publisher<StringMsg>("chatter", 10);
  EXPECT_EQ(pub->get_topic_name(), "/robot/talk");
  EXPECT_EQ(node->create_publisher<StringMsg>("cmd", 10)->get_topic_name(), "/robot/cmd");
  auto local = std::make_shared<ros2::Node>(
      "local", ros2::NodeOptions().arguments({"--ros-args", "-r", "chatter:=own"}));
  EXPECT_EQ(local->create_publisher<StringMsg>("chatter", 10)->get_topic_name(), "/robot/own");

  auto listener = spun_node("listener", "/");
  std::string got;
  auto sub = listener->create_subscription<StringMsg>("/robot/talk", 10,
                                                      [&](const StringMsg& m) { got = m.data; });
  ASSERT_TRUE(wait_until([&] { return pub->get_subscription_count() > 0; }));
  StringMsg m;
  m.data = "remapped";
  pub->publish(m);
  EXPECT_TRUE(spin_until([&] { return got == "remapped"; }));
}

TEST_F(Ros2PubSub, CallbacksRunOnTheSpinningThreadWhileAnotherThreadPublishes) {
  auto node = spun_node("threads");
  auto status = std::make_shared<ros2::Node>("status");
  std::atomic<int> received{0}, ticks{0};
  std::atomic<bool> on_spinner{true};
  std::thread::id spinner_id;
  const auto note_thread = [&] {
    on_spinner.store(on_spinner && std::this_thread::get_id() == spinner_id);
  };
  auto sub = node->create_subscription<sensor_msgs::msg::JointState>(
      "joints", 100, [&](const sensor_msgs::msg::JointState&) {
        note_thread();
        received.fetch_add(1);
      });
  auto timer = node->create_wall_timer(5ms, [&] {
    note_thread();
    ticks.fetch_add(1);
  });
  auto pub = status->create_publisher<sensor_msgs::msg::JointState>("joints", 100);
  ASSERT_TRUE(wait_until([&] { return pub->get_subscription_count() > 0; }));
  std::promise<void> started;
  std::thread spinner([&] {
    spinner_id = std::this_thread::get_id();
    started.set_value();
    exec_.spin();
  });
  started.get_future().wait();
  std::thread publisher([&] {
    sensor_msgs::msg::JointState js;
    js.position = {1, 2, 3, 4, 5};
    for (int i = 0; i < 50; ++i) pub->publish(js);
  });
  publisher.join();
  EXPECT_TRUE(wait_until([&] { return received.load() == 50 && ticks.load() >= 3; }));
  exec_.cancel();
  spinner.join();
  EXPECT_TRUE(on_spinner.load());
}

TEST_F(Ros2PubSub, FuturesCompleteOrTimeOutAndCanceledTimersStop) {
  auto node = spun_node("timing");
  std::promise<int> done;
  std::shared_future<int> fut = done.get_future().share();
  int ticks = 0;
  auto timer = node->create_wall_timer(5ms, [&] {
    if (++ticks == 3) done.set_value(ticks);
  });
  EXPECT_EQ(exec_.spin_until_future_complete(fut, 2s), ros2::FutureReturnCode::SUCCESS);
  EXPECT_EQ(fut.get(), 3);
  timer->cancel();
  std::promise<void> never;
  EXPECT_EQ(exec_.spin_until_future_complete(never.get_future(), 30ms),
            ros2::FutureReturnCode::TIMEOUT);
  EXPECT_EQ(ticks, 3);
}

TEST_F(Ros2PubSub, PlainCycloneEndpointsInteroperate) {
  auto node = spun_node("ours");
  std::vector<double> got;
  auto sub = node->create_subscription<F64Array>("native_in", 10,
                                                 [&](const F64Array& m) { got = m.data; });
  auto pub = node->create_publisher<F64Array>("native_out", 10);
  const dds_entity_t pp = dds_create_participant(DDS_DOMAIN_DEFAULT, nullptr, nullptr);
  ASSERT_GT(pp, 0);
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
  EXPECT_TRUE(spin_until([&] { return got.size() == 2; }));
  EXPECT_EQ(got, (std::vector<double>{0.5, 1.5}));

  F64Array ours;
  ours.layout.dim = {{"points", 4, 24}};
  ours.data = {3.0};
  pub->publish(ours);
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

TEST_F(Ros2PubSub, MalformedSamplesAreDroppedAndLaterOnesStillArrive) {
  auto node = spun_node("victim");
  std::vector<std::vector<double>> got;
  auto sub = node->create_subscription<F64Array>("hostile", 10,
                                                 [&](const F64Array& m) { got.push_back(m.data); });
  ros2_test::RawWriter raw("rt/hostile", "std_msgs::msg::dds_::Float64MultiArray_");
  ros2_test::RawWriter wrong_type("rt/hostile", "std_msgs::msg::dds_::String_");
  ASSERT_TRUE(wait_until([&] { return raw.matched() > 0; }));
  EXPECT_EQ(wrong_type.matched(), 0u);
  EXPECT_EQ(sub->get_publisher_count(), 1u);
  for (const auto& payload : ros2_test::malformed_float64_multi_arrays()) raw.write(payload);
  F64Array good;
  good.data = {42.0};
  raw.write(ros2_test::encode(good));
  EXPECT_TRUE(spin_until([&] { return !got.empty(); }));
  exec_.spin_some();
  EXPECT_EQ(got, (std::vector<std::vector<double>>{{42.0}}));
}

TEST_F(Ros2PubSub, GraphInfoListsNodesAndEndpointsAndTheParticipantNamesItsEnclave) {
  auto ctx = ros2::detail::Context::current();
  dds_qos_t* q = dds_create_qos();
  ASSERT_EQ(dds_get_qos(ctx->participant(), q), DDS_RETCODE_OK);
  void* data = nullptr;
  size_t size = 0;
  ASSERT_TRUE(dds_qget_userdata(q, &data, &size));
  EXPECT_EQ(std::string(static_cast<char*>(data), size), "enclave=/;");
  dds_free(data);
  dds_delete_qos(q);
  {
    auto node = std::make_shared<ros2::Node>("grapher", "/ns");
    auto pub = node->create_publisher<StringMsg>("out", 10);
    auto sub = node->create_subscription<StringMsg>("in", 10, [](const StringMsg&) {});
    const auto info = ctx->graph_info();
    EXPECT_EQ(info.gid.data, ros2::detail::gid_of(ctx->participant()).data);
    ASSERT_EQ(info.node_entities_info_seq.size(), 1u);
    const auto& n = info.node_entities_info_seq[0];
    EXPECT_EQ(n.node_namespace, "/ns");
    EXPECT_EQ(n.node_name, "grapher");
    const auto listed = [](const auto& gids, dds_entity_t e) {
      const auto gid = ros2::detail::gid_of(e);
      return std::count_if(gids.begin(), gids.end(),
                           [&](const auto& g) { return g.data == gid.data; }) == 1;
    };
    EXPECT_TRUE(listed(n.writer_gid_seq, pub->dds_writer()));
    EXPECT_TRUE(listed(n.reader_gid_seq, sub->dds_reader()));
    const size_t readers = n.reader_gid_seq.size();
    sub.reset();
    const auto after = ctx->graph_info().node_entities_info_seq[0].reader_gid_seq;
    EXPECT_EQ(after.size(), readers - 1);
  }
  EXPECT_TRUE(ctx->graph_info().node_entities_info_seq.empty());
}

// 0: ros2::shutdown() on the test thread; otherwise the signal raised.
class Ros2Shutdown : public ::testing::TestWithParam<int> {};

TEST_P(Ros2Shutdown, EndsSpinningOnAnotherThreadAfterTheCallbacks) {
  ros2_test::init();
  auto node = std::make_shared<ros2::Node>("spinner");
  std::atomic<bool> called{false}, returned{false};
  ros2::on_shutdown([&] { called.store(true); });
  std::thread t([&] {
    ros2::spin(node);
    returned.store(true);
  });
  EXPECT_FALSE(wait_until([&] { return returned.load(); }, 20ms));
  if (GetParam() == 0) {
    EXPECT_TRUE(ros2::shutdown());
  } else {
    raise(GetParam());
  }
  t.join();
  EXPECT_TRUE(returned.load());
  EXPECT_TRUE(called.load());
  EXPECT_FALSE(ros2::ok());
  EXPECT_FALSE(ros2::shutdown());
}

INSTANTIATE_TEST_SUITE_P(Triggers, Ros2Shutdown, ::testing::Values(0, SIGINT, SIGTERM));

TEST(Ros2Init, RefusesEarlyNodesUnknownArgumentsAndBadDomainIds) {
  EXPECT_THROW(ros2::Node("early"), std::runtime_error);
  ros2_test::use_private_loopback_domain();
  const char* argv[] = {"prog", "--ros-args", "--bogus", "-r", "a:=b"};
  try {
    ros2::init(5, argv);
    ADD_FAILURE() << "init accepted an unknown argument";
  } catch (const ros2::UnknownROSArgsError& e) {
    EXPECT_NE(std::string(e.what()).find("'--bogus'"), std::string::npos);
  }
  EXPECT_FALSE(ros2::ok());
  setenv("ROS_DOMAIN_ID", "abc", 1);
  EXPECT_THROW(ros2::init(1, argv), std::runtime_error);
  EXPECT_FALSE(ros2::ok());
  ros2_test::use_private_loopback_domain();
}

// The loopback-only domain is released as it was acquired, even when the environment changed
// meanwhile; a domain of that id made by someone else is refused, never joined.
TEST(Ros2Init, TheLoopbackDomainIsReleasedAsAcquiredAndNeverShared) {
  ros2_test::init();
  unsetenv("ROS_LOCALHOST_ONLY");
  ros2::shutdown();
  const uint32_t id = static_cast<uint32_t>(std::stoul(getenv("ROS_DOMAIN_ID")));
  const dds_entity_t domain =
      dds_create_domain(id,
                        "<CycloneDDS><Domain><General><Interfaces><NetworkInterface name=\"lo\"/>"
                        "</Interfaces></General></Domain></CycloneDDS>");
  ASSERT_GT(domain, 0) << "the domain of the last session was not released";
  EXPECT_THROW(ros2_test::init(), std::runtime_error);
  EXPECT_FALSE(ros2::ok());
  dds_delete(domain);
}

}  // namespace

// Topics between nodes of one process over the loopback interface: every message type, QoS
// depth, names and remapping, threads, interoperation with plain Cyclone endpoints, and hostile
// samples written with Cyclone directly.

#include <dds/dds.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/msg/control_msgs.h"
#include "ros2/msg/rmw_dds_common.h"
#include "ros2/msg/sensor_msgs.h"
#include "ros2/node.h"
#include "ros2/serdata.h"
#include "std_msgs.h"
#include "support/ros2_test_env.h"

namespace {

using namespace std::chrono_literals;

class Ros2PubSub : public ::testing::Test {
 protected:
  void SetUp() override {
    ros2_test::use_private_loopback_domain();
    init({});
  }
  void TearDown() override { ros2::shutdown(); }

  void init(std::vector<const char*> ros_args) {
    std::vector<const char*> argv{"test"};
    if (!ros_args.empty()) argv.push_back("--ros-args");
    argv.insert(argv.end(), ros_args.begin(), ros_args.end());
    ros2::init(static_cast<int>(argv.size()), argv.data());
  }

  // Spins until pred holds or 3 s pass.
  template <class Pred>
  bool spin_until(ros2::Executor& exec, Pred pred) {
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (!pred()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      exec.spin_once(10ms);
    }
    return true;
  }
};

template <class T>
std::vector<uint8_t> encode(const T& msg) {
  std::vector<uint8_t> out;
  ros2::cdr::serialize(msg, out);
  return out;
}

// Sends one message from node a to node b and returns what b received.
template <class T>
T round_trip(const T& sent, const std::string& topic) {
  auto a = std::make_shared<ros2::Node>("sender");
  auto b = std::make_shared<ros2::Node>("receiver");
  std::vector<T> got;
  auto sub = b->create_subscription<T>(topic, 10, [&](const T& m) { got.push_back(m); });
  auto pub = a->create_publisher<T>(topic, 10);
  EXPECT_TRUE(ros2_test::wait_until([&] { return pub->get_subscription_count() > 0; }));
  pub->publish(sent);
  ros2::Executor exec;
  exec.add_node(b);
  const auto end = std::chrono::steady_clock::now() + 3s;
  while (got.empty() && std::chrono::steady_clock::now() < end) exec.spin_once(10ms);
  EXPECT_EQ(got.size(), 1u);
  return got.empty() ? T{} : got.front();
}

template <class T>
void expect_round_trip(const T& sent, const std::string& topic) {
  EXPECT_EQ(encode(round_trip(sent, topic)), encode(sent)) << topic;
}

TEST_F(Ros2PubSub, EveryMessageTypeCrossesBetweenNodes) {
  std_msgs::msg::String s;
  s.data = "hello";
  expect_round_trip(s, "string_topic");
  std_msgs::msg::Bool b;
  b.data = true;
  expect_round_trip(b, "bool_topic");
  std_msgs::msg::Float64MultiArray f;
  f.layout.dim = {{"x", 2, 2}};
  f.data = {1.5, -2.5};
  expect_round_trip(f, "f64_topic");
  std_msgs::msg::Int32MultiArray i;
  i.data = {7, -8};
  expect_round_trip(i, "i32_topic");
  std_msgs::msg::Header h;
  h.frame_id = "base";
  expect_round_trip(h, "header_topic");
  sensor_msgs::msg::JointState js;
  js.name = {"joint1"};
  js.position = {0.25};
  js.velocity = {0.5};
  js.effort = {0.75};
  expect_round_trip(js, "joint_state_topic");
  geometry_msgs::msg::Pose pose;
  pose.position.z = 3;
  expect_round_trip(pose, "pose_topic");
  geometry_msgs::msg::Twist tw;
  tw.linear.x = 1;
  expect_round_trip(tw, "twist_topic");
  geometry_msgs::msg::Transform tf;
  tf.rotation.z = 1;
  expect_round_trip(tf, "transform_topic");
  geometry_msgs::msg::Point pt;
  pt.y = 4;
  expect_round_trip(pt, "point_topic");
  geometry_msgs::msg::Quaternion q;
  q.x = 1;
  expect_round_trip(q, "quaternion_topic");
  geometry_msgs::msg::Vector3 v;
  v.z = 9;
  expect_round_trip(v, "vector_topic");
  builtin_interfaces::msg::Time t;
  t.sec = 5;
  expect_round_trip(t, "time_topic");
  builtin_interfaces::msg::Duration d;
  d.nanosec = 5;
  expect_round_trip(d, "duration_topic");
  trajectory_msgs::msg::JointTrajectory jt;
  jt.joint_names = {"a", "b"};
  jt.points.resize(2);
  jt.points[1].positions = {1, 2};
  expect_round_trip(jt, "joint_trajectory_topic");
  trajectory_msgs::msg::MultiDOFJointTrajectory mt;
  mt.points.resize(1);
  mt.points[0].transforms.resize(1);
  expect_round_trip(mt, "multi_dof_topic");
  control_msgs::msg::JointTolerance tol;
  tol.name = "j";
  expect_round_trip(tol, "tolerance_topic");
  control_msgs::action::FollowJointTrajectory::Feedback fb;
  fb.joint_names = {"x"};
  expect_round_trip(fb, "feedback_topic");
  action_msgs::msg::GoalStatusArray gs;
  gs.status_list.resize(3);
  expect_round_trip(gs, "status_topic");
  unique_identifier_msgs::msg::UUID u;
  u.uuid[3] = 3;
  expect_round_trip(u, "uuid_topic");
}

TEST_F(Ros2PubSub, CallbackFormsAllReceiveTheMessage) {
  auto node = std::make_shared<ros2::Node>("forms");
  int by_ref = 0, by_shared = 0, by_const_shared = 0, by_unique = 0;
  using Msg = std_msgs::msg::String;
  auto s1 = node->create_subscription<Msg>("t", 10, [&](const Msg&) { ++by_ref; });
  auto s2 = node->create_subscription<Msg>("t", 10, [&](Msg::SharedPtr) { ++by_shared; });
  auto s3 =
      node->create_subscription<Msg>("t", 10, [&](Msg::ConstSharedPtr) { ++by_const_shared; });
  auto s4 = node->create_subscription<Msg>("t", 10, [&](Msg::UniquePtr) { ++by_unique; });
  auto pub = node->create_publisher<Msg>("t", 10);
  ASSERT_TRUE(ros2_test::wait_until([&] { return pub->get_subscription_count() == 4; }));
  pub->publish(Msg{});
  ros2::Executor exec;
  exec.add_node(node);
  EXPECT_TRUE(
      spin_until(exec, [&] { return by_ref + by_shared + by_const_shared + by_unique == 4; }));
  EXPECT_EQ(by_ref, 1);
  EXPECT_EQ(by_unique, 1);
}

TEST_F(Ros2PubSub, SubscriptionDepthKeepsOnlyTheLatestMessages) {
  auto node = std::make_shared<ros2::Node>("depth");
  std::vector<int32_t> got;
  auto sub = node->create_subscription<std_msgs::msg::Int32MultiArray>(
      "numbers", ros2::QoS(2),
      [&](const std_msgs::msg::Int32MultiArray& m) { got.push_back(m.data.at(0)); });
  auto pub = node->create_publisher<std_msgs::msg::Int32MultiArray>("numbers", 10);
  ASSERT_TRUE(ros2_test::wait_until([&] { return pub->get_subscription_count() > 0; }));
  for (int32_t i = 0; i < 5; ++i) {
    std_msgs::msg::Int32MultiArray m;
    m.data = {i};
    pub->publish(m);
  }
  ros2::Executor exec;
  exec.add_node(node);
  spin_until(exec, [&] { return got.size() >= 2; });
  exec.spin_some();
  EXPECT_EQ(got, (std::vector<int32_t>{3, 4}));
}

TEST_F(Ros2PubSub, ReliableSubscriptionIgnoresBestEffortPublisher) {
  auto node = std::make_shared<ros2::Node>("qos");
  auto sub =
      node->create_subscription<std_msgs::msg::Bool>("flag", 10, [](const std_msgs::msg::Bool&) {});
  auto best_effort = node->create_publisher<std_msgs::msg::Bool>("flag", ros2::SensorDataQoS());
  auto reliable = node->create_publisher<std_msgs::msg::Bool>("flag", 10);
  ASSERT_TRUE(ros2_test::wait_until([&] { return reliable->get_subscription_count() == 1; }));
  EXPECT_EQ(best_effort->get_subscription_count(), 0u);
  EXPECT_EQ(sub->get_publisher_count(), 1u);
}

TEST_F(Ros2PubSub, NamesExpandInTheNodeNamespace) {
  auto node = std::make_shared<ros2::Node>("arm", "robot");
  EXPECT_EQ(node->get_namespace(), "/robot");
  EXPECT_EQ(node->get_fully_qualified_name(), "/robot/arm");
  EXPECT_EQ(node->get_logger().get_name(), "robot.arm");
  auto rel = node->create_publisher<std_msgs::msg::String>("status", 10);
  auto priv = node->create_publisher<std_msgs::msg::String>("~/debug", 10);
  auto abs = node->create_publisher<std_msgs::msg::String>("/global", 10);
  EXPECT_EQ(rel->get_topic_name(), "/robot/status");
  EXPECT_EQ(priv->get_topic_name(), "/robot/arm/debug");
  EXPECT_EQ(abs->get_topic_name(), "/global");
  EXPECT_THROW(node->create_publisher<std_msgs::msg::String>("bad name", 10),
               ros2::InvalidArgumentError);
}

TEST_F(Ros2PubSub, RemapRulesMoveTopicsNodesAndNamespaces) {
  ros2::shutdown();
  init({"-r", "chatter:=talk", "-r", "other:cmd:=elsewhere", "-r", "__ns:=/robot", "-r",
        "__node:=renamed"});
  auto node = std::make_shared<ros2::Node>("original");
  EXPECT_EQ(node->get_name(), "renamed");
  EXPECT_EQ(node->get_namespace(), "/robot");
  auto pub = node->create_publisher<std_msgs::msg::String>("chatter", 10);
  auto cmd = node->create_publisher<std_msgs::msg::String>("cmd", 10);
  EXPECT_EQ(pub->get_topic_name(), "/robot/talk");
  EXPECT_EQ(cmd->get_topic_name(), "/robot/cmd");

  auto listener = std::make_shared<ros2::Node>("listener", "/");
  std::string got;
  auto sub = listener->create_subscription<std_msgs::msg::String>(
      "/robot/talk", 10, [&](const std_msgs::msg::String& m) { got = m.data; });
  ASSERT_TRUE(ros2_test::wait_until([&] { return pub->get_subscription_count() > 0; }));
  std_msgs::msg::String m;
  m.data = "remapped";
  pub->publish(m);
  ros2::Executor exec;
  exec.add_node(listener);
  EXPECT_TRUE(spin_until(exec, [&] { return got == "remapped"; }));
}

TEST_F(Ros2PubSub, NodeArgumentsComeBeforeGlobalOnes) {
  auto node = std::make_shared<ros2::Node>(
      "local", ros2::NodeOptions().arguments({"--ros-args", "-r", "in:=out"}));
  auto pub = node->create_publisher<std_msgs::msg::String>("in", 10);
  EXPECT_EQ(pub->get_topic_name(), "/out");
}

TEST_F(Ros2PubSub, PublishingFromAnotherThreadWhileSpinning) {
  auto node = std::make_shared<ros2::Node>("threads");
  auto status = std::make_shared<ros2::Node>("status");
  std::atomic<int> received{0};
  std::atomic<bool> on_spinner{true};
  std::thread::id spinner_id;
  auto sub = node->create_subscription<sensor_msgs::msg::JointState>(
      "joints", 100, [&](const sensor_msgs::msg::JointState&) {
        on_spinner.store(on_spinner.load() && std::this_thread::get_id() == spinner_id);
        received.fetch_add(1);
      });
  auto pub = status->create_publisher<sensor_msgs::msg::JointState>("joints", 100);
  ASSERT_TRUE(ros2_test::wait_until([&] { return pub->get_subscription_count() > 0; }));
  ros2::Executor exec;
  exec.add_node(node);
  std::promise<void> started;
  std::thread spinner([&] {
    spinner_id = std::this_thread::get_id();
    started.set_value();
    exec.spin();
  });
  started.get_future().wait();
  std::thread publisher([&] {
    sensor_msgs::msg::JointState js;
    js.position = {1, 2, 3, 4, 5};
    for (int i = 0; i < 50; ++i) pub->publish(js);
  });
  publisher.join();
  EXPECT_TRUE(ros2_test::wait_until([&] { return received.load() == 50; }));
  exec.cancel();
  spinner.join();
  EXPECT_TRUE(on_spinner.load());
}

TEST_F(Ros2PubSub, TimersRunOnTheExecutorAndFuturesComplete) {
  auto node = std::make_shared<ros2::Node>("timing");
  std::promise<int> done;
  std::shared_future<int> fut = done.get_future().share();
  int ticks = 0;
  const auto caller = std::this_thread::get_id();
  bool same_thread = true;
  auto timer = node->create_wall_timer(5ms, [&] {
    same_thread = same_thread && std::this_thread::get_id() == caller;
    if (++ticks == 3) done.set_value(ticks);
  });
  ros2::Executor exec;
  exec.add_node(node);
  EXPECT_EQ(exec.spin_until_future_complete(fut, 2s), ros2::FutureReturnCode::SUCCESS);
  EXPECT_EQ(fut.get(), 3);
  EXPECT_TRUE(same_thread);
  timer->cancel();
  std::promise<void> never;
  EXPECT_EQ(exec.spin_until_future_complete(never.get_future(), 30ms),
            ros2::FutureReturnCode::TIMEOUT);
  EXPECT_EQ(ticks, 3);
}

TEST_F(Ros2PubSub, ShutdownEndsSpinningOnAnotherThread) {
  auto node = std::make_shared<ros2::Node>("spinner");
  std::atomic<bool> returned{false};
  std::thread t([&] {
    ros2::spin(node);
    returned.store(true);
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(returned.load());
  EXPECT_TRUE(ros2::shutdown());
  t.join();
  EXPECT_TRUE(returned.load());
  EXPECT_FALSE(ros2::ok());
  EXPECT_FALSE(ros2::shutdown());
}

TEST_F(Ros2PubSub, SigintEndsSpinningLikeShutdown) {
  auto node = std::make_shared<ros2::Node>("interrupted");
  std::atomic<bool> called{false};
  ros2::on_shutdown([&] { called.store(true); });
  std::promise<void> started;
  std::thread t([&] {
    started.set_value();
    ros2::spin(node);
  });
  started.get_future().wait();
  raise(SIGINT);
  t.join();
  EXPECT_FALSE(ros2::ok());
  EXPECT_TRUE(called.load());
}

TEST_F(Ros2PubSub, PlainCycloneEndpointsInteroperate) {
  auto node = std::make_shared<ros2::Node>("ours");
  std::vector<double> got;
  auto sub = node->create_subscription<std_msgs::msg::Float64MultiArray>(
      "native_in", 10, [&](const std_msgs::msg::Float64MultiArray& m) { got = m.data; });
  auto pub = node->create_publisher<std_msgs::msg::Float64MultiArray>("native_out", 10);

  const dds_entity_t pp = dds_create_participant(DDS_DOMAIN_DEFAULT, nullptr, nullptr);
  ASSERT_GT(pp, 0);
  dds_qos_t* q = dds_create_qos();
  dds_qset_reliability(q, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
  dds_qset_history(q, DDS_HISTORY_KEEP_LAST, 10);
  const dds_entity_t t_in =
      dds_create_topic(pp, &std_msgs_msg_dds__Float64MultiArray__desc, "rt/native_in", q, nullptr);
  const dds_entity_t t_out =
      dds_create_topic(pp, &std_msgs_msg_dds__Float64MultiArray__desc, "rt/native_out", q, nullptr);
  const dds_entity_t w = dds_create_writer(pp, t_in, q, nullptr);
  const dds_entity_t r = dds_create_reader(pp, t_out, q, nullptr);
  dds_delete_qos(q);
  ASSERT_TRUE(ros2_test::wait_until([&] {
    dds_publication_matched_status_t st;
    dds_get_publication_matched_status(w, &st);
    return st.current_count > 0 && pub->get_subscription_count() > 0;
  }));

  double values[] = {0.5, 1.5};
  std_msgs_msg_dds__Float64MultiArray_ sample{};
  sample.data._length = 2;
  sample.data._maximum = 2;
  sample.data._buffer = values;
  ASSERT_EQ(dds_write(w, &sample), DDS_RETCODE_OK);
  ros2::Executor exec;
  exec.add_node(node);
  EXPECT_TRUE(spin_until(exec, [&] { return got.size() == 2; }));
  EXPECT_EQ(got, (std::vector<double>{0.5, 1.5}));

  std_msgs::msg::Float64MultiArray ours;
  ours.layout.dim = {{"points", 4, 24}};
  ours.data = {3.0};
  pub->publish(ours);
  void* samples[1] = {nullptr};
  dds_sample_info_t info;
  ASSERT_TRUE(ros2_test::wait_until([&] { return dds_take(r, samples, &info, 1, 1) == 1; }));
  auto* taken = static_cast<std_msgs_msg_dds__Float64MultiArray_*>(samples[0]);
  ASSERT_EQ(taken->data._length, 1u);
  EXPECT_EQ(taken->data._buffer[0], 3.0);
  ASSERT_EQ(taken->layout.dim._length, 1u);
  EXPECT_STREQ(taken->layout.dim._buffer[0].label, "points");
  EXPECT_EQ(taken->layout.dim._buffer[0].stride, 24u);
  dds_return_loan(r, samples, 1);
  dds_delete(pp);
}

// Payloads written as raw bytes on a ROS topic, as a faulty or hostile peer could send them.
class RawWriter {
 public:
  RawWriter(const std::string& topic, const std::string& type) {
    pp_ = dds_create_participant(DDS_DOMAIN_DEFAULT, nullptr, nullptr);
    topic_ = ros2::detail::create_raw_topic(pp_, topic, type, &sertype_);
    dds_qos_t* q = dds_create_qos();
    dds_qset_reliability(q, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
    dds_qset_history(q, DDS_HISTORY_KEEP_ALL, DDS_LENGTH_UNLIMITED);
    writer_ = dds_create_writer(pp_, topic_, q, nullptr);
    dds_delete_qos(q);
  }
  ~RawWriter() { dds_delete(pp_); }
  size_t matched() const {
    dds_publication_matched_status_t st;
    dds_get_publication_matched_status(writer_, &st);
    return st.current_count;
  }
  void write(const std::vector<uint8_t>& payload) {
    ASSERT_EQ(ros2::detail::write_payload(writer_, sertype_, payload.data(), payload.size()),
              DDS_RETCODE_OK);
  }

 private:
  dds_entity_t pp_ = 0;
  dds_entity_t topic_ = 0;
  dds_entity_t writer_ = 0;
  const ddsi_sertype* sertype_ = nullptr;
};

TEST_F(Ros2PubSub, MalformedSamplesAreDroppedAndLaterOnesStillArrive) {
  auto node = std::make_shared<ros2::Node>("victim");
  std::vector<std::vector<double>> got;
  auto sub = node->create_subscription<std_msgs::msg::Float64MultiArray>(
      "hostile", 10, [&](const std_msgs::msg::Float64MultiArray& m) { got.push_back(m.data); });
  RawWriter raw("rt/hostile", "std_msgs::msg::dds_::Float64MultiArray_");
  ASSERT_TRUE(ros2_test::wait_until([&] { return raw.matched() > 0; }));
  // Empty, header only, truncated count, 4 G dimensions, 4 G doubles, string without NUL,
  // an XCDR2 header, a boolean where a length belongs.
  raw.write({});
  raw.write({0x00, 0x01, 0x00, 0x00});
  raw.write({0x00, 0x01, 0x00, 0x00, 0x01, 0x00});
  raw.write({0x00, 0x01, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0});
  raw.write({0x00, 0x01, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff});
  raw.write({0x00, 0x01, 0x00, 0x00, 1, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0, 0});
  raw.write({0x00, 0x07, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  std_msgs::msg::Float64MultiArray good;
  good.data = {42.0};
  std::vector<uint8_t> payload;
  ros2::cdr::serialize(good, payload);
  raw.write(payload);
  ros2::Executor exec;
  exec.add_node(node);
  EXPECT_TRUE(spin_until(exec, [&] { return !got.empty(); }));
  exec.spin_some();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], std::vector<double>{42.0});
}

TEST_F(Ros2PubSub, WrongTypeNameNeverMatches) {
  auto node = std::make_shared<ros2::Node>("typed");
  auto sub = node->create_subscription<std_msgs::msg::String>("typed_topic", 10,
                                                              [](const std_msgs::msg::String&) {});
  RawWriter right("rt/typed_topic", "std_msgs::msg::dds_::String_");
  RawWriter wrong("rt/typed_topic", "std_msgs::msg::dds_::Bool_");
  ASSERT_TRUE(ros2_test::wait_until([&] { return right.matched() > 0; }));
  EXPECT_EQ(wrong.matched(), 0u);
  EXPECT_EQ(sub->get_publisher_count(), 1u);
}

TEST(Ros2Init, UnknownRosArgumentIsRefusedByName) {
  ros2_test::use_private_loopback_domain();
  const char* argv[] = {"prog", "--ros-args", "--bogus", "-r", "a:=b"};
  try {
    ros2::init(5, argv);
    FAIL() << "init accepted an unknown argument";
  } catch (const ros2::UnknownROSArgsError& e) {
    EXPECT_NE(std::string(e.what()).find("'--bogus'"), std::string::npos);
  }
  EXPECT_FALSE(ros2::ok());
}

TEST(Ros2Init, NodeBeforeInitThrows) { EXPECT_THROW(ros2::Node("early"), std::runtime_error); }

TEST(Ros2Init, InvalidDomainIdIsRefused) {
  ros2_test::use_private_loopback_domain();
  setenv("ROS_DOMAIN_ID", "abc", 1);
  const char* argv[] = {"prog"};
  EXPECT_THROW(ros2::init(1, argv), std::runtime_error);
  ros2_test::use_private_loopback_domain();
}

}  // namespace

namespace {

TEST_F(Ros2PubSub, GraphInfoListsNodesAndTheirEndpoints) {
  auto ctx = ros2::detail::Context::current();
  {
    auto node = std::make_shared<ros2::Node>("grapher", "/ns");
    auto pub = node->create_publisher<std_msgs::msg::String>("out", 10);
    auto sub = node->create_subscription<std_msgs::msg::String>(
        "in", 10, [](const std_msgs::msg::String&) {});
    const auto info = ctx->graph_info();
    EXPECT_EQ(info.gid.data, ros2::detail::gid_of(ctx->participant()).data);
    ASSERT_EQ(info.node_entities_info_seq.size(), 1u);
    const auto& n = info.node_entities_info_seq[0];
    EXPECT_EQ(n.node_namespace, "/ns");
    EXPECT_EQ(n.node_name, "grapher");
    ASSERT_EQ(n.writer_gid_seq.size(), 1u);
    ASSERT_EQ(n.reader_gid_seq.size(), 1u);
    dds_guid_t guid;
    ASSERT_EQ(dds_get_guid(pub->dds_writer(), &guid), DDS_RETCODE_OK);
    EXPECT_EQ(std::memcmp(guid.v, n.writer_gid_seq[0].data.data(), 16), 0);
    ASSERT_EQ(dds_get_guid(sub->dds_reader(), &guid), DDS_RETCODE_OK);
    EXPECT_EQ(std::memcmp(guid.v, n.reader_gid_seq[0].data.data(), 16), 0);
    sub.reset();
    EXPECT_TRUE(ctx->graph_info().node_entities_info_seq[0].reader_gid_seq.empty());
  }
  EXPECT_TRUE(ctx->graph_info().node_entities_info_seq.empty());
}

TEST_F(Ros2PubSub, ParticipantAnnouncesTheRosEnclave) {
  auto ctx = ros2::detail::Context::current();
  dds_qos_t* q = dds_create_qos();
  ASSERT_EQ(dds_get_qos(ctx->participant(), q), DDS_RETCODE_OK);
  void* data = nullptr;
  size_t size = 0;
  ASSERT_TRUE(dds_qget_userdata(q, &data, &size));
  EXPECT_EQ(std::string(static_cast<char*>(data), size), "enclave=/;");
  dds_free(data);
  dds_delete_qos(q);
}

}  // namespace

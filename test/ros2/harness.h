#pragma once

// Shared pieces of the tests that start DDS: start-up on a private loopback domain, a fixture that
// spins its nodes until a condition holds or a future completes, and a writer of raw payloads for
// hostile samples.

#include <dds/dds.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ros2/executor.h"
#include "ros2/init.h"
#include "ros2/node.h"
#include "ros2/serdata.h"
#include "support/ros2_test_env.h"
#include "wire_cases.h"

using namespace std::chrono_literals;

namespace ros2_test {

// ros2::init on a private loopback domain with the given ROS arguments.
inline void init(std::vector<const char*> ros_args = {}) {
  use_private_loopback_domain();
  ros_args.insert(ros_args.begin(), {"test", "--ros-args"});
  ros2::init(static_cast<int>(ros_args.size()), ros_args.data());
}

// A session whose nodes exec_ spins.
class Ros2Test : public ::testing::Test {
 protected:
  void SetUp() override { init(); }
  void TearDown() override { ros2::shutdown(); }

  ros2::Node::SharedPtr node(const std::string& name, const std::string& ns = "") {
    auto n = std::make_shared<ros2::Node>(name, ns);
    exec_.add_node(n);
    return n;
  }
  template <class Pred>
  bool spin_until(Pred pred, std::chrono::milliseconds deadline = 10s) {
    return wait_until(
        [&] {
          exec_.spin_once(10ms);
          return pred();
        },
        deadline);
  }
  // The value of a future; a default value after a failure.
  template <class T>
  T wait(const std::shared_future<T>& f) {
    const bool done = exec_.spin_until_future_complete(f, 10s) == ros2::FutureReturnCode::SUCCESS;
    EXPECT_TRUE(done);
    return done ? f.get() : T{};
  }

  ros2::Executor exec_;
};

// A reliable keep-all writer of raw payloads on a topic, in a participant of its own.
class RawWriter {
 public:
  RawWriter(const std::string& topic, const std::string& type)
      : pp_(dds_create_participant(DDS_DOMAIN_DEFAULT, nullptr, nullptr)) {
    const dds_entity_t t = ros2::detail::create_raw_topic(pp_, topic, type, &sertype_);
    dds_qos_t* q = dds_create_qos();
    dds_qset_reliability(q, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
    dds_qset_history(q, DDS_HISTORY_KEEP_ALL, DDS_LENGTH_UNLIMITED);
    writer_ = dds_create_writer(pp_, t, q, nullptr);
    dds_delete_qos(q);
  }
  ~RawWriter() { dds_delete(pp_); }
  bool matched() const {
    dds_publication_matched_status_t st{};
    dds_get_publication_matched_status(writer_, &st);
    return st.current_count > 0;
  }
  void write(const Bytes& payload) {
    EXPECT_EQ(ros2::detail::write_payload(writer_, sertype_, payload.data(), payload.size()),
              DDS_RETCODE_OK);
  }

 private:
  dds_entity_t pp_;
  dds_entity_t writer_ = 0;
  const ddsi_sertype* sertype_ = nullptr;
};

}  // namespace ros2_test

// Every payload of the data file, also judged by Cyclone's decoder, and damaged or unusual data.

#include "ros2/cdr.h"

#include <dds/ddsi/ddsi_cdrstream.h>

#include "harness.h"
#include "ros2/type_support.h"

namespace {

using namespace ros2_test;
using ros2::cdr::DecodeError;

// Cyclone's decoder, driven by the idlc description of T, accepts the payload.
template <class T>
bool cyclone_accepts(Bytes payload) {
  uint32_t off = 0;
  return dds_stream_normalize_data(reinterpret_cast<char*>(payload.data()) + 4, &off,
                                   static_cast<uint32_t>(payload.size() - 4), false, 1,
                                   ros2::TypeSupport<T>::descriptor()->m_ops) != nullptr;
}

TEST(Ros2Cdr, EveryMessageEncodesToItsExactBytesAndDamagedOnesAreRefused) {
  for_each_wire_case([&](const std::string& name, const auto& msg) {
    SCOPED_TRACE(name);
    using T = std::decay_t<decltype(msg)>;
    const Bytes& want = wire(name);
    EXPECT_EQ(encode(msg), padded(want));
    EXPECT_TRUE(cyclone_accepts<T>(padded(want)));
    std::vector<Bytes> refused;
    for (size_t n = 0; n < want.size(); ++n) refused.emplace_back(want.begin(), want.begin() + n);
    for (const auto& c : wire_cases())
      if (c.first.rfind("bad." + name + ".", 0) == 0) refused.push_back(c.second);
    for (const Bytes& b : refused) EXPECT_THROW(decoded<T>(b), DecodeError) << b.size();
  });
}

TEST(Ros2Cdr, ServicePayloadsCarryTheRequestHeader) {
  std::vector<std::pair<uint64_t, int64_t>> headers;
  using Goal = control_msgs::action::FollowJointTrajectory::Impl::SendGoalService;
  using Result = control_msgs::action::FollowJointTrajectory::Impl::GetResultService;
  using namespace action_msgs::srv;
  using namespace rcl_interfaces::srv;
  visit_cases<Goal::Response, Goal::Request, Result::Request, Result::Response, CancelGoal_Request,
              CancelGoal_Response, ListParameters_Request, GetParameters_Response>(
      [&](const std::string& name, auto* t) {
        SCOPED_TRACE(name);
        const Bytes& want = wire(name);
        std::remove_pointer_t<decltype(t)> body;
        auto& h = headers.emplace_back();
        ros2::cdr::deserialize_with_header(want.data(), want.size(), h.first, h.second, body);
        Bytes out;
        ros2::cdr::serialize_with_header(h.first, h.second, body, out);
        EXPECT_EQ(out, padded(want));
        EXPECT_TRUE(cyclone_accepts<decltype(body)>(out));
      },
      "send_goal_response send_goal_request get_result_request get_result_response "
      "cancel_goal_request cancel_goal_response list_parameters_request get_parameters_response");
  EXPECT_EQ(headers[0], std::make_pair(uint64_t{0x0102030405060708}, int64_t{5}));
}

TEST(Ros2Cdr, BigEndianTrailingBytesAndEmptyStringsAreAccepted) {
  EXPECT_EQ(
      decoded<std_msgs::msg::Float64MultiArray>(
          hex("0 0 0 0  0 0 0 0  0 0 0 0  0 0 0 2  0 0 0 0  3f f0 0 0 0 0 0 0  40 0 0 0 0 0 0 0"))
          .data,
      (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(decoded(hex("0 1 0 0  0 0 0 0  de ad be ef"), std_msgs::msg::String{"x"}).data, "");
}

}  // namespace

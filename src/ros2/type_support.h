#pragma once

// How a C++ message type is tied to its encoding and to its DDS type.
//
// ROS2_FIELDS(Type, field...) lists the fields of a message in wire order; it defines the
// visit_fields overloads that the CDR writer and reader find by argument-dependent lookup.
// The field list must name every data member (the structured binding checks the count).
//
// ROS2_TYPE_SUPPORT(Type, c_name) ties the type to the topic descriptor that idlc generated for
// the IDL struct c_name (for example std_msgs_msg_dds__String_); the descriptor gives the DDS
// type name ("std_msgs::msg::dds_::String_") and the layout Cyclone checks incoming data
// against. Use it at global scope.

#include <memory>

struct dds_topic_descriptor;

#define ROS2_FIELDS(TYPE, ...)                         \
  template <class Visitor>                             \
  void visit_fields(Visitor& visitor, TYPE& m) {       \
    auto& [__VA_ARGS__] = m;                           \
    visitor(__VA_ARGS__);                              \
  }                                                    \
  template <class Visitor>                             \
  void visit_fields(Visitor& visitor, const TYPE& m) { \
    const auto& [__VA_ARGS__] = m;                     \
    visitor(__VA_ARGS__);                              \
  }

// Pointer aliases every generated ROS 2 message type carries.
#define ROS2_MESSAGE_POINTERS(TYPE)                   \
  using SharedPtr = std::shared_ptr<TYPE>;            \
  using ConstSharedPtr = std::shared_ptr<const TYPE>; \
  using UniquePtr = std::unique_ptr<TYPE>

namespace ros2 {

template <class T>
struct TypeSupport;

}  // namespace ros2

#define ROS2_TYPE_SUPPORT(TYPE, C_NAME)                                               \
  extern "C" const struct dds_topic_descriptor C_NAME##_desc;                         \
  template <>                                                                         \
  struct ros2::TypeSupport<TYPE> {                                                    \
    static const struct dds_topic_descriptor* descriptor() { return &C_NAME##_desc; } \
  };

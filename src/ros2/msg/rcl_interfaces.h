#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ros2/msg/builtin_interfaces.h"
#include "ros2/type_support.h"

namespace rcl_interfaces::msg {

// One log line as published on /rosout.
struct Log {
  static constexpr uint8_t DEBUG = 10;
  static constexpr uint8_t INFO = 20;
  static constexpr uint8_t WARN = 30;
  static constexpr uint8_t ERROR = 40;
  static constexpr uint8_t FATAL = 50;

  builtin_interfaces::msg::Time stamp;
  uint8_t level = 0;
  std::string name;  // logger name
  std::string msg;   // text, without a trailing newline
  std::string file;  // where the line was logged
  std::string function;
  uint32_t line = 0;
  ROS2_MESSAGE_POINTERS(Log);
};
ROS2_FIELDS(Log, stamp, level, name, msg, file, function, line)

// The type codes of ParameterValue::type (the message has no fields of its own).
struct ParameterType {
  static constexpr uint8_t PARAMETER_NOT_SET = 0;
  static constexpr uint8_t PARAMETER_BOOL = 1;
  static constexpr uint8_t PARAMETER_INTEGER = 2;
  static constexpr uint8_t PARAMETER_DOUBLE = 3;
  static constexpr uint8_t PARAMETER_STRING = 4;
  static constexpr uint8_t PARAMETER_BYTE_ARRAY = 5;
  static constexpr uint8_t PARAMETER_BOOL_ARRAY = 6;
  static constexpr uint8_t PARAMETER_INTEGER_ARRAY = 7;
  static constexpr uint8_t PARAMETER_DOUBLE_ARRAY = 8;
  static constexpr uint8_t PARAMETER_STRING_ARRAY = 9;
};

// A value of the kind type names; the other fields keep their defaults.
struct ParameterValue {
  uint8_t type = ParameterType::PARAMETER_NOT_SET;
  bool bool_value = false;
  int64_t integer_value = 0;
  double double_value = 0.0;
  std::string string_value;
  std::vector<uint8_t> byte_array_value;
  std::vector<bool> bool_array_value;
  std::vector<int64_t> integer_array_value;
  std::vector<double> double_array_value;
  std::vector<std::string> string_array_value;
  ROS2_MESSAGE_POINTERS(ParameterValue);
};
ROS2_FIELDS(ParameterValue, type, bool_value, integer_value, double_value, string_value,
            byte_array_value, bool_array_value, integer_array_value, double_array_value,
            string_array_value)

struct Parameter {
  std::string name;
  ParameterValue value;
  ROS2_MESSAGE_POINTERS(Parameter);
};
ROS2_FIELDS(Parameter, name, value)

struct FloatingPointRange {
  double from_value = 0.0;
  double to_value = 0.0;
  double step = 0.0;  // 0: any value in the range
  ROS2_MESSAGE_POINTERS(FloatingPointRange);
};
ROS2_FIELDS(FloatingPointRange, from_value, to_value, step)

struct IntegerRange {
  int64_t from_value = 0;
  int64_t to_value = 0;
  uint64_t step = 0;  // 0: any value in the range
  ROS2_MESSAGE_POINTERS(IntegerRange);
};
ROS2_FIELDS(IntegerRange, from_value, to_value, step)

struct ParameterDescriptor {
  std::string name;
  uint8_t type = ParameterType::PARAMETER_NOT_SET;
  std::string description;
  std::string additional_constraints;
  bool read_only = false;
  bool dynamic_typing = false;
  std::vector<FloatingPointRange> floating_point_range;  // at most one
  std::vector<IntegerRange> integer_range;               // at most one
  ROS2_MESSAGE_POINTERS(ParameterDescriptor);
};
ROS2_FIELDS(ParameterDescriptor, name, type, description, additional_constraints, read_only,
            dynamic_typing, floating_point_range, integer_range)

struct ParameterEvent {
  builtin_interfaces::msg::Time stamp;
  std::string node;  // fully qualified name of the node
  std::vector<Parameter> new_parameters;
  std::vector<Parameter> changed_parameters;
  std::vector<Parameter> deleted_parameters;
  ROS2_MESSAGE_POINTERS(ParameterEvent);
};
ROS2_FIELDS(ParameterEvent, stamp, node, new_parameters, changed_parameters, deleted_parameters)

struct SetParametersResult {
  bool successful = false;
  std::string reason;  // why it failed
  ROS2_MESSAGE_POINTERS(SetParametersResult);
};
ROS2_FIELDS(SetParametersResult, successful, reason)

struct ListParametersResult {
  std::vector<std::string> names;
  std::vector<std::string> prefixes;
  ROS2_MESSAGE_POINTERS(ListParametersResult);
};
ROS2_FIELDS(ListParametersResult, names, prefixes)

}  // namespace rcl_interfaces::msg

// The parameter services' requests and replies, without the request header that the service
// layer puts in front of them.
namespace rcl_interfaces::srv {

#define RCL_INTERFACES_SERVICE_(NAME) \
  struct NAME {                       \
    using Request = NAME##_Request;   \
    using Response = NAME##_Response; \
  };

struct DescribeParameters_Request {
  std::vector<std::string> names;
  ROS2_MESSAGE_POINTERS(DescribeParameters_Request);
};
ROS2_FIELDS(DescribeParameters_Request, names)
struct DescribeParameters_Response {
  std::vector<msg::ParameterDescriptor> descriptors;
  ROS2_MESSAGE_POINTERS(DescribeParameters_Response);
};
ROS2_FIELDS(DescribeParameters_Response, descriptors)
RCL_INTERFACES_SERVICE_(DescribeParameters)

struct GetParameterTypes_Request {
  std::vector<std::string> names;
  ROS2_MESSAGE_POINTERS(GetParameterTypes_Request);
};
ROS2_FIELDS(GetParameterTypes_Request, names)
struct GetParameterTypes_Response {
  std::vector<uint8_t> types;
  ROS2_MESSAGE_POINTERS(GetParameterTypes_Response);
};
ROS2_FIELDS(GetParameterTypes_Response, types)
RCL_INTERFACES_SERVICE_(GetParameterTypes)

struct GetParameters_Request {
  std::vector<std::string> names;
  ROS2_MESSAGE_POINTERS(GetParameters_Request);
};
ROS2_FIELDS(GetParameters_Request, names)
struct GetParameters_Response {
  std::vector<msg::ParameterValue> values;
  ROS2_MESSAGE_POINTERS(GetParameters_Response);
};
ROS2_FIELDS(GetParameters_Response, values)
RCL_INTERFACES_SERVICE_(GetParameters)

struct ListParameters_Request {
  static constexpr uint64_t DEPTH_RECURSIVE = 0;
  std::vector<std::string> prefixes;
  uint64_t depth = DEPTH_RECURSIVE;
  ROS2_MESSAGE_POINTERS(ListParameters_Request);
};
ROS2_FIELDS(ListParameters_Request, prefixes, depth)
struct ListParameters_Response {
  msg::ListParametersResult result;
  ROS2_MESSAGE_POINTERS(ListParameters_Response);
};
ROS2_FIELDS(ListParameters_Response, result)
RCL_INTERFACES_SERVICE_(ListParameters)

struct SetParameters_Request {
  std::vector<msg::Parameter> parameters;
  ROS2_MESSAGE_POINTERS(SetParameters_Request);
};
ROS2_FIELDS(SetParameters_Request, parameters)
struct SetParameters_Response {
  std::vector<msg::SetParametersResult> results;
  ROS2_MESSAGE_POINTERS(SetParameters_Response);
};
ROS2_FIELDS(SetParameters_Response, results)
RCL_INTERFACES_SERVICE_(SetParameters)

struct SetParametersAtomically_Request {
  std::vector<msg::Parameter> parameters;
  ROS2_MESSAGE_POINTERS(SetParametersAtomically_Request);
};
ROS2_FIELDS(SetParametersAtomically_Request, parameters)
struct SetParametersAtomically_Response {
  msg::SetParametersResult result;
  ROS2_MESSAGE_POINTERS(SetParametersAtomically_Response);
};
ROS2_FIELDS(SetParametersAtomically_Response, result)
RCL_INTERFACES_SERVICE_(SetParametersAtomically)

#undef RCL_INTERFACES_SERVICE_

}  // namespace rcl_interfaces::srv

ROS2_TYPE_SUPPORT(rcl_interfaces::msg::Log, rcl_interfaces_msg_dds__Log_)
ROS2_TYPE_SUPPORT(rcl_interfaces::msg::ParameterValue, rcl_interfaces_msg_dds__ParameterValue_)
ROS2_TYPE_SUPPORT(rcl_interfaces::msg::Parameter, rcl_interfaces_msg_dds__Parameter_)
ROS2_TYPE_SUPPORT(rcl_interfaces::msg::FloatingPointRange,
                  rcl_interfaces_msg_dds__FloatingPointRange_)
ROS2_TYPE_SUPPORT(rcl_interfaces::msg::IntegerRange, rcl_interfaces_msg_dds__IntegerRange_)
ROS2_TYPE_SUPPORT(rcl_interfaces::msg::ParameterDescriptor,
                  rcl_interfaces_msg_dds__ParameterDescriptor_)
ROS2_TYPE_SUPPORT(rcl_interfaces::msg::ParameterEvent, rcl_interfaces_msg_dds__ParameterEvent_)
ROS2_TYPE_SUPPORT(rcl_interfaces::msg::SetParametersResult,
                  rcl_interfaces_msg_dds__SetParametersResult_)
ROS2_TYPE_SUPPORT(rcl_interfaces::msg::ListParametersResult,
                  rcl_interfaces_msg_dds__ListParametersResult_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::DescribeParameters_Request,
                  rcl_interfaces_srv_dds__DescribeParameters_Request_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::DescribeParameters_Response,
                  rcl_interfaces_srv_dds__DescribeParameters_Response_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::GetParameterTypes_Request,
                  rcl_interfaces_srv_dds__GetParameterTypes_Request_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::GetParameterTypes_Response,
                  rcl_interfaces_srv_dds__GetParameterTypes_Response_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::GetParameters_Request,
                  rcl_interfaces_srv_dds__GetParameters_Request_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::GetParameters_Response,
                  rcl_interfaces_srv_dds__GetParameters_Response_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::ListParameters_Request,
                  rcl_interfaces_srv_dds__ListParameters_Request_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::ListParameters_Response,
                  rcl_interfaces_srv_dds__ListParameters_Response_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::SetParameters_Request,
                  rcl_interfaces_srv_dds__SetParameters_Request_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::SetParameters_Response,
                  rcl_interfaces_srv_dds__SetParameters_Response_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::SetParametersAtomically_Request,
                  rcl_interfaces_srv_dds__SetParametersAtomically_Request_)
ROS2_TYPE_SUPPORT(rcl_interfaces::srv::SetParametersAtomically_Response,
                  rcl_interfaces_srv_dds__SetParametersAtomically_Response_)

#pragma once

// Parameter values and named parameters, shaped like rclcpp's: a ParameterValue holds one of
// the ten kinds of rcl_interfaces/msg/ParameterValue, a Parameter adds its name.
//
//   ros2::Parameter p("max_joint_vel", std::vector<double>{1.0, 1.2});
//   p.get_type() == ros2::PARAMETER_DOUBLE_ARRAY;  p.as_double_array()[1] == 1.2;
//   p.value_to_string() == "[1.0, 1.2]";

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "ros2/msg/rcl_interfaces.h"

namespace ros2 {

enum ParameterType : uint8_t {
  PARAMETER_NOT_SET = rcl_interfaces::msg::ParameterType::PARAMETER_NOT_SET,
  PARAMETER_BOOL = rcl_interfaces::msg::ParameterType::PARAMETER_BOOL,
  PARAMETER_INTEGER = rcl_interfaces::msg::ParameterType::PARAMETER_INTEGER,
  PARAMETER_DOUBLE = rcl_interfaces::msg::ParameterType::PARAMETER_DOUBLE,
  PARAMETER_STRING = rcl_interfaces::msg::ParameterType::PARAMETER_STRING,
  PARAMETER_BYTE_ARRAY = rcl_interfaces::msg::ParameterType::PARAMETER_BYTE_ARRAY,
  PARAMETER_BOOL_ARRAY = rcl_interfaces::msg::ParameterType::PARAMETER_BOOL_ARRAY,
  PARAMETER_INTEGER_ARRAY = rcl_interfaces::msg::ParameterType::PARAMETER_INTEGER_ARRAY,
  PARAMETER_DOUBLE_ARRAY = rcl_interfaces::msg::ParameterType::PARAMETER_DOUBLE_ARRAY,
  PARAMETER_STRING_ARRAY = rcl_interfaces::msg::ParameterType::PARAMETER_STRING_ARRAY,
};

// "not set", "bool", "integer", "double", "string", "byte_array", "bool_array",
// "integer_array", "double_array", "string_array"; "unknown type" for any other code.
std::string to_string(ParameterType type);

// Thrown when a value is read as a kind it does not hold.
class ParameterTypeException : public std::runtime_error {
 public:
  ParameterTypeException(ParameterType expected, ParameterType actual);
};

// Thrown when a node is asked for a parameter it has not declared.
class ParameterNotDeclaredException : public std::runtime_error {
 public:
  explicit ParameterNotDeclaredException(const std::string& name)
      : std::runtime_error("parameter '" + name + "' is not declared") {}
};

class ParameterValue {
 public:
  ParameterValue() = default;  // not set
  explicit ParameterValue(const rcl_interfaces::msg::ParameterValue& value) : value_(value) {}
  explicit ParameterValue(bool v);
  explicit ParameterValue(int v) : ParameterValue(static_cast<int64_t>(v)) {}
  explicit ParameterValue(int64_t v);
  explicit ParameterValue(double v);
  explicit ParameterValue(const std::string& v);
  explicit ParameterValue(const char* v) : ParameterValue(std::string(v)) {}
  explicit ParameterValue(const std::vector<uint8_t>& v);
  explicit ParameterValue(const std::vector<bool>& v);
  explicit ParameterValue(const std::vector<int>& v);
  explicit ParameterValue(const std::vector<int64_t>& v);
  explicit ParameterValue(const std::vector<double>& v);
  explicit ParameterValue(const std::vector<std::string>& v);

  ParameterType get_type() const { return static_cast<ParameterType>(value_.type); }
  const rcl_interfaces::msg::ParameterValue& to_value_msg() const { return value_; }

  // The value as T: bool, an integer type, a floating-point type, std::string, or a vector of
  // bool, uint8_t (byte array), int64_t, double or std::string. Throws ParameterTypeException
  // when the value is of another kind.
  template <class T>
  T get() const {
    if constexpr (std::is_same_v<T, bool>) {
      expect(PARAMETER_BOOL);
      return value_.bool_value;
    } else if constexpr (std::is_integral_v<T>) {
      expect(PARAMETER_INTEGER);
      return static_cast<T>(value_.integer_value);
    } else if constexpr (std::is_floating_point_v<T>) {
      expect(PARAMETER_DOUBLE);
      return static_cast<T>(value_.double_value);
    } else if constexpr (std::is_same_v<T, std::string>) {
      expect(PARAMETER_STRING);
      return value_.string_value;
    } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
      expect(PARAMETER_BYTE_ARRAY);
      return value_.byte_array_value;
    } else if constexpr (std::is_same_v<T, std::vector<bool>>) {
      expect(PARAMETER_BOOL_ARRAY);
      return value_.bool_array_value;
    } else if constexpr (std::is_same_v<T, std::vector<int64_t>>) {
      expect(PARAMETER_INTEGER_ARRAY);
      return value_.integer_array_value;
    } else if constexpr (std::is_same_v<T, std::vector<double>>) {
      expect(PARAMETER_DOUBLE_ARRAY);
      return value_.double_array_value;
    } else {
      static_assert(std::is_same_v<T, std::vector<std::string>>, "not a parameter value type");
      expect(PARAMETER_STRING_ARRAY);
      return value_.string_array_value;
    }
  }

  bool operator==(const ParameterValue& other) const;
  bool operator!=(const ParameterValue& other) const { return !(*this == other); }

 private:
  void expect(ParameterType type) const {
    if (get_type() != type) throw ParameterTypeException(type, get_type());
  }

  rcl_interfaces::msg::ParameterValue value_;
};

class Parameter {
 public:
  Parameter() = default;
  explicit Parameter(std::string name) : name_(std::move(name)) {}
  Parameter(std::string name, ParameterValue value)
      : name_(std::move(name)), value_(std::move(value)) {}
  template <class T>
  Parameter(std::string name, const T& value) : Parameter(std::move(name), ParameterValue(value)) {}

  const std::string& get_name() const { return name_; }
  ParameterType get_type() const { return value_.get_type(); }
  std::string get_type_name() const { return to_string(get_type()); }
  const ParameterValue& get_parameter_value() const { return value_; }
  template <class T>
  T get_value() const {
    return value_.get<T>();
  }

  bool as_bool() const { return get_value<bool>(); }
  int64_t as_int() const { return get_value<int64_t>(); }
  double as_double() const { return get_value<double>(); }
  std::string as_string() const { return get_value<std::string>(); }
  std::vector<uint8_t> as_byte_array() const { return get_value<std::vector<uint8_t>>(); }
  std::vector<bool> as_bool_array() const { return get_value<std::vector<bool>>(); }
  std::vector<int64_t> as_integer_array() const { return get_value<std::vector<int64_t>>(); }
  std::vector<double> as_double_array() const { return get_value<std::vector<double>>(); }
  std::vector<std::string> as_string_array() const { return get_value<std::vector<std::string>>(); }

  // The value as ros2 param prints it: true, 7, 1.5, text, [1.0, 2.0], ...
  std::string value_to_string() const;

  rcl_interfaces::msg::Parameter to_parameter_msg() const;
  static Parameter from_parameter_msg(const rcl_interfaces::msg::Parameter& msg);

 private:
  std::string name_;
  ParameterValue value_;
};

// A check run before parameters are set (Node::add_on_set_parameters_callback): it sees the
// new values of one set call and refuses them all with a reason, or accepts them. The node keeps
// the callback only as long as the handle lives.
struct OnSetParametersCallbackHandle {
  using SharedPtr = std::shared_ptr<OnSetParametersCallbackHandle>;
  using OnParametersSetCallbackType =
      std::function<rcl_interfaces::msg::SetParametersResult(const std::vector<Parameter>&)>;
  OnParametersSetCallbackType callback;
};

}  // namespace ros2

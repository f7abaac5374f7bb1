#include "ros2/parameter.h"

#include <sstream>

namespace ros2 {
namespace {

using Type = rcl_interfaces::msg::ParameterType;

template <class T>
void append(std::ostringstream& out, const T& v) {
  if constexpr (std::is_same_v<T, bool>) {
    out << (v ? "true" : "false");
  } else if constexpr (std::is_same_v<T, uint8_t>) {
    out << static_cast<int>(v);
  } else {
    out << v;
  }
}

template <class Vector>
void append_all(std::ostringstream& out, const Vector& values) {
  out << "[";
  bool first = true;
  for (const auto& v : values) {
    if (!first) out << ", ";
    append(out, static_cast<typename Vector::value_type>(v));
    first = false;
  }
  out << "]";
}

}  // namespace

std::string to_string(ParameterType type) {
  switch (type) {
    case PARAMETER_NOT_SET:
      return "not set";
    case PARAMETER_BOOL:
      return "bool";
    case PARAMETER_INTEGER:
      return "integer";
    case PARAMETER_DOUBLE:
      return "double";
    case PARAMETER_STRING:
      return "string";
    case PARAMETER_BYTE_ARRAY:
      return "byte_array";
    case PARAMETER_BOOL_ARRAY:
      return "bool_array";
    case PARAMETER_INTEGER_ARRAY:
      return "integer_array";
    case PARAMETER_DOUBLE_ARRAY:
      return "double_array";
    case PARAMETER_STRING_ARRAY:
      return "string_array";
  }
  return "unknown type";
}

ParameterTypeException::ParameterTypeException(ParameterType expected, ParameterType actual)
    : std::runtime_error("expected [" + to_string(expected) + "] got [" + to_string(actual) + "]") {
}

ParameterValue::ParameterValue(bool v) {
  value_.type = Type::PARAMETER_BOOL;
  value_.bool_value = v;
}
ParameterValue::ParameterValue(int64_t v) {
  value_.type = Type::PARAMETER_INTEGER;
  value_.integer_value = v;
}
ParameterValue::ParameterValue(double v) {
  value_.type = Type::PARAMETER_DOUBLE;
  value_.double_value = v;
}
ParameterValue::ParameterValue(const std::string& v) {
  value_.type = Type::PARAMETER_STRING;
  value_.string_value = v;
}
ParameterValue::ParameterValue(const std::vector<uint8_t>& v) {
  value_.type = Type::PARAMETER_BYTE_ARRAY;
  value_.byte_array_value = v;
}
ParameterValue::ParameterValue(const std::vector<bool>& v) {
  value_.type = Type::PARAMETER_BOOL_ARRAY;
  value_.bool_array_value = v;
}
ParameterValue::ParameterValue(const std::vector<int>& v) {
  value_.type = Type::PARAMETER_INTEGER_ARRAY;
  value_.integer_array_value.assign(v.begin(), v.end());
}
ParameterValue::ParameterValue(const std::vector<int64_t>& v) {
  value_.type = Type::PARAMETER_INTEGER_ARRAY;
  value_.integer_array_value = v;
}
ParameterValue::ParameterValue(const std::vector<double>& v) {
  value_.type = Type::PARAMETER_DOUBLE_ARRAY;
  value_.double_array_value = v;
}
ParameterValue::ParameterValue(const std::vector<std::string>& v) {
  value_.type = Type::PARAMETER_STRING_ARRAY;
  value_.string_array_value = v;
}

bool ParameterValue::operator==(const ParameterValue& other) const {
  const auto& a = value_;
  const auto& b = other.value_;
  if (a.type != b.type) return false;
  switch (get_type()) {
    case PARAMETER_NOT_SET:
      return true;
    case PARAMETER_BOOL:
      return a.bool_value == b.bool_value;
    case PARAMETER_INTEGER:
      return a.integer_value == b.integer_value;
    case PARAMETER_DOUBLE:
      return a.double_value == b.double_value;
    case PARAMETER_STRING:
      return a.string_value == b.string_value;
    case PARAMETER_BYTE_ARRAY:
      return a.byte_array_value == b.byte_array_value;
    case PARAMETER_BOOL_ARRAY:
      return a.bool_array_value == b.bool_array_value;
    case PARAMETER_INTEGER_ARRAY:
      return a.integer_array_value == b.integer_array_value;
    case PARAMETER_DOUBLE_ARRAY:
      return a.double_array_value == b.double_array_value;
    case PARAMETER_STRING_ARRAY:
      return a.string_array_value == b.string_array_value;
  }
  return false;
}

std::string Parameter::value_to_string() const {
  const auto& v = value_.to_value_msg();
  std::ostringstream out;
  switch (get_type()) {
    case PARAMETER_NOT_SET:
      out << "not set";
      break;
    case PARAMETER_BOOL:
      append(out, v.bool_value);
      break;
    case PARAMETER_INTEGER:
      out << v.integer_value;
      break;
    case PARAMETER_DOUBLE:
      out << v.double_value;
      break;
    case PARAMETER_STRING:
      out << v.string_value;
      break;
    case PARAMETER_BYTE_ARRAY:
      append_all(out, v.byte_array_value);
      break;
    case PARAMETER_BOOL_ARRAY:
      append_all(out, v.bool_array_value);
      break;
    case PARAMETER_INTEGER_ARRAY:
      append_all(out, v.integer_array_value);
      break;
    case PARAMETER_DOUBLE_ARRAY:
      append_all(out, v.double_array_value);
      break;
    case PARAMETER_STRING_ARRAY:
      append_all(out, v.string_array_value);
      break;
  }
  return out.str();
}

rcl_interfaces::msg::Parameter Parameter::to_parameter_msg() const {
  return {name_, value_.to_value_msg()};
}

Parameter Parameter::from_parameter_msg(const rcl_interfaces::msg::Parameter& msg) {
  return Parameter(msg.name, ParameterValue(msg.value));
}

}  // namespace ros2

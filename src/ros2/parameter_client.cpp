#include "ros2/parameter_client.h"

namespace ros2 {
namespace {

std::vector<rcl_interfaces::msg::Parameter> to_msgs(const std::vector<Parameter>& parameters) {
  std::vector<rcl_interfaces::msg::Parameter> out;
  for (const auto& p : parameters) out.push_back(p.to_parameter_msg());
  return out;
}

}  // namespace

AsyncParametersClient::AsyncParametersClient(const std::shared_ptr<Node>& node,
                                             const std::string& remote_node_name) {
  const std::string remote =
      remote_node_name.empty() ? node->get_fully_qualified_name() : remote_node_name;
  using namespace rcl_interfaces::srv;
  get_ = node->create_client<GetParameters>(remote + "/get_parameters");
  get_types_ = node->create_client<GetParameterTypes>(remote + "/get_parameter_types");
  describe_ = node->create_client<DescribeParameters>(remote + "/describe_parameters");
  set_ = node->create_client<SetParameters>(remote + "/set_parameters");
  set_atomically_ =
      node->create_client<SetParametersAtomically>(remote + "/set_parameters_atomically");
  list_ = node->create_client<ListParameters>(remote + "/list_parameters");
}

std::shared_future<std::vector<Parameter>> AsyncParametersClient::get_parameters(
    const std::vector<std::string>& names) {
  auto request = std::make_shared<rcl_interfaces::srv::GetParameters_Request>();
  request->names = names;
  return call<rcl_interfaces::srv::GetParameters, std::vector<Parameter>>(
      *get_, request, [names](const rcl_interfaces::srv::GetParameters_Response& reply) {
        std::vector<Parameter> out;
        for (size_t i = 0; i < names.size() && i < reply.values.size(); ++i) {
          out.emplace_back(names[i], ParameterValue(reply.values[i]));
        }
        return out;
      });
}

std::shared_future<std::vector<ParameterType>> AsyncParametersClient::get_parameter_types(
    const std::vector<std::string>& names) {
  auto request = std::make_shared<rcl_interfaces::srv::GetParameterTypes_Request>();
  request->names = names;
  return call<rcl_interfaces::srv::GetParameterTypes, std::vector<ParameterType>>(
      *get_types_, request, [](const rcl_interfaces::srv::GetParameterTypes_Response& reply) {
        std::vector<ParameterType> out;
        for (uint8_t t : reply.types) out.push_back(static_cast<ParameterType>(t));
        return out;
      });
}

std::shared_future<std::vector<rcl_interfaces::msg::ParameterDescriptor>>
AsyncParametersClient::describe_parameters(const std::vector<std::string>& names) {
  auto request = std::make_shared<rcl_interfaces::srv::DescribeParameters_Request>();
  request->names = names;
  return call<rcl_interfaces::srv::DescribeParameters,
              std::vector<rcl_interfaces::msg::ParameterDescriptor>>(
      *describe_, request, [](const rcl_interfaces::srv::DescribeParameters_Response& reply) {
        return reply.descriptors;
      });
}

std::shared_future<std::vector<rcl_interfaces::msg::SetParametersResult>>
AsyncParametersClient::set_parameters(const std::vector<Parameter>& parameters) {
  auto request = std::make_shared<rcl_interfaces::srv::SetParameters_Request>();
  request->parameters = to_msgs(parameters);
  return call<rcl_interfaces::srv::SetParameters,
              std::vector<rcl_interfaces::msg::SetParametersResult>>(
      *set_, request,
      [](const rcl_interfaces::srv::SetParameters_Response& reply) { return reply.results; });
}

std::shared_future<rcl_interfaces::msg::SetParametersResult>
AsyncParametersClient::set_parameters_atomically(const std::vector<Parameter>& parameters) {
  auto request = std::make_shared<rcl_interfaces::srv::SetParametersAtomically_Request>();
  request->parameters = to_msgs(parameters);
  return call<rcl_interfaces::srv::SetParametersAtomically,
              rcl_interfaces::msg::SetParametersResult>(
      *set_atomically_, request,
      [](const rcl_interfaces::srv::SetParametersAtomically_Response& reply) {
        return reply.result;
      });
}

std::shared_future<rcl_interfaces::msg::ListParametersResult>
AsyncParametersClient::list_parameters(const std::vector<std::string>& prefixes, uint64_t depth) {
  auto request = std::make_shared<rcl_interfaces::srv::ListParameters_Request>();
  request->prefixes = prefixes;
  request->depth = depth;
  return call<rcl_interfaces::srv::ListParameters, rcl_interfaces::msg::ListParametersResult>(
      *list_, request,
      [](const rcl_interfaces::srv::ListParameters_Response& reply) { return reply.result; });
}

bool AsyncParametersClient::service_is_ready() const {
  return get_->service_is_ready() && get_types_->service_is_ready() &&
         describe_->service_is_ready() && set_->service_is_ready() &&
         set_atomically_->service_is_ready() && list_->service_is_ready();
}

}  // namespace ros2

#pragma once

// Calls the parameter services of another node, as rclcpp::AsyncParametersClient does:
//
//   ros2::AsyncParametersClient params(node, "/robot_cmd_processor");
//   if (params.wait_for_service(std::chrono::seconds(2))) {
//     auto names = params.list_parameters({}, 0);
//     exec.spin_until_future_complete(names);   // names.get().names
//   }
//
// Requests may be sent from any thread; the futures complete on the executor that spins the
// client's node (a future of a node nobody spins never completes).

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ros2/msg/rcl_interfaces.h"
#include "ros2/node.h"
#include "ros2/parameter.h"
#include "ros2/service.h"

namespace ros2 {

class AsyncParametersClient {
 public:
  using SharedPtr = std::shared_ptr<AsyncParametersClient>;

  // remote_node_name: the node to ask (relative names are taken in node's namespace); empty for
  // node itself.
  AsyncParametersClient(const std::shared_ptr<Node>& node,
                        const std::string& remote_node_name = "");

  // One Parameter per name; a name the remote node has not declared comes back "not set".
  std::shared_future<std::vector<Parameter>> get_parameters(const std::vector<std::string>& names);
  std::shared_future<std::vector<ParameterType>> get_parameter_types(
      const std::vector<std::string>& names);
  std::shared_future<std::vector<rcl_interfaces::msg::ParameterDescriptor>> describe_parameters(
      const std::vector<std::string>& names);
  std::shared_future<std::vector<rcl_interfaces::msg::SetParametersResult>> set_parameters(
      const std::vector<Parameter>& parameters);
  std::shared_future<rcl_interfaces::msg::SetParametersResult> set_parameters_atomically(
      const std::vector<Parameter>& parameters);
  // depth 0: any depth.
  std::shared_future<rcl_interfaces::msg::ListParametersResult> list_parameters(
      const std::vector<std::string>& prefixes, uint64_t depth);

  // All six services have a server.
  bool service_is_ready() const;
  template <class Rep, class Period>
  bool wait_for_service(std::chrono::duration<Rep, Period> timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!service_is_ready()) {
      if (std::chrono::steady_clock::now() >= end || !ros2::ok()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

 private:
  // Sends a request and completes the returned future with convert(response).
  template <class ServiceT, class Result, class Convert>
  std::shared_future<Result> call(Client<ServiceT>& client,
                                  std::shared_ptr<typename ServiceT::Request> request,
                                  Convert convert) {
    auto promise = std::make_shared<std::promise<Result>>();
    client.async_send_request(request,
                              [promise, convert](typename Client<ServiceT>::SharedFuture reply) {
                                promise->set_value(convert(*reply.get()));
                              });
    return promise->get_future().share();
  }

  Client<rcl_interfaces::srv::GetParameters>::SharedPtr get_;
  Client<rcl_interfaces::srv::GetParameterTypes>::SharedPtr get_types_;
  Client<rcl_interfaces::srv::DescribeParameters>::SharedPtr describe_;
  Client<rcl_interfaces::srv::SetParameters>::SharedPtr set_;
  Client<rcl_interfaces::srv::SetParametersAtomically>::SharedPtr set_atomically_;
  Client<rcl_interfaces::srv::ListParameters>::SharedPtr list_;
};

}  // namespace ros2

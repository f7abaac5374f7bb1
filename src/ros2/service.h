#pragma once

// Services as rmw_cyclonedds_cpp carries them: a request topic rq/<name>Request and a reply
// topic rr/<name>Reply whose payloads start with the 16-byte request header (client guid,
// sequence number). Server endpoints share a "serviceid=...;" and client endpoints a
// "clientid=...;" in their user data, which is how a server finds the reply reader of the
// client that sent a request.
//
// ros2::Service and ros2::Client are the typed, rclcpp-shaped ends (Node::create_service,
// Node::create_client); ServiceServer and ServiceClient in detail are the untyped halves that
// the actions share.

#include <dds/dds.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ros2/cdr.h"
#include "ros2/init.h"
#include "ros2/node.h"

namespace ros2::detail {

struct RequestId {
  uint64_t guid = 0;
  int64_t seq = 0;
  dds_instance_handle_t writer = 0;  // the client's request writer, as this reader sees it
};

struct ServiceTypes {
  std::string request_type;
  std::string response_type;
  const dds_topic_descriptor_t* request_descriptor = nullptr;
  const dds_topic_descriptor_t* response_descriptor = nullptr;
};

class ServiceServer {
 public:
  ServiceServer(Node& node, const std::string& service_name, const ServiceTypes& types);
  ServiceServer(Node& node, const std::string& service_name, const ServiceTypes& types,
                const std::string& service_id);

  // What the executor waits on: a new request, and a client reader matched or gone.
  std::vector<dds_entity_t> conditions() const {
    return {requests_.read_condition(), requests_.entity(), replies_.entity()};
  }
  dds_entity_t read_condition() const { return requests_.read_condition(); }

  // Takes the next well-formed request; malformed ones are skipped.
  bool take(RequestId& id, const std::vector<uint8_t>*& payload);

  // Sends a reply payload (header bytes are overwritten with the request's guid and sequence
  // number). A client names its reply reader in its user data, and a reply written before that
  // reader is matched would be lost: such a reply is kept and sent by send_pending() once the
  // reader is matched, or dropped when the client is gone. Never waits; any thread.
  void reply(const RequestId& id, std::vector<uint8_t> payload);

  template <class Body>
  void reply_with(const RequestId& id, const Body& body) {
    std::vector<uint8_t> payload;
    cdr::serialize_with_header(id.guid, id.seq, body, payload);
    reply(id, std::move(payload));
  }

  // Sends the kept replies whose readers are now matched and drops those of clients that left.
  // Executor thread, whenever one of conditions() triggered.
  void send_pending();

 private:
  // How many replies may wait for their readers; beyond it the oldest is dropped.
  static constexpr size_t kMaxPending = 256;

  struct Pending {
    RequestId id;
    std::string client;
    std::vector<uint8_t> payload;
  };

  std::string client_id_of(dds_instance_handle_t writer) const;
  // Whether a reader of that client is matched by the reply writer. mutex_ held.
  bool reader_matched(const std::string& client_id);

  Endpoint requests_;
  Endpoint replies_;
  Logger logger_;
  std::mutex mutex_;
  std::vector<Pending> pending_;
  std::vector<dds_instance_handle_t> matched_;
  std::map<dds_instance_handle_t, std::string> reader_clients_;  // client id of each reader
};

class ServiceClient {
 public:
  ServiceClient(Node& node, const std::string& service_name, const ServiceTypes& types);
  ServiceClient(Node& node, const std::string& service_name, const ServiceTypes& types,
                const std::string& client_id);

  dds_entity_t read_condition() const { return replies_.read_condition(); }
  // Both directions are matched with a server.
  bool is_ready() const;

  template <class Body>
  int64_t send(const Body& body) {
    const int64_t seq = next_sequence();
    std::vector<uint8_t>& buf = scratch_buffer();
    cdr::serialize_with_header(guid_, seq, body, buf);
    requests_.write(buf);
    return seq;
  }

  // Takes the next reply addressed to this client.
  bool take(int64_t& seq, const std::vector<uint8_t>*& payload);

 private:
  static int64_t next_sequence();

  Endpoint requests_;
  Endpoint replies_;
  uint64_t guid_ = 0;
};

template <class ServiceT>
ServiceTypes service_types() {
  using Request = typename ServiceT::Request;
  using Response = typename ServiceT::Response;
  return {type_name<Request>(), type_name<Response>(), TypeSupport<Request>::descriptor(),
          TypeSupport<Response>::descriptor()};
}

}  // namespace ros2::detail

namespace ros2 {

// The serving end of a service; its callback runs on the executor that spins the node and fills
// the response, which is then sent back to the client that asked.
template <class ServiceT>
class Service : public detail::Waitable {
 public:
  using SharedPtr = std::shared_ptr<Service>;
  using Request = typename ServiceT::Request;
  using Response = typename ServiceT::Response;
  using Callback =
      std::function<void(const std::shared_ptr<Request>&, const std::shared_ptr<Response>&)>;

  Service(Node& node, const std::string& name, Callback callback)
      : name_(node.resolve_topic_name(name, true)),
        server_(node, name_, detail::service_types<ServiceT>()),
        callback_(std::move(callback)) {}

  const std::string& get_service_name() const { return name_; }

  std::vector<dds_entity_t> conditions() const override { return server_.conditions(); }

  // One request per wake; a malformed request is dropped.
  void execute() override {
    server_.send_pending();
    detail::RequestId id;
    const std::vector<uint8_t>* payload = nullptr;
    if (!server_.take(id, payload)) return;
    auto request = std::make_shared<Request>();
    uint64_t guid = 0;
    int64_t seq = 0;
    try {
      cdr::deserialize_with_header(payload->data(), payload->size(), guid, seq, *request);
    } catch (const cdr::DecodeError&) {
      return;
    }
    auto response = std::make_shared<Response>();
    callback_(request, response);
    server_.reply_with(id, *response);
  }

 private:
  std::string name_;
  detail::ServiceServer server_;
  Callback callback_;
};

// The asking end of a service. Requests may be sent from any thread; the replies complete their
// futures on the executor that spins the node.
template <class ServiceT>
class Client : public detail::Waitable {
 public:
  using SharedPtr = std::shared_ptr<Client>;
  using Request = typename ServiceT::Request;
  using Response = typename ServiceT::Response;
  using SharedResponse = std::shared_ptr<Response>;
  using SharedFuture = std::shared_future<SharedResponse>;

  Client(Node& node, const std::string& name)
      : name_(node.resolve_topic_name(name, true)),
        client_(node, name_, detail::service_types<ServiceT>()) {}

  const std::string& get_service_name() const { return name_; }
  // A server's request reader and reply writer are both matched.
  bool service_is_ready() const { return client_.is_ready(); }

  template <class Rep, class Period>
  bool wait_for_service(std::chrono::duration<Rep, Period> timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!service_is_ready()) {
      if (std::chrono::steady_clock::now() >= end || !ros2::ok()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  // The future completes when the reply arrives; the callback, when given, then runs with it
  // on the executor's thread.
  SharedFuture async_send_request(const std::shared_ptr<Request>& request,
                                  std::function<void(SharedFuture)> callback = nullptr) {
    Pending pending;
    pending.promise = std::make_shared<std::promise<SharedResponse>>();
    pending.future = pending.promise->get_future().share();
    pending.callback = std::move(callback);
    SharedFuture future = pending.future;
    std::lock_guard<std::mutex> lock(mutex_);
    pending_[client_.send(*request)] = std::move(pending);
    return future;
  }

  // Requests still waiting for their reply.
  size_t pending_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.size();
  }

  std::vector<dds_entity_t> conditions() const override { return {client_.read_condition()}; }

  // One reply per wake; replies to other clients and malformed ones are dropped.
  void execute() override {
    int64_t seq = 0;
    const std::vector<uint8_t>* payload = nullptr;
    if (!client_.take(seq, payload)) return;
    auto response = std::make_shared<Response>();
    uint64_t guid = 0;
    try {
      cdr::deserialize_with_header(payload->data(), payload->size(), guid, seq, *response);
    } catch (const cdr::DecodeError&) {
      return;
    }
    Pending pending;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto it = pending_.find(seq);
      if (it == pending_.end()) return;
      pending = std::move(it->second);
      pending_.erase(it);
    }
    pending.promise->set_value(std::move(response));
    if (pending.callback) pending.callback(pending.future);
  }

 private:
  struct Pending {
    std::shared_ptr<std::promise<SharedResponse>> promise;
    SharedFuture future;
    std::function<void(SharedFuture)> callback;
  };

  std::string name_;
  detail::ServiceClient client_;
  mutable std::mutex mutex_;
  std::map<int64_t, Pending> pending_;
};

template <class ServiceT, class CallbackT>
std::shared_ptr<Service<ServiceT>> Node::create_service(const std::string& name,
                                                        CallbackT&& callback) {
  auto service =
      std::make_shared<Service<ServiceT>>(*this, name, std::forward<CallbackT>(callback));
  add_waitable(service);
  return service;
}

template <class ServiceT>
std::shared_ptr<Client<ServiceT>> Node::create_client(const std::string& name) {
  auto client = std::make_shared<Client<ServiceT>>(*this, name);
  add_waitable(client);
  return client;
}

}  // namespace ros2

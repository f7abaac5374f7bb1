#pragma once

// Services as rmw_cyclonedds_cpp carries them: a request topic rq/<name>Request and a reply
// topic rr/<name>Reply whose payloads start with the 16-byte request header (client guid,
// sequence number). Server endpoints share a "serviceid=...;" and client endpoints a
// "clientid=...;" in their user data, which is how a server finds the reply reader of the
// client that sent a request. Used by the action server and client; not a public API.

#include <dds/dds.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ros2/cdr.h"
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

}  // namespace ros2::detail

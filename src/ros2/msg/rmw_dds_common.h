#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ros2/type_support.h"

namespace rmw_dds_common::msg {

// A DDS GUID (16 bytes) followed by 8 zero bytes.
struct Gid {
  std::array<uint8_t, 24> data{};
  ROS2_MESSAGE_POINTERS(Gid);
};
ROS2_FIELDS(Gid, data)

struct NodeEntitiesInfo {
  std::string node_namespace;
  std::string node_name;
  std::vector<Gid> reader_gid_seq;
  std::vector<Gid> writer_gid_seq;
  ROS2_MESSAGE_POINTERS(NodeEntitiesInfo);
};
ROS2_FIELDS(NodeEntitiesInfo, node_namespace, node_name, reader_gid_seq, writer_gid_seq)

struct ParticipantEntitiesInfo {
  Gid gid;
  std::vector<NodeEntitiesInfo> node_entities_info_seq;
  ROS2_MESSAGE_POINTERS(ParticipantEntitiesInfo);
};
ROS2_FIELDS(ParticipantEntitiesInfo, gid, node_entities_info_seq)

}  // namespace rmw_dds_common::msg

ROS2_TYPE_SUPPORT(rmw_dds_common::msg::Gid, rmw_dds_common_msg_dds__Gid_)
ROS2_TYPE_SUPPORT(rmw_dds_common::msg::NodeEntitiesInfo, rmw_dds_common_msg_dds__NodeEntitiesInfo_)
ROS2_TYPE_SUPPORT(rmw_dds_common::msg::ParticipantEntitiesInfo,
                  rmw_dds_common_msg_dds__ParticipantEntitiesInfo_)

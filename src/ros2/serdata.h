#pragma once

// A Cyclone sertype whose samples are serialized payloads held as bytes. The layer encodes and
// decodes messages itself (cdr.h); Cyclone only moves the bytes. Topics made with it carry no
// XTypes type information and no key, so they match other endpoints by type name, as
// rmw_cyclonedds_cpp's endpoints do.

#include <dds/dds.h>

#include <cstddef>
#include <cstdint>
#include <string>

struct ddsi_sertype;
struct ddsi_serdata;

namespace ros2::detail {

// A new sertype named type_name (the DDS type name), for dds_create_topic_sertype.
ddsi_sertype* make_raw_sertype(const std::string& type_name);

// A serdata holding a copy of a payload (encapsulation header included), for dds_writecdr.
ddsi_serdata* make_raw_serdata(const ddsi_sertype* type, const uint8_t* data, size_t size);

// The payload of a serdata taken with dds_takecdr.
void raw_serdata_bytes(const ddsi_serdata* d, const uint8_t** data, size_t* size);

// Creates a topic of the raw sertype; returns the topic (negative on failure) and the sertype
// the topic actually uses.
dds_entity_t create_raw_topic(dds_entity_t participant, const std::string& topic_name,
                              const std::string& type_name, const ddsi_sertype** used);

}  // namespace ros2::detail

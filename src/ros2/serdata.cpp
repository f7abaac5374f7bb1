#include "ros2/serdata.h"

#include <dds/ddsi/ddsi_serdata.h>
#include <dds/ddsi/ddsi_sertype.h>
#include <dds/ddsi/q_radmin.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace ros2::detail {
namespace {

struct RawSertype {
  ddsi_sertype c;
};

// One allocation per sample: the header and the bytes follow each other.
struct RawSerdata {
  ddsi_serdata c;
  uint32_t size;
};

uint8_t* bytes_of(RawSerdata* d) { return reinterpret_cast<uint8_t*>(d + 1); }
const uint8_t* bytes_of(const RawSerdata* d) { return reinterpret_cast<const uint8_t*>(d + 1); }

RawSerdata* alloc_serdata(const ddsi_sertype* type, ddsi_serdata_kind kind, size_t size) {
  auto* d = static_cast<RawSerdata*>(std::malloc(sizeof(RawSerdata) + size));
  if (d == nullptr) return nullptr;
  ddsi_serdata_init(&d->c, type, kind);
  d->size = static_cast<uint32_t>(size);
  return d;
}

RawSerdata* as_raw(ddsi_serdata* d) { return reinterpret_cast<RawSerdata*>(d); }
const RawSerdata* as_raw(const ddsi_serdata* d) { return reinterpret_cast<const RawSerdata*>(d); }

bool sd_eqkey(const ddsi_serdata*, const ddsi_serdata*) { return true; }

uint32_t sd_get_size(const ddsi_serdata* d) { return as_raw(d)->size; }

ddsi_serdata* sd_from_ser(const ddsi_sertype* type, ddsi_serdata_kind kind,
                          const nn_rdata* fragchain, size_t size) {
  RawSerdata* d = alloc_serdata(type, kind, size);
  if (d == nullptr) return nullptr;
  uint32_t off = 0;
  for (const nn_rdata* f = fragchain; f != nullptr; f = f->nextfrag) {
    if (f->maxp1 > off) {
      const unsigned char* payload =
          NN_RMSG_PAYLOADOFF(f->rmsg, NN_RDATA_PAYLOAD_OFF(f)) + (off - f->min);
      const uint32_t n = f->maxp1 - off;
      if (static_cast<size_t>(off) + n > size) break;
      std::memcpy(bytes_of(d) + off, payload, n);
      off = f->maxp1;
    }
  }
  if (off < size) std::memset(bytes_of(d) + off, 0, size - off);
  return &d->c;
}

ddsi_serdata* sd_from_ser_iov(const ddsi_sertype* type, ddsi_serdata_kind kind,
                              ddsrt_msg_iovlen_t niov, const ddsrt_iovec_t* iov, size_t size) {
  RawSerdata* d = alloc_serdata(type, kind, size);
  if (d == nullptr) return nullptr;
  size_t off = 0;
  for (ddsrt_msg_iovlen_t i = 0; i < niov && off < size; ++i) {
    size_t n = iov[i].iov_len;
    if (n > size - off) n = size - off;
    if (n == 0) continue;
    std::memcpy(bytes_of(d) + off, iov[i].iov_base, n);
    off += n;
  }
  return &d->c;
}

ddsi_serdata* sd_from_keyhash(const ddsi_sertype* type, const ddsi_keyhash*) {
  RawSerdata* d = alloc_serdata(type, SDK_KEY, 0);
  return d == nullptr ? nullptr : &d->c;
}

// A sample handed to Cyclone's own write path is a RawSample.
struct RawSample {
  const uint8_t* data;
  size_t size;
};

ddsi_serdata* sd_from_sample(const ddsi_sertype* type, ddsi_serdata_kind kind, const void* sample) {
  const auto* s = static_cast<const RawSample*>(sample);
  const size_t size = kind == SDK_DATA ? s->size : 0;
  RawSerdata* d = alloc_serdata(type, kind, size);
  if (d == nullptr) return nullptr;
  if (size > 0) std::memcpy(bytes_of(d), s->data, size);
  return &d->c;
}

void sd_to_ser(const ddsi_serdata* d, size_t off, size_t sz, void* buf) {
  std::memcpy(buf, bytes_of(as_raw(d)) + off, sz);
}

ddsi_serdata* sd_to_ser_ref(const ddsi_serdata* d, size_t off, size_t sz, ddsrt_iovec_t* ref) {
  ref->iov_base = const_cast<uint8_t*>(bytes_of(as_raw(d)) + off);
  ref->iov_len = static_cast<ddsrt_iov_len_t>(sz);
  return ddsi_serdata_ref(d);
}

void sd_to_ser_unref(ddsi_serdata* d, const ddsrt_iovec_t*) { ddsi_serdata_unref(d); }

bool sd_to_sample(const ddsi_serdata* d, void* sample, void**, void*) {
  auto* s = static_cast<RawSample*>(sample);
  s->data = bytes_of(as_raw(d));
  s->size = as_raw(d)->size;
  return true;
}

ddsi_serdata* sd_to_untyped(const ddsi_serdata* d) {
  RawSerdata* u = alloc_serdata(d->type, SDK_KEY, 0);
  if (u == nullptr) return nullptr;
  u->c.type = nullptr;
  return &u->c;
}

bool sd_untyped_to_sample(const ddsi_sertype*, const ddsi_serdata*, void* sample, void**, void*) {
  if (sample != nullptr) {
    auto* s = static_cast<RawSample*>(sample);
    s->data = nullptr;
    s->size = 0;
  }
  return true;
}

void sd_free(ddsi_serdata* d) { std::free(as_raw(d)); }

size_t sd_print(const ddsi_sertype*, const ddsi_serdata* d, char* buf, size_t size) {
  return static_cast<size_t>(std::snprintf(buf, size, "(%u bytes)", as_raw(d)->size));
}

void sd_get_keyhash(const ddsi_serdata*, ddsi_keyhash* buf, bool) {
  std::memset(buf, 0, sizeof(*buf));
}

const ddsi_serdata_ops kSerdataOps = [] {
  ddsi_serdata_ops ops{};
  ops.eqkey = sd_eqkey;
  ops.get_size = sd_get_size;
  ops.from_ser = sd_from_ser;
  ops.from_ser_iov = sd_from_ser_iov;
  ops.from_keyhash = sd_from_keyhash;
  ops.from_sample = sd_from_sample;
  ops.to_ser = sd_to_ser;
  ops.to_ser_ref = sd_to_ser_ref;
  ops.to_ser_unref = sd_to_ser_unref;
  ops.to_sample = sd_to_sample;
  ops.to_untyped = sd_to_untyped;
  ops.untyped_to_sample = sd_untyped_to_sample;
  ops.free = sd_free;
  ops.print = sd_print;
  ops.get_keyhash = sd_get_keyhash;
  return ops;
}();

void st_free(ddsi_sertype* tp) {
  ddsi_sertype_fini(tp);
  delete reinterpret_cast<RawSertype*>(tp);
}

void st_zero_samples(const ddsi_sertype*, void* samples, size_t count) {
  std::memset(samples, 0, count * sizeof(RawSample));
}

void st_realloc_samples(void** ptrs, const ddsi_sertype*, void* old, size_t oldcount,
                        size_t count) {
  auto* p = static_cast<RawSample*>(std::realloc(old, count * sizeof(RawSample)));
  if (p != nullptr && count > oldcount) {
    std::memset(p + oldcount, 0, (count - oldcount) * sizeof(RawSample));
  }
  for (size_t i = 0; i < count; ++i) ptrs[i] = p + i;
}

void st_free_samples(const ddsi_sertype*, void** ptrs, size_t, dds_free_op_t op) {
  if ((op & DDS_FREE_ALL_BIT) != 0) std::free(ptrs[0]);
}

bool st_equal(const ddsi_sertype*, const ddsi_sertype*) { return true; }

uint32_t st_hash(const ddsi_sertype*) { return 0; }

size_t st_get_serialized_size(const ddsi_sertype*, const void* sample) {
  return static_cast<const RawSample*>(sample)->size;
}

bool st_serialize_into(const ddsi_sertype*, const void* sample, void* dst, size_t dst_size) {
  const auto* s = static_cast<const RawSample*>(sample);
  if (dst_size < s->size) return false;
  std::memcpy(dst, s->data, s->size);
  return true;
}

const ddsi_sertype_ops kSertypeOps = [] {
  ddsi_sertype_ops ops{};
  ops.version = ddsi_sertype_v0;
  ops.free = st_free;
  ops.zero_samples = st_zero_samples;
  ops.realloc_samples = st_realloc_samples;
  ops.free_samples = st_free_samples;
  ops.equal = st_equal;
  ops.hash = st_hash;
  ops.get_serialized_size = st_get_serialized_size;
  ops.serialize_into = st_serialize_into;
  return ops;
}();

}  // namespace

ddsi_sertype* make_raw_sertype(const std::string& type_name) {
  auto* st = new RawSertype{};
  ddsi_sertype_init_flags(&st->c, type_name.c_str(), &kSertypeOps, &kSerdataOps,
                          DDSI_SERTYPE_FLAG_TOPICKIND_NO_KEY);
  st->c.allowed_data_representation = DDS_DATA_REPRESENTATION_FLAG_XCDR1;
  return &st->c;
}

ddsi_serdata* make_raw_serdata(const ddsi_sertype* type, const uint8_t* data, size_t size) {
  RawSerdata* d = alloc_serdata(type, SDK_DATA, size);
  if (d == nullptr) return nullptr;
  if (size > 0) std::memcpy(bytes_of(d), data, size);
  return &d->c;
}

void raw_serdata_bytes(const ddsi_serdata* d, const uint8_t** data, size_t* size) {
  *data = bytes_of(as_raw(d));
  *size = as_raw(d)->size;
}

dds_entity_t create_raw_topic(dds_entity_t participant, const std::string& topic_name,
                              const std::string& type_name, const ddsi_sertype** used) {
  ddsi_sertype* st = make_raw_sertype(type_name);
  const dds_entity_t topic =
      dds_create_topic_sertype(participant, topic_name.c_str(), &st, nullptr, nullptr, nullptr);
  if (topic < 0) {
    ddsi_sertype_unref(st);
    return topic;
  }
  *used = st;
  return topic;
}

}  // namespace ros2::detail

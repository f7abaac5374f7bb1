#pragma once

// XCDR1 little-endian encoding of ROS 2 messages, byte for byte as ROS 2 Humble's
// rmw_cyclonedds_cpp writes it: a 4-byte encapsulation header (00 01 00 00), each primitive
// aligned to min(size, 8) from the first byte after the header, strings as a uint32 length
// including the terminating NUL, sequences as a uint32 count followed by the elements, and no
// padding around nested structs. The payload is padded with zeros to a multiple of 4.
//
// A message type takes part by declaring its fields with ROS2_FIELDS (see type_support.h); the
// writer and the reader then walk the fields in declaration order.

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace ros2::cdr {

// Size of the encapsulation header that precedes every payload.
inline constexpr size_t kHeaderSize = 4;

// Thrown by Reader on data that does not decode as the expected type.
class DecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

template <class T>
struct IsVector : std::false_type {};
template <class T, class A>
struct IsVector<std::vector<T, A>> : std::true_type {};

template <class T>
struct IsArray : std::false_type {};
template <class T, size_t N>
struct IsArray<std::array<T, N>> : std::true_type {};

template <class T>
inline constexpr bool kIsPrimitive = std::is_arithmetic_v<T>;

// Appends the encoding of values to a byte buffer. The buffer is cleared and starts with the
// encapsulation header; its capacity is kept, so a reused buffer costs no allocation.
class Writer {
 public:
  explicit Writer(std::vector<uint8_t>& buf) : buf_(buf) {
    buf_.assign(kHeaderSize, 0x00);
    buf_[1] = 0x01;
  }

  template <class... T>
  void operator()(const T&... values) {
    (write(values), ...);
  }

  template <class T>
  void write(const T& v) {
    if constexpr (std::is_same_v<T, bool>) {
      const uint8_t b = v ? 1 : 0;
      put(&b, 1, 1);
    } else if constexpr (kIsPrimitive<T>) {
      put(&v, sizeof(T), sizeof(T));
    } else if constexpr (std::is_same_v<T, std::string>) {
      const uint32_t n = static_cast<uint32_t>(v.size() + 1);
      put(&n, 4, 4);
      const size_t at = buf_.size();
      buf_.resize(at + n);
      std::memcpy(buf_.data() + at, v.c_str(), n);
    } else if constexpr (IsVector<T>::value) {
      using E = typename T::value_type;
      const uint32_t n = static_cast<uint32_t>(v.size());
      put(&n, 4, 4);
      if constexpr (kIsPrimitive<E> && !std::is_same_v<E, bool>) {
        if (n > 0) put(v.data(), sizeof(E) * n, sizeof(E));
      } else {
        for (const auto& e : v) write(e);
      }
    } else if constexpr (IsArray<T>::value) {
      using E = typename T::value_type;
      if constexpr (kIsPrimitive<E> && !std::is_same_v<E, bool>) {
        put(v.data(), sizeof(E) * v.size(), sizeof(E));
      } else {
        for (const auto& e : v) write(e);
      }
    } else {
      visit_fields(*this, v);
    }
  }

  // Pads the payload with zeros to a multiple of 4 bytes, as the ROS 2 writers do.
  void finish() {
    while (buf_.size() % 4 != 0) buf_.push_back(0);
  }

 private:
  void put(const void* p, size_t n, size_t align) {
    const size_t pos = buf_.size() - kHeaderSize;
    const size_t pad = (align - pos % align) % align;
    const size_t at = buf_.size();
    buf_.resize(at + pad + n);
    if (pad > 0) std::memset(buf_.data() + at, 0, pad);
    std::memcpy(buf_.data() + at + pad, p, n);
  }

  std::vector<uint8_t>& buf_;
};

// Decodes values from a payload that starts with the encapsulation header. Every length is
// checked against the bytes that remain, and sequences grow only as their elements are
// decoded, so hostile data cannot make the reader allocate more than a small multiple of its
// own size. Big-endian payloads are byte-swapped.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {
    if (size < kHeaderSize) throw DecodeError("payload shorter than its header");
    if (data[0] != 0x00 || (data[1] != 0x00 && data[1] != 0x01)) {
      throw DecodeError("not a plain CDR payload");
    }
    swap_ = data[1] == 0x00;
    pos_ = kHeaderSize;
  }

  template <class... T>
  void operator()(T&... values) {
    (read(values), ...);
  }

  template <class T>
  void read(T& v) {
    if constexpr (std::is_same_v<T, bool>) {
      uint8_t b = 0;
      get(&b, 1, 1);
      if (b > 1) throw DecodeError("boolean out of range");
      v = b != 0;
    } else if constexpr (kIsPrimitive<T>) {
      get(&v, sizeof(T), sizeof(T));
      if (swap_) swap_bytes(&v, sizeof(T));
    } else if constexpr (std::is_same_v<T, std::string>) {
      uint32_t n = 0;
      read(n);
      if (n == 0) {
        v.clear();
        return;
      }
      if (n > remaining()) throw DecodeError("string longer than the payload");
      const char* s = reinterpret_cast<const char*>(data_ + pos_);
      if (s[n - 1] != '\0') throw DecodeError("string without terminating NUL");
      v.assign(s, n - 1);
      pos_ += n;
    } else if constexpr (IsVector<T>::value) {
      using E = typename T::value_type;
      uint32_t n = 0;
      read(n);
      if constexpr (kIsPrimitive<E> && !std::is_same_v<E, bool>) {
        if (n == 0) {
          v.clear();
          return;
        }
        align(sizeof(E));
        if (n > remaining() / sizeof(E)) throw DecodeError("sequence longer than the payload");
        v.resize(n);
        get(v.data(), sizeof(E) * n, 1);
        if (swap_) {
          for (auto& e : v) swap_bytes(&e, sizeof(E));
        }
      } else if constexpr (std::is_same_v<E, bool>) {
        if (n > remaining()) throw DecodeError("sequence longer than the payload");
        v.clear();
        for (uint32_t i = 0; i < n; ++i) {
          bool b = false;
          read(b);
          v.push_back(b);
        }
      } else {
        if (n > remaining()) throw DecodeError("sequence longer than the payload");
        // Elements already present are decoded into again, which keeps their capacity.
        if (v.size() > n) v.erase(v.begin() + n, v.end());
        for (uint32_t i = 0; i < n; ++i) {
          if (i == v.size()) v.emplace_back();
          read(v[i]);
        }
      }
    } else if constexpr (IsArray<T>::value) {
      using E = typename T::value_type;
      if constexpr (kIsPrimitive<E> && !std::is_same_v<E, bool>) {
        get(v.data(), sizeof(E) * v.size(), sizeof(E));
        if (swap_) {
          for (auto& e : v) swap_bytes(&e, sizeof(E));
        }
      } else {
        for (auto& e : v) read(e);
      }
    } else {
      visit_fields(*this, v);
    }
  }

  size_t position() const { return pos_; }
  size_t remaining() const { return size_ - pos_; }

 private:
  void align(size_t a) {
    const size_t rel = pos_ - kHeaderSize;
    const size_t pad = (a - rel % a) % a;
    if (pad > remaining()) throw DecodeError("payload truncated");
    pos_ += pad;
  }

  void get(void* p, size_t n, size_t a) {
    align(a);
    if (n > remaining()) throw DecodeError("payload truncated");
    std::memcpy(p, data_ + pos_, n);
    pos_ += n;
  }

  static void swap_bytes(void* p, size_t n) {
    auto* b = static_cast<uint8_t*>(p);
    for (size_t i = 0; i < n / 2; ++i) std::swap(b[i], b[n - 1 - i]);
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool swap_ = false;
};

// The payload of one message: header, fields, padding.
template <class T>
void serialize(const T& msg, std::vector<uint8_t>& out) {
  Writer w(out);
  w.write(msg);
  w.finish();
}

// The payload of a service request or reply as rmw_cyclonedds_cpp sends it: the 16-byte
// request header (client guid, sequence number) and then the ROS fields.
template <class T>
void serialize_with_header(uint64_t guid, int64_t seq, const T& body, std::vector<uint8_t>& out) {
  Writer w(out);
  w(guid, seq);
  w.write(body);
  w.finish();
}

template <class T>
void deserialize_with_header(const uint8_t* data, size_t size, uint64_t& guid, int64_t& seq,
                             T& body) {
  Reader r(data, size);
  r(guid, seq);
  r.read(body);
}

// Decodes a whole message; throws DecodeError on malformed data. Trailing bytes after the last
// field are ignored, as every ROS 2 reader does.
template <class T>
void deserialize(const uint8_t* data, size_t size, T& msg) {
  Reader r(data, size);
  r.read(msg);
}

}  // namespace ros2::cdr

// Growable byte buffer on the SDK heap. An allocation failure is sticky:
// ok() turns false and further appends are refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class ByteBuffer {
  public:
    explicit ByteBuffer(const char *tag = "settings") : tag_(tag) {}
    ~ByteBuffer();
    ByteBuffer(const ByteBuffer &) = delete;
    ByteBuffer &operator=(const ByteBuffer &) = delete;

    bool append(const void *data, size_t len);
    bool append(std::string_view text) { return append(text.data(), text.size()); }
    bool append_byte(uint8_t b) { return append(&b, 1); }
    bool append_be32(uint32_t v);
    bool append_be16(uint16_t v);
    void clear() { size_ = 0; }

    const uint8_t *data() const { return data_; }
    uint8_t *data() { return data_; }
    size_t size() const { return size_; }
    bool ok() const { return ok_; }
    std::string_view view() const { return {reinterpret_cast<const char *>(data_), size_}; }

  private:
    bool reserve(size_t total);

    const char *tag_;
    uint8_t *data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool ok_ = true;
};

inline uint32_t load_be32(const uint8_t *p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline void store_be32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline void store_be16(uint8_t *p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline uint16_t load_be16(const uint8_t *p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

#include "byte_buffer.h"

#include <cstring>

#include "sal.h"

ByteBuffer::~ByteBuffer() {
    sal_free(data_);
}

bool ByteBuffer::reserve(size_t total) {
    if (total <= capacity_) return true;
    size_t capacity = capacity_ ? capacity_ : 256;
    while (capacity < total)
        capacity *= 2;
    auto *grown = static_cast<uint8_t *>(sal_alloc(capacity, tag_));
    if (grown == nullptr) return ok_ = false;
    if (size_ != 0) std::memcpy(grown, data_, size_);
    sal_free(data_);
    data_ = grown;
    capacity_ = capacity;
    return true;
}

bool ByteBuffer::append(const void *data, size_t len) {
    if (!ok_ || !reserve(size_ + len)) return false;
    if (len != 0) std::memcpy(data_ + size_, data, len);
    size_ += len;
    return true;
}

bool ByteBuffer::append_be32(uint32_t v) {
    uint8_t b[4];
    store_be32(b, v);
    return append(b, sizeof b);
}

bool ByteBuffer::append_be16(uint16_t v) {
    uint8_t b[2];
    store_be16(b, v);
    return append(b, sizeof b);
}

// A table-driven decoder of the aligned Packed Encoding Rules that walks an
// ASN.1 value by constant descriptors and stores only what they mark for
// decoding. It exists for the H.323 snooper, which needs a few fields deep
// inside large messages and skips the rest.
#pragma once

#include <cstddef>
#include <cstdint>

enum per_type : uint8_t {
    PER_NULL = 0,
    PER_BOOLEAN = 1,
    PER_OBJECT_ID = 2,
    PER_INTEGER = 3,
    PER_ENUMERATED = 4,
    PER_BIT_STRING = 5,
    PER_NUMERIC_STRING = 6,  // four bits per character
    PER_OCTET_STRING = 7,
    PER_BMP_STRING = 8,
    PER_SEQUENCE = 9,
    PER_SEQUENCE_OF = 10,
    PER_CHOICE = 11,
};

// How a length or an integer is encoded; any other value is a bit width.
enum per_size : uint8_t {
    PER_FIXED = 0,
    PER_ONE_BYTE = 9,
    PER_TWO_BYTES = 10,
    PER_CONSTRAINED = 11,  // 2 bits give 1..4 bytes
    PER_SEMI = 12,         // length determinant
    PER_UNCONSTRAINED = 13,
};

enum per_attr : uint16_t {
    PER_STOP = 0x01,    // nothing from this field on is needed
    PER_DECODE = 0x02,  // store the output (and decode the open type)
    PER_EXTENSIBLE = 0x04,
    PER_OPEN = 0x08,  // length-prefixed
    PER_OPTIONAL = 0x10,
};

// One type. SEQUENCE: size = width of the optional-field bitmap, lb = root
// fields, ub = known extensions (after the roots in fields). CHOICE: size =
// width of the root index, lb = known alternatives, ub = root alternatives.
// SEQUENCE OF: lb/ub bound the count; the stored count is limited to ub and
// the elements follow it at offset + 4, each fields[0].offset bytes long.
// Outputs are 32-bit words at offset in the decode area; a fixed OCTET
// STRING of 3 or more bytes stores its byte offset from the buffer start.
struct per_field {
    uint8_t type;
    uint8_t size;
    uint8_t lb;
    uint8_t ub;
    uint16_t attr;
    uint16_t offset;
    const per_field *fields;
};

constexpr per_field per_make(per_type type, uint8_t size, uint8_t lb, uint8_t ub, uint16_t attr,
                             uint16_t offset = 0, const per_field *fields = nullptr) {
    return {.type = type,
            .size = size,
            .lb = lb,
            .ub = ub,
            .attr = attr,
            .offset = offset,
            .fields = fields};
}

// Decodes buf[0, len) as the type into out (which the caller clears).
// 0 when decoded (or stopped where the tables need no more), -1 when the
// data ends early or holds what these rules refuse (a fragmented length,
// an index beyond the root alternatives).
int per_decode(const per_field *type, const uint8_t *buf, size_t len, void *out);

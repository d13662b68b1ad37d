// Flash image of the NVRAM store, one per copy:
//   0  "FLSH"
//   4  u32 length of the whole image, header included (little-endian)
//   8  u8  CRC-8 of bytes 9 .. length-1, starting from 0xFF
//   9  u8  format (1)
//  10  u16 0
//  12  u32 commit counter (little-endian)
//  16  "name=value\0" records, then one more "\0"
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nvram_image {

constexpr size_t kHeaderSize = 16;
constexpr uint8_t kFormat = 1;

enum class Verdict { valid, blank, bad_magic, bad_length, bad_crc, bad_format, bad_records };

struct Decoded {
    Verdict verdict = Verdict::blank;
    uint32_t length = 0;
    uint32_t commit = 0;
    uint8_t stored_crc = 0;
    uint8_t computed_crc = 0;
    std::vector<std::pair<std::string, std::string>> vars;  // in image order
};

// Size of an image holding records of records_bytes bytes.
constexpr size_t image_size(size_t records_bytes) {
    return kHeaderSize + records_bytes + 1;
}

// records: the concatenated "name=value\0" records.
std::vector<uint8_t> encode(std::string_view records, uint32_t commit);

// Reads one copy; never looks outside it.
Decoded decode(std::span<const uint8_t> copy);

// Why a copy was refused, for the console report.
std::string describe(const Decoded &d);

// True when commit a is later than b, allowing for the counter wrapping.
constexpr bool later(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) > 0;
}

}  // namespace nvram_image

// Encoding and checking of the NVRAM flash image.
#include "nvram_image.h"

#include <cstring>

#include "byte_order.h"
#include "pvk.h"
#include "sal.h"

namespace nvram_image {
namespace {

using storage_bytes::get_u32;
using storage_bytes::put_u32;

constexpr char kMagic[4] = {'F', 'L', 'S', 'H'};
constexpr size_t kCrcOffset = 8;

uint8_t image_crc(std::span<const uint8_t> image) {
    return pvk_crc8(image.data() + kCrcOffset + 1, image.size() - kCrcOffset - 1, 0xFF);
}

// Splits the records area, which must end with the extra terminator.
bool parse_records(std::span<const uint8_t> area, Decoded *d) {
    size_t pos = 0;
    while (pos < area.size()) {
        if (area[pos] == 0) return pos + 1 == area.size();  // the list terminator is last
        const auto *start = reinterpret_cast<const char *>(area.data() + pos);
        const void *nul = std::memchr(start, 0, area.size() - pos);
        if (nul == nullptr) return false;
        std::string_view record(start, static_cast<size_t>(static_cast<const char *>(nul) - start));
        size_t eq = record.find('=');
        if (eq == std::string_view::npos || eq == 0) return false;
        d->vars.emplace_back(std::string(record.substr(0, eq)), std::string(record.substr(eq + 1)));
        pos += record.size() + 1;
    }
    return false;  // no terminator
}

}  // namespace

std::vector<uint8_t> encode(std::string_view records, uint32_t commit) {
    std::vector<uint8_t> image(image_size(records.size()), 0);
    std::memcpy(image.data(), kMagic, sizeof kMagic);
    put_u32(&image[4], static_cast<uint32_t>(image.size()));
    image[9] = kFormat;
    put_u32(&image[12], commit);
    std::memcpy(&image[kHeaderSize], records.data(), records.size());
    image[kCrcOffset] = image_crc(image);
    return image;
}

Decoded decode(std::span<const uint8_t> copy) {
    Decoded d;
    if (copy.size() < kHeaderSize) {
        d.verdict = Verdict::bad_length;
        return d;
    }
    static constexpr uint8_t kErased[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (std::memcmp(copy.data(), kErased, 4) == 0) return d;  // blank
    if (std::memcmp(copy.data(), kMagic, 4) != 0) {
        d.verdict = Verdict::bad_magic;
        return d;
    }
    d.length = get_u32(&copy[4]);
    if (d.length < image_size(0) || d.length > copy.size()) {
        d.verdict = Verdict::bad_length;
        return d;
    }
    std::span<const uint8_t> image = copy.first(d.length);
    d.stored_crc = image[kCrcOffset];
    d.computed_crc = image_crc(image);
    if (d.stored_crc != d.computed_crc) {
        d.verdict = Verdict::bad_crc;
        return d;
    }
    if (image[9] != kFormat) {
        d.verdict = Verdict::bad_format;
        return d;
    }
    d.commit = get_u32(&image[12]);
    if (!parse_records(image.subspan(kHeaderSize), &d)) {
        d.vars.clear();
        d.verdict = Verdict::bad_records;
        return d;
    }
    d.verdict = Verdict::valid;
    return d;
}

std::string describe(const Decoded &d) {
    switch (d.verdict) {
        case Verdict::valid:
            return "valid";
        case Verdict::blank:
            return "erased";
        case Verdict::bad_magic:
            return "no \"FLSH\" header";
        case Verdict::bad_length:
            return "bad image length " + std::to_string(d.length);
        case Verdict::bad_crc: {
            char text[64];
            sal_snprintf(text, sizeof text, "CRC mismatch (stored 0x%02x, computed 0x%02x)",
                         d.stored_crc, d.computed_crc);
            return text;
        }
        case Verdict::bad_format:
            return "unknown image format";
        case Verdict::bad_records:
            return "malformed name=value records";
    }
    return "unknown";
}

}  // namespace nvram_image

// Aligned PER decoder: one decoder per type, selected by the descriptor.
// Every read is checked against the end of the buffer (or of the open type
// being decoded); a decoder answers kOk, kShort or kStop, and a stop ends
// the walk up to the nearest enclosing open type, which its length lets the
// walk step over.
#include "voip_per.h"

#include <cstring>

namespace {

constexpr int kOk = 0;
constexpr int kShort = -1;
constexpr int kStop = 1;

struct per_bits {
    const uint8_t *start;
    const uint8_t *end;
    const uint8_t *cur;
    unsigned bit;  // 0..7 within *cur, from the most significant
};

size_t bits_left(const per_bits &s) {
    return static_cast<size_t>(s.end - s.cur) * 8 - s.bit;
}

void align(per_bits &s) {
    if (s.bit != 0) {
        s.cur++;
        s.bit = 0;
    }
}

bool get_bits(per_bits &s, unsigned n, uint32_t *v) {
    if (n > 32 || bits_left(s) < n) return false;
    uint32_t r = 0;
    for (unsigned i = 0; i < n; i++) {
        r = r << 1 | ((*s.cur >> (7 - s.bit)) & 1u);
        if (++s.bit == 8) {
            s.bit = 0;
            s.cur++;
        }
    }
    *v = r;
    return true;
}

bool skip_bits(per_bits &s, size_t n) {
    if (bits_left(s) < n) return false;
    const size_t pos = s.bit + n;
    s.cur += pos / 8;
    s.bit = static_cast<unsigned>(pos % 8);
    return true;
}

bool get_bytes(per_bits &s, unsigned n, uint32_t *v) {
    align(s);
    return get_bits(s, 8 * n, v);
}

// One byte below 128, else 14 bits; fragmented lengths are refused.
bool length_determinant(per_bits &s, uint32_t *len) {
    uint32_t first = 0, second = 0;
    if (!get_bytes(s, 1, &first) || first >= 0xC0) return false;
    if (first < 0x80) {
        *len = first;
        return true;
    }
    if (!get_bits(s, 8, &second)) return false;
    *len = (first & 0x3F) << 8 | second;
    return true;
}

// A count or length by the descriptor's size kind.
bool get_length(per_bits &s, uint8_t size, uint32_t *n) {
    switch (size) {
        case PER_FIXED:
            *n = 0;
            return true;
        case PER_ONE_BYTE:
            return get_bytes(s, 1, n);
        case PER_TWO_BYTES:
            return get_bytes(s, 2, n);
        case PER_SEMI:
        case PER_UNCONSTRAINED:
            return length_determinant(s, n);
        default:
            return get_bits(s, size, n);
    }
}

void store(uint8_t *base, const per_field *f, uint32_t v) {
    if (base != nullptr && (f->attr & PER_DECODE)) std::memcpy(base + f->offset, &v, sizeof v);
}

int decode_field(per_bits &s, const per_field *f, uint8_t *base);

// A length-prefixed value: decoded within its length when wanted (a stop
// inside ends only the open type), else stepped over.
int open_type(per_bits &s, const per_field *f, uint8_t *base, bool decode) {
    uint32_t len = 0;
    if (!length_determinant(s, &len) || static_cast<size_t>(s.end - s.cur) < len) return kShort;
    const uint8_t *after = s.cur + len;
    if (decode && f != nullptr) {
        per_bits inner = s;
        inner.end = after;
        per_field plain = *f;
        plain.attr &= static_cast<uint16_t>(~PER_OPEN);
        if (decode_field(inner, &plain, base) < 0) return kShort;
    }
    s.cur = after;
    s.bit = 0;
    return kOk;
}

int dec_null(per_bits &, const per_field *, uint8_t *) {
    return kOk;
}

int dec_boolean(per_bits &s, const per_field *f, uint8_t *base) {
    uint32_t v = 0;
    if (!get_bits(s, 1, &v)) return kShort;
    store(base, f, v);
    return kOk;
}

int dec_object_id(per_bits &s, const per_field *, uint8_t *) {
    uint32_t len = 0;
    if (!get_bytes(s, 1, &len) || !skip_bits(s, 8 * size_t{len})) return kShort;
    return kOk;
}

int dec_integer(per_bits &s, const per_field *f, uint8_t *base) {
    uint32_t v = 0, n = 0;
    bool ok = true;
    switch (f->size) {
        case PER_ONE_BYTE:
            ok = get_bytes(s, 1, &v);
            break;
        case PER_TWO_BYTES:
            ok = get_bytes(s, 2, &v);
            break;
        case PER_CONSTRAINED:
            ok = get_bits(s, 2, &n) && get_bytes(s, n + 1, &v);
            break;
        case PER_SEMI:
        case PER_UNCONSTRAINED:
            ok = length_determinant(s, &n);
            // Wider values than a word are stepped over.
            if (ok && n <= 4) {
                ok = get_bits(s, 8 * n, &v);
            } else if (ok) {
                ok = skip_bits(s, 8 * size_t{n});
            }
            break;
        default:
            ok = get_bits(s, f->size, &v);
    }
    if (!ok) return kShort;
    store(base, f, v + f->lb);
    return kOk;
}

int dec_enumerated(per_bits &s, const per_field *f, uint8_t *base) {
    uint32_t ext = 0, v = 0;
    if ((f->attr & PER_EXTENSIBLE) && !get_bits(s, 1, &ext)) return kShort;
    if (!get_bits(s, ext ? 7 : f->size, &v)) return kShort;
    store(base, f, v);
    return kOk;
}

int dec_bit_string(per_bits &s, const per_field *f, uint8_t *) {
    uint32_t n = 0;
    if (!get_length(s, f->size, &n)) return kShort;
    n += f->lb;
    if (n > 16 || f->size != PER_FIXED) align(s);
    return skip_bits(s, n) ? kOk : kShort;
}

int dec_numeric_string(per_bits &s, const per_field *f, uint8_t *) {
    uint32_t n = 0;
    if (!get_bits(s, f->size, &n)) return kShort;
    align(s);
    return skip_bits(s, 4 * (size_t{n} + f->lb)) ? kOk : kShort;
}

int dec_octet_string(per_bits &s, const per_field *f, uint8_t *base) {
    uint32_t n = 0;
    if (!get_length(s, f->size, &n)) return kShort;
    n += f->lb;
    // Fixed strings of up to two bytes stay unaligned.
    if (f->size != PER_FIXED || n > 2) align(s);
    if (f->size == PER_FIXED && n >= 3 && s.bit == 0 && static_cast<size_t>(s.end - s.cur) >= n)
        store(base, f, static_cast<uint32_t>(s.cur - s.start));
    return skip_bits(s, 8 * size_t{n}) ? kOk : kShort;
}

int dec_bmp_string(per_bits &s, const per_field *f, uint8_t *) {
    uint32_t n = 0;
    if (!get_length(s, f->size, &n)) return kShort;
    align(s);
    return skip_bits(s, 16 * (size_t{n} + f->lb)) ? kOk : kShort;
}

int dec_sequence(per_bits &s, const per_field *f, uint8_t *base) {
    uint32_t ext = 0, bitmap = 0;
    if ((f->attr & PER_EXTENSIBLE) && !get_bits(s, 1, &ext)) return kShort;
    if (!get_bits(s, f->size, &bitmap)) return kShort;
    store(base, f, bitmap);
    unsigned optional = 0;
    for (unsigned i = 0; i < f->lb; i++) {
        const per_field *son = &f->fields[i];
        if (son->attr & PER_STOP) return kStop;
        if (son->attr & PER_OPTIONAL) {
            const bool present = optional < f->size && (bitmap >> (f->size - 1 - optional)) & 1u;
            optional++;
            if (!present) continue;
        }
        int rv = decode_field(s, son, base);
        if (rv != kOk) return rv;
    }
    if (!ext) return kOk;
    // Extension additions: a normally small count, their presence bitmap,
    // then each present one as an open type.
    uint32_t large = 0, count = 0;
    if (!get_bits(s, 1, &large) || large || !get_bits(s, 6, &count)) return kShort;
    count += 1;
    bool present[64];
    for (uint32_t i = 0; i < count; i++) {
        uint32_t bit = 0;
        if (!get_bits(s, 1, &bit)) return kShort;
        present[i] = bit != 0;
    }
    for (uint32_t i = 0; i < count; i++) {
        if (!present[i]) continue;
        const per_field *son = i < f->ub ? &f->fields[f->lb + i] : nullptr;
        if (son != nullptr && (son->attr & PER_STOP)) return kStop;
        if (open_type(s, son, base, son != nullptr && (son->attr & PER_DECODE)) != kOk)
            return kShort;
    }
    return kOk;
}

int dec_sequence_of(per_bits &s, const per_field *f, uint8_t *base) {
    uint32_t count = 0;
    if (!get_length(s, f->size, &count)) return kShort;
    count += f->lb;
    const uint32_t kept = count < f->ub ? count : f->ub;
    store(base, f, kept);
    per_field element = f->fields[0];
    const size_t stride = element.offset;
    element.offset = 0;
    const bool decode = base != nullptr && (f->attr & PER_DECODE);
    for (uint32_t i = 0; i < count; i++) {
        uint8_t *slot = decode && i < kept ? base + f->offset + 4 + i * stride : nullptr;
        int rv = decode_field(s, &element, slot);
        if (rv != kOk) return rv;
    }
    return kOk;
}

int dec_choice(per_bits &s, const per_field *f, uint8_t *base) {
    uint32_t ext = 0, index = 0;
    if ((f->attr & PER_EXTENSIBLE) && !get_bits(s, 1, &ext)) return kShort;
    if (ext) {
        uint32_t large = 0;
        if (!get_bits(s, 1, &large) || large || !get_bits(s, 6, &index)) return kShort;
        index += f->ub;
        store(base, f, index);
        const per_field *son = index < f->lb ? &f->fields[index] : nullptr;
        if (son != nullptr && (son->attr & PER_STOP)) return kStop;
        return open_type(s, son, base,
                         son != nullptr && base != nullptr && (son->attr & PER_DECODE));
    }
    if (!get_bits(s, f->size, &index)) return kShort;
    if (index >= f->ub) return kShort;
    store(base, f, index);
    return decode_field(s, &f->fields[index], base);
}

using per_decoder = int (*)(per_bits &, const per_field *, uint8_t *);

constexpr per_decoder kDecoders[] = {
    dec_null,       dec_boolean,    dec_object_id,      dec_integer,
    dec_enumerated, dec_bit_string, dec_numeric_string, dec_octet_string,
    dec_bmp_string, dec_sequence,   dec_sequence_of,    dec_choice,
};

int decode_field(per_bits &s, const per_field *f, uint8_t *base) {
    if (f->attr & PER_STOP) return kStop;
    if (f->attr & PER_OPEN) return open_type(s, f, base, base != nullptr && (f->attr & PER_DECODE));
    if (f->type >= sizeof kDecoders / sizeof kDecoders[0]) return kShort;
    return kDecoders[f->type](s, f, base);
}

}  // namespace

int per_decode(const per_field *type, const uint8_t *buf, size_t len, void *out) {
    if (type == nullptr || buf == nullptr) return -1;
    per_bits s = {.start = buf, .end = buf + len, .cur = buf, .bit = 0};
    return decode_field(s, type, static_cast<uint8_t *>(out)) < 0 ? -1 : 0;
}

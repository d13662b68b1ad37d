// Conversions used by the build-time image generator: settings text to a
// binary image, and a binary image to C source (the C-array medium's dump).
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "settings.h"
#include "serialize_internal.h"

using namespace settings_internal;

int settings_image_from_text(const char *text, uint8_t *buf, size_t size, char *err,
                             size_t err_size) {
    if (text == nullptr || buf == nullptr) {
        std::snprintf(err, err_size, "no text or no buffer");
        return -1;
    }
    ParsedImage parsed;
    if (!text_parse_lines(text, true, parsed, err, err_size)) return -1;
    ByteBuffer image;
    binary_begin(image);
    for (const ImageEntry &e : parsed.entries) {
        if (e.item == nullptr) continue;
        ItemValue v;
        if (!entry_value(e, v) || !binary_append_item(image, *e.item, v)) {
            std::snprintf(err, err_size, "cannot store item %s", e.item->name);
            return -1;
        }
    }
    if (!binary_finish(image) || image.size() > size) {
        std::snprintf(err, err_size, "image of %zu bytes does not fit", image.size());
        return -1;
    }
    std::memcpy(buf, image.data(), image.size());
    return static_cast<int>(image.size());
}

namespace {

// snprintf-style appending: counts the whole length, writes what fits.
class TextSink {
  public:
    TextSink(char *out, size_t size) : out_(out), size_(size) {
        if (out_ && size_) out_[0] = '\0';
    }
    void printf(const char *fmt, ...) __attribute__((format(printf, 2, 3))) {
        va_list ap;
        va_start(ap, fmt);
        size_t room = length_ < size_ ? size_ - length_ : 0;
        int n = std::vsnprintf(out_ && room ? out_ + length_ : nullptr, room, fmt, ap);
        va_end(ap);
        if (n > 0) length_ += static_cast<size_t>(n);
    }
    size_t length() const { return length_; }

  private:
    char *out_;
    size_t size_;
    size_t length_ = 0;
};

bool is_identifier(const char *s) {
    if (s == nullptr || !(std::isalpha(static_cast<unsigned char>(*s)) || *s == '_')) return false;
    for (; *s; s++) {
        if (!(std::isalnum(static_cast<unsigned char>(*s)) || *s == '_')) return false;
    }
    return true;
}

}  // namespace

int settings_carray_format(const uint8_t *image, const char *symbol, char *out, size_t size) {
    ParsedImage parsed;
    char err[128];
    if (!is_identifier(symbol) || !binary_parse(image, SETTINGS_IMAGE_MAX, parsed, err, sizeof err))
        return -1;
    uint32_t bytes = load_be32(image);
    TextSink sink(out, size);
    sink.printf("// Generated settings image of %u bytes; do not edit.\n", bytes);
    sink.printf("#include <cstdint>\n\nextern const uint8_t %s[];\n", symbol);
    sink.printf("alignas(4) const uint8_t %s[%u] = {", symbol, bytes);
    for (uint32_t i = 0; i < bytes; i++) {
        sink.printf("%s0x%02x,", i % 12 == 0 ? "\n    " : " ", image[i]);
    }
    sink.printf("\n};\n");
    return static_cast<int>(sink.length());
}

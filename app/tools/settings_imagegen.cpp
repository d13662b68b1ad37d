// Build-time generator of the factory-default images: reads settings text
// files and writes one C++ source that defines each image as a byte array.
//
//   settings_imagegen OUTPUT.cpp SYMBOL=INPUT.txt [SYMBOL=INPUT.txt ...]
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "settings.h"

namespace {

bool read_file(const char *path, std::string &out) {
    FILE *f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        out.append(chunk, n);
    bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

// Appends the C source of one image; false with a message on stderr.
bool convert(const std::string &symbol, const char *path, std::string &source) {
    std::string text;
    if (!read_file(path, text)) {
        std::fprintf(stderr, "settings_imagegen: cannot read %s: %s\n", path, std::strerror(errno));
        return false;
    }
    std::vector<uint8_t> image(SETTINGS_IMAGE_MAX);
    char err[160] = "";
    if (settings_image_from_text(text.c_str(), image.data(), image.size(), err, sizeof err) < 0) {
        std::fprintf(stderr, "settings_imagegen: %s: %s\n", path, err);
        return false;
    }
    int len = settings_carray_format(image.data(), symbol.c_str(), nullptr, 0);
    if (len < 0) {
        std::fprintf(stderr, "settings_imagegen: bad symbol name \"%s\"\n", symbol.c_str());
        return false;
    }
    std::string c_text(static_cast<size_t>(len) + 1, '\0');
    settings_carray_format(image.data(), symbol.c_str(), c_text.data(), c_text.size());
    c_text.resize(static_cast<size_t>(len));
    source += c_text;
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: settings_imagegen OUTPUT.cpp SYMBOL=INPUT.txt ...\n");
        return 2;
    }
    std::string source;
    for (int i = 2; i < argc; i++) {
        const char *eq = std::strchr(argv[i], '=');
        if (eq == nullptr) {
            std::fprintf(stderr, "settings_imagegen: expected SYMBOL=INPUT, got \"%s\"\n", argv[i]);
            return 2;
        }
        if (!convert(std::string(argv[i], static_cast<size_t>(eq - argv[i])), eq + 1, source))
            return 1;
    }
    FILE *out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(source.data(), 1, source.size(), out) != source.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "settings_imagegen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

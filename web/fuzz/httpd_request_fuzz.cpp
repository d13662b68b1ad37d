// libFuzzer target over the request parser and the pair splitter: the
// bytes of one read go through the line, request-line, header and
// Content-Length steps, then through the pair splitter as a form body.
#include <cstdint>
#include <cstring>
#include <vector>

#include "httpd_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > HTTPD_IO_SIZE) size = HTTPD_IO_SIZE;
    // Exactly as large as a read fills the shared buffer, plus its spare byte.
    std::vector<char> buf(data, data + size);
    buf.push_back('\0');
    size_t pos = 0;
    char *line = nullptr;
    bool first = true;
    while (httpd_take_line(buf.data(), size, &pos, &line) == httpd_line_result::line) {
        if (first) {
            bool post = false;
            char *path = nullptr;
            char *query = nullptr;
            if (httpd_parse_request_line(line, &post, &path, &query) && query != nullptr) {
                httpd_url_decode(query);
            }
            first = false;
            continue;
        }
        char *name = nullptr;
        char *value = nullptr;
        long length = 0;
        if (httpd_parse_header(line, &name, &value)) httpd_parse_content_length(value, &length);
    }
    size_t body_len = size < HTTPD_ARG_MAX ? size : HTTPD_ARG_MAX;
    std::vector<char> body(data, data + body_len);
    body.push_back('\0');
    httpd_pair pairs[HTTPD_PAIRS_MAX];
    httpd_split_pairs(body.data(), body_len, pairs, HTTPD_PAIRS_MAX);
    return 0;
}

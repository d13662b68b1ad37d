// Renderer of compiled page records: text, tags and nested loops, produced
// piece by piece so that no page is ever built whole in memory.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "httpd_internal.h"

namespace {

// Replaces the loop-level arguments by the index of that level; false when
// a level is not open.
bool decode_args(const httpd_request *req, const httpd_record *rec, uint16_t args[3]) {
    static constexpr uint8_t level_bits[3] = {HTTPD_REC_ARG0_LEVEL, HTTPD_REC_ARG1_LEVEL,
                                              HTTPD_REC_ARG2_LEVEL};
    for (int i = 0; i < 3; i++) {
        args[i] = rec->arg[i];
        if ((rec->kind & level_bits[i]) == 0) continue;
        if (rec->arg[i] >= req->depth) return false;
        args[i] = req->loop_index[rec->arg[i]];
    }
    return true;
}

// Moves past the current record; ends the page after the last one.
void next_record(httpd_request *req) {
    if ((req->record->kind & HTTPD_REC_LAST) != 0) {
        req->page_ended = true;
    } else {
        req->record++;
    }
    req->text_offset = 0;
}

void end_page(httpd_request *req) {
    req->page_ended = true;
}

// Calls the loop function of the loop starting at `start` for the index of
// the innermost level and enters or leaves its body.
void loop_step(httpd_request *req, const httpd_record *start) {
    uint16_t args[3];
    int level = req->depth - 1;
    bool loop_start = (start->kind & HTTPD_REC_TYPE_MASK) == HTTPD_REC_LOOP && start->ptr.loop;
    if (!loop_start || !decode_args(req, start, args)) return end_page(req);
    if (start->ptr.loop(args, req->loop_index[level], req) != 0) {
        req->record = start + 1;
        return;
    }
    req->depth--;
    req->record = start + start->body_count;  // its loop end
    next_record(req);
}

void tag_step(httpd_request *req, size_t space, const char **data, size_t *len) {
    const httpd_record *rec = req->record;
    uint16_t args[3];
    if (!decode_args(req, rec, args)) return end_page(req);
    httpd_tag_out out{0, nullptr, 0};
    rec->ptr.tag(args, &out, req);
    next_record(req);
    if (out.kind == HTTPD_TAG_INT) {
        req->buf_len =
            static_cast<size_t>(std::snprintf(req->buf, sizeof(req->buf), "%d", out.number));
        req->buf_pos = 0;
        return;
    }
    if (out.kind != HTTPD_TAG_TEXT || out.text == nullptr) return;
    size_t text_len = std::strlen(out.text);
    size_t now = std::min(text_len, space);
    *data = out.text;
    *len = now;
    size_t rest = text_len - now;
    if (rest == 0) return;
    // The rest waits in the request until the next call.
    if (rest > sizeof(req->buf) - 1) return end_page(req);
    std::memcpy(req->buf, out.text + now, rest);
    req->buf_len = rest;
    req->buf_pos = 0;
}

}  // namespace

bool httpd_render(httpd_request *req, size_t space, const char **data, size_t *len) {
    *data = nullptr;
    *len = 0;
    if (req->buf_pos < req->buf_len) {
        size_t n = std::min(space, req->buf_len - req->buf_pos);
        *data = req->buf + req->buf_pos;
        *len = n;
        req->buf_pos += n;
        if (req->buf_pos == req->buf_len) req->buf_pos = req->buf_len = 0;
        return true;
    }
    if (req->page_ended || req->record == nullptr) return false;

    const httpd_record *rec = req->record;
    switch (rec->kind & HTTPD_REC_TYPE_MASK) {
        case HTTPD_REC_TEXT: {
            size_t length = rec->arg[0];
            size_t n = std::min(space, length - std::min(req->text_offset, length));
            *data = rec->ptr.text + req->text_offset;
            *len = n;
            req->text_offset += n;
            if (req->text_offset >= length) next_record(req);
            return true;
        }
        case HTTPD_REC_TAG:
            tag_step(req, space, data, len);
            return true;
        case HTTPD_REC_LOOP:
            if (rec->ptr.loop != nullptr) {
                if (req->depth >= HTTPD_LOOP_DEPTH_MAX) {
                    end_page(req);
                    return true;
                }
                req->loop_index[req->depth++] = 0;
                loop_step(req, rec);
                return true;
            }
            if (req->depth == 0 || rec->body_count == 0) {
                end_page(req);
                return true;
            }
            req->loop_index[req->depth - 1]++;
            loop_step(req, rec - rec->body_count);
            return true;
        default:
            end_page(req);
            return true;
    }
}

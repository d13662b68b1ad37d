// Request parsing on its own: lines, request line, headers, Content-Length,
// URL decoding and pair splitting, including random input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "httpd_internal.h"

namespace {

struct buffer {
    std::vector<char> bytes;
    explicit buffer(const std::string &s) : bytes(s.begin(), s.end()) { bytes.push_back('\0'); }
    char *data() { return bytes.data(); }
    size_t fill() const { return bytes.size() - 1; }
};

TEST(httpd_parse, LinesEndAtLfAndLoseTheirCr) {
    buffer b("GET / HTTP/1.0\r\nHost: x\n\r\n");
    size_t pos = 0;
    char *line = nullptr;
    ASSERT_EQ(httpd_take_line(b.data(), b.fill(), &pos, &line), httpd_line_result::line);
    EXPECT_STREQ(line, "GET / HTTP/1.0");
    ASSERT_EQ(httpd_take_line(b.data(), b.fill(), &pos, &line), httpd_line_result::line);
    EXPECT_STREQ(line, "Host: x");
    ASSERT_EQ(httpd_take_line(b.data(), b.fill(), &pos, &line), httpd_line_result::line);
    EXPECT_STREQ(line, "");
    EXPECT_EQ(httpd_take_line(b.data(), b.fill(), &pos, &line), httpd_line_result::none);
}

TEST(httpd_parse, UnfinishedLineAndNulByteAreRefused) {
    buffer partial("Host: x");
    size_t pos = 0;
    char *line = nullptr;
    EXPECT_EQ(httpd_take_line(partial.data(), partial.fill(), &pos, &line),
              httpd_line_result::partial);
    buffer nul(std::string("Ho\0st\r\n", 7));
    pos = 0;
    EXPECT_EQ(httpd_take_line(nul.data(), nul.fill(), &pos, &line), httpd_line_result::invalid);
}

TEST(httpd_parse, RequestLineGivesMethodPathAndQuery) {
    bool post = true;
    char *path = nullptr;
    char *query = nullptr;
    buffer get("get  /a/b.cgi?x=1&y=2 HTTP/1.0");
    ASSERT_TRUE(httpd_parse_request_line(get.data(), &post, &path, &query));
    EXPECT_FALSE(post);
    EXPECT_STREQ(path, "/a/b.cgi");
    EXPECT_STREQ(query, "x=1&y=2");
    buffer bare("POST /");
    ASSERT_TRUE(httpd_parse_request_line(bare.data(), &post, &path, &query));
    EXPECT_TRUE(post);
    EXPECT_STREQ(path, "/");
    EXPECT_EQ(query, nullptr);
    for (const char *bad : {"HEAD / HTTP/1.0", "GET", "GET ", "", "GETX / HTTP/1.0"}) {
        buffer b(bad);
        EXPECT_FALSE(httpd_parse_request_line(b.data(), &post, &path, &query)) << bad;
    }
}

TEST(httpd_parse, HeaderSplitsAtTheColon) {
    char *name = nullptr;
    char *value = nullptr;
    buffer h("Content-Length:   12");
    ASSERT_TRUE(httpd_parse_header(h.data(), &name, &value));
    EXPECT_STREQ(name, "Content-Length");
    EXPECT_STREQ(value, "12");
    buffer url("Referer: http://a:8/b");
    ASSERT_TRUE(httpd_parse_header(url.data(), &name, &value));
    EXPECT_STREQ(value, "http://a:8/b");
    buffer none("no colon here");
    EXPECT_FALSE(httpd_parse_header(none.data(), &name, &value));
}

TEST(httpd_parse, ContentLengthTakesDigitsOnlyWithinTheCap) {
    long n = -1;
    EXPECT_TRUE(httpd_parse_content_length("0", &n));
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(httpd_parse_content_length(" 4096 ", &n));
    EXPECT_EQ(n, 4096);
    EXPECT_TRUE(httpd_parse_content_length("67108864", &n));
    for (const char *bad : {"", "-1", "+1", "1x", "0x10", "67108865", "99999999999999999999999"}) {
        EXPECT_FALSE(httpd_parse_content_length(bad, &n)) << bad;
    }
}

std::string decoded(const char *text) {
    std::string s = text;
    httpd_url_decode(s.data());
    return s.c_str();
}

TEST(httpd_parse, UrlDecodingTurnsEscapesAndPlusIntoBytes) {
    EXPECT_EQ(decoded("%41+b%2fc%2F"), "A b/c/");
    EXPECT_EQ(decoded("100%"), "100%");
    EXPECT_EQ(decoded("%4"), "%4");
    EXPECT_EQ(decoded("%g1%%41"), "%g1%A");
}

TEST(httpd_parse, PairsSplitInPlace) {
    std::string args = "a=1&b=&=x&c=d=e";
    std::vector<char> buf(args.begin(), args.end());
    buf.resize(buf.size() + 1);
    httpd_pair pairs[8];
    int n = httpd_split_pairs(buf.data(), args.size(), pairs, 8);
    ASSERT_EQ(n, 4);
    EXPECT_STREQ(pairs[1].value, "");
    EXPECT_STREQ(pairs[2].name, "");
    EXPECT_STREQ(pairs[3].name, "c");
    EXPECT_STREQ(pairs[3].value, "d=e");
    EXPECT_EQ(httpd_split_pairs(buf.data(), 0, pairs, 8), 0);
}

TEST(httpd_parse, RandomInputStaysWithinItsBuffer) {
    std::mt19937 rng(1234);
    const char alphabet[] = "GETPOST /?&=%+\r\n:0123456789aAfFzZ\t";
    httpd_pair pairs[HTTPD_PAIRS_MAX];
    for (int round = 0; round < 20000; round++) {
        size_t len = rng() % 300;
        std::vector<char> buf(len + 1);
        for (size_t i = 0; i < len; i++) {
            buf[i] = rng() % 8 == 0 ? static_cast<char>(rng() % 256)
                                    : alphabet[rng() % (sizeof(alphabet) - 1)];
        }
        std::vector<char> copy = buf;
        size_t pos = 0;
        char *line = nullptr;
        while (httpd_take_line(buf.data(), len, &pos, &line) == httpd_line_result::line) {
            bool post;
            char *path, *query, *name, *value;
            std::vector<char> l(line, line + std::strlen(line) + 1);
            httpd_parse_request_line(l.data(), &post, &path, &query);
            if (httpd_parse_header(line, &name, &value)) {
                long n;
                httpd_parse_content_length(value, &n);
            }
        }
        EXPECT_LE(pos, len);
        httpd_split_pairs(copy.data(), len, pairs, HTTPD_PAIRS_MAX);
    }
}

}  // namespace

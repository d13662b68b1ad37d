// Compiled pages: the generated file table, template records, and the
// renderer's tags, loops, limits and piecewise output.
#include <cctype>
#include <cstring>

#include "web_test_support.h"

// ---- tags and loops of the test templates

int test_loop_count(const uint16_t args[3], int index, httpd_request *) {
    return index < args[0] ? 1 : 0;
}

void test_tag_number(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    out->kind = HTTPD_TAG_INT;
    out->number = args[0];
}

void test_tag_cell(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    static char text[64];
    std::snprintf(text, sizeof(text), "c%ur%uk%u", args[0], args[1], args[2]);
    out->kind = HTTPD_TAG_TEXT;
    out->text = text;
}

void test_tag_long(const uint16_t args[3], httpd_tag_out *out, httpd_request *) {
    static std::string text;
    text.assign(args[0], 'x');
    out->kind = HTTPD_TAG_TEXT;
    out->text = text.c_str();
}

void test_tag_empty(const uint16_t[3], httpd_tag_out *out, httpd_request *) {
    out->kind = HTTPD_TAG_TEXT;
    out->text = "";
}

namespace {

using httpd_pages = web_server_fixture;

const httpd_file *find_row(const httpd_file *table, const char *name) {
    for (const httpd_file *row = table; row->name != nullptr; row++) {
        if (std::strcmp(row->name, name) == 0) return row;
    }
    return nullptr;
}

std::string body_of(const std::string &path) {
    return test_parse_response(test_exchange("GET " + path + " HTTP/1.0\r\n\r\n")).body;
}

TEST(httpd_file_table, Has259RowsInOrderAndTheEndRow) {
    int count = 0;
    for (const httpd_file *row = web_file_table; row->name != nullptr; row++, count++) {
        if (count > 0) {
            EXPECT_LT(std::strcmp(row[-1].name, row->name), 0) << row->name;
        }
        ASSERT_NE(row->content, nullptr) << row->name;
    }
    EXPECT_EQ(count, HTTPD_FILE_COUNT);
    const httpd_file &end = web_file_table[HTTPD_FILE_COUNT];
    EXPECT_EQ(end.handler, nullptr);
    EXPECT_EQ(end.content, nullptr);
    EXPECT_EQ(end.flags, 0u);
}

TEST(httpd_file_table, RowsCarryTheirFlagsAndHandlers) {
    EXPECT_EQ(find_row(web_file_table, "")->flags, 0x201u);
    EXPECT_EQ(find_row(web_file_table, "errormsg.htm")->flags, 0x301u);
    EXPECT_EQ(find_row(web_file_table, "fupgrade.cgi")->flags, 0x108001u);
    EXPECT_EQ(find_row(web_file_table, "dxpqsw.cfg")->flags, 0xA4000u);
    EXPECT_EQ(find_row(web_file_table, "tree.js")->flags, 0x202u);
    EXPECT_NE(find_row(web_file_table, "login.cgi")->handler, nullptr);
    EXPECT_EQ(find_row(web_file_table, "system.htm")->handler, nullptr);
    // A form's handler row shows the page that holds the form.
    EXPECT_EQ(find_row(web_file_table, "aging.cgi")->content,
              find_row(web_file_table, "system.htm")->content);
}

TEST(httpd_file_table, ContentLookupWorksLikeARequestPath) {
    uint32_t flags = 0;
    EXPECT_EQ(httpd_file_content_get("/x/ERRORMSG.HTM", &flags),
              find_row(web_file_table, "errormsg.htm")->content);
    EXPECT_EQ(flags, 0x301u);
    EXPECT_EQ(httpd_file_content_get("/", nullptr), find_row(web_file_table, "")->content);
    EXPECT_EQ(httpd_file_content_get("/none.htm", &flags), nullptr);
    EXPECT_EQ(httpd_file_content_get("relative.htm", &flags), nullptr);
    EXPECT_EQ(httpd_file_content_get(nullptr, &flags), nullptr);
    // Every row is found by its name in any case.
    for (const httpd_file *row = web_file_table; row->name != nullptr; row++) {
        std::string upper = std::string("/") + row->name;
        for (char &c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(httpd_file_content_get(upper.c_str(), nullptr), row->content) << row->name;
    }
}

TEST(httpd_file_table, TemplateCompilesIntoLoopAndTagRecords) {
    const httpd_record *page = find_row(web_test_file_table, "loops.htm")->content;
    // "<p>rows</p>\n", loop start, "[", tag $0, ":", loop start, tag $1 $0 7, ",", loop end ...
    EXPECT_EQ(page[0].kind, HTTPD_REC_TEXT);
    EXPECT_EQ(page[1].kind, HTTPD_REC_LOOP);
    EXPECT_EQ(page[1].arg[0], 3);
    EXPECT_EQ(page[3].kind, HTTPD_REC_TAG | HTTPD_REC_ARG0_LEVEL);
    EXPECT_EQ(page[6].kind, HTTPD_REC_TAG | HTTPD_REC_ARG0_LEVEL | HTTPD_REC_ARG1_LEVEL);
    EXPECT_EQ(page[6].arg[0], 1);
    EXPECT_EQ(page[6].arg[1], 0);
    EXPECT_EQ(page[6].arg[2], 7);
    EXPECT_EQ(page[8].kind, HTTPD_REC_LOOP);
    EXPECT_EQ(page[8].ptr.loop, nullptr);
    EXPECT_EQ(page[8].body_count, 3);
    EXPECT_EQ(page[5].body_count, 3);
    EXPECT_EQ(page[10].body_count, 9);  // the outer loop end
    EXPECT_EQ(page[1].body_count, 9);
}

TEST_F(httpd_pages, TemplateRendersLoopsTagsAndLongTexts) {
    std::string raw = test_exchange("GET /loops.htm/b.gif HTTP/1.0\r\n\r\n");
    test_response r = test_parse_response(raw);
    ASSERT_TRUE(r.answered);
    std::string want = "<p>rows</p>\n";
    for (int i = 0; i < 3; i++) {
        want += "[" + std::to_string(i) + ":";
        for (int j = 0; j < 2; j++)
            want += "c" + std::to_string(j) + "r" + std::to_string(i) + "k7,";
        want += "]\n";
    }
    want += "<p>42</p>\n\n" + std::string(3000, 'x') + "|end\n";
    EXPECT_EQ(r.body, want);
    // A dynamic page: no length, not cached.
    EXPECT_FALSE(r.has_header_named("Content-Length"));
    EXPECT_TRUE(r.has_header("Cache-Control: no-cache"));
}

// Hand-made records for what the compiler refuses to produce.
httpd_record text(const char *s, uint8_t extra = 0) {
    httpd_record rec{static_cast<uint8_t>(HTTPD_REC_TEXT | extra),
                     0,
                     {static_cast<uint16_t>(std::strlen(s)), 0, 0},
                     {.text = s}};
    return rec;
}
httpd_record loop_start(uint8_t body, uint16_t count, uint8_t level_bits = 0, uint16_t a1 = 0) {
    return {static_cast<uint8_t>(HTTPD_REC_LOOP | level_bits),
            body,
            {count, a1, 0},
            {.loop = test_loop_count}};
}
httpd_record loop_end(uint8_t body, uint8_t extra = 0) {
    return {static_cast<uint8_t>(HTTPD_REC_LOOP | extra), body, {0, 0, 0}, {.loop = nullptr}};
}
httpd_record tag(httpd_tag_fn fn, uint8_t level_bits, uint16_t a0, uint16_t a1 = 0,
                 uint16_t a2 = 0) {
    return {static_cast<uint8_t>(HTTPD_REC_TAG | level_bits), 0, {a0, a1, a2}, {.tag = fn}};
}

TEST_F(httpd_pages, ThreeNestedLoopsRenderAndAFourthEndsThePage) {
    const httpd_record three[] = {
        loop_start(7, 2),
        loop_start(5, 2),
        loop_start(3, 2),
        tag(test_tag_cell, HTTPD_REC_ARG0_LEVEL | HTTPD_REC_ARG1_LEVEL | HTTPD_REC_ARG2_LEVEL, 0, 1,
            2),
        text(" "),
        loop_end(3),
        loop_end(5),
        loop_end(7),
        text("done", HTTPD_REC_LAST),
    };
    test_raw_content_set(three);
    EXPECT_EQ(body_of("/raw/plus.gif"),
              "c0r0k0 c0r0k1 c0r1k0 c0r1k1 c1r0k0 c1r0k1 c1r1k0 c1r1k1 done");

    const httpd_record four[] = {
        text("a"),
        loop_start(8, 1),
        loop_start(6, 1),
        loop_start(4, 1),
        loop_start(2, 1),
        text("deep"),
        loop_end(2),
        loop_end(4),
        loop_end(6),
        loop_end(8),
        text("z", HTTPD_REC_LAST),
    };
    test_raw_content_set(four);
    EXPECT_EQ(body_of("/raw/plus.gif"), "a");
}

TEST_F(httpd_pages, BadLoopLevelAndStrayLoopEndEndThePage) {
    const httpd_record level[] = {
        text("a"),
        tag(test_tag_number, HTTPD_REC_ARG0_LEVEL, 0),
        text("b", HTTPD_REC_LAST),
    };
    test_raw_content_set(level);
    EXPECT_EQ(body_of("/raw/plus.gif"), "a");

    const httpd_record stray[] = {text("a"), loop_end(1), text("b", HTTPD_REC_LAST)};
    test_raw_content_set(stray);
    EXPECT_EQ(body_of("/raw/plus.gif"), "a");

    const httpd_record loop_level[] = {
        loop_start(2, 2, HTTPD_REC_ARG1_LEVEL, 1),
        text("x"),
        loop_end(2, HTTPD_REC_LAST),
    };
    test_raw_content_set(loop_level);
    EXPECT_EQ(body_of("/raw/plus.gif"), "");
}

TEST_F(httpd_pages, TagTextTooLongToKeepEndsThePage) {
    const httpd_record page[] = {
        text("a"),
        tag(test_tag_long, 0, 6000),
        text("b", HTTPD_REC_LAST),
    };
    test_raw_content_set(page);
    std::string body = body_of("/raw/plus.gif");
    // What fitted into the first send went out; the rest was dropped.
    EXPECT_EQ(body.substr(0, 1), "a");
    EXPECT_LT(body.size(), 1400u);
    EXPECT_EQ(body.find('b'), std::string::npos);
}

TEST_F(httpd_pages, LargeStaticFileGoesOutWholeWithItsLength) {
    static std::string data;
    data.clear();
    for (int i = 0; i < 60000; i++)
        data += static_cast<char>('a' + i % 26);
    const httpd_record page[] = {
        {HTTPD_REC_TEXT | HTTPD_REC_LAST, 0, {60000, 0, 0}, {.text = data.c_str()}},
    };
    test_raw_content_set(page);
    test_response r = test_parse_response(test_exchange("GET /raw/plus.gif HTTP/1.0\r\n\r\n"));
    EXPECT_TRUE(r.has_header("Content-Length: 60000"));
    EXPECT_TRUE(r.has_header("Cache-Control: max-age=2592000"));
    EXPECT_EQ(r.body, data);
}

}  // namespace

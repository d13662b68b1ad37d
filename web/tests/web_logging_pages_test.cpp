// Logging pages through the server: loggers and syslog servers, the log
// view with its page links, the search and the CSV download.
#include <string>

#include "logger.h"
#include "web_page_client.h"

namespace {

class web_logging_pages : public web_server_fixture {
  protected:
    void SetUp() override {
        web_server_fixture::SetUp();
        page_env_once();
        for (int slot = 0; slot < LOGGER_SYSLOG_SLOTS; slot++)
            logger_syslog_remove(slot);
        ram_ = logger_ram_get();
        ASSERT_NE(ram_, nullptr);
    }
    // Only the test's own lines: the pages log nothing at DEBUG.
    void fill(int records) {
        ram_->ops->level_mask_set(1u << LOG_LEVEL_DEBUG | 1u << LOG_LEVEL_ERROR, ram_);
        ram_->ops->clear(ram_);
        for (int i = 1; i <= records; i++) {
            logger_printf(i % 10 == 0 ? LOG_LEVEL_ERROR : LOG_LEVEL_DEBUG,
                          i % 2 == 0 ? LOG_MOD_VLAN : LOG_MOD_PORT, "line %d \"q\" <b>", i);
        }
        ram_->ops->level_mask_set(0, ram_);
    }
    logger *ram_ = nullptr;
};

size_t occurrences(const std::string &body, const std::string &text) {
    size_t n = 0;
    for (size_t pos = body.find(text); pos != std::string::npos; pos = body.find(text, pos + 1))
        n++;
    return n;
}

TEST_F(web_logging_pages, ServersAreAddedListedAndRemovedByExistingRows) {
    EXPECT_TRUE(has(page_post("/logger_add.cgi", "name=a&ip=10.0.0.300&port=514&facility=16"),
                    "Invalid IP address!"));
    for (int i = 0; i < 4; i++) {
        std::string form = "name=s" + std::to_string(i) +
                           "&ip=127.0.0.1&port=" + std::to_string(5140 + i) +
                           "&facility=" + std::to_string(16 + i);
        EXPECT_FALSE(has(page_post("/logger_add.cgi", form), "Failed")) << i;
    }
    EXPECT_TRUE(has(page_post("/logger_add.cgi", "name=s4&ip=127.0.0.1&port=514&facility=16"),
                    "Failed to add server!"));
    test_response list = page_get("/loggers.htm");
    EXPECT_EQ(occurrences(list.body, "class=\"target server\""), 4u);
    EXPECT_TRUE(has(list, "<td>127.0.0.1</td><td>5143</td><td>local3</td>"));
    EXPECT_FALSE(has(list, "Add Syslog Server"));

    // Rows past the last server remove nothing and say so; a server row
    // removes that server.
    int base = logger_flash_get() != nullptr ? 1 : 0;
    EXPECT_TRUE(has(page_get("/logger_del.cgi?row=" + std::to_string(base + 5)),
                    "Row " + std::to_string(base + 5) + " is no syslog server: nothing removed"));
    EXPECT_TRUE(has(page_get("/logger_del.cgi?row=" + std::to_string(base)), "nothing removed"));
    EXPECT_EQ(occurrences(page_get("/loggers.htm").body, "class=\"target server\""), 4u);
    page_get("/logger_del.cgi?row=" + std::to_string(base + 2));
    list = page_get("/loggers.htm");
    EXPECT_EQ(occurrences(list.body, "class=\"target server\""), 3u);
    EXPECT_FALSE(has(list, ">s1<"));
    EXPECT_TRUE(has(list, "Add Syslog Server"));
}

TEST_F(web_logging_pages, LevelMasksAreSetInTargetOrder) {
    ASSERT_GE(logger_syslog_add("x", "127.0.0.1", 514, 16), 0);
    logger *console = logger_console_get();
    std::string form = "m0=1&m1=3";
    if (logger_flash_get() != nullptr) form += "&m2=2";
    page_post("/logger_set.cgi", form + "&m3=9");
    EXPECT_EQ(ram_->ops->level_mask_get(ram_), 1u);
    logger *server = logger_syslog_get(0, nullptr);
    EXPECT_EQ(server->ops->level_mask_get(server), 9u);
    // A value that is not a number changes nothing.
    page_post("/logger_set.cgi", "m0=7&m1=zz");
    EXPECT_EQ(ram_->ops->level_mask_get(ram_), 1u);
    test_response list = page_get("/loggers.htm");
    EXPECT_TRUE(has(list, "<td>x</td>"));
    console->ops->level_mask_set(LOGGER_CONSOLE_DEFAULT_MASK, console);
}

TEST_F(web_logging_pages, LogViewPagesNewestFirst) {
    fill(120);
    test_response p1 = page_get("/logview.htm?target=0&page=0");
    EXPECT_TRUE(has(p1, "Page 1 of 3"));
    EXPECT_TRUE(has(p1, "<td>1</td><td>ERROR</td><td>VLAN</td>"));
    EXPECT_TRUE(has(p1, "line 120 &quot;q&quot; &lt;b&gt;"));
    EXPECT_EQ(occurrences(p1.body, "<tr><td>"), 50u);
    test_response last = page_get("/logview.htm?target=0&page=5");
    EXPECT_TRUE(has(last, "Page 3 of 3"));
    EXPECT_EQ(occurrences(last.body, "<tr><td>"), 20u);
    EXPECT_TRUE(has(last, "line 1 &quot;"));
    EXPECT_FALSE(has(page_get("/logview.htm?target=0&page=x"), "Page "));
    EXPECT_TRUE(has(page_get("/logview.htm?target=0"), "Logging"));
}

TEST_F(web_logging_pages, PageLinksSkipFarPages) {
    ram_->ops->level_mask_set(1u << LOG_LEVEL_DEBUG, ram_);
    ram_->ops->clear(ram_);
    for (int i = 0; i < 11 * 50 && i < LOGGER_RAM_RECORDS; i++)
        logger_printf(LOG_LEVEL_DEBUG, LOG_MOD_PORT, "x");
    ram_->ops->level_mask_set(0, ram_);
    test_response r = page_get("/logview.htm?target=0&page=6");
    EXPECT_TRUE(has(r, "Page 6 of 11"));
    std::string links = r.body.substr(r.body.find("<span id=\"links\">"));
    links = links.substr(0, links.find("</span>"));
    auto link = [](int p) {
        return "<a href=\"logview.htm?target=0&page=" + std::to_string(p) + "\">" +
               std::to_string(p) + "</a>";
    };
    std::string want = "<span id=\"links\">" + link(1) + ",&nbsp;" + link(2) + ",&nbsp;" + link(3) +
                       "&nbsp;...&nbsp;" + link(5) + ",&nbsp;6,&nbsp;" + link(7) +
                       "&nbsp;...&nbsp;" + link(9) + ",&nbsp;" + link(10) + ",&nbsp;" + link(11);
    EXPECT_EQ(links, want);
}

TEST_F(web_logging_pages, SearchAndCsvFilterByLevelAndModule) {
    fill(40);
    test_response errors = page_get("/logresult.cgi?module=-1&mask=0x1&ring=0");
    EXPECT_EQ(occurrences(errors.body, "<td>ERROR</td>"), 4u);
    EXPECT_EQ(occurrences(errors.body, "<td>DEBUG</td>"), 0u);
    EXPECT_LT(errors.body.find("line 40 "), errors.body.find("line 30 "));
    test_response port = page_get("/logresult.cgi?module=48&mask=15&ring=0");
    EXPECT_EQ(occurrences(port.body, "<td>PORT</td>"), 20u);
    EXPECT_EQ(occurrences(port.body, "<td>VLAN</td>"), 0u);

    test_response csv = page_get("/events.csv?module=-1&mask=1&ring=0");
    EXPECT_TRUE(csv.has_header("Content-Disposition: attachment; filename=\"events.csv\""));
    ASSERT_EQ(csv.body.rfind("Index, Level , Category ,    Time    , Message \r\n", 0), 0u);
    EXPECT_NE(csv.body.find(",ERROR,VLAN,\""), std::string::npos);
    EXPECT_NE(csv.body.find(",\"line 40 \"\"q\"\" <b>\"\r\n"), std::string::npos) << csv.body;
    EXPECT_EQ(csv.body.substr(csv.body.size() - 4), "\r\n\r\n");
    EXPECT_EQ(occurrences(csv.body, "\r\n"), 1u + 4u + 1u);
}

TEST_F(web_logging_pages, ClearEmptiesTheRing) {
    fill(5);
    // A log the switch does not keep clears nothing and says so.
    EXPECT_TRUE(has(page_get("/logger_clr.cgi?ring=7"), "No such log: nothing cleared"));
    uint32_t first = 0;
    EXPECT_EQ(ram_->ops->count(&first, ram_), 5);
    page_get("/logger_clr.cgi?ring=0");
    EXPECT_EQ(ram_->ops->count(&first, ram_), 0);
    EXPECT_TRUE(has(page_get("/logview.htm?target=0&page=1"), "Page 1 of 1"));
}

}  // namespace

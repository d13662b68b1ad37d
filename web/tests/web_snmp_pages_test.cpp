// The SNMP pages through the server: engine ID, groups, users, communities,
// trap stations and notifications change the configuration tables and the
// saved item "snmp", and refuse bad input with the error page.
#include <unistd.h>

#include <cstring>
#include <string>

#include "nvram.h"
#include "sal_host.h"
#include "settings.h"
#include "snmp_agent.h"
#include "snmpcfg.h"
#include "web_page_client.h"

namespace {

class web_snmp_pages : public web_server_fixture {
  protected:
    void SetUp() override {
        web_server_fixture::SetUp();
        page_env_once();
        static bool agent = [] {
            settings_item_handler_set("snmp", snmpcfg_item);
            nvram_set("et1macaddr", "00:10:18:aa:bb:cc");
            sal_host_port_offset_set(10000 + static_cast<int>(getpid() % 1700) * 12 + 8);
            return snmp_agent_start() == 0;
        }();
        ASSERT_TRUE(agent);
        snmpcfg_init();
    }
    static std::string saved() {
        const char *v = nvram_get("snmp");
        return v != nullptr ? v : "";
    }
    // The error page's message, "" when the answer is no error page.
    static std::string error_of(const test_response &r) {
        const std::string open = "<p id=\"error_message\"><b>";
        size_t at = r.body.find(open);
        if (at == std::string::npos) return "";
        at += open.size();
        return r.body.substr(at, r.body.find("</b>", at) - at);
    }
    static std::string error_post(const std::string &path, const std::string &form) {
        return error_of(page_post(path, form));
    }
    static void group(const std::string &name, int ver, bool auth = false) {
        std::string form = "snmp_group_name=" + name + "&snmp_ver=" + std::to_string(ver) +
                           "&read_state=en" + (auth ? "&auth_state=en" : "");
        ASSERT_EQ(error_post("/snmp_group_new.cgi", form), "") << name;
    }
    static void user(const std::string &name, int group_slot, const std::string &extra = "") {
        ASSERT_EQ(error_post("/snmp_user_new.cgi", "snmp_user_name=" + name + "&snmp_group_name=" +
                                                       std::to_string(group_slot) + extra),
                  "")
            << name;
    }
};

bool has(const test_response &r, const std::string &text) {
    return r.body.find(text) != std::string::npos;
}

TEST_F(web_snmp_pages, EngineIdIsUserTextOrTheMacAndBadTextIsRefused) {
    const snmpcfg_tables &t = snmpcfg();
    std::string before = saved();
    EXPECT_EQ(error_post("/snmp_id.cgi", "select_type=1&engine_id=ABCDEFG"),
              "Non hex character in the input string.");
    EXPECT_EQ(error_post("/snmp_id.cgi", "select_type=1&engine_id=abc"),
              "Odd number of hex digits in the input string.");
    EXPECT_EQ(error_post("/snmp_id.cgi", "select_type=1&engine_id=" + std::string(56, 'a')),
              "Exceed max engineID length.");
    EXPECT_EQ(error_post("/snmp_id.cgi", "select_type=0&engine_id=" + std::string(57, 'a')),
              "Exceed max engineID length.");
    EXPECT_EQ(saved(), before);

    test_response r = page_post("/snmp_id.cgi", "select_type=1&engine_id=0a0B0c");
    EXPECT_EQ(error_of(r), "");
    ASSERT_EQ(t.engine_id_len, 8);
    EXPECT_EQ(std::memcmp(t.engine_id, "\x80\x00\x07\xe5\x04\x0a\x0b\x0c", 8), 0);
    EXPECT_TRUE(has(r, "value=\"0a0b0c\"")) << r.body;
    EXPECT_TRUE(has(r, "value=\"1\" checked>")) << r.body;
    EXPECT_NE(saved(), before);

    // Default mode ignores the posted text: the suffix is the MAC address.
    r = page_post("/snmp_id.cgi", "select_type=0&engine_id=ABCDEFG");
    EXPECT_EQ(error_of(r), "");
    ASSERT_EQ(t.engine_id_len, 11);
    EXPECT_EQ(std::memcmp(t.engine_id + 5, "\x00\x10\x18\xaa\xbb\xcc", 6), 0);
    EXPECT_TRUE(has(r, "value=\"0\" checked>"));
    EXPECT_TRUE(has(r, "<span id=\"mac\">001018aabbcc</span>"));
}

TEST_F(web_snmp_pages, GroupsAreCreatedListedPagedAndRefused) {
    const snmpcfg_tables &t = snmpcfg();
    std::string before = saved();
    group("readers", 1);
    ASSERT_EQ(t.group_count, 1);
    EXPECT_STREQ(t.groups[0].name, "readers");
    EXPECT_EQ(t.groups[0].model, 2);
    EXPECT_EQ(t.groups[0].read, 1);
    EXPECT_EQ(t.groups[0].write, 0);
    EXPECT_NE(saved(), before);

    const std::string g33(33, 'g');
    group(g33, 2, true);
    EXPECT_EQ(t.groups[1].level, 2);
    EXPECT_EQ(error_post("/snmp_group_new.cgi", "snmp_group_name=" + g33 + "x&snmp_ver=0"),
              "Exceed max group name length.");
    EXPECT_EQ(error_post("/snmp_group_new.cgi", "snmp_ver=0&snmp_group_name=readers"),
              "Group name already exist in the list.");
    EXPECT_EQ(error_post("/snmp_group_new.cgi", "snmp_group_name=&snmp_ver=0"),
              "Group Name not entered.");
    EXPECT_EQ(error_post("/snmp_group_new.cgi", "snmp_group_name=x"), "SNMP Version not selected.");
    // SNMPv1 and SNMPv2c groups never authenticate.
    group("v1auth", 0, true);
    EXPECT_EQ(t.groups[2].level, 1);
    for (int i = 3; i < SNMPCFG_SLOTS; i++)
        group("g" + std::to_string(i), 2);
    EXPECT_EQ(error_post("/snmp_group_new.cgi", ""), "Created Group Exceed Max. Number.");
    EXPECT_EQ(t.group_count, SNMPCFG_SLOTS);
    EXPECT_EQ(error_post("/showgroup.cgi", "port=0"), "Number of Group exceeds MAXIMUM");

    test_response list = page_get("/snmp_group_list.htm");
    EXPECT_TRUE(has(list, "<td>readers</td><td>SNMPv2c</td><td>Disabled</td><td>R </td>"));
    EXPECT_TRUE(has(list, "<td>" + g33 + "</td><td>SNMPv3</td><td>Enabled</td>"));
    EXPECT_FALSE(has(list, "<td>g5</td>"));
    EXPECT_TRUE(has(list,
                    "id=\"prev\" value=\"Previous Page\" "
                    "onclick=\"this.form.pagemode.value=0\" disabled>"));
    test_response next = page_post("/pagegroup.cgi", "curpage=0&pagemode=1");
    EXPECT_TRUE(has(next, "<td>g5</td>"));
    EXPECT_FALSE(has(next, "<td>readers</td>"));
    EXPECT_TRUE(has(next, "value=\"Next Page\" onclick=\"this.form.pagemode.value=1\" disabled>"));
}

}  // namespace

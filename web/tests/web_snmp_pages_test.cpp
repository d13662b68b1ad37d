// The SNMP pages through the server: engine ID, groups, users, communities,
// trap stations and notifications change the configuration tables and the
// saved item "snmp", and refuse bad input with the error page.
#include <unistd.h>

#include <cstring>
#include <string>

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include "../../host/tests/shell_out.h"
#include "../../host/tests/test_ports.h"
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
            sal_host_port_offset_set(switchfw_child::free_port_offset());
            return snmp_agent_start() == 0;
        }();
        ASSERT_TRUE(agent);
        snmpcfg_init();
    }
    static std::string saved() {
        const char *v = nvram_get("snmp");
        return v != nullptr ? v : "";
    }
    static std::string error_post(const std::string &path, const std::string &form) {
        return test_error_message(page_post(path, form));
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

// How many access, view, group and USM user entries the agent holds.
struct AgentEntries {
    int access = 0, views = 0, groups = 0, users = 0;
    bool operator==(const AgentEntries &) const = default;
};

AgentEntries agent_entries() {
    AgentEntries n;
    snmp_agent_lock();
    vacm_scanAccessInit();
    while (vacm_scanAccessNext() != nullptr)
        n.access++;
    vacm_scanViewInit();
    while (vacm_scanViewNext() != nullptr)
        n.views++;
    vacm_scanGroupInit();
    while (vacm_scanGroupNext() != nullptr)
        n.groups++;
    for (struct usmUser *u = usm_get_userList(); u != nullptr; u = u->next)
        n.users++;
    snmp_agent_unlock();
    return n;
}

void PrintTo(const AgentEntries &n, std::ostream *os) {
    *os << n.access << " access, " << n.views << " views, " << n.groups << " groups, " << n.users
        << " users";
}

// Runs a client of Debian's SNMP tools against the agent; its output.
std::string snmp_tool(const std::string &args) {
    return system_fixture::sh_out(args + " 127.0.0.1:" + std::to_string(sal_host_port(161)) +
                                  " .1.3.6.1.2.1.1.5.0 2>&1");
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
    EXPECT_EQ(test_error_message(r), "");
    ASSERT_EQ(t.engine_id_len, 8);
    EXPECT_EQ(std::memcmp(t.engine_id, "\x80\x00\x07\xe5\x04\x0a\x0b\x0c", 8), 0);
    EXPECT_TRUE(has(r, "value=\"0a0b0c\"")) << r.body;
    EXPECT_TRUE(has(r, "value=\"1\" checked>")) << r.body;
    EXPECT_NE(saved(), before);

    // Default mode ignores the posted text: the suffix is the MAC address.
    r = page_post("/snmp_id.cgi", "select_type=0&engine_id=ABCDEFG");
    EXPECT_EQ(test_error_message(r), "");
    ASSERT_EQ(t.engine_id_len, 11);
    EXPECT_EQ(std::memcmp(t.engine_id + 5, "\x00\x10\x18\xaa\xbb\xcc", 6), 0);
    EXPECT_TRUE(has(r, "value=\"0\" checked>"));
    EXPECT_TRUE(has(r, "<span id=\"mac\">001018aabbcc</span>"));
}

TEST_F(web_snmp_pages, RepeatedFormsReplaceTheAgentsEntries) {
    group("ro", 1);
    group("rw", 2, true);
    user("ro_user", 0);
    user("rw_user", 1, "&auth_key=12345678");
    ASSERT_EQ(error_post("/snmp_community_new.cgi",
                         "snmp_community_name=c&snmp_community_ip=0.0.0.0&snmp_group_name=0"),
              "");
    const AgentEntries first = agent_entries();
    EXPECT_EQ(first.access, 2);
    for (int i = 0; i < 100; i++) {
        ASSERT_EQ(error_post("/snmp_id.cgi",
                             i % 2 ? "select_type=1&engine_id=0a0b" : "select_type=0&engine_id="),
                  "");
        page_post("/showgroup.cgi", "port=1");
        ASSERT_EQ(error_post("/editgroup.cgi", "snmp_group_name=ro&snmp_ver=1&read_state=en"), "");
        page_post("/showuser.cgi", "user_page=1");
        ASSERT_EQ(error_post("/edituser.cgi", "snmp_user_name=ro_user&snmp_group_name=0"), "");
    }
    EXPECT_EQ(agent_entries(), first);
    // The community is still accepted through its group's user.
    std::string get =
        "snmpget -v2c -On -r 1 -t 2 -c c 127.0.0.1:" + std::to_string(sal_host_port(161)) +
        " .1.3.6.1.2.1.1.5.0 2>&1";
    FILE *p = popen(get.c_str(), "r");
    char out[256] = "";
    ASSERT_NE(p, nullptr);
    size_t n = fread(out, 1, sizeof out - 1, p);
    pclose(p);
    EXPECT_EQ(std::string(out, n).find(".1.3.6.1.2.1.1.5.0 = "), 0u) << out;
}

TEST_F(web_snmp_pages, NamesAndKeysThatWouldSplitTheAgentsLinesAreRefused) {
    const snmpcfg_tables &t = snmpcfg();
    EXPECT_EQ(error_post("/snmp_group_new.cgi", "snmp_group_name=a%20b&snmp_ver=2"),
              "Invalid character in group name.");
    group("plain", 2);
    group("ro", 1);
    std::string before = saved();
    struct Bad {
        const char *path, *form, *message;
    } bad[] = {
        {"/snmp_user_new.cgi", "snmp_user_name=eve%20MD5%20evesecretpw&snmp_group_name=0",
         "Invalid character in user name."},
        {"/snmp_user_new.cgi", "snmp_user_name=eve%22&snmp_group_name=0",
         "Invalid character in user name."},
        {"/snmp_user_new.cgi", "snmp_user_name=eve%0a&snmp_group_name=0",
         "Invalid character in user name."},
        {"/snmp_user_new.cgi",
         "snmp_user_name=eve&snmp_group_name=0&auth_type=1&auth_key=abc%20defgh",
         "Invalid character in auth key."},
        {"/snmp_community_new.cgi",
         "snmp_community_name=pu'b&snmp_community_ip=0.0.0.0&snmp_group_name=0",
         "Invalid character in community string."},
        {"/snmp_community_new.cgi",
         "snmp_community_name=pub&snmp_community_ip=0.0.0.0%09x&snmp_group_name=0",
         "Invalid IP format."},
        {"/snmp_trap_new.cgi", "snmp_trap_ip=10.0.0.9&snmp_trap_cstring=a%20b",
         "Invalid character in community string."},
    };
    for (const Bad &b : bad)
        EXPECT_EQ(error_post(b.path, b.form), b.message) << b.form;
    EXPECT_EQ(t.user_count, 0);
    EXPECT_EQ(saved(), before);

    // A stored user with such a name (not from the pages) is not applied:
    // it does not become an MD5 user "eve".
    snmpcfg_user eve{.index = 0,
                     .name = "eve MD5 evesecretpw",
                     .group = 0,
                     .model = 3,
                     .auth = 0,
                     .password = "",
                     .engine_id = {},
                     .engine_id_len = 0};
    int slot = -1;
    ASSERT_EQ(snmpcfg_user_add(&eve, &slot), 0);
    EXPECT_EQ(snmpcfg_user_apply(slot), -1);
    const std::string v3 = "snmpget -v3 -On -r 1 -t 2 -l authNoPriv -u eve -a MD5 -A evesecretpw";
    EXPECT_EQ(snmp_tool(v3).find(".1.3.6.1.2.1.1.5.0 = "), std::string::npos);
    // A sound user of the same group is applied and answers.
    user("eve", 0, "&auth_type=1&auth_key=evesecretpw");
    EXPECT_EQ(snmp_tool(v3).find(".1.3.6.1.2.1.1.5.0 = "), 0u);
    snmpcfg_community quoted{
        .index = 0, .community = "pub\"", .group = 1, .word2 = 0, .source = "default"};
    ASSERT_EQ(snmpcfg_community_add(&quoted, &slot), 0);
    EXPECT_EQ(snmpcfg_community_apply(slot), -1);
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

TEST_F(web_snmp_pages, EditingAndDeletingGroupsKeepTheCommunityGroupsRight) {
    const snmpcfg_tables &t = snmpcfg();
    group("old", 0);
    group("mid", 1);
    group("last", 1);
    user("umid", 1);
    user("ulast", 2);
    ASSERT_EQ(error_post("/snmp_community_new.cgi",
                         "snmp_community_name=cmid&snmp_community_ip=0.0.0.0&snmp_group_name=1"),
              "");
    ASSERT_EQ(error_post("/snmp_community_new.cgi",
                         "snmp_community_name=clast&snmp_community_ip=10.1.1.1&snmp_group_name=2"),
              "");
    EXPECT_EQ(t.communities[1].group, 2);

    // The creation page answers the blank selector entry; the edit page
    // shows group 1 and acts on it.
    EXPECT_TRUE(has(page_post("/showgroup.cgi", "port=0"), "<h2>Create SNMP Group</h2>"));
    test_response shown = page_post("/showgroup.cgi", "port=1");
    EXPECT_TRUE(has(shown, "name=\"snmp_group_name\" size=\"34\" maxlength=\"33\" value=\"old\""));
    test_response edited =
        page_post("/editgroup.cgi", "snmp_group_name=old3&snmp_ver=2&auth_state=en");
    EXPECT_EQ(test_error_message(edited), "");
    EXPECT_EQ(t.groups[0].model, 3);
    EXPECT_EQ(t.groups[0].level, 2);
    // Only SNMPv1/SNMPv2c groups serve communities, each still by its slot.
    ASSERT_EQ(t.v1v2group_count, 2);
    EXPECT_EQ(t.v1v2groups[0].group, 1);
    EXPECT_EQ(t.v1v2groups[1].group, 2);
    test_response form = page_get("/snmp_community_new.htm");
    EXPECT_FALSE(has(form, ">old3<"));
    EXPECT_TRUE(has(form, "<option value=\"1\">last</option>"));

    // Deleting "mid" takes its user and community; the later ones move down.
    page_post("/showgroup.cgi", "port=2");
    EXPECT_EQ(error_post("/delgroup.cgi", ""), "");
    ASSERT_EQ(t.group_count, 2);
    ASSERT_EQ(t.user_count, 1);
    EXPECT_STREQ(t.users[0].name, "ulast");
    EXPECT_EQ(t.users[0].group, 1);
    ASSERT_EQ(t.community_count, 1);
    EXPECT_STREQ(t.communities[0].community, "clast");
    EXPECT_EQ(t.communities[0].group, 1);
    ASSERT_EQ(t.v1v2group_count, 1);
    EXPECT_EQ(t.v1v2groups[0].group, 1);
}

TEST_F(web_snmp_pages, UsersNeedAGroupAndAnEightCharacterKey) {
    const snmpcfg_tables &t = snmpcfg();
    EXPECT_TRUE(has(page_get("/snmp_user_new.htm"), "id=\"create\" value=\" Create \" disabled>"));
    group("plain", 1);
    group("secure", 2, true);
    EXPECT_EQ(error_post("/snmp_user_new.cgi", "snmp_user_name=a&snmp_group_name=1"),
              "Missing Auth Key.");
    EXPECT_EQ(
        error_post("/snmp_user_new.cgi", "snmp_user_name=a&snmp_group_name=1&auth_key=1234567"),
        "Auth Key length is below required.(Min. 8 characters)");
    EXPECT_EQ(error_post("/snmp_user_new.cgi", "snmp_user_name=a&snmp_group_name=7"),
              "Group not selected.");
    user("a", 1, "&auth_key=12345678");
    EXPECT_EQ(t.users[0].auth, 1);
    EXPECT_EQ(t.users[0].model, 3);
    EXPECT_STREQ(t.users[0].password, "12345678");
    EXPECT_EQ(t.users[0].engine_id_len, t.engine_id_len);
    EXPECT_EQ(error_post("/snmp_user_new.cgi", "snmp_user_name=a&snmp_group_name=0"),
              "User name already exist in the list.");
    EXPECT_EQ(error_post("/snmp_user_new.cgi",
                         "snmp_user_name=" + std::string(34, 'u') + "&snmp_group_name=0"),
              "Exceed max user name length.");

    // Choosing a group brings the form back with the typed name; an
    // authenticating group fixes MD5 and asks for the key.
    test_response back = page_post("/user_param.cgi", "snmp_group_name=1&snmp_user_name=bob");
    EXPECT_TRUE(has(back, "value=\"bob\""));
    EXPECT_TRUE(has(back, "<option value=\"1\" selected>secure</option>"));
    EXPECT_TRUE(has(back, "<select name=\"auth_type\" disabled>"));
    EXPECT_TRUE(has(back, "<option value=\"1\" selected>MD5</option>"));

    // Editing with a protocol needs the old key.
    page_post("/showuser.cgi", "user_page=1");
    EXPECT_EQ(error_post("/edituser.cgi", "snmp_user_name=a&snmp_group_name=1&new_key=abcdefgh"),
              "Missing Old Auth Key.");
    EXPECT_EQ(error_post("/edituser.cgi",
                         "snmp_user_name=a&snmp_group_name=1&old_key=wrong&new_key=abcdefgh"),
              "Old Auth Key is Incorrect.");
    EXPECT_EQ(error_post("/edituser.cgi",
                         "snmp_user_name=a2&snmp_group_name=1&old_key=12345678&new_key=abcdefgh"),
              "");
    EXPECT_STREQ(t.users[0].name, "a2");
    EXPECT_STREQ(t.users[0].password, "abcdefgh");
    EXPECT_TRUE(has(page_get("/snmp_user_list.htm"),
                    "<td>a2</td><td>secure</td><td>SNMPv3</td><td>MD5</td>"));
    // An SHA user (a restored file's) is shown as SHA and an edit keeps it.
    const_cast<snmpcfg_user &>(t.users[0]).auth = 2;
    EXPECT_TRUE(has(page_post("/showuser.cgi", "user_page=1"),
                    "<option value=\"2\" selected>SHA (running)</option>"));
    EXPECT_EQ(error_post("/edituser.cgi",
                         "snmp_user_name=a2&snmp_group_name=1&old_key=abcdefgh&new_key=abcdefgh"),
              "");
    EXPECT_EQ(t.users[0].auth, 2);
    EXPECT_TRUE(has(page_get("/snmp_user_list.htm"), "<td>SNMPv3</td><td>SHA</td>"));
    EXPECT_EQ(error_post("/deluser.cgi", "id=1"), "");
    EXPECT_EQ(t.user_count, 0);
}

TEST_F(web_snmp_pages, CommunitiesTrapStationsAndNotificationsRefuseBadInput) {
    const snmpcfg_tables &t = snmpcfg();
    group("v3only", 2);
    EXPECT_TRUE(has(page_get("/snmp_community_new.htm"), "value=\" Create \" disabled>"));
    group("ro", 1);
    EXPECT_EQ(error_post("/snmp_community_new.cgi",
                         "snmp_community_name=c&snmp_community_ip=0.0.0.0&snmp_group_name=0"),
              "No User defined in the Group.");
    user("ro_user", 1);
    EXPECT_EQ(error_post("/snmp_community_new.cgi",
                         "snmp_community_name=c&snmp_community_ip=10.0.0.256&snmp_group_name=0"),
              "Invalid IP format.");
    EXPECT_EQ(error_post("/snmp_community_new.cgi",
                         "snmp_community_name=c&snmp_community_ip=10.0.0.1&snmp_group_name=0"),
              "");
    EXPECT_EQ(error_post("/snmp_community_new.cgi",
                         "snmp_community_name=c&snmp_community_ip=10.0.0.1&snmp_group_name=0"),
              "Community string already exist in the list.");
    EXPECT_EQ(t.community_count, 1);
    page_post("/showcommunity.cgi", "user_page=1");
    EXPECT_EQ(error_post("/editcommunity.cgi",
                         "snmp_community_name=c2&snmp_community_ip=10.0.0.2&snmp_group_name=0"),
              "");
    EXPECT_STREQ(t.communities[0].community, "c2");
    EXPECT_STREQ(t.communities[0].source, "10.0.0.2");
    // A factory community for every station shows the form's 0.0.0.0.
    snmpcfg_community any{
        .index = 0, .community = "any", .group = 1, .word2 = 0, .source = "default"};
    ASSERT_EQ(snmpcfg_community_add(&any, nullptr), 0);
    EXPECT_TRUE(has(page_get("/snmp_community_list.htm"), "<td>any</td><td>0.0.0.0</td>"));

    test_response r =
        page_post("/snmp_trap_new.cgi", "snmp_trap_ip=192.168.1.300&snmp_trap_cstring=x");
    EXPECT_EQ(test_error_message(r), "Invalid IP format.");
    EXPECT_TRUE(has(r, "Create SNMP Trap Station"));
    EXPECT_EQ(error_post("/snmp_trap_new.cgi",
                         "snmp_trap_ip=10.0.0.9&snmp_trap_cstring=" + std::string(34, 'c')),
              "Exceed max community length.");
    EXPECT_EQ(error_post("/snmp_trap_new.cgi", "snmp_trap_ip=10.0.0.9&snmp_trap_cstring=<pub>"),
              "");
    ASSERT_EQ(t.trap_count, 1);
    EXPECT_TRUE(has(page_get("/snmp_trap_list.htm"), "<td>10.0.0.9</td><td>&lt;pub&gt;</td>"));
    page_post("/showtrap.cgi", "trap_page=1");
    EXPECT_EQ(error_post("/edittrap.cgi", "snmp_trap_ip=10.0.0.8&snmp_trap_cstring=pub"), "");
    EXPECT_STREQ(t.traps[0].host, "10.0.0.8");
    EXPECT_EQ(error_post("/deltrap.cgi", ""), "");
    EXPECT_EQ(t.trap_count, 0);

    // The same switches save nothing; a box left out turns its switch off.
    std::string before = saved();
    page_post("/snmp_notify.cgi", "notify1=1&notify2=1");
    EXPECT_EQ(saved(), before);
    page_post("/snmp_notify.cgi", "notify1=1");
    EXPECT_EQ(t.traps_enabled, 1);
    EXPECT_EQ(t.authtraps_enabled, 0);
    EXPECT_NE(saved(), before);
    test_response list = page_get("/snmp_trap_list.htm");
    EXPECT_TRUE(has(list, "name=\"notify1\" value=\"1\" checked>"));
    EXPECT_TRUE(has(list, "name=\"notify2\" value=\"1\" >"));
}

}  // namespace

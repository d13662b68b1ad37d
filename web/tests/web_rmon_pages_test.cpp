// The RMON-lite pages through HTTP over the probe on a 26-port board: the
// forms create, change and delete rows (read back through the probe) and
// save "rmon"; the views show the probe's values; bad input changes nothing.
#include <cstring>
#include <string>
#include <vector>

#include "../../snmp/tests/rmon_probe_fixture.h"
#include "sim/board.h"
#include "switch_pages_fixture.h"

namespace {

struct Read {
    int error = -1;
    uint8_t type = 0;
    uint16_t length = 0;
    uint8_t bytes[256] = {};
    uint32_t u32() const {
        uint32_t v;
        std::memcpy(&v, bytes, 4);
        return v;
    }
    std::string text() const { return {reinterpret_cast<const char *>(bytes), length}; }
};

Read probe(uint32_t group, uint32_t table, uint32_t column, std::vector<uint32_t> index) {
    Read r;
    std::vector<rmon_oid_t> oid = {1, 3, 6, 1, 2, 1, 16, group, table, 1, column};
    oid.insert(oid.end(), index.begin(), index.end());
    oid.resize(16);
    uint16_t len = static_cast<uint16_t>(11 + index.size());
    oid_val v{.type = 0, .length = sizeof r.bytes, .value = r.bytes};
    rmonp_var_get(group, table, column - 1, oid.data(), &len, &v, 1, &r.error);
    r.type = v.type;
    r.length = v.length;
    return r;
}

class web_rmon_pages : public switch_pages_test::SwitchPages {
  protected:
    void SetUp() override {
        SwitchPages::SetUp();
        board->chip().poke("SWMODE", 0, 0x03);
        settings_item_handler_set("rmon", rmon_settings_item);
        rmon_test::probe_start();
    }
    void TearDown() override {
        rmon_test::probe_stop();
        SwitchPages::TearDown();
    }
    // Creates a row through the form; the index from its hidden field.
    int create(const char *path) {
        test_response r = post(path, "");
        EXPECT_EQ(error_of(r), "");
        size_t at = r.body.find("name=\"ctrl_id\" value=\"");
        if (at == std::string::npos) return 0;
        return std::atoi(r.body.c_str() + at + 22);
    }
};

constexpr char kAlarmForm[] =
    "&input_interval=30&sel_var_interface=5&sel_alarm_var=3&sel_alarm_sample_type=2"
    "&sel_alarm_startup=3&input_alarm_rising_threshold=100&input_alarm_falling_threshold=-5"
    "&sel_rising_event=0&sel_falling_event=0&input_owner=ops";

TEST_F(web_rmon_pages, AlarmsAreCreatedChangedListedAndDeleted) {
    test_response first = post("/rmonlite_alarm_create.cgi", "");
    EXPECT_TRUE(has(first, "Create New Alarm")) << first.body;
    EXPECT_EQ(probe(3, 1, 12, {1}).u32(), RMON_UNDER_CREATION);
    EXPECT_EQ(create("/rmonlite_alarm_create.cgi"), 2);
    EXPECT_EQ(create("/rmonlite_alarm_create.cgi"), 3);
    EXPECT_EQ(create("/rmonlite_alarm_create.cgi"), 4);
    EXPECT_EQ(error_of(post("/rmonlite_alarm_delete.cgi", "id=3")), "");
    EXPECT_EQ(probe(3, 1, 12, {3}).error, RMON_NO_SUCH_NAME);
    EXPECT_EQ(create("/rmonlite_alarm_create.cgi"), 3);  // the lowest free index

    std::string before = saved("rmon");
    test_response r = post("/rmonlite_alarm_modify.cgi", std::string("ctrl_id=3") + kAlarmForm);
    EXPECT_EQ(error_of(r), "");
    EXPECT_TRUE(has(r, "Modify, Index 03")) << r.body;
    EXPECT_TRUE(has(r, "name=\"input_alarm_falling_threshold\" value=\"-5\""));
    EXPECT_EQ(probe(3, 1, 12, {3}).u32(), RMON_VALID);
    EXPECT_EQ(probe(3, 1, 2, {3}).u32(), 30u);
    Read var = probe(3, 1, 3, {3});
    ASSERT_EQ(var.length, 12);
    uint32_t subs[12];
    std::memcpy(subs, var.bytes, sizeof subs);
    EXPECT_EQ(subs[10], 5u);  // variable 3 + 2: etherStatsPkts
    EXPECT_EQ(subs[11], 5u);
    EXPECT_EQ(probe(3, 1, 4, {3}).u32(), 2u);
    EXPECT_EQ(static_cast<int32_t>(probe(3, 1, 8, {3}).u32()), -5);
    EXPECT_EQ(probe(3, 1, 11, {3}).text(), "ops");
    EXPECT_TRUE(logged("Alarm index=3, entry modified!"));
    EXPECT_NE(saved("rmon"), before);

    // Port 0 leaves the variable as it was; the other columns change.
    EXPECT_EQ(error_of(post("/rmonlite_alarm_modify.cgi",
                            "ctrl_id=3&input_interval=60&sel_var_interface=0&sel_alarm_var=1")),
              "");
    EXPECT_EQ(probe(3, 1, 2, {3}).u32(), 60u);
    EXPECT_EQ(probe(3, 1, 3, {3}).text(), var.text());

    test_response list = get("/rmonlite_alarm_overview.htm");
    EXPECT_TRUE(has(list, "<td>etherStatsPkts.5</td><td>Delta</td>")) << list.body;
    EXPECT_TRUE(has(list, "<td>Rising/Falling</td><td>ops</td>"));
}

TEST_F(web_rmon_pages, BadAlarmAndDeleteInputIsRefused) {
    ASSERT_EQ(create("/rmonlite_alarm_create.cgi"), 1);
    ASSERT_EQ(error_of(post("/rmonlite_alarm_modify.cgi", std::string("ctrl_id=1") + kAlarmForm)),
              "");
    std::string before = saved("rmon");
    // A number that is none changes nothing.
    EXPECT_EQ(error_of(post("/rmonlite_alarm_modify.cgi",
                            "ctrl_id=1&input_interval=5&input_alarm_rising_threshold=3000000000")),
              "Set the RMON_Alarm.RisingThreshold failed!");
    EXPECT_EQ(probe(3, 1, 12, {1}).u32(), RMON_VALID);
    EXPECT_EQ(probe(3, 1, 2, {1}).u32(), 30u);
    // A value the probe refuses, after one it takes, changes neither: the
    // alarm keeps running as it was.
    log_clear();
    EXPECT_EQ(error_of(post("/rmonlite_alarm_modify.cgi",
                            "ctrl_id=1&input_interval=7&sel_rising_event=-1")),
              "Set the RMON_Alarm.RisingEventIndex failed!");
    EXPECT_TRUE(logged("ssphandler_rmonlite_alarm_modify_cgi, var_id=8, rmonp set failed!"));
    EXPECT_EQ(probe(3, 1, 12, {1}).u32(), RMON_VALID);
    EXPECT_EQ(probe(3, 1, 2, {1}).u32(), 30u);

    // An alarm whose variable (named over SNMP) is gone cannot start again:
    // refused before the interval changes.
    int32_t create = RMON_CREATE_REQUEST, remove = RMON_INVALID;
    oid_val status{.type = RMON_ASN_INTEGER, .length = 4, .value = &create};
    int error = -1;
    ASSERT_EQ(rmonp_row_status_set(9, 1, 4, &status, &error), 0);
    rmon_oid_t type_of_event4[] = {1, 3, 6, 1, 2, 1, 16, 9, 1, 1, 3, 4};
    oid_val variable{.type = RMON_ASN_OBJECT_ID, .length = 12, .value = type_of_event4};
    rmonp_var_set(3, 1, 2, 1, &variable, RMON_ACT_SET, &error);
    status.value = &remove;
    ASSERT_EQ(rmonp_row_status_set(9, 1, 4, &status, &error), 0);
    EXPECT_EQ(error_of(post("/rmonlite_alarm_modify.cgi", "ctrl_id=1&input_interval=9")),
              "Set the RMON_Alarm.Variable failed!");
    EXPECT_EQ(probe(3, 1, 12, {1}).u32(), RMON_VALID);
    EXPECT_EQ(probe(3, 1, 2, {1}).u32(), 30u);

    EXPECT_EQ(error_of(post("/rmonlite_alarm_delete.cgi", "id=0")), "Invalid entry index!");
    EXPECT_EQ(error_of(post("/rmonlite_event_delete.cgi", "id=x")), "Invalid entry index!");
    EXPECT_EQ(probe(3, 1, 12, {1}).error, 0);
    EXPECT_EQ(saved("rmon"), before);
}

TEST_F(web_rmon_pages, EventsAndTheirLogAreShown) {
    test_response r = post("/rmonlite_event_create.cgi", "");
    EXPECT_TRUE(has(r, "Create New Event")) << r.body;
    r = post("/rmonlite_event_modify.cgi",
             "ctrl_id=1&input_type=2&input_Desc=port+<errors>&input_community=public"
             "&input_owner=ops");
    EXPECT_EQ(error_of(r), "");
    EXPECT_TRUE(has(r, "value=\"2\" Checked>Log")) << r.body;
    EXPECT_TRUE(has(r, "value=\"port &lt;errors&gt;\""));
    EXPECT_EQ(probe(9, 1, 7, {1}).u32(), RMON_VALID);
    EXPECT_EQ(probe(9, 1, 3, {1}).u32(), 2u);
    EXPECT_EQ(probe(9, 1, 4, {1}).text(), "public");
    EXPECT_TRUE(logged("Event index=1, entry modified!"));

    ASSERT_EQ(create("/rmonlite_alarm_create.cgi"), 1);
    ASSERT_EQ(error_of(post("/rmonlite_alarm_modify.cgi", std::string("ctrl_id=1") + kAlarmForm)),
              "");
    rmon_mib_event_trigger(1, rmon_row_search(1, 3, 1, 1, 0), 1);
    test_response log = post("/rmonlite_eventlog_index.cgi", "id=1");
    EXPECT_TRUE(has(log, "<tr><td>1</td><td>")) << log.body;
    EXPECT_TRUE(has(log, "<td>Alarm(#id=1) rising event!  [Variable=1.3.6.1.2.1.16.1.1.1.5.5;"))
        << log.body;
    test_response list = get("/rmonlite_event_overview.htm");
    EXPECT_TRUE(has(list, "<td>Log</td><td>public</td>")) << list.body;

    EXPECT_EQ(error_of(post("/rmonlite_event_delete.cgi", "id=1")), "");
    EXPECT_EQ(probe(9, 1, 7, {1}).error, RMON_NO_SUCH_NAME);
}

TEST_F(web_rmon_pages, StatisticsRowsAreSwitchedAndShowTheCounters) {
    EXPECT_EQ(error_of(post("/rmonlite_stat_port.cgi", "port_id=3&set_row_sts=1")), "");
    EXPECT_EQ(probe(1, 1, 21, {3}).u32(), RMON_VALID);
    rmon_counter_pass();  // takes the bases
    inject(3, 4);
    rmon_counter_pass();
    test_response page = post("/rmonlite_stat_port.cgi", "port_id=3");
    EXPECT_TRUE(has(page, "RMON Statistics : Port 03")) << page.body;
    EXPECT_TRUE(has(page, "value='Set Disable'"));
    EXPECT_TRUE(has(page, "<td id=\"c8\">4</td>")) << page.body;
    EXPECT_TRUE(has(get("/rmonlite_stat_overview.htm"), "<FONT color=green>Enabled"));

    // Clear restarts the row from zero.
    EXPECT_EQ(error_of(post("/rmonlite_stat_port.cgi", "port_id=3&set_row_sts=3")), "");
    EXPECT_EQ(probe(1, 1, 21, {3}).u32(), RMON_VALID);
    EXPECT_EQ(probe(1, 1, 5, {3}).u32(), 0u);

    std::string before = saved("rmon");
    EXPECT_EQ(error_of(post("/rmonlite_stat_port.cgi", "port_id=0&set_row_sts=2")),
              "Invalid entry index!");
    EXPECT_EQ(saved("rmon"), before);
    page = post("/rmonlite_stat_port.cgi", "port_id=3&set_row_sts=2");
    EXPECT_EQ(probe(1, 1, 21, {3}).u32(), RMON_UNDER_CREATION);
    EXPECT_TRUE(has(page, "value='Set Enable'"));
    EXPECT_TRUE(has(page, "id=\"clear\" value=\"Clear\" disabled"));
    EXPECT_NE(saved("rmon"), before);
}

TEST_F(web_rmon_pages, HistoryControlIsEditedAndItsSamplesShown) {
    test_response r =
        post("/rmonlite_histctrl_modify.cgi",
             "ctrl_id=2&entry_status=1&input_interval=10&histctrl_enable=1&input_owner=monitorX");
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(probe(2, 1, 7, {2}).u32(), RMON_VALID);
    EXPECT_EQ(probe(2, 1, 5, {2}).u32(), 10u);
    EXPECT_EQ(probe(2, 1, 6, {2}).text(), "monitorX");
    EXPECT_TRUE(has(r, "value=\"1\" Checked>Enabled")) << r.body;

    // A running row takes a new interval too; a refused owner leaves it so.
    EXPECT_EQ(error_of(post("/rmonlite_histctrl_modify.cgi",
                            "ctrl_id=2&input_interval=20&histctrl_enable=1")),
              "");
    EXPECT_EQ(probe(2, 1, 5, {2}).u32(), 20u);
    EXPECT_EQ(error_of(post("/rmonlite_histctrl_modify.cgi",
                            "ctrl_id=2&input_interval=30&histctrl_enable=1&input_owner=ops")),
              "Set the RMON_HistCtrl.Owner failed!");
    EXPECT_EQ(probe(2, 1, 7, {2}).u32(), RMON_VALID);
    EXPECT_EQ(error_of(post("/rmonlite_histctrl_modify.cgi",
                            "ctrl_id=2&input_interval=30&input_owner=" + std::string(128, 'm'))),
              "Set the RMON_HistCtrl.Owner failed!");
    EXPECT_EQ(error_of(post("/rmonlite_histctrl_modify.cgi",
                            "ctrl_id=2&input_interval=0&histctrl_enable=1&input_owner=monitorY")),
              "Set the RMON_HistCtrl.Interval failed!");
    EXPECT_TRUE(has(get("/rmonlite_histctrl_overview.htm"),
                    "<td>20</td><td>monitorX</td><td><FONT color=green>Enabled"));

    // Disabled stays disabled.
    EXPECT_EQ(error_of(post("/rmonlite_histctrl_modify.cgi", "ctrl_id=2&histctrl_enable=2")), "");
    EXPECT_EQ(probe(2, 1, 7, {2}).u32(), RMON_UNDER_CREATION);
    test_response view = post("/rmonlite_histstat_index.cgi", "ctrl_id=2");
    EXPECT_TRUE(has(view, "History Statistics, Index 2")) << view.body;
}

}  // namespace

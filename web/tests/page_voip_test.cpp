// The Auto VoIP page through HTTP on the 52-port board's chip: the profile
// switches the signalling rules and is saved in the "voip" item.
#include <string>

#include "fp_share.h"
#include "switch_pages_fixture.h"
#include "voipmgr.h"

namespace {

class page_voip : public switch_pages_test::SwitchPages {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7101; }
    void SetUp() override {
        SwitchPages::SetUp();
        settings_item_handler_set("voip", voip_item);  // once per process
        voip_init();
    }
    void TearDown() override {
        voip_init();
        SwitchPages::TearDown();
    }
    static int enabled() {
        int enable = -1, limit = -1;
        voip_profile_get(0, &enable, &limit);
        EXPECT_EQ(limit, 0);
        return enable;
    }
};

TEST_F(page_voip, ProfileSwitchesAutoVoipAndIsSaved) {
    test_response page = get("/voip.htm");
    ASSERT_TRUE(page.answered);
    EXPECT_NE(page.body.find("<option value=\"0\" selected>Disable</option>"), std::string::npos)
        << page.body;
    EXPECT_EQ(page.body.find("bwsel"), std::string::npos);  // the bandwidth stays hidden

    test_response r = post("/voip.cgi", "profiles=1&bw=3");
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(enabled(), 1);
    int count = 0;
    voip_entry_count_get(&count);
    EXPECT_EQ(count, 8);
    EXPECT_NE(r.body.find("<option value=\"1\" selected>IP Phone</option>"), std::string::npos);
    const std::string on = saved("voip");
    EXPECT_NE(on, "");

    EXPECT_NE(error_of(post("/voip.cgi", "profiles=x")), "");
    EXPECT_EQ(enabled(), 1);

    EXPECT_EQ(error_of(post("/voip.cgi", "profiles=0")), "");
    EXPECT_EQ(enabled(), 0);
    voip_entry_count_get(&count);
    EXPECT_EQ(count, 0);
    EXPECT_NE(saved("voip"), on);
}

// Switching on refused for want of rows names the reason and changes
// nothing, the stored profile included.
TEST_F(page_voip, ARefusalNamesItsReasonAndChangesNothing) {
    const std::string off = saved("voip");
    ASSERT_TRUE(fp_rows_shared_take(FP_ROWS_SHARED - 7));  // as QoS rules would hold them
    const std::string answer = error_of(post("/voip.cgi", "profiles=1"));
    fp_rows_shared_give(FP_ROWS_SHARED - 7);
    EXPECT_NE(answer.find("remaining rows are kept for DoS prevention"), std::string::npos)
        << answer;
    EXPECT_EQ(enabled(), 0);
    int count = -1;
    voip_entry_count_get(&count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(saved("voip"), off);
    EXPECT_EQ(error_of(post("/voip.cgi", "profiles=1")), "");
    EXPECT_EQ(enabled(), 1);
}

}  // namespace

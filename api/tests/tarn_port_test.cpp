// The family's unit initialisation, port module and common routines on a
// unit over the chip model, and the slots the family answers -16 in.
#include <cstring>
#include <string>
#include <vector>

#include "../../drv/tests/port_fixture.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "unavailable.h"

namespace {

std::vector<std::string> stp_calls;
dxp_dispatch_t port_recording{};

class tarn_unit : public port_test::PortUnitTest {
  protected:
    // Unit 0 with the family's table, whose spanning-tree slot records, and
    // the PHY layer wired as the program does unless neighbours are given.
    void bringUp(sim::ChipKind chip, const drv_port_neighbours_t *neighbours = nullptr) {
        startPorts(chip);
        if (neighbours != nullptr) drv_port_neighbours_register(neighbours);
        ASSERT_EQ(soc_init(0), 0);
        port_recording = dxp_tarn_dispatch;
        port_recording.stg_stp_set = [](int unit, int stg, int port, int state) {
            stp_calls.push_back(std::to_string(unit) + "," + std::to_string(stg) + "," +
                                std::to_string(port) + "," + std::to_string(state));
            return 0;
        };
        stp_calls.clear();
        ASSERT_EQ(dxp_dispatch_register(&port_recording), 0);
    }
    void TearDown() override {
        dxp_linkscan_detach(0);  // the scan thread must not outlive the unit
        dxp_detach(0);
        dxp_dispatch_register(&dxp_tarn_dispatch);
        PortUnitTest::TearDown();
    }
};

TEST_F(tarn_unit, InitBringsEveryProbedPortUpAndForwarding) {
    bringUp(sim::ChipKind::DXP7102A1);
    int enable = 0;
    EXPECT_EQ(dxp_tarn_port_enable_get(0, 3, &enable), DXP_E_INIT);  // before the port init
    ASSERT_EQ(dxp_init(0), 0);

    const soc_control_t *soc = unit0();
    std::vector<std::string> expected;
    for (int port = 0; port < 64; port++)
        if (soc_pbmp_member(soc->port.bitmap, port))
            expected.push_back("0,1," + std::to_string(port) + ",4");
    EXPECT_EQ(stp_calls, expected);
    for (int port : {0, 23, 25, 26}) {
        EXPECT_EQ(dxp_port_enable_get(0, port, &enable), 0);
        EXPECT_EQ(enable, 1) << port;
    }
    EXPECT_EQ(dxp_tarn_port_db(0, 5)[18], 1u);  // untagged VLAN 1
    const uint32_t inited = static_cast<uint32_t>(dxp_init_modules_get(0));
    EXPECT_TRUE(inited & DXP_MODULE_PORT);
    EXPECT_FALSE(inited & DXP_MODULE_FIELD);  // this chip has no field processor
    EXPECT_EQ(dxp_init_modules(0, 0), 0);
    EXPECT_EQ(dxp_clear(0), 0);  // the unavailable module clears pass
    // A module that is not there stops the init, but not the clear.
    port_recording.mirror_init = [](int) { return static_cast<int>(DXP_E_UNAVAIL); };
    EXPECT_EQ(dxp_init_modules(0, DXP_MODULE_MIRROR | DXP_MODULE_TX), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_clear(0), 0);

    dxp_port_config_t config{};
    ASSERT_EQ(dxp_port_config_get(0, &config), 0);
    EXPECT_TRUE(dxp_pbmp_member(config.e, soc->cmic_port));
    EXPECT_TRUE(dxp_pbmp_is_null(config.reserved[0]) && dxp_pbmp_is_null(config.reserved[1]));

    // Checks before any chip access.
    EXPECT_EQ(dxp_port_enable_get(0, 53, &enable), DXP_E_PORT);
    EXPECT_EQ(dxp_port_enable_get(0, 27, &enable), DXP_E_PORT);  // not on this chip
    EXPECT_EQ(dxp_port_enable_get(1, 3, &enable), DXP_E_UNIT);
    EXPECT_EQ(dxp_tarn_port_enable_get(3, 3, &enable), DXP_E_UNIT);
    EXPECT_EQ(dxp_info_get(0, nullptr), DXP_E_PARAM);
    dxp_info_t info{};
    EXPECT_EQ(dxp_info_get(0, &info), 0);
    EXPECT_EQ(info.device, soc->chip_driver->pci_device);
}

// The PHY layer's probe, except that port 25's PHY fails its init and port
// 3's probe fails outright.
phy_driver_t failing_phy{};
int probe_with_failures(int unit, int port, const phy_driver_t **driver) {
    if (port == 3) return SOC_E_INTERNAL;
    if (int rv = soc_phy_probe(unit, port, driver); rv < 0 || port != 25) return rv;
    failing_phy = **driver;
    failing_phy.init = [](int, int) { return static_cast<int>(SOC_E_TIMEOUT); };
    *driver = &failing_phy;
    return SOC_E_NONE;
}

// One port that cannot start costs that port only: a PHY that fails its
// init leaves its port attached with the link down, a port whose probe fails
// stays out, and every other port comes up.
TEST_F(tarn_unit, APortThatCannotStartLeavesTheOthersUp) {
    static const drv_port_neighbours_t neighbours = {
        .phy_probe = probe_with_failures,
        .phy_reset_register = phy_common_reset_register,
        .errmsg = dxp_errmsg,
        .phy_failed = &phy_noconn,
    };
    bringUp(sim::ChipKind::DXP7102A1, &neighbours);
    ASSERT_EQ(dxp_init(0), 0);
    EXPECT_TRUE(static_cast<uint32_t>(dxp_init_modules_get(0)) & DXP_MODULE_PORT);

    int enable = -1;
    for (int port : {0, 4, 25, 26}) {
        EXPECT_EQ(dxp_port_enable_get(0, port, &enable), 0) << port;
        EXPECT_EQ(enable, 1) << port;
    }
    EXPECT_NE(dxp_port_enable_get(0, 3, &enable), 0);

    ASSERT_EQ(dxp_linkscan_detach(0), 0);
    board->chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    board->chip().linkUp(26, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    int up = -1;
    EXPECT_EQ(dxp_port_link_status_get(0, 25, &up), 0);
    EXPECT_EQ(up, 0);
    EXPECT_EQ(dxp_port_link_status_get(0, 26, &up), 0);
    EXPECT_EQ(up, 1);
    EXPECT_EQ(drv_port_driver_get(0, 25, 1), &phy_noconn);
    // The port still takes its settings.
    EXPECT_EQ(dxp_port_enable_set(0, 25, 0), 0);
}

TEST_F(tarn_unit, LinkPropertiesRoundTrip) {
    bringUp(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(dxp_init(0), 0);
    const int p = 25;  // gigabit: pause per direction
    int v = -1;
    ASSERT_EQ(dxp_port_autoneg_set(0, p, 0), 0);
    ASSERT_EQ(dxp_port_speed_set(0, p, 100), 0);
    ASSERT_EQ(dxp_port_duplex_set(0, p, 1), 0);
    board->chip().linkUp(p, sim::LinkPartner::forced(100, true));
    EXPECT_EQ(dxp_port_speed_get(0, p, &v), 0);
    EXPECT_EQ(v, 100);
    EXPECT_EQ(dxp_port_duplex_get(0, p, &v), 0);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(dxp_port_autoneg_set(0, p, 1), 0);
    EXPECT_EQ(dxp_port_autoneg_get(0, p, &v), 0);
    EXPECT_EQ(v, 1);

    int tx = -1, rx = -1;
    ASSERT_EQ(dxp_port_pause_set(0, p, 1, 0), 0);
    ASSERT_EQ(dxp_port_pause_set(0, p, -1, -1), 0);  // leaves both
    EXPECT_EQ(dxp_port_pause_get(0, p, &tx, &rx), 0);
    EXPECT_EQ(tx * 10 + rx, 10);
    EXPECT_EQ(dxp_port_pause_sym_get(0, p, &v), 0);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(dxp_port_pause_sym_set(0, p, 4), DXP_E_PARAM);
    ASSERT_EQ(dxp_port_pause_sym_set(0, p, 1), 0);
    EXPECT_EQ(dxp_port_pause_get(0, p, &tx, &rx), 0);
    EXPECT_EQ(tx * 10 + rx, 1);

    for (int mode : {2, 0}) {
        ASSERT_EQ(dxp_port_loopback_set(0, p, mode), 0) << mode;
        EXPECT_EQ(dxp_port_loopback_get(0, p, &v), 0);
        EXPECT_EQ(v, mode);
    }
    EXPECT_EQ(dxp_port_loopback_set(0, p, 1), DXP_E_UNAVAIL);  // the MACs have none
    EXPECT_EQ(phyReg(p, port_test::c22::kCtl) & port_test::c22::kLoop, 0);

    uint32_t ability = 0;
    ASSERT_EQ(dxp_port_ability_get(0, p, &ability), 0);
    EXPECT_EQ(ability & 0x300000u, 0x100000u);  // the PHY's own interface bit passes
    EXPECT_EQ(ability & 0xfu, 0xfu);
    EXPECT_EQ(dxp_port_speed_max(0, p, &v), 0);
    EXPECT_EQ(v, 1000);

    uint32_t id = 0;
    EXPECT_EQ(dxp_port_phy_get(0, 0x100 | (p + 1), 0x2, port_test::c22::kId0, &id), 0);
    EXPECT_EQ(id, phyReg(p, port_test::c22::kId0));
    char name[32];
    EXPECT_EQ(dxp_port_phy_drv_name_get(0, p, nullptr, 8), DXP_E_NOT_FOUND);
    EXPECT_EQ(dxp_port_phy_drv_name_get(0, p, name, sizeof name), 0);
    EXPECT_GT(std::strlen(name), 0u);  // the driver's name, cut to the buffer
}

TEST_F(tarn_unit, LinkUpResolvesPauseFromBothAdvertisements) {
    bringUp(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(dxp_init(0), 0);
    // The test drives the port updates itself: a running link scan would see
    // the model's link still up after the update that says it went down.
    ASSERT_EQ(dxp_linkscan_detach(0), 0);
    const int p = 9;
    int tx = -1, rx = -1;
    ASSERT_EQ(dxp_port_autoneg_set(0, p, 1), 0);
    ASSERT_EQ(dxp_port_advert_set(0, p, 0xC0F), 0);
    ASSERT_EQ(dxp_port_pause_set(0, p, 0, 0), 0);
    board->chip().linkUp(p, sim::LinkPartner::autonegotiating(sim::kAbilityAll));  // with pause
    ASSERT_EQ(dxp_port_update(0, p, 1), 0);
    EXPECT_EQ(dxp_port_pause_get(0, p, &tx, &rx), 0);
    EXPECT_EQ(tx * 10 + rx, 11);

    board->chip().linkUp(p,
                         sim::LinkPartner::autonegotiating(sim::kAbilityAll & ~sim::kAbilityPause));
    ASSERT_EQ(dxp_port_update(0, p, 1), 0);
    EXPECT_EQ(dxp_port_pause_get(0, p, &tx, &rx), 0);
    EXPECT_EQ(tx * 10 + rx, 0);

    // Link down leaves pause alone.
    ASSERT_EQ(dxp_port_pause_set(0, p, 1, 1), 0);
    ASSERT_EQ(dxp_port_update(0, p, 0), 0);
    EXPECT_EQ(dxp_port_pause_get(0, p, &tx, &rx), 0);
    EXPECT_EQ(tx * 10 + rx, 11);
}

// A fast-Ethernet MAC keeps one pause flag for both directions: a set that
// would leave them apart is refused before anything changes.
TEST_F(tarn_unit, OneWayPauseIsRefusedWhereTheMacHasOneFlag) {
    bringUp(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(dxp_init(0), 0);
    const int p = 9;
    int tx = -1, rx = -1;
    ASSERT_EQ(dxp_port_pause_set(0, p, 0, 0), 0);
    EXPECT_EQ(dxp_port_pause_set(0, p, 1, 0), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_port_pause_set(0, p, 0, 1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_port_pause_set(0, p, 1, -1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_port_pause_sym_set(0, p, 2), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_port_pause_get(0, p, &tx, &rx), 0);
    EXPECT_EQ(tx * 10 + rx, 0);
    ASSERT_EQ(dxp_port_pause_set(0, p, 1, 1), 0);
    EXPECT_EQ(dxp_port_pause_set(0, p, -1, 0), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_port_pause_get(0, p, &tx, &rx), 0);
    EXPECT_EQ(tx * 10 + rx, 11);
    ASSERT_EQ(dxp_port_pause_sym_set(0, p, 0), 0);
    EXPECT_EQ(dxp_port_pause_get(0, p, &tx, &rx), 0);
    EXPECT_EQ(tx * 10 + rx, 0);
}

TEST_F(tarn_unit, PhyAddressTableTakesTheLowByteOfEachEntry) {
    bringUp(sim::ChipKind::DXP7102A1);
    std::vector<uint32_t> addresses(SOC_MAX_NUM_PORTS, 0);
    addresses[3] = 0x1234;
    EXPECT_EQ(dxp_tarn_init_phy_addr_set(0, addresses.data()), 0);
    EXPECT_EQ(unit0()->phyaddr_to_port[0x34], 3);
}

TEST(tarn_common, PacketBytesAcrossBlocks) {
    uint8_t a[64] = {}, b[64] = {};
    dxp_pkt_blk_t blocks[] = {{a, 64}, {b, 64}};
    dxp_pkt pkt{};
    pkt.pkt_data = blocks;
    pkt.blk_count = 2;
    int left = 0, block = 0;
    uint8_t *at = a;
    EXPECT_EQ(dxp_pkt_byte_index(&pkt, 128, &left, &block, &at), DXP_E_NOT_FOUND);
    EXPECT_EQ(at, nullptr);
    EXPECT_EQ(dxp_pkt_byte_index(&pkt, 64, &left, &block, &at), 0);
    EXPECT_EQ(at, b);
    EXPECT_EQ(block * 100 + left, 164);

    const char text[] = "0123456789";
    EXPECT_EQ(dxp_pkt_memcpy(&pkt, 60, text, 10), 10);
    EXPECT_EQ(std::memcmp(a + 60, "0123", 4), 0);
    EXPECT_EQ(std::memcmp(b, "456789", 6), 0);
    EXPECT_EQ(dxp_pkt_memcpy(&pkt, 124, text, 10), 4);
    EXPECT_EQ(dxp_pkt_memcpy(&pkt, 200, text, 10), 0);

    dxp_pkt_clear(&pkt);
    EXPECT_EQ(pkt.blk_count, 0);
    dxp_rec52_init(nullptr);  // ignored like the other initialisers
    dxp_pkt_clear(nullptr);
}

TEST(tarn_common, NamesRecordsAndStacking) {
    EXPECT_STREQ(dxp_module_name(0, 19), "field");
    EXPECT_STREQ(dxp_module_name(0, 21), "unknown");
    EXPECT_STREQ(dxp_module_name(0, -1), "unknown");
    dxp_l2_addr l2{};
    l2.port = 5;
    const dxp_mac_t mac = {1, 2, 3, 4, 5, 6};
    dxp_l2_addr_init(&l2, mac, 20);
    EXPECT_EQ(l2.port, 0);
    EXPECT_EQ(l2.vid, 20);
    EXPECT_EQ(l2.mac[5], 6);

    ASSERT_EQ(dxp_attach(3, "tarn", nullptr, 3), 3);
    int v = -1;
    EXPECT_EQ(dxp_stk_my_modid_get(3, &v), 0);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(dxp_stk_modport_get(3, 129, &v), DXP_E_PARAM);
    EXPECT_EQ(dxp_tarn_stk_modid_get(129, &v), DXP_E_PARAM);
    EXPECT_EQ(dxp_stk_modid_count(3, &v), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_modid_port_get(3, 7, &v), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_diffserv_init(3), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_detach(3), 0);
}

TEST(tarn_custom, HandlersPerUnitIncludingTheLastEntry) {
    static int seen_op = 0;
    auto handler = [](int, int port, int op, int type, int *value) {
        seen_op = op;
        if (op == 2) *value = port + type;
        return 0;
    };
    int v = 0;
    EXPECT_EQ(dxp_tarn_custom_register(-1, handler, nullptr), DXP_E_UNIT);
    EXPECT_EQ(dxp_tarn_custom_port_set(-1, 1, 1, 1), DXP_E_UNIT);
    EXPECT_EQ(dxp_tarn_custom_register(129, handler, nullptr), DXP_E_UNIT);
    EXPECT_EQ(dxp_tarn_custom_port_set(128, 1, 2, 3), DXP_E_UNAVAIL);
    ASSERT_EQ(dxp_tarn_custom_register(128, handler, nullptr), 0);
    EXPECT_EQ(dxp_tarn_custom_port_set(128, 1, 2, 3), 0);
    EXPECT_EQ(seen_op, 1);
    EXPECT_EQ(dxp_tarn_custom_port_get(128, 4, 5, &v), 0);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(dxp_tarn_custom_register(128, nullptr, nullptr), 0);
    EXPECT_EQ(dxp_tarn_custom_port_get(128, 4, 5, &v), DXP_E_UNAVAIL);
}

// The family's table holds the -16 answer in every slot of the families it
// does not offer.
TEST(tarn_unavailable, FamiliesTheChipDoesNotOffer) {
    static dxp_dispatch_t reference{};
#define DXP_API(slot, name, ret, params, args) \
    reference.name = &unavailable<decltype(reference.name)>::call;
#include "dxp_api_list.h"
    const std::vector<std::pair<int, int>> ranges = {
        {37, 56},   {58, 66},   {69, 70},   {101, 101}, {104, 108}, {194, 194}, {199, 200},
        {202, 203}, {206, 246}, {320, 325}, {363, 366}, {386, 392}, {396, 398}, {405, 405},
        {408, 409}, {412, 417}, {436, 441}, {446, 449}, {456, 457}, {462, 462}, {467, 470},
        {479, 482}, {485, 486}, {492, 493}, {496, 499}, {537, 542}, {564, 571}, {573, 582},
        {584, 584}, {586, 599}, {678, 683}};
    const void *const *table = reinterpret_cast<const void *const *>(&dxp_tarn_dispatch);
    const void *const *expected = reinterpret_cast<const void *const *>(&reference);
    int slots = 0;
    for (auto [first, last] : ranges) {
        for (int slot = first; slot <= last; slot++, slots++)
            EXPECT_EQ(table[slot], expected[slot]) << "slot " << slot;
    }
    EXPECT_EQ(slots, 186);
}

}  // namespace

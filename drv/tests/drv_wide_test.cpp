// Table, address-table, spanning-tree, trunk and multicast services of the
// 53-port chip over the chip model.
#include <cstring>

#include "../../soc/tests/unit_fixture.h"
#include "drv_mcast.h"
#include "drv_mem.h"
#include "drv_queue.h"
#include "drv_trunk.h"
#include "drv_wide.h"
#include "soc_error.h"
#include "soc_property.h"

namespace {

constexpr int kRowWords = DRV_WIDE_ENTRY_BYTES / 4;

class drv_wide : public soc_test::UnitTest {
  protected:
    void SetUp() override { start(sim::ChipKind::DXP7101); }
    const drv_if_t *svc() { return DRV_SERVICES(0); }
    void put(uint32_t *e, uint32_t field, uint32_t value) {
        uint32_t v[2] = {value, 0};
        ASSERT_EQ(svc()->mem_field_set(0, DRV_MEM_ARL, field, e, v), 0);
    }
    uint32_t get(uint32_t *e, uint32_t field) {
        uint32_t v[2] = {0, 0};
        EXPECT_EQ(svc()->mem_field_get(0, DRV_MEM_ARL, field, e, v), 0);
        return v[0];
    }
    // A valid entry of a MAC (high 16 bits, low 32 bits) in VLAN 1.
    void entry(uint32_t *e, uint32_t hi, uint32_t lo, bool stat = false) {
        e[0] = e[1] = e[2] = 0;
        uint32_t mac[2] = {lo, hi};
        ASSERT_EQ(svc()->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_MAC, e, mac), 0);
        put(e, DRV_MEM_FIELD_VLANID, 1);
        put(e, DRV_MEM_FIELD_STATIC, stat);
        put(e, DRV_MEM_FIELD_VALID, 1);
    }
    static constexpr uint32_t kKey = DRV_MEM_OP_BY_MAC | DRV_MEM_OP_BY_VLAN;
    void mstp(bool on) {
        uint32_t &w = SOC_CONTROL(0)->features[soc_feature_mstp / 32];
        w = on ? w | 1u << (soc_feature_mstp % 32) : w & ~(1u << (soc_feature_mstp % 32));
    }
};

TEST_F(drv_wide, TablesMoveWholeEntriesAndFields) {
    uint32_t rows[2 * kRowWords] = {};
    soc_pbmp_t ports{};
    soc_pbmp_port_add(&ports, 2);
    soc_pbmp_port_add(&ports, 40);
    ASSERT_EQ(svc()->mem_field_set(0, DRV_MEM_VLAN, DRV_MEM_FIELD_PORT_BITMAP, rows, ports.w), 0);
    uint32_t gid = 7;
    ASSERT_EQ(
        svc()->mem_field_set(0, DRV_MEM_VLAN, DRV_MEM_FIELD_SPT_GROUP_ID, rows + kRowWords, &gid),
        0);
    ASSERT_EQ(svc()->mem_write(0, DRV_MEM_VLAN, 9, 2, rows), 0);
    uint32_t back[2 * kRowWords] = {};
    ASSERT_EQ(svc()->mem_read(0, DRV_MEM_VLAN, 9, 2, back), 0);
    EXPECT_EQ(0, std::memcmp(rows, back, sizeof rows));
    EXPECT_EQ(back[1], 1u << 8);         // port 40
    EXPECT_EQ(back[kRowWords + 4], 7u);  // group id at bit 128
    EXPECT_EQ(svc()->mem_read(0, DRV_MEM_VLAN, 4095, 2, back), SOC_E_PARAM);
    EXPECT_EQ(svc()->mem_read(0, DRV_MEM_VLAN, 0, 0, back), SOC_E_PARAM);
    EXPECT_EQ(svc()->mem_read(0, DRV_MEM_ARL, 0, 1, back), SOC_E_UNAVAIL);
    EXPECT_EQ(svc()->mem_field_get(0, DRV_MEM_MSTP, DRV_MEM_FIELD_PORT_BITMAP, rows, back),
              SOC_E_PARAM);
    ASSERT_EQ(svc()->mem_clear(0, DRV_MEM_VLAN), 0);
    ASSERT_EQ(svc()->mem_read(0, DRV_MEM_VLAN, 9, 1, back), 0);
    EXPECT_EQ(back[0] | back[1] | back[4], 0u);
}

TEST_F(drv_wide, AddressTableByKeyWalkAndDelete) {
    uint32_t e[3], found[3] = {};
    entry(e, 0x0010, 0x20304050);
    put(e, DRV_MEM_FIELD_SRC_PORT, 40);
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, e, found, nullptr, kKey), SOC_E_NOT_FOUND);
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, e, found, nullptr, kKey | DRV_MEM_OP_REPLACE), 0);
    ASSERT_EQ(svc()->mem_insert(0, DRV_MEM_ARL, e, kKey), 0);
    ASSERT_EQ(svc()->mem_search(0, DRV_MEM_ARL, e, found, nullptr, kKey), SOC_E_EXISTS);
    EXPECT_EQ(get(found, DRV_MEM_FIELD_SRC_PORT), 40u);
    EXPECT_EQ(svc()->mem_insert(0, DRV_MEM_ARL, found, kKey), 0);  // identical

    // A group address keeps its 12-bit index spread over the entry fields.
    uint32_t m[3];
    entry(m, 0x0100, 0x5e000001, true);
    uint32_t index = 0xabc;
    ASSERT_EQ(svc()->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_DEST_BITMAP, m, &index), 0);
    ASSERT_EQ(svc()->mem_insert(0, DRV_MEM_ARL, m, kKey), 0);
    ASSERT_EQ(svc()->mem_search(0, DRV_MEM_ARL, m, found, nullptr, kKey), SOC_E_EXISTS);
    EXPECT_EQ(get(found, DRV_MEM_FIELD_DEST_BITMAP), 0xabcu);

    ASSERT_EQ(svc()->mem_search(0, DRV_MEM_ARL, nullptr, found, nullptr, DRV_MEM_OP_SEARCH_START),
              0);
    int seen = 0;
    uint32_t slot = 0;
    while (svc()->mem_search(0, DRV_MEM_ARL, &slot, found, nullptr, DRV_MEM_OP_SEARCH_NEXT) ==
           SOC_E_EXISTS) {
        seen++;
        if (get(found, DRV_MEM_FIELD_MAC) == 0x5e000001) {
            EXPECT_EQ(get(found, DRV_MEM_FIELD_DEST_BITMAP), 0xabcu);
        }
    }
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, nullptr, found, nullptr, DRV_MEM_OP_SEARCH_BUSY),
              0);

    // A dynamic delete leaves a static entry; with the static flag it goes.
    uint32_t s[3];
    entry(s, 0x0010, 0x20304051, true);
    ASSERT_EQ(svc()->mem_insert(0, DRV_MEM_ARL, s, kKey), 0);
    put(s, DRV_MEM_FIELD_STATIC, 0);
    EXPECT_EQ(svc()->mem_delete(0, DRV_MEM_ARL, s, kKey), SOC_E_NOT_FOUND);
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, s, found, nullptr, kKey), SOC_E_EXISTS);
    EXPECT_EQ(svc()->mem_delete(0, DRV_MEM_ARL, s, kKey | DRV_MEM_OP_DELETE_BY_STATIC), 0);
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, s, found, nullptr, kKey), SOC_E_NOT_FOUND);
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, s, found, nullptr, DRV_MEM_OP_BY_INDEX),
              SOC_E_UNAVAIL);

    ASSERT_EQ(svc()->mem_clear(0, DRV_MEM_ARL), 0);
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, e, found, nullptr, kKey), SOC_E_NOT_FOUND);
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, m, found, nullptr, kKey), SOC_E_NOT_FOUND);
}

TEST_F(drv_wide, ShadowFollowsTheChipSlotBySlot) {
    constexpr size_t kShadowBytes = 8192 * 3 * sizeof(uint32_t);
    auto *shadow = static_cast<uint32_t *>(sal_alloc(kShadowBytes, "arl_table"));
    std::memset(shadow, 0, kShadowBytes);
    SOC_CONTROL(0)->arl_table = shadow;
    uint32_t e[3], found[3] = {};
    entry(e, 0x0010, 0x20304050);
    put(e, DRV_MEM_FIELD_SRC_PORT, 40);
    ASSERT_EQ(svc()->mem_insert(0, DRV_MEM_ARL, e, kKey), 0);
    // The walk reports the slot that the shadow keeps the entry in.
    ASSERT_EQ(svc()->mem_search(0, DRV_MEM_ARL, nullptr, found, nullptr, DRV_MEM_OP_SEARCH_START),
              0);
    uint32_t slot = 0;
    ASSERT_EQ(svc()->mem_search(0, DRV_MEM_ARL, &slot, found, nullptr, DRV_MEM_OP_SEARCH_NEXT),
              SOC_E_EXISTS);
    ASSERT_EQ(static_cast<int>(slot), _drv_arl_calc_hash_index(0, 0, e));
    EXPECT_EQ(0, std::memcmp(shadow + slot * 3, e, sizeof e));
    // Removal by port finds the entry through the shadow.
    ASSERT_EQ(svc()->mem_delete(0, DRV_MEM_ARL, e, DRV_MEM_OP_DELETE_BY_PORT), 0);
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, e, found, nullptr, kKey), SOC_E_NOT_FOUND);
    ASSERT_EQ(svc()->mem_insert(0, DRV_MEM_ARL, e, kKey), 0);
    ASSERT_EQ(svc()->mem_delete(0, DRV_MEM_ARL, e, kKey), 0);
    EXPECT_EQ(get(shadow + slot * 3, DRV_MEM_FIELD_VALID), 0u);
    SOC_CONTROL(0)->arl_table = nullptr;
    sal_free(shadow);
}

TEST_F(drv_wide, CfpRowsAsTableMemories) {
    drv_cfp_entry_t row{};
    row.tcam_data[0] = 0x1234;
    row.tcam_mask[0] = 0xffff;
    ASSERT_EQ(svc()->cfp_entry_write(0, 5, DRV_CFP_RAM_TCAM, &row), 0);
    uint32_t mask[12] = {0xff};
    ASSERT_EQ(svc()->mem_write(0, DRV_MEM_CFP_MASK, 5, 1, mask), 0);
    drv_cfp_entry_t back{};
    ASSERT_EQ(svc()->cfp_entry_read(0, 5, DRV_CFP_RAM_TCAM, &back), 0);
    EXPECT_EQ(back.tcam_data[0], 0x1234u);  // the data half stays
    EXPECT_EQ(back.tcam_mask[0], 0xffu);
    uint32_t data[12] = {};
    ASSERT_EQ(svc()->mem_read(0, DRV_MEM_CFP_DATA, 5, 1, data), 0);
    EXPECT_EQ(data[0], 0x1234u);

    ASSERT_EQ(svc()->cfp_stat_set(0, DRV_CFP_STAT_IB, 510, 7), 0);
    ASSERT_EQ(svc()->cfp_stat_set(0, DRV_CFP_STAT_IB, 511, 8), 0);
    uint32_t counters[3] = {};
    EXPECT_EQ(svc()->mem_read(0, DRV_MEM_CFP_STAT_IN, 510, 3, counters), SOC_E_PARAM);
    EXPECT_EQ(counters[0], 7u);
    EXPECT_EQ(counters[1], 8u);
    uint32_t v[2] = {};
    EXPECT_EQ(svc()->mem_field_get(0, DRV_MEM_CFP_STAT_IN, DRV_CFP_FIELD_VALID, counters, v),
              SOC_E_PARAM);
}

TEST_F(drv_wide, StalledCommandsTimeOutAndLetTheirLocksGo) {
    uint32_t e[3], found[3] = {};
    entry(e, 0x0010, 0x20304050);
    board->chip().tables().setArlBusyReads(1000);
    EXPECT_EQ(svc()->mem_insert(0, DRV_MEM_ARL, e, kKey), SOC_E_TIMEOUT);
    uint32_t row[kRowWords] = {};
    EXPECT_EQ(svc()->mem_read(0, DRV_MEM_VLAN, 1, 1, row), SOC_E_TIMEOUT);
    board->chip().tables().setArlBusyReads(0);
    EXPECT_EQ(svc()->mem_insert(0, DRV_MEM_ARL, e, kKey), 0);
    EXPECT_EQ(svc()->mem_read(0, DRV_MEM_VLAN, 1, 1, row), 0);
    // A table flush that never ends gives up and puts MST_CON back.
    board->chip().poke("MST_CON", 0, 0x40);
    board->chip().tables().setArlBusyReads(1000);
    EXPECT_EQ(svc()->mem_delete(0, DRV_MEM_ARL, nullptr, DRV_MEM_OP_DELETE_ALL_ARL), SOC_E_TIMEOUT);
    board->chip().tables().setArlBusyReads(0);
    EXPECT_EQ(board->chip().peek("MST_CON") & 0x40, 0x40u);

    // A walk that stays busy without a result is cut short, not ended.
    board->chip().poke("ARLA_SRCH_CTL", 0, 0x80);
    uint32_t slot = 0;
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, &slot, found, nullptr, DRV_MEM_OP_SEARCH_NEXT),
              SOC_E_TIMEOUT);
    EXPECT_EQ(svc()->mem_search(0, DRV_MEM_ARL, nullptr, found, nullptr, DRV_MEM_OP_SEARCH_BUSY),
              SOC_E_BUSY);
}

TEST_F(drv_wide, SpanningTreeStatesPerGroupAndInTheSingleTree) {
    mstp(true);
    ASSERT_EQ(svc()->mstp_port_set(0, 3, 20, 5), 0);
    uint32_t row[kRowWords] = {};
    ASSERT_EQ(svc()->mem_read(0, DRV_MEM_MSTP, 3, 1, row), 0);
    EXPECT_EQ(row[2] & 7u, 5u);  // bits 64-66
    ASSERT_EQ(svc()->mstp_port_set(0, 256, 40, 2), 0);
    uint32_t state = 0;
    ASSERT_EQ(svc()->mstp_port_get(0, 0, 40, &state), 0);
    EXPECT_EQ(state, 2u);
    EXPECT_EQ(svc()->mstp_port_set(0, 257, 40, 2), SOC_E_PARAM);
    EXPECT_EQ(svc()->mstp_port_set(0, 3, 40, 6), SOC_E_PARAM);
    EXPECT_EQ(svc()->mstp_port_get(0, 4, 40, &state), SOC_E_INTERNAL);  // never set

    mstp(false);
    ASSERT_EQ(svc()->mstp_port_set(0, 0, 50, 4), 0);
    ASSERT_EQ(svc()->mstp_port_get(0, 1, 50, &state), 0);
    EXPECT_EQ(state, 4u);
    EXPECT_EQ(svc()->mstp_port_set(0, 2, 50, 4), SOC_E_PARAM);
}

TEST_F(drv_wide, TrunkGroupsAndTheRememberedHash) {
    uint32_t hash = 0;
    EXPECT_EQ(svc()->trunk_set(0, 6, soc_pbmp_t{}, DRV_TRUNK_FLAG_HASH, 2), 0);
    ASSERT_EQ(svc()->trunk_get(0, 0, nullptr, DRV_TRUNK_FLAG_HASH, &hash), 0);
    EXPECT_EQ(hash, 2u);
    svc()->trunk_set(0, 0, soc_pbmp_t{}, DRV_TRUNK_FLAG_HASH, 3);
    EXPECT_EQ(svc()->trunk_set(0, 6, soc_pbmp_t{}, DRV_TRUNK_FLAG_BITMAP, 0), SOC_E_PARAM);

    soc_pbmp_t members{}, back{};
    soc_pbmp_port_add(&members, 40);
    ASSERT_EQ(svc()->trunk_set(0, 3, members, DRV_TRUNK_FLAG_BITMAP, 0), 0);
    EXPECT_EQ(board->chip().peek("TRUNK_GRP0_CTL", 3), 1ull << 40);
    ASSERT_EQ(svc()->trunk_get(0, 3, &back, DRV_TRUNK_FLAG_ENABLE, nullptr), 0);
    EXPECT_TRUE(soc_pbmp_is_null(back));  // group off
    ASSERT_EQ(svc()->trunk_set(0, 3, members, DRV_TRUNK_FLAG_ENABLE, 0), 0);
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL"), 0x2u);
    // Trunking goes off with the last group, as it was before the first.
    ASSERT_EQ(svc()->trunk_set(0, 3, members, DRV_TRUNK_FLAG_DISABLE, 0), 0);
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL"), 0u);
    ASSERT_EQ(svc()->trunk_set(0, 3, members, DRV_TRUNK_FLAG_ENABLE, 0), 0);
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL"), 0x2u);
    ASSERT_EQ(svc()->trunk_get(0, 3, &back, DRV_TRUNK_FLAG_ENABLE, nullptr), 0);
    EXPECT_EQ(back.w[1], 1u << 8);
}

TEST_F(drv_wide, PriorityMappingAndSpecialAddressesUseBothBitmapWords) {
    soc_pbmp_t ports{};
    soc_pbmp_port_add(&ports, 2);
    soc_pbmp_port_add(&ports, 40);
    board->chip().poke("QOS_TOS_DIF_EN", 0, 1ull << 40 | 1);
    ASSERT_EQ(svc()->queue_mapping_type_set(0, ports, DRV_QUEUE_MAP_PRIO, 1), 0);
    EXPECT_EQ(board->chip().peek("QOS_1P_EN") & (1ull << 40 | 4), 1ull << 40 | 4);
    EXPECT_EQ(board->chip().peek("QOS_TOS_DIF_EN"), 1u);
    ASSERT_EQ(svc()->queue_mapping_type_set(0, ports, DRV_QUEUE_MAP_DFSV, 1), 0);
    uint8_t on = 9;
    ASSERT_EQ(svc()->queue_mapping_type_get(0, 40, DRV_QUEUE_MAP_DFSV, &on), 0);
    EXPECT_EQ(on, 1);
    ASSERT_EQ(svc()->queue_mapping_type_get(0, 40, DRV_QUEUE_MAP_TOS, &on), 0);
    EXPECT_EQ(on, 0);
    ASSERT_EQ(svc()->queue_mapping_type_get(0, 40, DRV_QUEUE_MAP_PRIO, &on), 0);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(svc()->queue_mapping_type_set(0, ports, DRV_QUEUE_MAP_MAC, 1), SOC_E_UNAVAIL);
    EXPECT_EQ(svc()->queue_mapping_type_set(0, ports, 6, 1), SOC_E_PARAM);

    uint8_t mac[6] = {0x02, 0x00, 0x5e, 0xaa, 0xbb, 0xcc}, back[6] = {};
    ASSERT_EQ(svc()->mac_set(0, ports, 5, mac, 0), 0);
    EXPECT_EQ(board->chip().peek("IGMIRMAC"), 0x02005eu);
    ASSERT_EQ(svc()->mac_get(0, 0, 5, nullptr, back), 0);
    EXPECT_EQ(back[2], 0x5e);
    EXPECT_EQ(back[3] | back[4] | back[5], 0);
    ASSERT_EQ(svc()->mac_set(0, ports, 3, mac, 0), 0);
    soc_pbmp_t vec{};
    ASSERT_EQ(svc()->mac_get(0, 0, 3, &vec, back), 0);
    EXPECT_EQ(back[5], 0xcc);
    EXPECT_EQ(vec.w[1], 1u << 8);
    uint64_t before = board->chip().peek("BPDU_MCADDR");
    EXPECT_EQ(svc()->mac_set(0, ports, 0, mac, 0), SOC_E_PARAM);
    EXPECT_EQ(svc()->mac_set(0, ports, 11, mac, 0), SOC_E_PARAM);
    EXPECT_EQ(board->chip().peek("BPDU_MCADDR"), before);
}

TEST_F(drv_wide, MulticastGroupsTakeTheFirstUnusedIndex) {
    ASSERT_EQ(svc()->mcast_init(0), 0);
    drv_l2mc_table_t *t = drv_mcast_l2mc_table(0);
    uint32_t used[8] = {1, 1, 0, 0, 0, 0, 0, 0};
    drv_l2mc_table_t saved = *t;
    *t = {.count = 8, .used = used};
    uint32_t m[3];
    entry(m, 0x0100, 0x5e000002);
    soc_pbmp_t ports{};
    soc_pbmp_port_add(&ports, 44);
    int rv = svc()->mcast_bmp_set(0, m, ports, DRV_MCAST_CREATE);
    *t = saved;
    ASSERT_EQ(rv, 0);
    EXPECT_EQ(get(m, DRV_MEM_FIELD_DEST_BITMAP), 2u);
    EXPECT_EQ(used[2], 1u);
    soc_pbmp_t back{};
    ASSERT_EQ(svc()->mcast_bmp_get(0, m, &back), 0);
    EXPECT_EQ(back.w[1], 1u << 12);
}

}  // namespace

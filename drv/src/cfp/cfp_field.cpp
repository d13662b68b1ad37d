// The CFP memories and field access on the entry record.
#include <cstring>

#include "cfp_internal.h"
#include "soc_cm.h"

namespace {

// Field flags of a memory field row.
constexpr uint32_t kLittleEndian = 0x1;  // multi-bit value
constexpr uint32_t kReserved = 0x10;

constexpr chipdata_field fld(int field, int hi, int lo, uint32_t flags = 0) {
    return {static_cast<uint32_t>(field), static_cast<uint16_t>(hi - lo + 1),
            static_cast<uint16_t>(lo), hi > lo ? flags | kLittleEndian : flags};
}
constexpr chipdata_field resv(int field, int hi, int lo) {
    return fld(field, hi, lo, kReserved);
}

#define CFP_TCAM_HEADER                                                                       \
    resv(F_RESVD, 185, 185), fld(F_SLICEID, 184, 182), fld(F_SRC_P, 181, 176),                \
        fld(F_VLANTAGGED, 175, 175), fld(F_SPTAGGED, 174, 174), fld(F_EII_OR_8023, 173, 173), \
        fld(F_CRVX_TAGGED, 172, 172), fld(F_IEEE_802_2_LLC, 171, 171),                        \
        fld(F_IEEE_802_2_SNAP, 170, 170)

constexpr chipdata_field kActPol[] = {
    resv(F_RESV1, 31, 27),         fld(F_UPD_PRI_OB, 26, 26),         fld(F_PRI_MAP_OB, 25, 24),
    fld(F_REDIRECT_EN_OB, 23, 23), fld(F_ADD_CHANGE_DEST_OB, 22, 22), fld(F_NEW_DEST_OB, 21, 16),
    resv(F_RESVD, 15, 11),         fld(F_UPD_PRI_IB, 10, 10),         fld(F_PRI_MAP_IB, 9, 8),
    fld(F_REDIRECT_EN_IB, 7, 7),   fld(F_ADD_CHANGE_DEST_IB, 6, 6),   fld(F_NEW_DEST_IB, 5, 0),
};
constexpr chipdata_field kMeter[] = {
    fld(F_RATE_REFRESH_EN, 63, 63), resv(F_RESV1, 62, 44), fld(F_REF_CAP, 43, 40),
    fld(F_TOKEN_NUM, 39, 32),       resv(F_RESVD, 31, 24), fld(F_CURR_QUOTA, 23, 0),
};
constexpr chipdata_field kStatIb[] = {fld(F_IN_BAND_CNT, 31, 0)};
constexpr chipdata_field kStatOb[] = {fld(F_OUT_BAND_CNT, 31, 0)};
constexpr chipdata_field kSlice0[] = {
    CFP_TCAM_HEADER,       fld(F_MAC_DA, 169, 122), fld(F_MAC_SA, 121, 74), fld(F_SPVID, 73, 62),
    fld(F_USRVID, 61, 50), fld(F_ETYPE, 49, 34),    resv(F_RESV1, 33, 11),  fld(F_UDF0_VLD, 10, 10),
    fld(F_UDF0, 9, 2),     fld(F_VALID_R, 1, 0),
};
constexpr chipdata_field kSlice1[] = {
    CFP_TCAM_HEADER,       fld(F_MAC_DA, 169, 122),   fld(F_MAC_SA, 121, 74),
    resv(F_RESV1, 73, 67), fld(F_IPV4_VALID, 66, 66), fld(F_IP_SA, 65, 34),
    fld(F_IP_DA, 33, 2),   fld(F_VALID_R, 1, 0),
};
constexpr chipdata_field kSlice2[] = {
    CFP_TCAM_HEADER,
    resv(F_RESV1, 169, 165),
    fld(F_IPV4_VALID, 164, 164),
    fld(F_SAMEIPADDR, 163, 163),
    fld(F_TCP_UDP_VALID, 162, 162),
    fld(F_IP_DA, 161, 130),
    fld(F_IP_SA, 129, 98),
    fld(F_L4DST, 97, 82),
    fld(F_L4SRC, 81, 66),
    fld(F_SAMEL4PORT, 65, 65),
    fld(F_L4SRC_LESS_1024, 64, 64),
    fld(F_TCP_FRAME, 63, 63),
    fld(F_TCP_SEQUENCE_ZERO, 62, 62),
    fld(F_TCP_HEADER_LEN, 61, 58),
    resv(F_RESV2, 57, 56),
    fld(F_TCP_FLAG, 55, 50),
    fld(F_IP_PROTOCOL, 49, 42),
    resv(F_RESV3, 41, 35),
    fld(F_UDF2_VLD, 34, 34),
    fld(F_UDF2, 33, 2),
    fld(F_VALID_R, 1, 0),
};
constexpr chipdata_field kSlice3[] = {
    CFP_TCAM_HEADER,
    fld(F_ETYPE, 169, 154),
    fld(F_USRVID, 153, 138),
    fld(F_IP_PROTOCOL, 137, 130),
    fld(F_IP_VERSION, 129, 122),
    fld(F_IP_TOS, 121, 114),
    fld(F_IP_TTL, 113, 106),
    resv(F_RESV1, 105, 101),
    fld(F_UDF3A_VLD, 100, 100),
    fld(F_UDF3B_VLD, 99, 99),
    fld(F_UDF3C_VLD, 98, 98),
    fld(F_UDF3A, 97, 66),
    fld(F_UDF3B, 65, 34),
    fld(F_UDF3C, 33, 2),
    fld(F_VALID_R, 1, 0),
};
constexpr chipdata_field kSlice4[] = {
    CFP_TCAM_HEADER,
    resv(F_RESV1, 169, 167),
    fld(F_UDF4A_VLD, 166, 166),
    fld(F_UDF4B_VLD, 165, 165),
    fld(F_UDF4C_VLD, 164, 164),
    fld(F_UDF4D_VLD, 163, 163),
    fld(F_UDF4E_VLD, 162, 162),
    fld(F_UDF4A, 161, 130),
    fld(F_UDF4B, 129, 98),
    fld(F_UDF4C, 97, 66),
    fld(F_UDF4D, 65, 34),
    fld(F_UDF4E, 33, 2),
    fld(F_VALID_R, 1, 0),
};
#undef CFP_TCAM_HEADER

template <size_t N>
constexpr soc_mem_info_t mem(int bytes, const chipdata_field (&fields)[N]) {
    return {SOC_MEM_FLAG_VALID,
            0,
            0,
            0,
            DRV_CFP_ROWS - 1,
            0,
            0,
            0,
            0,
            static_cast<uint32_t>(bytes) | static_cast<uint32_t>(N) << 16,
            fields};
}

constexpr soc_mem_info_t kMems[] = {
    mem(4, kActPol),  mem(8, kMeter),   mem(4, kStatIb),  mem(4, kStatOb),  mem(24, kSlice0),
    mem(24, kSlice0), mem(24, kSlice1), mem(24, kSlice2), mem(24, kSlice3), mem(24, kSlice4),
};
static_assert(sizeof kMems / sizeof kMems[0] == CFP_TCAM_S4m + 1);
static_assert(sizeof kSlice0 / sizeof kSlice0[0] == 18 &&
              sizeof kSlice1 / sizeof kSlice1[0] == 16 &&
              sizeof kSlice2 / sizeof kSlice2[0] == 29 &&
              sizeof kSlice3 / sizeof kSlice3[0] == 23 &&
              sizeof kSlice4 / sizeof kSlice4[0] == 21 && sizeof kActPol / sizeof kActPol[0] == 12);

// Driver field id -> memory field, -1 for the gaps.
constexpr int kUnmapped = -1;
constexpr auto kFieldMap = [] {
    struct Map {
        int f[DRV_CFP_FIELD_COUNT];
    } m{};
    for (int &f : m.f)
        f = kUnmapped;
    const int pairs[][2] = {
        {0, F_VALID_R},
        {1, F_SLICEID},
        {2, F_SRC_P},
        {3, F_VLANTAGGED},
        {4, F_SPTAGGED},
        {5, F_EII_OR_8023},
        {6, F_CRVX_TAGGED},
        {7, F_IEEE_802_2_LLC},
        {8, F_IEEE_802_2_SNAP},
        {9, F_MAC_DA},
        {10, F_MAC_SA},
        {11, F_SPVID},
        {12, F_USRVID},
        {15, F_ETYPE},
        {16, F_UDF0_VLD},
        {17, F_UDF0},
        {18, F_IPV4_VALID},
        {19, F_IP_DA},
        {20, F_IP_SA},
        {21, F_SAMEIPADDR},
        {22, F_TCP_UDP_VALID},
        {25, F_L4DST},
        {26, F_L4SRC},
        {27, F_SAMEL4PORT},
        {28, F_L4SRC_LESS_1024},
        {29, F_TCP_FRAME},
        {30, F_TCP_SEQUENCE_ZERO},
        {31, F_TCP_HEADER_LEN},
        {32, F_TCP_FLAG},
        {33, F_UDF2_VLD},
        {34, F_UDF2},
        {35, F_IP_PROTOCOL},
        {36, F_IP_VERSION},
        {37, F_IP_TOS},
        {38, F_IP_TTL},
        {39, F_UDF3A_VLD},
        {40, F_UDF3A},
        {41, F_UDF3B_VLD},
        {42, F_UDF3B},
        {43, F_UDF3C_VLD},
        {44, F_UDF3C},
        {45, F_UDF4A_VLD},
        {46, F_UDF4A},
        {47, F_UDF4B_VLD},
        {48, F_UDF4B},
        {49, F_UDF4C_VLD},
        {50, F_UDF4C},
        {51, F_UDF4D_VLD},
        {52, F_UDF4D},
        {53, F_UDF4E_VLD},
        {54, F_UDF4E},
        {119, F_UPD_PRI_IB},
        {120, F_PRI_MAP_IB},
        {123, F_REDIRECT_EN_IB},
        {124, F_ADD_CHANGE_DEST_IB},
        {125, F_NEW_DEST_IB},
        {126, F_UPD_PRI_OB},
        {127, F_PRI_MAP_OB},
        {130, F_REDIRECT_EN_OB},
        {131, F_ADD_CHANGE_DEST_OB},
        {132, F_NEW_DEST_OB},
        {149, F_CURR_QUOTA},
        {150, F_RATE_REFRESH_EN},
        {151, F_REF_CAP},
        {152, F_TOKEN_NUM},
        {156, F_IN_BAND_CNT},
        {157, F_OUT_BAND_CNT},
    };
    for (const auto &p : pairs)
        m.f[p[0]] = p[1];
    return m;
}();

const chipdata_field *mem_field(const soc_mem_info_t *m, uint32_t field) {
    uint32_t count = m->size_fields >> 16;
    for (uint32_t i = 0; i < count; i++) {
        if (m->fields[i].field == field) return &m->fields[i];
    }
    return nullptr;
}

uint32_t low_mask(uint32_t bits) {
    return bits >= 32 ? 0xffffffffu : (1u << bits) - 1;
}

void bits_get(const uint32_t *words, const chipdata_field &f, uint32_t *value) {
    for (uint32_t k = 0; k * 32 < f.len; k++) {
        uint32_t pos = f.bp + 32 * k;
        uint32_t n = f.len - 32 * k;
        uint64_t window = words[pos / 32] >> (pos % 32);
        if (pos % 32 != 0 && (pos / 32 + 1) * 32 < static_cast<uint32_t>(f.bp + f.len))
            window |= static_cast<uint64_t>(words[pos / 32 + 1]) << (32 - pos % 32);
        value[k] = static_cast<uint32_t>(window) & low_mask(n);
    }
}

void bits_set(uint32_t *words, const chipdata_field &f, const uint32_t *value) {
    for (uint32_t i = 0; i < f.len; i++) {
        uint32_t pos = f.bp + i;
        uint32_t bit = (value[i / 32] >> (i % 32)) & 1u;
        words[pos / 32] = (words[pos / 32] & ~(1u << (pos % 32))) | bit << (pos % 32);
    }
}

enum class Dir { Get, Set };

int field_access(Dir dir, int unit, uint32_t ram_type, uint32_t field_id, drv_cfp_entry_t *entry,
                 uint32_t *fld_val) {
    const char *who = dir == Dir::Get ? "drv_cfp_field_get" : "drv_cfp_field_set";
    SAL_ASSERT(entry);
    SAL_ASSERT(fld_val);
    if (entry == nullptr || fld_val == nullptr) return SOC_E_PARAM;

    int mem_id;
    uint32_t *words;
    switch (ram_type) {
        case DRV_CFP_RAM_ACT:
            mem_id = CFP_ACT_POLm;
            words = &entry->act_data;
            break;
        case DRV_CFP_RAM_METER:
            mem_id = CFP_METERm;
            words = entry->meter_data;
            break;
        case DRV_CFP_RAM_TCAM:
        case DRV_CFP_RAM_TCAM_MASK:
            words = ram_type == DRV_CFP_RAM_TCAM ? entry->tcam_data : entry->tcam_mask;
            mem_id = CFP_TCAM_S0m;
            // SLICEID and SRC_P sit at the same bits in every slice; the rest
            // follow the slice of the data words, for the mask as well.
            if (field_id != DRV_CFP_FIELD_SLICE_ID && field_id != DRV_CFP_FIELD_IN_PORT) {
                uint32_t slice = 0;
                int rv = DRV_SERVICES(unit)->cfp_field_get(unit, DRV_CFP_RAM_TCAM,
                                                           DRV_CFP_FIELD_SLICE_ID, entry, &slice);
                if (rv < 0) {
                    soc_cm_debug_print(cfp::kError, "%s : UNKNOW SLICE ID. \n", who);
                    return rv;
                }
                if (slice >= static_cast<uint32_t>(DRV_CFP_SLICES)) return SOC_E_INTERNAL;
                mem_id = CFP_TCAM_S0m + static_cast<int>(slice);
            }
            break;
        default:
            return SOC_E_PARAM;
    }

    uint32_t field;
    if (_drv_cfp_field_mapping(unit, field_id, &field) < 0) {
        soc_cm_debug_print(cfp::kError, "%s : UNKNOW FIELD ID. \n", who);
        return SOC_E_BADID;
    }
    const soc_mem_info_t *m = drv_cfp_mem_info(mem_id);
    const chipdata_field *f = mem_field(m, field);
    // A field the entry's slice does not have is the caller's mistake, not
    // the driver's: refuse it.
    if (f == nullptr) return SOC_E_PARAM;

    const bool shift = field == F_SRC_P && ram_type == DRV_CFP_RAM_TCAM && cfp::port_shifted(unit);
    if (dir == Dir::Get) {
        uint32_t value[2] = {0, 0};
        bits_get(words, *f, value);
        if (shift) value[0] -= cfp::kPortShift;
        std::memcpy(fld_val, value, (f->len + 31) / 32 * sizeof(uint32_t));
    } else {
        uint32_t value[2] = {fld_val[0], f->len > 32 ? fld_val[1] : 0};
        if (shift) value[0] += cfp::kPortShift;
        bits_set(words, *f, value);
    }
    return SOC_E_NONE;
}

}  // namespace

const soc_mem_info_t *drv_cfp_mem_info(int mem) {
    return mem >= CFP_ACT_POLm && mem <= CFP_TCAM_S4m ? &kMems[mem] : nullptr;
}

int _drv_cfp_field_mapping(int, uint32_t field_id, uint32_t *mem_field) {
    if (field_id >= DRV_CFP_FIELD_COUNT || kFieldMap.f[field_id] == kUnmapped) return SOC_E_BADID;
    *mem_field = static_cast<uint32_t>(kFieldMap.f[field_id]);
    return SOC_E_NONE;
}

int drv_cfp_field_get(int unit, uint32_t mem_type, uint32_t field_type, drv_cfp_entry_t *entry,
                      uint32_t *fld_val) {
    return field_access(Dir::Get, unit, mem_type, field_type, entry, fld_val);
}

int drv_cfp_field_set(int unit, uint32_t mem_type, uint32_t field_type, drv_cfp_entry_t *entry,
                      uint32_t *fld_val) {
    return field_access(Dir::Set, unit, mem_type, field_type, entry, fld_val);
}

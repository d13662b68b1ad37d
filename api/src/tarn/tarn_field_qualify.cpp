// Field processor: qualifiers. Each one writes a key field of the entry's CFP
// image (data and mask) and marks the entry dirty; the row changes only at the
// next install or reinstall.
#include "tarn_field_internal.h"

namespace tarn::field {

KeyLayout key_layout(int unit) {
    const uint32_t flags = SOC_CONTROL(unit)->chip_flags;
    if (flags & 0xA4000000) return KeyLayout::B;
    if (flags & SOC_CHIP_DXP71090) return KeyLayout::A;
    return KeyLayout::None;
}

namespace {

constexpr int kNoField = -1;
// Chips whose layout-B key has no L4-valid companion to set.
constexpr uint32_t kNoL4ValidChip = SOC_CHIP_DXP7105;

// A field set to the same code in data and mask alongside the qualifier.
struct Companion {
    int field;
    uint32_t code;
};
constexpr Companion kNoCompanion = {kNoField, 0};

// Layout-A fields that the layout-B key does not have.
constexpr int kFieldIpVersionA = 57;
constexpr int kFieldTcpValidA = 58;
constexpr Companion kIp4A = {kFieldIpVersionA, 1};
constexpr Companion kIp6A = {kFieldIpVersionA, 2};
constexpr Companion kTcpA = {kFieldTcpValidA, 1};
constexpr Companion kIp4B = {DRV_CFP_FIELD_IP4_VALID, 1};
constexpr Companion kL4B = {DRV_CFP_FIELD_L4_VALID, 1};
constexpr Companion kTcpB = {DRV_CFP_FIELD_TCP_FRAME, 1};

struct KeyRow {
    int qualifier;
    int field_b, field_a;
    Companion companion_b, companion_a;
};

constexpr KeyRow kKeyRows[] = {
    {dxpFieldQualifySrcIp6, kNoField, 62, kNoCompanion, kIp6A},
    {dxpFieldQualifySrcMac, DRV_CFP_FIELD_MAC_SA, 10, kNoCompanion, kNoCompanion},
    {dxpFieldQualifyDstMac, DRV_CFP_FIELD_MAC_DA, 9, kNoCompanion, kNoCompanion},
    {dxpFieldQualifySrcIp, DRV_CFP_FIELD_IP_SA, 20, kIp4B, kIp4A},
    {dxpFieldQualifyDstIp, DRV_CFP_FIELD_IP_DA, 19, kIp4B, kIp4A},
    {dxpFieldQualifyInPorts, kNoField, 55, kNoCompanion, kNoCompanion},
    {dxpFieldQualifyIp6FlowLabel, kNoField, 61, kNoCompanion, kIp6A},
    {dxpFieldQualifyOuterVlan, DRV_CFP_FIELD_USR_VID, 12, kNoCompanion, kNoCompanion},
    {dxpFieldQualifyInnerVlan, DRV_CFP_FIELD_SP_VID, 11, kNoCompanion, kNoCompanion},
    {dxpFieldQualifyRangeCheck, DRV_CFP_FIELD_L4SRC_LESS1024, 28, kL4B, kNoCompanion},
    {dxpFieldQualifyL4SrcPort, DRV_CFP_FIELD_L4SRC, 26, kL4B, kNoCompanion},
    {dxpFieldQualifyL4DstPort, DRV_CFP_FIELD_L4DST, 25, kL4B, kNoCompanion},
    {dxpFieldQualifyEtherType, DRV_CFP_FIELD_ETYPE, 15, kNoCompanion, kNoCompanion},
    {dxpFieldQualifyIpProtocol, DRV_CFP_FIELD_IP_PROTO, 35, kNoCompanion, kIp4A},
    {dxpFieldQualifyDSCP, DRV_CFP_FIELD_IP_TOS, 37, kNoCompanion, kIp4A},
    {dxpFieldQualifyTtl, DRV_CFP_FIELD_IP_TTL, 38, kNoCompanion, kIp4A},
    {dxpFieldQualifyIp6NextHeader, kNoField, 64, kNoCompanion, kIp6A},
    {dxpFieldQualifyIp6TrafficClass, kNoField, 63, kNoCompanion, kIp6A},
    {dxpFieldQualifyIp6HopLimit, kNoField, 65, kNoCompanion, kIp6A},
    {dxpFieldQualifySrcPortTgid, DRV_CFP_FIELD_IN_PORT, 2, kNoCompanion, kNoCompanion},
    {dxpFieldQualifySrcPort, DRV_CFP_FIELD_IN_PORT, 2, kNoCompanion, kNoCompanion},
    {dxpFieldQualifyTcpControl, DRV_CFP_FIELD_TCP_FLAG, 32, kTcpB, kTcpA},
    {dxpFieldQualifyPacketFormat, DRV_CFP_FIELD_L4_VALID, 22, kNoCompanion, kNoCompanion},
    {dxpFieldQualifyIpProtocolCommon, kNoField, 0, kNoCompanion, kNoCompanion},
    {dxpFieldQualifyIpType, DRV_CFP_FIELD_IP4_VALID, 18, kNoCompanion, kNoCompanion},
    {dxpFieldQualifySrcIpEqualDstIp, DRV_CFP_FIELD_SAME_IP, 21, kIp4B, kIp4A},
    {dxpFieldQualifyEqualL4Port, DRV_CFP_FIELD_SAME_L4PORT, 27, kL4B, kNoCompanion},
    {dxpFieldQualifyTcpSequenceZero, DRV_CFP_FIELD_TCP_SEQ_ZERO, 30, kTcpB, kTcpA},
    {dxpFieldQualifyTcpHeaderSize, DRV_CFP_FIELD_TCP_HDR_LEN, 31, kTcpB, kTcpA},
};

// User-defined fields and their valid bits, the same on both layouts.
constexpr int kUdfFields[] = {17, 34, 40, 42, 44, 46, 48, 50, 52, 54};

// The key field and companion of a qualifier; false when the layout has none.
bool key_field(int unit, KeyLayout layout, int qualifier, int *field, Companion *companion) {
    if (qualifier >= dxpFieldQualifyUserDefined0 && qualifier <= dxpFieldQualifyUserDefined9) {
        *field = kUdfFields[qualifier];
        *companion = {kUdfFields[qualifier] - 1, 1};
        return true;
    }
    for (const KeyRow &row : kKeyRows) {
        if (row.qualifier != qualifier) continue;
        const bool b = layout == KeyLayout::B;
        *field = b ? row.field_b : row.field_a;
        *companion = b ? row.companion_b : row.companion_a;
        if (b && companion->field == static_cast<int>(DRV_CFP_FIELD_L4_VALID) &&
            (SOC_CONTROL(unit)->chip_flags & kNoL4ValidChip))
            *companion = kNoCompanion;
        return *field != kNoField;
    }
    return false;
}

int field_write(int unit, drv_cfp_entry_t *image, int field, uint32_t *data, uint32_t *mask) {
    const drv_if_t *drv = services(unit);
    const auto id = static_cast<uint32_t>(field);
    if (int rv = drv->cfp_field_set(unit, kRamTcam, id, image, data); rv < 0) return rv;
    return drv->cfp_field_set(unit, kRamMask, id, image, mask);
}

// The common path after the unit checks: qset membership, translation and
// the writes. The image changes only when every write succeeds.
int write(const Control *fc, int unit, int entry, int qualifier, const uint32_t *data,
          const uint32_t *mask, int words = 1) {
    Entry *e = entry_find(fc, entry);
    if (e == nullptr) return DXP_E_NOT_FOUND;
    const Group *g = group_find(fc, e->group);
    if (g == nullptr || !dxp_field_qset_test(g->qset, qualifier)) return DXP_E_NOT_FOUND;
    const KeyLayout layout = key_layout(unit);
    if (layout == KeyLayout::None) return DXP_E_UNAVAIL;
    int field = kNoField;
    Companion companion = kNoCompanion;
    if (!key_field(unit, layout, qualifier, &field, &companion)) return DXP_E_INTERNAL;

    uint32_t d[4] = {}, m[4] = {};
    for (int i = 0; i < words; i++) {
        d[i] = data[i];
        m[i] = mask[i];
    }
    drv_cfp_entry_t image = e->image;
    if (int rv = field_write(unit, &image, field, d, m); rv < 0) return rv;
    if (companion.field != kNoField) {
        uint32_t code = companion.code, code_mask = companion.code;
        if (int rv = field_write(unit, &image, companion.field, &code, &code_mask); rv < 0)
            return rv;
    }
    e->image = image;
    e->dirty = true;
    return DXP_E_NONE;
}

int write1(const Control *fc, int unit, int entry, int qualifier, uint32_t data, uint32_t mask) {
    return write(fc, unit, entry, qualifier, &data, &mask);
}

int qualify(const char *op, int unit, int entry, int qualifier, const uint32_t *data,
            const uint32_t *mask, int words = 1) {
    Control *fc = nullptr;
    if (int rv = checks(op, unit, &fc); rv < 0) return rv;
    return write(fc, unit, entry, qualifier, data, mask, words);
}

int qualify1(const char *op, int unit, int entry, int qualifier, uint32_t data, uint32_t mask) {
    return qualify(op, unit, entry, qualifier, &data, &mask);
}

// bytes 2-5 big-endian, then bytes 0-1.
void mac_words(const dxp_mac_t mac, uint32_t out[2]) {
    out[0] = static_cast<uint32_t>(mac[2]) << 24 | static_cast<uint32_t>(mac[3]) << 16 |
             static_cast<uint32_t>(mac[4]) << 8 | mac[5];
    out[1] = static_cast<uint32_t>(mac[0]) << 8 | mac[1];
}

uint32_t be32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Four words, least significant first.
void ip6_words(const dxp_ip6_t ip, uint32_t out[4]) {
    for (int i = 0; i < 4; i++)
        out[i] = be32(&ip[12 - 4 * i]);
}

int mac_qualify(const char *op, int unit, int entry, int qualifier, const dxp_mac_t data,
                const dxp_mac_t mask) {
    if (data == nullptr || mask == nullptr) return DXP_E_PARAM;
    uint32_t d[2], m[2];
    mac_words(data, d);
    mac_words(mask, m);
    return qualify(op, unit, entry, qualifier, d, m, 2);
}

}  // namespace
}  // namespace tarn::field

using namespace tarn;
using namespace tarn::field;

int dxp_tarn_field_qualify_DSCP(int unit, int entry, uint8_t data, uint8_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyDSCP, data, mask);
}

int dxp_tarn_field_qualify_Tos(int unit, int entry, uint8_t data, uint8_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyDSCP, data, mask);
}

int dxp_tarn_field_qualify_DstIp(int unit, int entry, dxp_ip_t data, dxp_ip_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyDstIp, data, mask);
}

int dxp_tarn_field_qualify_SrcIp(int unit, int entry, dxp_ip_t data, dxp_ip_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifySrcIp, data, mask);
}

int dxp_tarn_field_qualify_DstMac(int unit, int entry, const dxp_mac_t data, const dxp_mac_t mask) {
    return mac_qualify(__func__, unit, entry, dxpFieldQualifyDstMac, data, mask);
}

int dxp_tarn_field_qualify_SrcMac(int unit, int entry, const dxp_mac_t data, const dxp_mac_t mask) {
    return mac_qualify(__func__, unit, entry, dxpFieldQualifySrcMac, data, mask);
}

int dxp_tarn_field_qualify_SrcIp6(int unit, int entry, const dxp_ip6_t data, const dxp_ip6_t mask) {
    if (data == nullptr || mask == nullptr) return DXP_E_PARAM;
    uint32_t d[4], m[4];
    ip6_words(data, d);
    ip6_words(mask, m);
    return qualify(__func__, unit, entry, dxpFieldQualifySrcIp6, d, m, 4);
}

int dxp_tarn_field_qualify_EtherType(int unit, int entry, uint16_t data, uint16_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyEtherType, data, mask);
}

int dxp_tarn_field_qualify_OuterVlan(int unit, int entry, uint16_t data, uint16_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyOuterVlan, data, mask);
}

int dxp_tarn_field_qualify_InnerVlan(int unit, int entry, uint16_t data, uint16_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyInnerVlan, data, mask);
}

int dxp_tarn_field_qualify_Ip6FlowLabel(int unit, int entry, uint32_t data, uint32_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyIp6FlowLabel, data, mask);
}

int dxp_tarn_field_qualify_Ip6HopLimit(int unit, int entry, uint8_t data, uint8_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyIp6HopLimit, data, mask);
}

int dxp_tarn_field_qualify_Ip6NextHeader(int unit, int entry, uint8_t data, uint8_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyIp6NextHeader, data, mask);
}

int dxp_tarn_field_qualify_Ip6TrafficClass(int unit, int entry, uint8_t data, uint8_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyIp6TrafficClass, data, mask);
}

int dxp_tarn_field_qualify_IpProtocol(int unit, int entry, uint8_t data, uint8_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyIpProtocol, data, mask);
}

int dxp_tarn_field_qualify_Ttl(int unit, int entry, uint8_t data, uint8_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyTtl, data, mask);
}

int dxp_tarn_field_qualify_TcpControl(int unit, int entry, uint8_t data, uint8_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyTcpControl, data, mask);
}

int dxp_tarn_field_qualify_TcpHeaderSize(int unit, int entry, uint8_t data, uint8_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyTcpHeaderSize, data, mask);
}

int dxp_tarn_field_qualify_L4SrcPort(int unit, int entry, uint32_t data, uint32_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyL4SrcPort, data, mask);
}

int dxp_tarn_field_qualify_L4DstPort(int unit, int entry, uint32_t data, uint32_t mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyL4DstPort, data, mask);
}

int dxp_tarn_field_qualify_InPorts(int unit, int entry, dxp_pbmp_t data, dxp_pbmp_t mask) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    // The layout-A key matches the ports to leave out.
    if (key_layout(unit) == KeyLayout::A)
        return write1(fc, unit, entry, dxpFieldQualifyInPorts, 0, ~data.w[0]);
    return write1(fc, unit, entry, dxpFieldQualifyInPorts, data.w[0], mask.w[0]);
}

int dxp_tarn_field_qualify_SrcPort(int unit, int entry, int, int, int data_port, int mask_port) {
    return qualify1(__func__, unit, entry, dxpFieldQualifySrcPort, static_cast<uint32_t>(data_port),
                    static_cast<uint32_t>(mask_port));
}

int dxp_tarn_field_qualify_SrcPortTgid(int unit, int entry, int data, int mask) {
    return qualify1(__func__, unit, entry, dxpFieldQualifySrcPortTgid, static_cast<uint32_t>(data),
                    static_cast<uint32_t>(mask));
}

int dxp_tarn_field_qualify_RangeCheck(int unit, int entry, int, int invert) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyRangeCheck, invert != 0, 1);
}

int dxp_tarn_field_qualify_SrcIpEqualDstIp(int unit, int entry, uint32_t flag) {
    return qualify1(__func__, unit, entry, dxpFieldQualifySrcIpEqualDstIp, flag != 0, 1);
}

int dxp_tarn_field_qualify_EqualL4Port(int unit, int entry, uint32_t flag) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyEqualL4Port, flag != 0, 1);
}

int dxp_tarn_field_qualify_TcpSequenceZero(int unit, int entry, uint32_t flag) {
    return qualify1(__func__, unit, entry, dxpFieldQualifyTcpSequenceZero, flag != 0, 1);
}

int dxp_tarn_field_qualify_UserDefined(int unit, int entry, int udf_id, const uint8_t *data,
                                       const uint8_t *mask) {
    if (udf_id < 1 || udf_id > dxpFieldQualifyUserDefined9 + 1 || data == nullptr ||
        mask == nullptr)
        return DXP_E_PARAM;
    return qualify1(__func__, unit, entry, dxpFieldQualifyUserDefined0 + udf_id - 1, be32(data),
                    be32(mask));
}

int dxp_tarn_field_qualify_IpType(int unit, int entry, int type) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (type < 0 || type > 9) return DXP_E_PARAM;
    if (key_layout(unit) != KeyLayout::A)
        return write1(fc, unit, entry, dxpFieldQualifyIpType, 1, 1);
    uint32_t data;
    switch (type) {
        case 5:
            data = 1;
            break;
        case 1:
            data = 0;
            break;
        case 7:
            data = 2;
            break;
        default:
            return DXP_E_UNAVAIL;
    }
    return write1(fc, unit, entry, dxpFieldQualifyIpType, data, 3);
}

int dxp_tarn_field_qualify_PacketFormat(int unit, int entry, uint32_t data, uint32_t) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    const int type = (data & 0x10) ? 5 : (data & 0x20) ? 7 : 1;
    if (int rv = dxp_field_qualify_IpType(unit, entry, type); rv < 0) return rv;
    if (key_layout(unit) != KeyLayout::A)
        return write1(fc, unit, entry, dxpFieldQualifyPacketFormat, 1, 1);
    const uint32_t low = data & 3;
    return write1(fc, unit, entry, dxpFieldQualifyPacketFormat, low == 0 ? 1 : low == 1 ? 2 : 0, 3);
}

int dxp_tarn_field_qualify_IpProtocolCommon(int unit, int entry, int protocol) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (protocol < 0 || protocol > 7) return DXP_E_PARAM;
    const uint32_t data = protocol == 1 ? 2 : protocol == 0 ? 1 : 0;
    return write1(fc, unit, entry, dxpFieldQualifyIpProtocolCommon, data, 3);
}

int dxp_tarn_field_qualify_clear(int unit, int entry) {
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e); rv < 0) return rv;
    drv_cfp_entry_t image = e->image;
    for (uint32_t &w : image.tcam_data)
        w = 0;
    for (uint32_t &w : image.tcam_mask)
        w = 0;
    // The slice id stays in the key: without it the entry would match the
    // packets of every slice.
    uint32_t slice = e->fs->cfp_slice, all = 7;
    if (int rv = field_write(unit, &image, DRV_CFP_FIELD_SLICE_ID, &slice, &all); rv < 0) return rv;
    e->image = image;
    e->dirty = true;
    return DXP_E_NONE;
}

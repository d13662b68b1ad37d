// The "portconf" settings item: what the port settings page changes, one row
// per user port, and the port's discard mode. A forced gigabit port is kept
// as auto-negotiation with its reduced advertisement, so the row restores it
// as it was. Speed and duplex are kept as the form's code of what the port
// runs forced, whoever forced it; the previous row without the discard mode
// is still read, and gives a port none, as its restart did. A copper/fibre
// port running on its fibre keeps the administrator's copper setting in its
// copper configuration: its row stores that one, and a load gives it back to
// the copper while the fibre runs what of it the fibre can. The fibre keeps a
// setting of its own, its forced speed, stored beside it.
#include <optional>
#include <vector>

#include "dxp.h"
#include "port_reserve.h"
#include "settings.h"
#include "board.h"
#include "logger.h"
#include "vlanmgr.h"
#include "web_pages.h"
#include "web_ports.h"
#include "web_ports_internal.h"

namespace {

constexpr uint32_t kVersion = 0x88740003;
constexpr uint32_t kVersionNoFiber = 0x88740002;
constexpr uint32_t kVersionNoDiscard = 0x88740001;

struct Row {
    uint16_t enable;
    uint16_t autoneg;
    uint16_t speed_code;  // applied with auto-negotiation off
    uint16_t flow;
    uint16_t priority;
    uint16_t pvid;
    uint32_t advert;
    uint16_t discard;
    // A copper/fibre port's fibre: 0 negotiates, else the speed it is forced
    // to (100: on a 100BASE-FX fibre, 1000: on a 1000BASE-X one); the rows
    // of the earlier versions leave it as the port's copper setting gives it.
    uint16_t fiber_forced;
};
constexpr int kRowBytes = 8 * 2 + 4;
constexpr int kRowBytesNoFiber = 7 * 2 + 4;
constexpr int kRowBytesNoDiscard = 6 * 2 + 4;
constexpr uint16_t kFiberFromCopper = 0xffff;  // an earlier version's row
constexpr int kMediumCopper = 1, kMediumFiber = 2;
constexpr uint32_t kAdvertCopperSpeeds = 0x3f;  // 10 to 1000 Mb/s, half and full
constexpr uint32_t kAdvert100Full = 0x8;

// The fibre's own forced speed (Row::fiber_forced); false without a fibre.
bool fiber_forced_of(int lport, uint16_t *forced) {
    dxp_phy_config_t fiber{};
    if (dxpx_port_medium_config_get(lport, kMediumFiber, &fiber) != 0) return false;
    *forced = fiber.autoneg_enable ? 0 : fiber.force_speed == 100 ? 100 : 1000;
    return true;
}

// The copper configuration of a copper/fibre port that runs on its fibre.
bool copper_kept(int lport, dxp_phy_config_t *copper) {
    int medium = 0;
    return dxpx_port_medium_get(lport, &medium) == 0 && medium == kMediumFiber &&
           dxpx_port_medium_config_get(lport, kMediumCopper, copper) == 0;
}

Row row_of(int uport) {
    Row row{};
    int lport = 0;
    const bool mapped = ulpm_to_lport(uport, &lport) == 0;
    if (mapped) {
        int value = 0;
        if (dxpx_port_enable_get(lport, &value) == 0) row.enable = static_cast<uint16_t>(value);
        if (dxpx_port_autoneg_get(lport, &value) == 0) row.autoneg = static_cast<uint16_t>(value);
        if (dxpx_port_untagged_priority_get(lport, &value) == 0)
            row.priority = static_cast<uint16_t>(value);
        if (dxpx_port_discard_get(lport, &value) == 0) row.discard = static_cast<uint16_t>(value);
        dxpx_port_advert_get(lport, &row.advert);
    }
    // A negotiating port keeps the form's last code: the link's says nothing
    // of what was set.
    row.speed_code = static_cast<uint16_t>(row.autoneg == 1 ? port_speed_code_get(uport - 1)
                                                            : port_speed_code_running(uport));
    row.flow = static_cast<uint16_t>(port_flowctrl_running(uport));
    row.pvid = static_cast<uint16_t>(port_pvid_get(uport - 1));
    // The fibre advertises 1000 full alone, which a copper restart would
    // take for forced gigabit.
    if (mapped) fiber_forced_of(lport, &row.fiber_forced);
    dxp_phy_config_t copper{};
    if (mapped && copper_kept(lport, &copper)) {
        row.autoneg = copper.autoneg_enable ? 1 : 0;
        row.advert = copper.autoneg_advert;
        if (row.autoneg != 1)
            row.speed_code =
                static_cast<uint16_t>(port_code_of_speed(copper.force_speed, copper.force_duplex));
    }
    return row;
}

int save(settings_medium *m) {
    // One hold for every port's reads: a load compares this record on each
    // run, and a busy switch would make it queue for the unit once per read.
    DxpUnitLock api(0);
    for (int uport = 1; uport <= board_num_uports; uport++) {
        Row row = row_of(uport);
        for (uint16_t v :
             {row.enable, row.autoneg, row.speed_code, row.flow, row.priority, row.pvid}) {
            if (medium_write_u16(m, v) != 0) return -1;
        }
        if (medium_write_u32(m, row.advert) != 0 || medium_write_u16(m, row.discard) != 0 ||
            medium_write_u16(m, row.fiber_forced) != 0)
            return -1;
    }
    return board_num_uports * kRowBytes;
}

}  // namespace

// A stored advertisement may name speeds the fitted PHY cannot run (a board
// default names every speed, whatever sits on the port; the form's Apply
// names every speed of a gigabit port).
uint32_t port_advert_runnable(int lport, uint32_t advert) {
    uint32_t ability = 0;
    if (dxpx_port_ability_get(lport, &ability) != 0 || (ability & kPortAdvertSpeeds) == 0)
        return advert;
    const uint32_t speeds = advert & ability & kPortAdvertSpeeds;
    return (advert & ~kPortAdvertSpeeds) | (speeds != 0 ? speeds : ability & kPortAdvertSpeeds);
}

namespace {

// The row as the fibre runs it: a copper speed it cannot force leaves it
// negotiating. A 100BASE-FX fibre, whose abilities lack gigabit, forces 100
// full.
Row fiber_view(int lport, Row row) {
    int speed = 0, duplex = 0;
    uint32_t ability = 0;
    const int fibre_speed = dxpx_port_ability_get(lport, &ability) == 0 &&
                                    (ability & kAdvertCopperSpeeds) == kAdvert100Full
                                ? 100
                                : 1000;
    if (row.autoneg != 1 && !(port_speed_of_code(row.speed_code, &speed, &duplex) &&
                              speed == fibre_speed && duplex == 1))
        row.autoneg = 1;
    return row;
}

// Gives the row's link setting to the copper configuration of a port that
// runs on its fibre.
int copper_restore(int lport, const Row &row) {
    dxp_phy_config_t copper{};
    if (int rv = dxpx_port_medium_config_get(lport, kMediumCopper, &copper); rv != 0) return rv;
    copper.autoneg_enable = row.autoneg == 1 ? 1 : 0;
    // A row that names no copper speed leaves the copper its own, as a load
    // on copper advertises every speed then.
    const uint32_t speeds =
        (row.advert & kAdvertCopperSpeeds) != 0 ? row.advert : copper.autoneg_advert;
    copper.autoneg_advert = (speeds & kAdvertCopperSpeeds) | (row.advert & ~kAdvertCopperSpeeds);
    int speed = 0, duplex = 0;
    if (row.autoneg != 1 && port_speed_of_code(row.speed_code, &speed, &duplex)) {
        copper.force_speed = speed;
        copper.force_duplex = duplex;
    }
    return dxpx_port_medium_config_set(lport, kMediumCopper, &copper);
}

// Gives a copper/fibre port's fibre its own forced speed. An earlier
// version's row forces a 100BASE-FX fibre as its copper was forced to 100
// full, and leaves the fibre otherwise as the row's calls set it.
int fiber_restore(int lport, const Row &row) {
    dxp_phy_config_t fiber{};
    if (dxpx_port_medium_config_get(lport, kMediumFiber, &fiber) != 0) return 0;  // none
    uint16_t forced = row.fiber_forced;
    if (forced == kFiberFromCopper) {
        int speed = 0, duplex = 0;
        if (row.autoneg == 1 || !port_speed_of_code(row.speed_code, &speed, &duplex) ||
            speed != 100 || duplex != 1)
            return 0;
        forced = 100;
    }
    const dxp_phy_config_t running = fiber;
    fiber.autoneg_enable = forced == 0 ? 1 : 0;
    if (forced != 0) fiber.force_speed = forced;
    // Unchanged, a running fibre is left alone rather than negotiated again.
    if (fiber.autoneg_enable == running.autoneg_enable && fiber.force_speed == running.force_speed)
        return 0;
    return dxpx_port_medium_config_set(lport, kMediumFiber, &fiber);
}

// Applies one row; a failing call is logged and the rest still applied, so
// a speed the port no longer takes does not cost it its VLAN or priority.
void apply(int uport, const Row &stored) {
    int lport = 0;
    if (ulpm_to_lport(uport, &lport) != 0) return;
    // A port under self-test keeps its row as it was, records included: the
    // test's restore would undo the chip's half.
    if (port_reserve_hold(lport) != 0) {
        settings_load_skipped(LOG_MOD_PORT, "Port settings: port %d: %s", uport,
                              port_reserve_held_text_lport(lport));
        return;
    }
    int first = 0;
    auto step = [&first](int rv) {
        if (first == 0 && rv != 0) first = rv;
        return rv == 0;
    };
    // The port's calls as one hold of the unit, so that a busy switch makes
    // the load queue once per port rather than once per call.
    std::optional<DxpUnitLock> api(std::in_place, 0);
    dxp_phy_config_t copper{};
    const bool on_fiber = copper_kept(lport, &copper);
    const Row &row = on_fiber ? fiber_view(lport, stored) : stored;
    step(dxpx_port_enable_set(lport, row.enable == 1 ? 1 : 0));
    step(dxpx_port_discard_set(lport, row.discard));
    // A forced port gets its advertisement too: it is what the port offers
    // when it negotiates again, and what a copper/fibre PHY starts with
    // otherwise (its own reset value names 1000 half, which no port runs).
    if (step(dxpx_port_autoneg_set(lport, row.autoneg == 1 ? 1 : 0)))
        step(dxpx_port_advert_set(lport, port_advert_runnable(lport, row.advert)));
    int speed = 0;
    int duplex = 0;
    if (row.autoneg != 1 && port_speed_of_code(row.speed_code, &speed, &duplex) &&
        step(dxpx_port_speed_set(lport, speed)))
        step(dxpx_port_duplex_set(lport, duplex));
    port_speed_code_set(uport - 1, row.speed_code);
    step(dxpx_port_pause_set(lport, row.flow == 1, row.flow == 1));
    step(dxpx_port_untagged_priority_set(lport, row.priority));
    const bool pvid_set =
        row.pvid >= 1 && row.pvid < 4095 && step(dxpx_port_untagged_vlan_set(lport, row.pvid));
    api.reset();  // the CPU address follows under the L2 manager's own lock
    if (pvid_set && setportcbk_PVID_set(uport - 1, row.pvid) != 1) step(-1);
    port_flowctrl_set(uport - 1, row.flow == 1 ? 1 : 0);
    // Last, as the running medium's settings reach the other's configuration.
    if (on_fiber) step(copper_restore(lport, stored));
    step(fiber_restore(lport, stored));
    port_reserve_unhold();
    if (first != 0)
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_PORT, "Port settings: port %d: %s\n", uport,
                      dxp_errmsg(first));
}

bool read_rows(settings_medium *m, std::vector<Row> *rows) {
    const uint32_t version = medium_stored_version(m);
    const bool has_discard = version != kVersionNoDiscard;
    const bool has_fiber = version != kVersionNoDiscard && version != kVersionNoFiber;
    Row none{};
    none.fiber_forced = kFiberFromCopper;
    rows->assign(static_cast<size_t>(board_num_uports), none);
    for (Row &row : *rows) {
        for (uint16_t *v :
             {&row.enable, &row.autoneg, &row.speed_code, &row.flow, &row.priority, &row.pvid}) {
            if (medium_read_u16(m, v) != 0) return false;
        }
        if (medium_read_u32(m, &row.advert) != 0) return false;
        if (has_discard && medium_read_u16(m, &row.discard) != 0) return false;
        if (has_fiber && medium_read_u16(m, &row.fiber_forced) != 0) return false;
    }
    return true;
}

int row_bytes(uint32_t version) {
    return version == kVersionNoDiscard ? kRowBytesNoDiscard
           : version == kVersionNoFiber ? kRowBytesNoFiber
                                        : kRowBytes;
}

int load(settings_medium *m) {
    std::vector<Row> rows;
    if (!read_rows(m, &rows)) return -1;
    for (int uport = 1; uport <= board_num_uports; uport++)
        apply(uport, rows[static_cast<size_t>(uport - 1)]);
    return board_num_uports * row_bytes(medium_stored_version(m));
}

// A row holds only what the port settings form and the monitor's discard
// modes can set: a value past them would be applied as another one.
bool row_valid(int uport, const Row &row) {
    const struct {
        const char *field;
        uint16_t value, last;
        uint16_t first = 0;
    } fields[] = {
        {"enable", row.enable, 1},         {"auto-negotiation", row.autoneg, 1},
        {"speed code", row.speed_code, 5}, {"flow control", row.flow, 1},
        {"priority", row.priority, 7},     {"PVID", row.pvid, 4094, 1},
        {"discard", row.discard, 2},
    };
    for (const auto &f : fields) {
        if (f.value >= f.first && f.value <= f.last) continue;
        settings_check_refuse("Port settings: port %d: %s %u is not %u-%u", uport, f.field, f.value,
                              f.first, f.last);
        return false;
    }
    const uint16_t fiber = row.fiber_forced;
    if (fiber != 0 && fiber != 100 && fiber != 1000 && fiber != kFiberFromCopper) {
        settings_check_refuse("Port settings: port %d: fibre forced speed %u is not 0, 100 or 1000",
                              uport, fiber);
        return false;
    }
    return true;
}

// A restored row is one its port runs as the port page would take it: a
// forced speed the port has, a PVID that names a VLAN of the restored
// settings. A copper/fibre port takes every copper speed on either medium.
bool row_runnable(int uport, const Row &row) {
    if (!vlanmgr_checked_vid_exist(row.pvid)) {
        settings_check_refuse("Port settings: port %d: PVID %u is no VLAN of the settings", uport,
                              row.pvid);
        return false;
    }
    int lport = 0;
    uint32_t ability = 0;
    dxp_phy_config_t copper{};
    // A forced row without a speed code keeps the port's speed.
    if (row.autoneg == 1 || row.speed_code == 0 || ulpm_to_lport(uport, &lport) != 0 ||
        dxpx_port_ability_get(lport, &ability) != 0 ||
        dxpx_port_medium_config_get(lport, kMediumCopper, &copper) == 0)
        return true;
    static constexpr struct {
        uint32_t bit;
        const char *name;
    } kCodes[] = {{0, ""},
                  {0x1, "10Mbps Half"},
                  {0x2, "10Mbps Full"},
                  {0x4, "100Mbps Half"},
                  {0x8, "100Mbps Full"},
                  {0x20, "1Gbps Full"}};
    const auto &code = kCodes[row.speed_code <= 5 ? row.speed_code : 0];
    if ((ability & code.bit) != 0) return true;
    settings_check_refuse("Port settings: port %d: speed code %u (%s) is not one the port runs",
                          uport, row.speed_code, code.name);
    return false;
}

int check(settings_medium *m) {
    const auto size = [](int row) { return static_cast<size_t>(board_num_uports * row); };
    if (!settings_check_record_size(m, kVersion, size(kRowBytes)) &&
        !settings_check_record_size(m, kVersionNoFiber, size(kRowBytesNoFiber)) &&
        !settings_check_record_size(m, kVersionNoDiscard, size(kRowBytesNoDiscard)))
        return 0;
    std::vector<Row> rows;
    if (!read_rows(m, &rows)) return 0;
    for (int uport = 1; uport <= board_num_uports; uport++)
        if (!row_valid(uport, rows[static_cast<size_t>(uport - 1)])) return 0;
    if (settings_check_of_backup())
        for (int uport = 1; uport <= board_num_uports; uport++)
            if (!row_runnable(uport, rows[static_cast<size_t>(uport - 1)])) return 0;
    return 1;
}

}  // namespace

int port_settings_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}

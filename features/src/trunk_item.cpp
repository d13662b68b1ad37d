// The "trunk" settings item: per trunk id its selection word and member
// logical ports; a load rebuilds the chip trunks and the manager's groups.
#include <cstdio>
#include <string>
#include <vector>

#include "logger.h"
#include "port_reserve.h"
#include "sal_lock.h"
#include "serialize.h"
#include "settings.h"
#include "trunkmgr.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;
constexpr int kRowPorts = 8;

struct Row {
    uint32_t psc;
    uint32_t count;
    uint32_t ports[kRowPorts];
};

int save(settings_medium *m) {
    SalLock hold(trunkmgr_lock());
    for (int tid = 0; tid < board_num_trunks; tid++) {
        Row row{};
        dxp_trunk_add_info info{};
        if (dxp_trunk_get(DXPX_CPU_UNIT, tid, &info) == 0) {
            row.psc = static_cast<uint32_t>(info.psc);
            for (int i = 0; i < info.num_ports && i < kRowPorts; i++) {
                int lport = dxpx_unit_port_to_lport(DXPX_CPU_UNIT, info.tp[i]);
                if (lport >= 0) row.ports[row.count++] = static_cast<uint32_t>(lport);
            }
        }
        if (medium_write_u32(m, row.psc) != 0 || medium_write_u32(m, row.count) != 0) return -1;
        for (uint32_t p : row.ports) {
            if (medium_write_u32(m, p) != 0) return -1;
        }
    }
    return board_num_trunks * static_cast<int>(sizeof(Row));
}

bool read_rows(settings_medium *m, std::vector<Row> *rows) {
    rows->assign(static_cast<size_t>(board_num_trunks), Row{});
    for (Row &row : *rows) {
        if (medium_read_u32(m, &row.psc) != 0 || medium_read_u32(m, &row.count) != 0) return false;
        for (uint32_t &p : row.ports) {
            if (medium_read_u32(m, &p) != 0) return false;
        }
    }
    return true;
}

// Why the rows cannot be taken, as every entrance names it ("" when they
// can): a trunk holds at most the board's number of ports.
std::string refusal(const std::vector<Row> &rows) {
    for (size_t tid = 0; tid < rows.size(); tid++) {
        if (rows[tid].count <= static_cast<uint32_t>(board_trunk_size)) continue;
        char text[96];
        std::snprintf(text, sizeof text,
                      "Trunk settings: trunk %zu would hold %u ports: a trunk holds at most %d",
                      tid + 1, rows[tid].count, board_trunk_size);
        return text;
    }
    return "";
}

// Applies one row; false when the row is refused (logged).
bool apply(int tid, const Row &row) {
    upbmp_t members{};
    dxpx_trunk_add_info_t info{};
    info.psc = static_cast<int>(row.psc);
    if (upbmp_alloc(&members, board_num_uports) != 0 || dxpx_lplist_init(&info.ports, 0, 0) != 0) {
        upbmp_free(&members);
        return false;
    }
    bool ok = true;
    for (uint32_t i = 0; i < row.count && ok; i++) {
        const int lport = static_cast<int>(row.ports[i]);
        int uport = 0;
        ok = ulpm_to_uport(lport, &uport) == 0;
        if (!ok) {
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_TRUNKING,
                          "Trunk settings: trunk %d has a bad port %d", tid + 1, lport);
            break;
        }
        upbmp_add(&members, uport);
        dxpx_lplist_add(&info.ports, lport);
        dxpx_l2_addr_delete_by_port(lport, 0);  // addresses learned before the port joined
    }
    if (ok) {
        trunkmgr_trunk_set(tid, &members);
        if (row.count > 0) {
            int rv = dxpx_trunk_create_with_tid(tid);
            if (rv == 0) rv = dxpx_trunk_set(tid, &info);
            if (rv != 0)
                logger_printf(LOG_LEVEL_ERROR, LOG_MOD_TRUNKING, "Trunk settings: trunk %d: %s",
                              tid + 1, dxp_errmsg(rv));
        }
    }
    dxpx_lplist_free(&info.ports);
    upbmp_free(&members);
    return ok;
}

// The first port under self-test that the trunk takes, stored, in the
// manager's table or in the chip, or 0.
int held_port(int tid, const Row &row) {
    for (uint32_t i = 0; i < row.count && i < kRowPorts; i++) {
        int uport = 0;
        const int lport = static_cast<int>(row.ports[i]);
        if (port_reserved_lport(lport) && ulpm_to_uport(lport, &uport) == 0) return uport;
    }
    upbmp_t members{};
    int found = 0;
    if (trunkmgr_trunk_get(tid, &members) == 0) {
        for (int n = 1; n <= board_num_uports && found == 0; n++) {
            int lport = 0;
            if (upbmp_test(&members, n) && ulpm_to_lport(n, &lport) == 0 &&
                port_reserved_lport(lport))
                found = n;
        }
        upbmp_free(&members);
    }
    dxp_trunk_add_info info{};
    if (found == 0 && dxp_trunk_get(DXPX_CPU_UNIT, tid, &info) == 0) {
        for (int i = 0; i < info.num_ports && found == 0; i++) {
            int uport = 0;
            const int lport = dxpx_unit_port_to_lport(DXPX_CPU_UNIT, info.tp[i]);
            if (lport >= 0 && port_reserved_lport(lport) && ulpm_to_uport(lport, &uport) == 0)
                found = uport;
        }
    }
    return found;
}

int load(settings_medium *m) {
    // The chip and the table change together, against the page and the
    // monitor; the tests' ports stay as the load finds them.
    PortReserveFreeze tests;
    SalLock hold(trunkmgr_lock());
    std::vector<Row> rows;
    if (!read_rows(m, &rows)) return -1;
    // Refused whole, before any trunk changes.
    if (const std::string why = refusal(rows); !why.empty()) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_TRUNKING, why.c_str());
        return -1;
    }
    // A trunk that takes a port under self-test stays as it runs, table and
    // chip, until a load after the test: the test's frames would leave
    // through the other members, and the chip refuses it anyway.
    std::vector<bool> skip(rows.size());
    for (int tid = 0; tid < board_num_trunks; tid++) {
        if (int uport = held_port(tid, rows[static_cast<size_t>(tid)]); uport != 0) {
            skip[static_cast<size_t>(tid)] = true;
            settings_load_skipped(LOG_MOD_TRUNKING, "Trunks: trunk %d: port %d: %s", tid + 1, uport,
                                  uport_held_text(uport));
        }
    }
    for (int tid = 0; tid < board_num_trunks; tid++) {
        if (skip[static_cast<size_t>(tid)]) continue;
        dxpx_trunk_destroy(tid);
        trunkmgr_trunk_delete(tid);
    }
    for (int tid = 0; tid < board_num_trunks; tid++) {
        if (!skip[static_cast<size_t>(tid)] && !apply(tid, rows[static_cast<size_t>(tid)])) break;
    }
    return board_num_trunks * static_cast<int>(sizeof(Row));
}

int check(settings_medium *m) {
    std::vector<Row> rows;
    if (!settings_check_record_size(m, kVersion,
                                    static_cast<size_t>(board_num_trunks) * sizeof(Row)) ||
        !read_rows(m, &rows))
        return 0;
    if (const std::string why = refusal(rows); !why.empty()) {
        settings_check_refuse("%s", why.c_str());
        return 0;
    }
    return 1;
}

}  // namespace

int trunkmgr_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}

// Ethernet statistics: one row per user port, kept by the "rmon_counter"
// thread as 64-bit differences from the readings taken when the row was
// enabled.
#include <atomic>
#include <cstring>

#include "board.h"
#include "dxpx.h"
#include "rmon_internal.h"

rmon_entry **rmon_port_entries;

namespace {

constexpr int kStats = 17;
// Statistic types of columns 3..19.
constexpr int kStatTypes[kStats] = {21, 34, 35, 23, 22, 37, 24, 32, 25,
                                    33, 36, 26, 27, 28, 29, 30, 31};

uint64_t *counter_bases;
std::atomic<int32_t> counter_period{100000};

}  // namespace

using namespace rmonp;

namespace rmonp {

uint32_t num_ports(void) {
    return board_num_uports > 0 ? static_cast<uint32_t>(board_num_uports) : 0;
}

void etherstats_defaults(void) {
    rmon_table *t = table(RMON_ETHERSTATS);
    uint32_t n = num_ports();
    for (uint32_t p = 1; p <= n; p++) {
        rmon_entry *row = rmon_row_ctrl_create(t, p);
        if (row == nullptr) continue;
        rmon_oid_t source[11] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 1, p};
        rmon_var_bytes_set(row, 2, source, 11);
        rmon_var_text_set(row, 20, "monitor", 7);
        row->flags = RMON_FLAG_REBASE;
        rmon_port_entry_set(static_cast<int>(p - 1), row);
    }
    log(LOG_LEVEL_INFO, "%d etherStats entries created with disabled status!\n",
        static_cast<int>(n));
}

}  // namespace rmonp

void rmon_port_entries_init(void) {
    if (rmon_port_entries == nullptr)
        rmon_port_entries = static_cast<rmon_entry **>(
            sal_alloc(sizeof(rmon_entry *) * (num_ports() + 1), "rmon_probe"));
}

void rmon_counter_base_init(void) {
    if (counter_bases == nullptr)
        counter_bases = static_cast<uint64_t *>(
            sal_alloc(sizeof(uint64_t) * kStats * (num_ports() + 1), "rmon_probe"));
}

void rmon_port_entry_set(int port_index, rmon_entry *row) {
    SAL_ASSERT(rmon_port_entries[port_index] == nullptr);
    rmon_port_entries[port_index] = row;
}

void rmon_counter_period_set(int32_t usecs) {
    counter_period = usecs;
}

namespace {

// pace: a tick's sleep before each read, as the thread does, so that a pass
// over many ports leaves the processor to others.
void counter_pass(bool pace) {
    uint32_t n = num_ports();
    for (uint32_t p = 1; p <= n; p++) {
        rmon_entry *row = rmon_port_entries[p - 1];
        SAL_ASSERT(row);
        row->flags &= ~RMON_FLAG_BUSY;
        if (row->status != RMON_VALID) continue;
        row->flags |= RMON_FLAG_BUSY;
        int lport = -1;
        ulpm_to_lport(static_cast<int>(p), &lport);
        bool rebase = (row->flags & RMON_FLAG_REBASE) != 0;
        uint64_t *base = counter_bases + (p - 1) * kStats;
        for (int k = 0; k < kStats; k++) {
            if (pace) sal_usleep(1);
            uint64_t reading = 0;
            // A failed read keeps the previous value.
            if (dxpx_stat_get(lport, kStatTypes[k], &reading) != 0) continue;
            SchedLock hold;
            if (rebase) base[k] = reading;
            uint64_t diff = reading - base[k];
            std::memcpy(row->variables[k + 2].value, &diff, 8);
            row->variables[k + 2].length = 8;
        }
        row->flags &= ~(RMON_FLAG_BUSY | (rebase ? RMON_FLAG_REBASE : 0));
    }
}

}  // namespace

void rmon_counter_pass(void) {
    counter_pass(false);
}

void rmon_counter_thread(void *) {
    for (;;) {
        while (counter_period == 0)
            sal_usleep(1000000);
        sal_usleep(static_cast<uint32_t>(counter_period.load()));
        counter_pass(true);
    }
}

int rmon_etherstats_enable(int, rmon_entry *row, int on, int *error) {
    *error = RMON_NO_ERROR;
    if (row == nullptr) return 4;
    int status;
    if (!on) {
        status = rmon_row_ctrl_modify(row);
    } else {
        status = rmon_row_ctrl_enable(row);
        if ((row->flags & RMON_FLAG_REBASE) == 0) {
            while (row->flags & RMON_FLAG_BUSY)
                sal_udelay(100);
            SchedLock hold;
            if (status == 0) row->flags |= RMON_FLAG_REBASE;
            for (int k = 0; k < kStats; k++)
                std::memset(row->variables[k + 2].value, 0, 8);
        }
    }
    if (status == 0)
        log(LOG_LEVEL_INFO, "EtherStats table entry %s, index=%d\n", on ? "enabled" : "disabled",
            static_cast<int>(rmon_row_index(row)));
    *error = RMON_NO_ERROR;
    return status;
}

int rmonp::refuse_create(int, uint32_t, int *error) {
    *error = RMON_RESOURCE_UNAVAILABLE;
    return 0;
}

int rmonp::refuse_remove(int, rmon_entry *, int *error) {
    *error = RMON_RESOURCE_UNAVAILABLE;
    return 0;
}

namespace {

int stats_test(rmon_entry *, int column, const oid_val *value) {
    if (column == 21) return check_int(value, 1, 4);
    if (column != 20) return RMON_NO_ACCESS;
    int error = check_text(value);
    // Only the probe's own owner ("monitor...") may own these rows.
    if (error == RMON_NO_ERROR &&
        (value->length < 7 || std::memcmp(value->value, "monitor", 7) != 0))
        error = RMON_WRONG_VALUE;
    return error;
}

}  // namespace

int rmon_mib_etherstats(rmon_entry *row, int var_id, int action, oid_val *value, int *error) {
    return handle_writable(__func__, row, var_id, action, value, error, column_bit(20),
                           RMON_NO_ACCESS, stats_test);
}

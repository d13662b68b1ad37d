// The "qos" settings item (2,424 bytes): queue scheduling and priority
// mapping, the mode, port priorities, DSCP and ToS maps, the IP table and the
// number of CoS queues. The previous version (2,420 bytes, no queue count) is
// still read; it leaves the queue count as it is.
#include <cstring>
#include <optional>

#include "serialize.h"
#include "board.h"
#include "dxp.h"
#include "dxpx.h"
#include "logger.h"
#include "port_reserve.h"
#include "qosmgr_internal.h"
#include "sal_lock.h"
#include "settings.h"

namespace {

constexpr uint32_t kVersion = 0x88740004;
constexpr uint32_t kVersionNoQueueCount = 0x88740003;
constexpr int kQueues = 8;
constexpr int kPorts = 128;
constexpr int kPriorities = 8;
constexpr int kRecordSize = 2420;

struct Record {
    uint32_t sched_mode;
    uint32_t weights[kQueues];
    uint32_t delay;
    uint32_t mapping[kPriorities];
    uint32_t mode;
    uint32_t port_prio[kPorts];
    uint32_t dscp[MAX_QOS_DSCP_BASE_NUM];
    uint32_t tos[MAX_QOS_TOS_BASE_NUM];
    uint32_t ip_count;
    uint32_t ip[MAX_QOS_IP_BASE_NUM][3];  // address, mask (network order as read), priority
    uint32_t reserved;
};
static_assert(sizeof(Record) == kRecordSize);

uint32_t be32(const uint8_t b[4]) {
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
}
void put_be32(uint8_t b[4], uint32_t v) {
    b[0] = static_cast<uint8_t>(v >> 24);
    b[1] = static_cast<uint8_t>(v >> 16);
    b[2] = static_cast<uint8_t>(v >> 8);
    b[3] = static_cast<uint8_t>(v);
}

// The record as 32-bit words, in field order.
uint32_t *words(Record &r) {
    return reinterpret_cast<uint32_t *>(&r);
}
constexpr int kWords = kRecordSize / 4;
constexpr uint32_t kSchedWeighted = 3;  // the API's weighted round robin
constexpr int kDefaultWeight = 1;

// The running settings as save stores them; the caller holds the QoS
// manager's lock.
Record running() {
    Record r{};
    int sched = 0, delay = 0, w[kQueues] = {};
    dxpx_cosq_sched_get(&sched, w, &delay);
    r.sched_mode = static_cast<uint32_t>(sched);
    r.delay = static_cast<uint32_t>(delay);
    for (int q = 0; q < kQueues; q++)
        r.weights[q] = static_cast<uint32_t>(w[q]);
    for (int p = 0; p < kPriorities; p++) {
        int queue = 0;
        dxpx_cosq_mapping_get(p, &queue);
        r.mapping[p] = static_cast<uint32_t>(queue);
    }
    int v = 0;
    qosmgr_mode_get(&v);
    r.mode = static_cast<uint32_t>(v);
    for (int i = 0; i < board_num_uports && i < kPorts; i++) {
        qos_port_priority_get_by_index(i, &v);
        r.port_prio[i] = static_cast<uint32_t>(v);
    }
    for (int d = 0; d < MAX_QOS_DSCP_BASE_NUM; d++) {
        qosmgr_dscp_base_get_by_index(d, &v);
        r.dscp[d] = static_cast<uint32_t>(v);
    }
    for (int t = 0; t < MAX_QOS_TOS_BASE_NUM; t++) {
        qosmgr_tos_base_get_by_index(t, &v);
        r.tos[t] = static_cast<uint32_t>(v);
    }
    r.ip_count = static_cast<uint32_t>(qosmgr_ip_base_cnt_get());
    for (uint32_t i = 0; i < r.ip_count; i++) {
        uint8_t ip[4], mask[4];
        qosmgr_ip_base_get_by_index(static_cast<int>(i), ip, mask, &v);
        r.ip[i][0] = be32(ip);
        r.ip[i][1] = be32(mask);
        r.ip[i][2] = static_cast<uint32_t>(v);
    }
    return r;
}

uint32_t running_queues() {
    int queues = 0;
    dxpx_cosq_config_get(&queues);
    return static_cast<uint32_t>(queues);
}

int save(settings_medium *m) {
    // One snapshot or one change against the pages and the monitor.
    SalLock hold(qosmgr_lock());
    Record r = running();
    for (int i = 0; i < kWords; i++) {
        if (medium_write_u32(m, words(r)[i]) != 0) return -1;
    }
    if (medium_write_u32(m, running_queues()) != 0) return -1;
    return kRecordSize + 4;
}

// Set once a load has applied a record since the manager's init (under its
// lock): from then on the chip runs what the manager holds, and a record
// equal to that needs no work.
bool applied_once = false;

int check(settings_medium *m) {
    if (!settings_check_record_size(m, kVersion, kRecordSize + 4) &&
        !settings_check_record_size(m, kVersionNoQueueCount, kRecordSize))
        return 0;
    if (!settings_check_of_backup()) return 1;
    // A restore of weights the chip cannot run is refused by name, as the
    // page and the monitor refuse them (none at all get the default).
    uint32_t sched = 0, weight = 0;
    int w[kQueues];
    bool weighted = false;
    if (medium_read_u32(m, &sched) != 0) return 0;
    for (int &q : w) {
        if (medium_read_u32(m, &weight) != 0) return 0;
        q = static_cast<int>(weight);
        weighted = weighted || weight != 0;
    }
    const char *why =
        sched == kSchedWeighted && weighted ? dxp_cosq_weights_refusal(DXPX_CPU_UNIT, w) : nullptr;
    if (why == nullptr) return 1;
    settings_check_refuse("QoS settings: %s", why);
    return 0;
}

int load(settings_medium *m) {
    // Tests start after the load or wait for it, not halfway through it.
    PortReserveFreeze tests;
    SalLock hold(qosmgr_lock());
    // The item's many API calls as one hold: a load waits for the unit lock
    // once, not once per port behind whoever else uses the switch.
    std::optional<DxpUnitLock> api(std::in_place, DXPX_CPU_UNIT);
    Record r{};
    for (int i = 0; i < kWords; i++) {
        if (medium_read_u32(m, &words(r)[i]) != 0) return -1;
    }
    uint32_t queues = 0;
    const bool has_queues = medium_stored_version(m) == kVersion;
    if (has_queues && medium_read_u32(m, &queues) != 0) return -1;
    if (r.ip_count > MAX_QOS_IP_BASE_NUM || r.mode > ENHANCE_MODE_IP_BASED_QOS) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_QOS,
                      "QoS settings: bad mode %u or IP entry count %u", r.mode, r.ip_count);
        return -1;
    }
    const int size = has_queues ? kRecordSize + 4 : kRecordSize;
    // A load of what already runs changes nothing, and the mode's rules are
    // rebuilt only when what they are made of differs (the mode, its tables,
    // the queue each priority maps to): a rebuild takes the field processor
    // from every port meanwhile.
    bool rules_differ = true;
    if (applied_once) {
        const Record now = running();
        if (std::memcmp(&now, &r, sizeof r) == 0 && (!has_queues || queues == running_queues()))
            return size;
        rules_differ = now.mode != r.mode ||
                       std::memcmp(now.port_prio, r.port_prio, sizeof r.port_prio) != 0 ||
                       now.ip_count != r.ip_count || std::memcmp(now.ip, r.ip, sizeof r.ip) != 0 ||
                       std::memcmp(now.mapping, r.mapping, sizeof r.mapping) != 0 ||
                       (has_queues && queues != running_queues());
        // A port under self-test keeps its priority, as the QoS page
        // refuses it: the item waits whole for a load after the test.
        for (int i = 0; i < board_num_uports && i < kPorts; i++) {
            if (now.port_prio[i] != r.port_prio[i] && uport_under_test(i + 1)) {
                settings_load_skipped(LOG_MOD_QOS, "QoS settings: port %d: %s", i + 1,
                                      uport_held_text(i + 1));
                return size;
            }
        }
        // The scheduling and the queue count reach every port and a mode
        // change every port's rule or classification: as the QoS pages
        // refuse them during a self-test, the item waits whole for a load
        // after it.
        const bool sched_differs = now.sched_mode != r.sched_mode || now.delay != r.delay ||
                                   std::memcmp(now.weights, r.weights, sizeof r.weights) != 0 ||
                                   (has_queues && queues != 0 && queues != running_queues());
        const char *held = sched_differs ? qosmgr_held_port_text() : nullptr;
        if (held == nullptr && now.mode != r.mode)
            held = qosmgr_mode_held(static_cast<int>(r.mode));
        if (held != nullptr) {
            settings_load_skipped(LOG_MOD_QOS, "QoS settings: %s", held);
            return size;
        }
    }
    applied_once = true;
    // The queue count first: the scheduling's weights are per queue.
    if (has_queues && queues != 0) {
        if (int rv = dxpx_cosq_config_set(static_cast<int>(queues)); rv != 0)
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_QOS, "QoS settings: %u queues: %s", queues,
                          dxp_errmsg(rv));
    }
    int w[kQueues];
    bool weighted = false;
    for (int q = 0; q < kQueues; q++) {
        w[q] = static_cast<int>(r.weights[q]);
        weighted = weighted || w[q] != 0;
    }
    // Weighted with no weights is what a chip never scheduled reads back and
    // what older factory images stored; the switch cannot run it, so such a
    // record gets the default weights, which the chip then really holds.
    if (!weighted && r.sched_mode == kSchedWeighted) {
        for (int &weight : w)
            weight = kDefaultWeight;
    }
    // Strict priority keeps the weights for a later weighted schedule, as
    // the page's Apply leaves them in the chip: they go in first.
    if (r.sched_mode != kSchedWeighted)
        dxpx_cosq_sched_set(static_cast<int>(kSchedWeighted), w, static_cast<int>(r.delay));
    int rv = dxpx_cosq_sched_set(static_cast<int>(r.sched_mode), w, static_cast<int>(r.delay));
    if (rv != 0) {
        const char *why = rv == DXP_E_PARAM && r.sched_mode == kSchedWeighted
                              ? dxp_cosq_weights_refusal(DXPX_CPU_UNIT, w)
                              : nullptr;
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_QOS, "QoS settings: scheduling: %s",
                      why != nullptr ? why : dxp_errmsg(rv));
    }
    // The priority map does not depend on the scheduling.
    rv = 0;
    for (int p = 0; p < kPriorities && rv == 0; p++)
        rv = dxpx_cosq_mapping_set(p, static_cast<int>(r.mapping[p]));
    if (rv != 0)
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_QOS, "QoS settings: priority map: %s",
                      dxp_errmsg(rv));

    // The tables first, then the mode installs its rules from them.
    if (rules_differ) {
        // The same mode is rebuilt in place: a hop through no mode would
        // take a tested port's rule or classification away.
        int running_mode = ENHANCE_MODE_DISABLED;
        qosmgr_mode_get(&running_mode);
        const bool same_mode = running_mode == static_cast<int>(r.mode);
        if (!same_mode) qosmgr_mode_set(ENHANCE_MODE_DISABLED);
        int prio[kPorts];
        qosmgr_ip_base_entry ip[MAX_QOS_IP_BASE_NUM] = {};
        for (int i = 0; i < kPorts; i++)
            prio[i] = static_cast<int>(r.port_prio[i]);
        for (uint32_t i = 0; i < r.ip_count; i++) {
            put_be32(ip[i].ip, r.ip[i][0]);
            put_be32(ip[i].mask, r.ip[i][1]);
            ip[i].priority = r.ip[i][2];
        }
        qosmgr_tables_replace(prio, kPorts, ip, static_cast<int>(r.ip_count));
        const bool set = same_mode ? qosmgr_rules_rebuild() == 1
                                   : qosmgr_mode_set(static_cast<int>(r.mode)) == 1;
        if (!set) {
            const char *why = qosmgr_refusal();
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_QOS, "QoS settings: mode %u cannot be set: %s",
                          r.mode, why != nullptr ? why : "the chip refused it");
        }
    }
    // The chip's one DSCP map holds the active mode's table, as queues of
    // the priority map just loaded: as the page's Apply leaves it.
    for (int d = 0; d < MAX_QOS_DSCP_BASE_NUM; d++)
        qosmgr_dscp_base_set_by_index(d, static_cast<int>(r.dscp[d]));
    for (int t = 0; t < MAX_QOS_TOS_BASE_NUM; t++)
        qosmgr_tos_base_set_by_index(t, static_cast<int>(r.tos[t]));
    // Auto VoIP's rules follow the map under its own lock, which goes
    // before the unit's.
    api.reset();
    if (!qosmgr_queues_refresh(0))
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_QOS, "QoS settings: DSCP map cannot be set");
    return size;
}

}  // namespace

void qos_item_forget_applied(void) {
    applied_once = false;
}

int qosmgr_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}

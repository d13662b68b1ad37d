// The loopback test engine that the PHY loopback and snake self-tests share:
// the per-unit parameter records, port and VLAN set-up and restore, the CPU
// receive monitor that keeps the returned frames, frame building, sending,
// waiting and comparing.
#pragma once

#include <functional>
#include <atomic>
#include <cstdint>

#include "diag_shell.h"
#include "dxp.h"
#include "soc_control.h"
#include "test_restore.h"

enum lb_kind_t { LB_KIND_MAC = 0, LB_KIND_PHY = 1, LB_KIND_EXTERNAL = 2, LB_KIND_SNAKE = 3 };
enum lb_send_t { LB_SEND_SINGLE = 0, LB_SEND_ARRAY = 1 };
enum lb_crc_t { LB_CRC_CPU_NONE = 0, LB_CRC_CPU_APPEND = 1, LB_CRC_MAC_REGEN = 2 };
enum lb_loop_t { LB_LOOP_MAC = 0, LB_LOOP_PHY = 1, LB_LOOP_EXTERNAL = 2 };
enum lb_path_t { LB_PATH_INCREASING = 0, LB_PATH_DECREASING = 1, LB_PATH_TWO_WAYS = 2 };

constexpr int LB_MAX_PPT = 16;  // frames per trial
constexpr int LB_PORTS = 64;

// What the arguments of a run set; kept for the next run of the same kind.
struct lb_params_t {
    soc_pbmp_t pbm;
    soc_pbmp_t ubm;
    int hg_dest_mod;
    int hg_dest_mod_inc;
    int hg_dest_port;
    int opcode;
    dxp_mac_t mac_src;
    int mac_src_inc;
    dxp_mac_t mac_dst;
    int mac_dst_inc;
    int pattern;
    int pattern_inc;
    int vlan;
    int len_start, len_end, len_inc;
    int ppt_start, ppt_end, ppt_inc;
    int send_mode;  // lb_send_t
    int count;
    int crc_mode;  // lb_crc_t
    int dst_inc;
    int speed;  // index into the speed choices, 0 the port's maximum
    int autoneg;
    int loopback;  // lb_loop_t
    int cos_start, cos_end;
    int check_data;
    int check_crc;
    int inject;
    int duration;
    int interval;
    int snake_path;  // lb_path_t
};

// One link of a snake chain: frames that leave `from` (and loop back into
// it) are switched to `to`.
struct lb_link_t {
    int from;
    int to;
    dxp_vlan_t vid;
    dxp_mac_t dst;
    dxp_mac_t src;
};

// An L2 entry the test added, deleted by the done.
struct lb_l2_entry_t {
    dxp_mac_t mac;
    dxp_vlan_t vid;
};
constexpr int LB_MAX_L2 = 4 * LB_PORTS + LB_MAX_PPT;

// The drop counters on the path of a trial's frames: each port's as they
// leave it (its egress queue full) and come back in (the packet buffer
// full), the CPU port's queue, the MAC's frames missed for want of a
// posted receive buffer, and the receive service's frames dropped ahead of
// the callouts (a stopped channel, a frame marked bad). 32-bit counters:
// differences wrap.
struct lb_drops_t {
    soc_pbmp_t ports;  // the ports read
    uint32_t out[LB_PORTS], in[LB_PORTS];
    uint32_t cpu_queue;
    uint64_t cpu_mac;
    uint32_t rx_service;
};

// A run, from the init to the done.
struct lb_work_t {
    int unit;
    int kind;
    lb_params_t *p;
    int numq;
    test_saved_t saved;  // the switch as the test found it; the tested ports held
    dxp_pkt *tx[LB_MAX_PPT];
    int tx_alloc_len;
    dxp_pkt *rx;  // receive slots ("lb2 rx pkts")
    bool matched[LB_MAX_PPT];
    sal_sem_t sema;  // "lb2-sema"
    std::atomic<int> expect;
    std::atomic<int> received;
    std::atomic<bool> waiting;
    std::atomic<bool> given;
    std::atomic<uint32_t> back;  // the trial's frames come back, a bit each by sequence
    std::atomic<int> foreign;    // frames through tested ports without the test's signature
    std::atomic<int> others;     // frames to the CPU, from any port, that are not the trial's
    int others_at_send;
    lb_drops_t drops_at_send;  // the drop counters on the trial's path at its send
    uint64_t overrun;          // frames to the CPU dropped while the last trial waited
    uint64_t dropped;          // frames dropped anywhere on its path meanwhile
    int others_seen;           // other ports' frames to the CPU meanwhile
    bool shielded;             // other ports' flooded frames kept from the CPU
    uint32_t flood_cleared;    // the CPU port's flood fields the test cleared
    bool monitor_on;
    bool started_rx;  // the test started the receive service and stops it
    uint32_t seq;
    uint32_t pattern;
    int tx_port, rx_port;
    uint64_t tx_pkts, rx_pkts, tx_bytes, rx_bytes;
    uint32_t port_sent;  // sent on tx_port since its counters were cleared
    uint32_t port_got;   // of them, taken back at the CPU
    uint32_t start_time, last_report;
    int timeout_usec;
    lb_l2_entry_t l2[LB_MAX_L2];
    int l2_count;
    // Snake tables.
    lb_link_t *fwd;
    int fwd_count;
    lb_link_t *rev;
    int rev_count;
    int snake_ports;   // ports whose VLAN and links are in place
    uint8_t *markers;  // "Snake TX match markers"
};

// Where a frame's sequence number puts it in the trial whose first frame
// carries `first`: its index (0 to frames - 1), or -1 when no frame of the
// trial carries that number (an earlier trial's frame, or one spoilt).
int lbu_seq_index(uint32_t first, int frames, uint32_t seq);
// The trial's frames that have not come back (a bit each by index): a
// frame missing in the sequence is a loss, not a spoilt frame.
uint32_t lbu_missing(const lb_work_t *lw, int frames);

// After a wait that timed out: says how many foreign frames arrived (kept in
// others_seen) and where frames were dropped meanwhile (lbu_count_drops).
void lbu_timed_out(lb_work_t *lw);
// Reads the drop counters of the ports (and the CPU's path) into *d.
void lbu_drops_read(int unit, const soc_pbmp_t &ports, lb_drops_t *d);
// After a failed trial: says where frames were dropped since its send, one
// line a place ("3 frames dropped at fe0: buffer full"), and keeps the
// total in dropped, the CPU port's share in overrun. A trial with a counted
// drop on its path is run again: a healthy port loses no frame uncounted.
void lbu_count_drops(lb_work_t *lw);
// Runs of a trial counted drops (an overrun CPU port, a full buffer on the
// way) may cost before the verdict names them: a slow host may overrun them
// with the test's own frames now and then.
constexpr int LB_OVERRUN_RETRIES = 3;
// Keeps other ports' flooded frames from an overrun CPU port until the
// test ends, saying so; false when that was done already, or when no other
// port's frame reached the CPU during the last wait (the test's own frames
// overran it, and the shield would only cut the management interface off).
bool lbu_shield_cpu(lb_work_t *lw);
// Waits, at most the frame time-out, until the CPU port has receive buffers
// posted for that many frames.
void lbu_wait_rx_room(const lb_work_t *lw, int frames);

const char *lb_port_name(int unit, int port);
int lb_port_count(const soc_pbmp_t &pbm);

// The unit's record of the kind, filled with its defaults on first use.
lb_params_t *lbu_params(int unit, int kind);
// Parses the arguments into the record through the kind's three parse
// tables; -1 (reported through test_error) on a bad or left-over word.
int lbu_parse_args(int unit, int kind, args_t *a, lb_params_t *p);
int lbu_check_params(lb_work_t *lw);
int lbu_init(lb_work_t *lw, int unit, int kind);
int lbu_done(lb_work_t *lw);

// Builds frame i of the trial (the layout of every test frame) to leave
// through the port.
void lbu_build_frame(lb_work_t *lw, int i, int port, int len, int cos, const dxp_mac_t dst,
                     const dxp_mac_t src, dxp_vlan_t vid);
bool lbu_frames_fit(const lb_work_t *lw, int len, int ppt);
// Builds the trial's frames of the given length and count at the class of
// service, addressed to tx_port; false when they cannot be built.
bool lbu_setup_frames(lb_work_t *lw, int len, int ppt, int cos, const dxp_mac_t dst,
                      const dxp_mac_t src, dxp_vlan_t vid);
int lbu_send_packets(lb_work_t *lw, int ppt);
// Arms the receive monitor for `expect` frames, once the CPU port has room
// for them.
void lbu_expect(lb_work_t *lw, int expect);
// Takes the trial's semaphore within usecs of the time the host gave the
// program, counted afresh whenever moved() says frames still move: a wait
// that overslept its slice (the program stalled) counts as two slices.
// False on a time-out.
bool lbu_take_within(lb_work_t *lw, int usecs, const std::function<bool()> &moved);
int lbu_wait_packets(lb_work_t *lw, int ppt);
// 0 when the returned frame matches the transmitted one; -1 after printing
// why not.
int lbu_check_packet(lb_work_t *lw, dxp_pkt *tx, dxp_pkt *rx);
// Index of the transmitted frame that the returned one answers; -1 after
// reporting it as unknown or duplicate.
int lbu_match_packet(lb_work_t *lw, dxp_pkt *rx, int ppt);
// Returns the kept frames to the receive service and empties the slots.
void lbu_free_rx(lb_work_t *lw);
// Claims the address in the VLAN for the test and looks it up: 0 when
// nobody holds it, -1 after naming the entry that holds it (nothing is
// claimed then): the test never takes over an address in service.
int lbu_l2_free(lb_work_t *lw, const dxp_mac_t mac, dxp_vlan_t vid);
// Calls `each` for every address the PHY loopback's frames go back to the
// CPU by, in the test VLAN; -1 at the first that fails.
int lbu_cpu_addresses(lb_work_t *lw, int (*each)(lb_work_t *, const dxp_mac_t, dxp_vlan_t));
// Adds a static L2 entry to the port and remembers it for the done; an
// address held by someone else is refused (DXP_E_EXISTS, reported).
int lbu_l2_add(lb_work_t *lw, const dxp_mac_t mac, dxp_vlan_t vid, int port);
void lbu_l2_remove_all(lb_work_t *lw);
// The progress line, when ReportTime seconds have passed since the last one.
void lbu_progress(lb_work_t *lw, uint64_t total, bool final);
uint64_t lbu_total(lb_work_t *lw);

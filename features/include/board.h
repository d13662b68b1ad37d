// The board's front-panel (user) ports: how many, which logical port each
// one is, and bitmaps over them. Written once by the probe at start-up.
#pragma once

#include <cstdint>

#include "dxpx.h"

constexpr int BOARD_MAX_UPORTS = 52;

// A set of user ports: bit n of the array is user port n (bit 0 unused).
struct upbmp_t {
    uint32_t byte_count;
    uint8_t *bits;
};

extern int board_num_uports;  // 0 before the probe
extern int board_num_trunks;
extern int board_trunk_size;
// Groups 1..n that take fast Ethernet ports only, the others gigabit ports
// only; 0 when any group takes any port.
extern int board_trunk_fe_groups;
extern int board_num_cosq;
extern int user_port_map[BOARD_MAX_UPORTS + 1];  // word 0 is -1
extern const char *board_name;
extern const uint8_t *factory_default_image;
extern upbmp_t all_ports_bmp;

// Needs exactly one attached unit: 0, -7 for an unknown board (with a
// console line) or -2.
int board_probe(void);
// Picks the set-up from a chip-type flag word: 0, or -7 leaving all as it was.
int board_setup_select(uint32_t chip_flags);

int ulpm_to_lport(int uport, int *lport);  // 0 or -18
int ulpm_to_uport(int lport, int *uport);  // 0 or -18
// A user port that a self-test holds: its settings stay as the test found them.
bool uport_under_test(int uport);
// Why a change of the user port is refused while a self-test holds it,
// naming the test (port_reserve_held_text).
const char *uport_held_text(int uport);

int upbmp_alloc(upbmp_t *bmp, int ports);  // 0 or -2
int upbmp_free(upbmp_t *bmp);
int upbmp_add(upbmp_t *bmp, int n);     // 0 or -18
int upbmp_remove(upbmp_t *bmp, int n);  // 0 or -18
int upbmp_test(const upbmp_t *bmp, int n);
void upbmp_clear_all(upbmp_t *bmp);
int upbmp_is_empty(const upbmp_t *bmp);
int upbmp_equal(const upbmp_t *a, const upbmp_t *b);
int upbmp_to_lplist(const upbmp_t *bmp, dxpx_lplist_t *list);    // 0 or -18
int upbmp_from_lplist(const dxpx_lplist_t *list, upbmp_t *bmp);  // 0 or -18
// Copies the bytes both hold and clears the rest of dst.
void upbmp_copy(upbmp_t *dst, const upbmp_t *src);

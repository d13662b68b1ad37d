// Board set-ups by chip-type flags, the user-port map and user-port bitmaps.
#include "board.h"

#include <algorithm>
#include <cstring>

#include "port_reserve.h"
#include "sal.h"
#include "settings.h"
#include "soc_control.h"

int board_num_uports = 0;
int board_num_trunks = 0;
int board_trunk_size = 0;
int board_trunk_fe_groups = 0;
int board_num_cosq = 0;
int user_port_map[BOARD_MAX_UPORTS + 1] = {-1};
const char *board_name = nullptr;
const uint8_t *factory_default_image = nullptr;
upbmp_t all_ports_bmp = {};

namespace {

struct BoardSetup {
    uint32_t flag;
    const char *name;
    int ports;
    int trunks;
    int trunk_size;
    int trunk_fe_groups;
    const uint8_t *image;
};

// Tested in this order; the first flag found wins.
constexpr uint32_t kKnownBoards = 0xBFE00000;
const BoardSetup kSetups[] = {
    {.flag = 0x02000000,
     .name = "DXP97104",
     .ports = 8,
     .trunks = 4,
     .trunk_size = 4,
     .trunk_fe_groups = 0,
     .image = nullptr},
    {.flag = 0x00200000,
     .name = "DXP97102R24GM",
     .ports = 26,
     .trunks = 3,
     .trunk_size = 4,
     .trunk_fe_groups = 2,
     .image = nullptr},
    {.flag = 0x04000000,
     .name = "RW3090",
     .ports = 52,
     .trunks = 6,
     .trunk_size = 8,
     .trunk_fe_groups = 0,
     .image = factory_default_image_a},
    {.flag = 0x10000000,
     .name = "DXP97105",
     .ports = 5,
     .trunks = 4,
     .trunk_size = 4,
     .trunk_fe_groups = 0,
     .image = nullptr},
    {.flag = 0x20000000,
     .name = "RW3070",
     .ports = 28,
     .trunks = 6,
     .trunk_size = 8,
     .trunk_fe_groups = 0,
     .image = factory_default_image_b},
};

// Logical port of user port n (1-based) on each board.
int board_lport(int ports, int n) {
    switch (ports) {
        case 8:
        case 5:
            return ports - n;  // the small boards number their ports backwards
        case 52:
            return n <= 48 ? n - 1 : n;  // logical port 48 has no front-panel port
        default:
            return n <= 24 ? n - 1 : n;  // logical port 24 has no front-panel port
    }
}

}  // namespace

int board_setup_select(uint32_t chip_flags) {
    for (const BoardSetup &s : kSetups) {
        if (!(chip_flags & s.flag)) continue;
        board_num_uports = s.ports;
        board_num_trunks = s.trunks;
        board_trunk_size = s.trunk_size;
        board_trunk_fe_groups = s.trunk_fe_groups;
        board_num_cosq = 4;
        user_port_map[0] = -1;
        for (int n = 1; n <= BOARD_MAX_UPORTS; n++)
            user_port_map[n] = n <= s.ports ? board_lport(s.ports, n) : -1;
        board_name = s.name;
        factory_default_image = s.image;
        return SOC_E_NONE;
    }
    return SOC_E_NOT_FOUND;
}

int board_probe(void) {
    int rv = SOC_E_NOT_FOUND;
    const soc_control_t *soc = SOC_CONTROL(0);
    if (soc_attached_count == 1 && soc != nullptr && (soc->chip_flags & kKnownBoards))
        rv = board_setup_select(soc->chip_flags);
    else
        sal_printf("Board Probe ERROR: Unknown board\n");
    if (rv != SOC_E_NONE || board_num_uports == 0) return rv;
    upbmp_free(&all_ports_bmp);
    return upbmp_alloc(&all_ports_bmp, board_num_uports);
}

int ulpm_to_lport(int uport, int *lport) {
    if (uport < 1 || uport > board_num_uports) return SOC_E_PORT;
    *lport = user_port_map[uport];
    return SOC_E_NONE;
}

int ulpm_to_uport(int lport, int *uport) {
    for (int n = 1; n <= board_num_uports; n++) {
        if (user_port_map[n] == lport) {
            *uport = n;
            return SOC_E_NONE;
        }
    }
    return SOC_E_PORT;
}

bool uport_under_test(int uport) {
    int lport = 0;
    return ulpm_to_lport(uport, &lport) == SOC_E_NONE && port_reserved_lport(lport);
}

const char *uport_held_text(int uport) {
    int lport = -1;
    if (ulpm_to_lport(uport, &lport) != SOC_E_NONE) lport = -1;
    return port_reserve_held_text_lport(lport);
}

int upbmp_alloc(upbmp_t *bmp, int ports) {
    uint32_t count = static_cast<uint32_t>(ports) / 8 + 1;
    auto *bits = static_cast<uint8_t *>(sal_alloc(count, "user_bmp"));
    if (bits == nullptr) return SOC_E_MEMORY;
    bmp->byte_count = count;
    bmp->bits = bits;
    return SOC_E_NONE;
}

int upbmp_free(upbmp_t *bmp) {
    if (bmp != nullptr && bmp->bits != nullptr) {
        sal_free(bmp->bits);
        bmp->bits = nullptr;
    }
    return SOC_E_NONE;
}

int upbmp_add(upbmp_t *bmp, int n) {
    if (n < 0 || n > board_num_uports || static_cast<uint32_t>(n / 8) >= bmp->byte_count)
        return SOC_E_PORT;
    bmp->bits[n / 8] |= static_cast<uint8_t>(1u << (n % 8));
    return SOC_E_NONE;
}

int upbmp_remove(upbmp_t *bmp, int n) {
    if (n < 0 || n > board_num_uports || static_cast<uint32_t>(n / 8) >= bmp->byte_count)
        return SOC_E_PORT;
    bmp->bits[n / 8] &= static_cast<uint8_t>(~(1u << (n % 8)));
    return SOC_E_NONE;
}

int upbmp_test(const upbmp_t *bmp, int n) {
    if (n < 0 || n > board_num_uports || bmp->bits == nullptr ||
        static_cast<uint32_t>(n / 8) >= bmp->byte_count)
        return 0;
    return (bmp->bits[n / 8] >> (n % 8)) & 1;
}

void upbmp_clear_all(upbmp_t *bmp) {
    if (bmp->bits != nullptr) std::memset(bmp->bits, 0, bmp->byte_count);
}

int upbmp_is_empty(const upbmp_t *bmp) {
    if (bmp->byte_count == 0 || bmp->bits == nullptr) return 1;
    return std::all_of(bmp->bits, bmp->bits + bmp->byte_count, [](uint8_t b) { return b == 0; });
}

int upbmp_equal(const upbmp_t *a, const upbmp_t *b) {
    if (a->byte_count != b->byte_count) return 0;
    if (a->byte_count == 0) return 1;
    return std::memcmp(a->bits, b->bits, a->byte_count) == 0;
}

void upbmp_copy(upbmp_t *dst, const upbmp_t *src) {
    upbmp_clear_all(dst);
    if (dst->bits == nullptr || src->bits == nullptr) return;
    std::memcpy(dst->bits, src->bits, std::min(dst->byte_count, src->byte_count));
}

int upbmp_to_lplist(const upbmp_t *bmp, dxpx_lplist_t *list) {
    dxpx_lplist_clear(list);
    for (int n = 1; n < static_cast<int>(bmp->byte_count * 8); n++) {
        if (!((bmp->bits[n / 8] >> (n % 8)) & 1)) continue;
        int lport = -1;
        if (ulpm_to_lport(n, &lport) != SOC_E_NONE) return SOC_E_PORT;
        dxpx_lplist_add(list, lport);
    }
    return SOC_E_NONE;
}

int upbmp_from_lplist(const dxpx_lplist_t *list, upbmp_t *bmp) {
    upbmp_clear_all(bmp);
    for (int i = 0; i < dxpx_lplist_count(list); i++) {
        int uport = 0;
        if (ulpm_to_uport(list->lp_ports[i], &uport) != SOC_E_NONE) return SOC_E_PORT;
        upbmp_add(bmp, uport);
    }
    return SOC_E_NONE;
}

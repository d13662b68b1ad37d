// The PVID of every front-panel port as the pages know it: the VLAN pages
// refuse to take a port out of its PVID's VLAN, the trunk page resets
// members to VLAN 1.
#include <atomic>

#include "web_switch_pages.h"

namespace {

std::atomic<uint16_t> pvids[BOARD_MAX_UPORTS];

bool valid_index(int index) {
    return index >= 0 && index < BOARD_MAX_UPORTS;
}

}  // namespace

void port_pvid_init(void) {
    for (auto &pvid : pvids) {
        if (pvid.load() == 0) pvid.store(1);
    }
}

uint16_t port_pvid_get(int index) {
    if (!valid_index(index)) return 1;
    uint16_t pvid = pvids[index].load();
    return pvid == 0 ? 1 : pvid;
}

int setportcbk_PVID_set(int index, int pvid) {
    if (!valid_index(index) || pvid < 1 || pvid > WEB_VLAN_VID_MAX) return 0;
    pvids[index].store(static_cast<uint16_t>(pvid));
    return 1;
}

// Egress queue choice: the field processor's new priority, else the ingress
// port's classification (IPv4 ToS precedence or DSCP through their maps when
// the port's IP-header bit is on, else 802.1p through the priority map),
// limited to the queues QOS_EN turns on. Frames sent are counted per port and
// queue.
#include "sim/fabric.h"

namespace sim {

namespace {

constexpr int kDscpPerMap = 32;

}  // namespace

int Fabric::mapQueue(int reg_id, int key) const {
    const RegInstance *r = reg(reg_id);
    return r ? static_cast<int>((regs_.peek(*r) >> (2 * key)) & 3) : 0;
}

int Fabric::egressQueue(int from, const std::vector<uint8_t> &frame, const FrameView &view,
                        const Classified &c, int cfp_queue) const {
    int queue = 0;
    if (cfp_queue >= 0) {
        queue = cfp_queue;
    } else if (view.ipv4 && view.l3 + 1 < frame.size() &&
               ((field(R_QOS_TOS_DIF_EN, F_QOS_TOS_DIFF_EN) >> from) & 1)) {
        uint8_t tos = frame[view.l3 + 1];
        if (field(R_QOS_TOS_DIF_CTL, F_TOS_DIFF_SEL)) {
            int dscp = tos >> 2;
            queue = mapQueue(dscp < kDscpPerMap ? R_QOS_DIFF_DSCP1 : R_QOS_DIFF_DSCP2,
                             dscp % kDscpPerMap);
        } else {
            queue = mapQueue(R_QOS_D_TOS_TH, tos >> 5);
        }
    } else if ((field(R_QOS_1P_EN, F_QOS_1P_EN) >> from) & 1) {
        queue = mapQueue(R_QOS_TCI_TH, c.pri);
    }
    // A queue the count leaves off folds onto the highest one in use.
    int highest = static_cast<int>(field(R_QOS_CTL, F_QOS_EN));
    return queue > highest ? highest : queue;
}

int Fabric::arrivalQueue(int port, const std::vector<uint8_t> &wire) const {
    const FrameView view = FrameView::parse(wire);
    Classified c;
    c.pri = view.tagged ? view.pri
                        : static_cast<uint8_t>(field(portReg(R_DEFAULT_1Q_TAG, port), F_PRI_R));
    return egressQueue(port, wire, view, c, -1);
}

uint64_t Fabric::queueCount(int port, int queue) const {
    std::lock_guard<ChipMutex> g(chip_.mutex());
    if (port < 0 || port >= profile_.num_ports || queue < 0 || queue >= kQueues) return 0;
    return queue_counts_[static_cast<size_t>(port)][static_cast<size_t>(queue)];
}

}  // namespace sim

// The software echo analysis of gigabit PHYs' cables: the PHY sends a test
// pulse on each pair, its echo taps are read back, the line's DC offset is
// removed and the first echo standing out above an attenuation curve gives
// the fault (positive: open, negative: short) and its distance. A linked port
// is not pulsed; its length is estimated from the adapted taps.
#include <array>
#include <cstdlib>
#include <utility>

#include "chipdata/ids.h"
#include "phy.h"
#include "phy_internal.h"
#include "sal.h"
#include "soc_error.h"
#include "soc_miim.h"

namespace {

constexpr int kPairs = 4, kTaps = 384, kHalf = 192;
constexpr int kNoDistance = -99;

// Error bits of the engine.
constexpr uint16_t kErrAccess = 0x0001, kErrUnsupported = 0x0008, kErrRetry = 0x0020,
                   kErrAnalysis = 0x0200, kErrPairMap = 0x2000;
// Per-pair codes.
constexpr uint16_t kOpen = 0x02, kShort = 0x04, kUnmeasurable = 0x08, kLinked = 0x10;

constexpr uint32_t kDspNumber = 23, kDspValue = 21, kTdrCtl = 22;
constexpr uint16_t kTdrArm = 0x0002, kTdrReadout = 0x0080, kTdrReadoutHigh = 0x0800,
                   kTdrReadoutClear = 0x0400;

struct Curves {
    int16_t atten_a[kHalf];
    int16_t atten_b[kHalf];
    int16_t len_unlinked[kHalf];
    int16_t len_linked[kHalf];
};

// Curves falling by a fixed ratio (in 1/100000) to a floor.
constexpr Curves make_curves() {
    Curves c{};
    const int16_t head[4] = {22743, 22308, 21880, 21461};
    int64_t a = 0, u = 1743 * 100000LL, l = 116 * 100000LL;
    for (int i = 0; i < kHalf; i++) {
        a = i < 4 ? head[i] * 100000LL : a * 98100 / 100000;
        const int16_t av = static_cast<int16_t>(a / 100000 < 1259 ? 1259 : a / 100000);
        c.atten_a[i] = av;
        c.atten_b[i] = i <= 62 ? av : av > 3428 ? int16_t{3428} : av;
        c.len_unlinked[i] = static_cast<int16_t>(u / 100000 < 158 ? 158 : u / 100000);
        c.len_linked[i] = static_cast<int16_t>(l / 100000 < 71 ? 71 : l / 100000);
        u = u * 98450 / 100000;
        l = l * 99744 / 100000;
    }
    return c;
}
constexpr Curves kCurves = make_curves();

constexpr int kKernel[11] = {41, 102, 274, 512, 719, 802, 719, 512, 274, 102, 41};

struct GenRow {
    uint32_t id;
    int gen;
};
constexpr uint32_t ident(uint32_t key, uint16_t model) {
    return static_cast<uint32_t>(phy_id0(key)) << 16 | (phy_id1(key, model, 0) & 0xfff0);
}
constexpr GenRow kGenerations[21] = {
    {ident(PHY_OUI_KEY_D, PHY_MODEL_6405), 1}, {ident(PHY_OUI_KEY_D, PHY_MODEL_6406), 2},
    {ident(PHY_OUI_KEY_D, PHY_MODEL_6407), 2}, {ident(PHY_OUI_KEY_D, PHY_MODEL_6408), 2},
    {ident(PHY_OUI_KEY_D, PHY_MODEL_6409), 2}, {ident(PHY_OUI_KEY_D, PHY_MODEL_6401S), 2},
    {ident(PHY_OUI_KEY_D, PHY_MODEL_6410), 2}, {ident(PHY_OUI_KEY_D, PHY_MODEL_6402), 2},
    {ident(PHY_OUI_KEY_D, PHY_MODEL_6413), 2}, {ident(PHY_OUI_KEY_D, PHY_MODEL_6412), 2},
    {ident(PHY_OUI_KEY_D, 0x0d), 2},           {ident(PHY_OUI_KEY_B, PHY_MODEL_6414), 2},
    {ident(PHY_OUI_KEY_B, PHY_MODEL_6415), 2}, {ident(PHY_OUI_KEY_B, PHY_MODEL_6416), 3},
    {ident(PHY_OUI_KEY_B, PHY_MODEL_7104), 3}, {ident(PHY_OUI_KEY_B, PHY_MODEL_7105), 3},
    {ident(PHY_OUI_KEY_C, PHY_MODEL_6414), 3}, {ident(PHY_OUI_KEY_C, PHY_MODEL_6415), 3},
    {ident(PHY_OUI_KEY_C, PHY_MODEL_6416), 3}, {ident(PHY_OUI_KEY_C, PHY_MODEL_7104), 3},
    {ident(PHY_OUI_KEY_C, PHY_MODEL_7105), 3},
};

enum class PulseMode { OnePair, AllPairs, QuietStart };

struct PairRecord {
    int fault_pos;
    int expected;
    uint16_t code;
    int good;  // good captures
    int gain;
    int strength;
};

int tap_width(int gen, int i) {
    switch (gen) {
        case 1:
            return i <= 63 ? 19 : 16;
        case 2:
            return i <= 63 ? 17 : 14;
        default:
            return i <= 31 ? 17 : i <= 63 ? 16 : i <= 95 ? 15 : i <= 127 ? 14 : 13;
    }
}

int32_t tap_of(int width, uint16_t l, uint16_t h) {
    uint32_t raw =
        width <= 15 ? l & ((1u << width) - 1)
                    : (static_cast<uint32_t>(h) & ((1u << (width - 15)) - 1)) << 15 | (l & 0x7fffu);
    const uint32_t sign = 1u << (width - 1);
    return static_cast<int32_t>(raw ^ sign) - static_cast<int32_t>(sign);
}

class Engine {
  public:
    Engine(int unit, int addr, int32_t *taps) : unit_(unit), addr_(addr), taps_(taps) {}
    uint16_t run(uint16_t codes[4], int16_t distances[4]);

  private:
    void rd(uint32_t reg, uint16_t *v) {
        *v = 0;
        if (soc_miim_read(unit_, static_cast<uint32_t>(addr_), reg, v) < 0) err_ |= kErrAccess;
    }
    void wr(uint32_t reg, uint16_t v) {
        if (soc_miim_write(unit_, static_cast<uint32_t>(addr_), reg, v) < 0) err_ |= kErrAccess;
    }
    void rmw(uint32_t reg, uint16_t set, uint16_t clear) {
        uint16_t v = 0;
        rd(reg, &v);
        wr(reg, static_cast<uint16_t>((v & ~clear) | set));
    }
    void dsp_wr(uint16_t number, uint16_t v) {
        wr(kDspNumber, number);
        wr(kDspValue, v);
    }
    uint16_t dsp_rd(uint16_t number) {
        uint16_t v = 0;
        wr(kDspNumber, number);
        rd(kDspValue, &v);
        return v;
    }
    int32_t *pair_taps(int p) { return taps_ + p * kTaps; }
    bool exceeds(int32_t tap, int curve, int tf, int cf) const {
        return static_cast<int64_t>(std::abs(tap)) * tf > static_cast<int64_t>(curve) * cf;
    }

    void generation();
    void link_test();
    void pair_map();
    void setup();
    void quiet_line();
    void pulse(int setting, PulseMode mode, int pair, bool retry);
    bool readout(int p, int slot);
    void capture(unsigned pending, int threshold, int polls, bool retry, int setting,
                 PulseMode mode, int pair);
    void remove_dc(int p, int slot);
    void fault_search(int p);
    void recheck(int p);
    void gain(int p);
    void estimate();
    int smoothed(int p, int pos) const;

    const int unit_, addr_;
    int32_t *const taps_;
    uint16_t err_ = 0;
    int gen_ = 0;
    bool linked_ = false;
    int settle_ = 10;
    // Amplitude scale and pulse setting of the running test.
    int tap_factor_ = 1, curve_factor_ = 1, pulse_ = -1877;
    int map_[4] = {0, 1, 2, 3};
    PairRecord pr_[4]{};
};

void Engine::generation() {
    uint16_t id0 = 0, id1 = 0;
    rd(2, &id0);
    rd(3, &id1);
    const uint32_t id = static_cast<uint32_t>(id0) << 16 | (id1 & 0xfff0);
    for (const GenRow &row : kGenerations) {
        if (row.id == id) gen_ = row.gen;
    }
}

void Engine::link_test() {
    uint16_t a = 0, b = 0, c = 0, d = 0;
    const uint16_t before = err_;
    err_ = 0;
    rd(26, &a);
    rd(17, &b);
    rd(17, &c);
    rd(26, &d);
    linked_ = err_ == 0 && !(d & 0x0006) && (c & 0x0ffe) == 0x0f00;
    err_ |= before;
}

void Engine::pair_map() {
    uint16_t s = 0, x = 0;
    wr(24, 0x0007);
    rd(24, &s);
    wr(24, static_cast<uint16_t>((s & 0xfff8) | 0x0800));
    wr(kDspNumber, 0x0005);
    rd(kDspValue, &x);
    wr(24, s & 0xfff8);
    if (x & 0x0001) std::swap(map_[0], map_[1]);
    if (x & 0x0002) std::swap(map_[2], map_[3]);
    if (!(x & 0x0020)) err_ |= kErrPairMap;
}

void Engine::setup() {
    uint16_t v = 0, w = 0, s = 0;
    wr(0, 0x8000);
    rd(0, &v);
    wr(0, v | 0x1000);
    rd(4, &w);
    wr(4, w & 0xfc1f);
    wr(9, 0x1800);
    wr(24, 0x0007);
    rd(24, &s);
    wr(24, static_cast<uint16_t>((s & 0xfff8) | 0x0800));
    if (gen_ == 3) {
        wr(24, 0x0282);
        dsp_wr(0x0f2b, 0x0040);
    }
    wr(0, v | 0x1200);
    wr(0, 0x0040);
    dsp_wr(0x8005, 0x3000);
    dsp_wr(0x001a, 0x8000);
    wr(30, 0x0080);
    dsp_wr(0x001f, 0x0480);
    dsp_wr(0x8004, 0x0040);
    dsp_wr(0x800c, 0x0040);
    wr(kDspNumber, 0x8100);
    wr(kTdrCtl, 0x0002);
    wr(kDspNumber, 0x9000);
    wr(kTdrCtl, 0x0004);
    wr(kDspNumber, 0x8300);
    wr(kTdrCtl, 0x0000);
}

void Engine::pulse(int setting, PulseMode mode, int pair, bool retry) {
    static constexpr uint16_t kSpan[3] = {384, 256, 256}, kRetrySpan[3] = {128, 32, 256};
    dsp_wr(0x8000, static_cast<uint16_t>(setting));
    dsp_wr(0x8100, (retry ? kRetrySpan : kSpan)[gen_ - 1]);
    dsp_wr(0x000b, 0x8000);
    switch (mode) {
        case PulseMode::OnePair:
            dsp_wr(0x8005, 0x3000);
            dsp_wr(static_cast<uint16_t>((pair & 3) << 13 | 5), 0x2000);
            break;
        case PulseMode::AllPairs:
            dsp_wr(0x8005, 0x2000);
            break;
        case PulseMode::QuietStart:
            dsp_wr(0x8005, 0x3000);
            break;
    }
    wr(9, 0x9000);
    wr(9, 0x9800);
    if (mode != PulseMode::QuietStart) sal_usleep(20000);
}

void Engine::quiet_line() {
    pulse(-1809, PulseMode::QuietStart, 0, false);
    int run[4] = {};
    unsigned quiet = 0;
    for (int pass = 0; pass < 42 && quiet != 0xf; pass++) {
        for (int n = 0; n < 75 && quiet != 0xf; n++) {
            for (int p = 0; p < kPairs; p++) {
                const uint16_t v = dsp_rd(static_cast<uint16_t>(p << 13 | 2));
                pair_taps(p)[pass % kTaps] = v;
                run[p] = v <= settle_ ? run[p] + 1 : 0;
                if (run[p] > 4) quiet |= 1u << p;
            }
        }
    }
    for (int p = 0; p < kPairs; p++) {
        if (!(quiet & (1u << p))) pr_[p].code |= kUnmeasurable;
    }
}

// Reads one capture of the pair into every second slot from `slot`; false
// when all its taps are zero.
bool Engine::readout(int p, int slot) {
    wr(kDspNumber, static_cast<uint16_t>(p << 13 | 0x0300));
    rmw(kTdrCtl, kTdrReadout, 0);
    rmw(kTdrCtl, kTdrReadoutHigh, kTdrReadoutClear);
    bool any = false;
    for (int i = 0; i < kHalf; i++) {
        uint16_t l = 0, h = 0;
        rd(kDspValue, &l);
        rd(kDspValue, &h);
        const int32_t t = tap_of(tap_width(gen_, i), l, h);
        pair_taps(p)[2 * i + slot] = t;
        any = any || t != 0;
    }
    rmw(kTdrCtl, 0, kTdrArm | kTdrReadout | kTdrReadoutHigh);
    return any;
}

// Two passes over the pending pairs, the pulse sent again between them with
// the window moved on; a good capture fills the odd slots first, then the
// even ones.
void Engine::capture(unsigned pending, int threshold, int polls, bool retry, int setting,
                     PulseMode mode, int pair) {
    for (int pass = 0; pass < 2; pass++) {
        if (pass == 1) {
            pulse(setting, mode, pair, retry);
            dsp_wr(0x000b, static_cast<uint16_t>(0x8000 | 32 << 6));
        }
        unsigned waiting = pending;
        for (int poll = 0; poll < polls && waiting != 0; poll++) {
            for (int p = 0; p < kPairs; p++) {
                if (!(waiting & (1u << p))) continue;
                const uint16_t number = static_cast<uint16_t>(p << 13 | 2);
                const auto a = static_cast<int16_t>(dsp_rd(number));
                wr(kDspNumber, static_cast<uint16_t>(p << 13 | 0x0300));
                rmw(kTdrCtl, kTdrArm, 0);
                const auto b = static_cast<int16_t>(dsp_rd(number));
                if (a > threshold || b > threshold) {
                    wr(kDspNumber, static_cast<uint16_t>(p << 13 | 0x0300));
                    rmw(kTdrCtl, 0, kTdrArm);
                    continue;
                }
                waiting &= ~(1u << p);
                const int slot = pr_[p].good == 0 ? 1 : 0;
                if (readout(p, slot)) {
                    pr_[p].good++;
                    remove_dc(p, slot);
                }
            }
        }
    }
}

void Engine::remove_dc(int p, int slot) {
    int32_t *t = pair_taps(p);
    int64_t sum = 0;
    for (int i = 344 + slot; i < kTaps; i += 2)
        sum += t[i];
    const auto mean = static_cast<int32_t>(sum / 20);
    for (int i = slot; i < kTaps; i += 2)
        t[i] -= mean;
}

void Engine::fault_search(int p) {
    const int32_t *t = pair_taps(p);
    const int16_t *curve = gen_ == 3 ? kCurves.atten_a : kCurves.atten_b;
    for (int i = 8; i < kTaps; i++) {
        if (!exceeds(t[i], curve[i / 2], tap_factor_, curve_factor_)) continue;
        int peak = i;
        for (int j = i; j < kTaps; j++) {
            if (std::abs(t[j]) > std::abs(t[peak])) peak = j;
        }
        if (!exceeds(t[peak], curve[peak / 2], tap_factor_, curve_factor_)) {
            err_ |= kErrAnalysis;
            return;
        }
        pr_[p].code |= t[peak] > 0 ? kOpen : kShort;
        pr_[p].fault_pos = peak;
        pr_[p].strength = 10 * std::abs(t[peak]) / curve[peak / 2];
        return;
    }
}

// Near the middle of the range a short's echo can ring positive (and an
// open's negative): count the signs around and after the peak.
void Engine::recheck(int p) {
    const int peak = pr_[p].fault_pos;
    if (peak <= 121 || peak >= 199) return;
    const int32_t *t = pair_taps(p);
    const auto positive = [&](int32_t v) { return v * tap_factor_ > 400 * curve_factor_; };
    const auto negative = [&](int32_t v) { return v * tap_factor_ < -400 * curve_factor_; };
    int pos = t[peak] > 0 ? 1 : 0, neg = t[peak] > 0 ? 0 : 1;
    int lo = peak, hi = peak;
    for (int n = 0; n < 6; n++) {
        const int32_t left = lo > 0 ? std::abs(t[lo - 1]) : -1;
        const int32_t right = hi < kTaps - 1 ? std::abs(t[hi + 1]) : -1;
        const int k = right > left ? ++hi : --lo;
        if (k < 0 || k >= kTaps) break;
        pos += positive(t[k]);
        neg += negative(t[k]);
    }
    for (int k = peak + 6; k < peak + 26 && k < kTaps; k++) {
        neg += positive(t[k]);
        pos += negative(t[k]);
    }
    if ((pr_[p].code & kShort) && pos >= 12 && pos - neg > 8) {
        pr_[p].code = static_cast<uint16_t>((pr_[p].code & ~kShort) | kOpen);
    } else if ((pr_[p].code & kOpen) && neg >= 12 && neg - pos > 8) {
        pr_[p].code = static_cast<uint16_t>((pr_[p].code & ~kOpen) | kShort);
    }
}

void Engine::gain(int p) {
    const int32_t *t = pair_taps(p);
    int best = 32767;
    for (int i = 0; i < kTaps; i++) {
        if (t[i] == 0) continue;
        int limit = 0;
        switch (gen_) {
            case 1:
                limit = i < 128 ? 200000 : 24000;
                break;
            case 2:
                limit = i < 128 ? 50000 : 6000;
                break;
            default:
                limit = i < 64 ? 50000 : i < 128 ? 25000 : i < 192 ? 12000 : i < 256 ? 6000 : 2500;
        }
        const int ratio = limit / std::abs(t[i]);
        if (ratio < best) best = ratio;
    }
    pr_[p].gain = best;
}

int Engine::smoothed(int p, int pos) const {
    const int32_t *t = taps_ + p * kTaps;
    int64_t sum = 0;
    for (int k = 0; k < 11; k++) {
        const int i = pos + k - 5;
        if (i >= 0 && i < kTaps) sum += static_cast<int64_t>(kKernel[k]) * t[i];
    }
    return static_cast<int>((std::abs(sum) + 2048) / 4096);
}

void Engine::estimate() {
    int smallest = 32767;
    for (const PairRecord &r : pr_) {
        if (r.code == 0 && r.gain < smallest) smallest = r.gain;
    }
    const int step = smallest > 3 ? 0 : smallest == 3 ? 1 : smallest == 2 ? 2 : 3;
    static constexpr int kPulse[4] = {-1827, -1838, -1852, -1877};
    static constexpr int kCurveUnlinked[2][4] = {{16, 12, 8, 4}, {4, 3, 2, 1}};
    const int g = gen_ == 1 ? 0 : 1;
    const int cf = linked_ ? (g == 0 ? 20 : 4) : kCurveUnlinked[g][step];
    const int tf = g == 0 ? 9 : linked_ ? 2 : 6;
    const auto measured = [&](int p) { return !(pr_[p].code & (kOpen | kShort | kUnmeasurable)); };
    unsigned pending = 0;
    for (int p = 0; p < kPairs; p++) {
        if (measured(p)) pending |= 1u << p;
    }
    if (!linked_) {
        for (int p = 0; p < kPairs; p++) {
            if (!(pending & (1u << p))) continue;
            pr_[p].good = 0;
            for (int i = 0; i < kTaps; i++)
                pair_taps(p)[i] = 0;
        }
        pulse(kPulse[step], PulseMode::AllPairs, 0, false);
        capture(pending, 0, 477, false, kPulse[step], PulseMode::AllPairs, 0);
        for (int p = 0; p < kPairs; p++) {
            if ((pending & (1u << p)) && pr_[p].good < 2) pr_[p].code |= kUnmeasurable;
        }
    } else {
        // The adapted taps, averaged over three readings.
        for (int p = 0; p < kPairs; p++) {
            if (!(pending & (1u << p))) continue;
            std::array<int64_t, kTaps> sum{};
            for (int n = 0; n < 3; n++) {
                for (int slot = 1; slot >= 0; slot--) {
                    readout(p, slot);
                    for (int i = slot; i < kTaps; i += 2)
                        sum[i] += pair_taps(p)[i];
                }
            }
            for (int i = 0; i < kTaps; i++)
                pair_taps(p)[i] = static_cast<int32_t>((sum[i] * 256 / 3) >> 8);
            remove_dc(p, 1);
            remove_dc(p, 0);
        }
    }
    const int16_t *curve = linked_ ? kCurves.len_linked : kCurves.len_unlinked;
    for (int p = 0; p < kPairs; p++) {
        if (!measured(p)) continue;
        pr_[p].fault_pos = 0;  // no cable end found: 0 cm
        for (int pos = kTaps - 1; pos >= 8; pos--) {
            if (static_cast<int64_t>(smoothed(p, pos)) * tf <=
                static_cast<int64_t>(curve[pos / 2]) * cf)
                continue;
            int floor = pos < 48 ? pos - 6 : pos < 96 ? pos - (linked_ ? 10 : 12) : pos - 12;
            if (floor < 10) floor = 10;
            int best = pos - 1;
            for (int k = pos - 1; k >= floor; k--) {
                if (smoothed(p, k) > smoothed(p, best)) best = k;
            }
            pr_[p].fault_pos = best;
            break;
        }
    }
}

uint16_t Engine::run(uint16_t codes[4], int16_t distances[4]) {
    for (PairRecord &r : pr_)
        r = {.fault_pos = kNoDistance,
             .expected = kTaps,
             .code = 0,
             .good = 0,
             .gain = 32767,
             .strength = 0};
    generation();
    link_test();
    if (linked_) pair_map();
    if (gen_ == 0) return err_ | kErrUnsupported;
    settle_ = gen_ == 1 ? 6 : 10;
    pulse_ = -1877;
    tap_factor_ = gen_ == 3 ? 2 : 1;
    curve_factor_ = gen_ == 1 ? 3 : 1;
    if (linked_) {
        uint16_t s = 0;
        for (PairRecord &r : pr_)
            r.code = kLinked;
        wr(24, 0x0007);
        rd(24, &s);
        wr(24, static_cast<uint16_t>((s & 0xfff8) | 0x0800));
        tap_factor_ = curve_factor_ = 1;
        estimate();
        wr(24, s);
    } else {
        setup();
        quiet_line();
        for (int p = 0; p < kPairs; p++) {
            if (pr_[p].code & kUnmeasurable) continue;
            for (int i = 0; i < kTaps; i++)
                pair_taps(p)[i] = 0;
            const int polls = p == 0 ? 477 : 9;
            pulse(pulse_, PulseMode::OnePair, p, false);
            capture(1u << p, 0, polls, false, pulse_, PulseMode::OnePair, p);
            if (pr_[p].good < 2) {
                setup();
                pr_[p].good = 0;
                pulse(pulse_, PulseMode::OnePair, p, true);
                capture(1u << p, 5, polls, true, pulse_, PulseMode::OnePair, p);
                if (pr_[p].good < 2) err_ |= kErrRetry;
            }
            if (pr_[p].good < 2) {
                for (int i = 0; i < kTaps; i++)
                    pair_taps(p)[i] = 0;
            }
            fault_search(p);
            if (gen_ != 3 && (pr_[p].code & (kOpen | kShort))) recheck(p);
            if (!(pr_[p].code & (kOpen | kShort))) gain(p);
        }
        estimate();
        uint16_t v = 0;
        wr(0, 0x8000);
        rd(0, &v);
    }
    for (int i = 0; i < kPairs; i++) {
        const PairRecord &r = pr_[map_[i]];
        codes[i] = r.code;
        if (r.code & kUnmeasurable) {
            distances[i] = kNoDistance;
        } else {
            const int cm = ((r.fault_pos * 823) / 2 - 4727) / 10;
            distances[i] = static_cast<int16_t>(cm < 0 ? 0 : cm);
        }
    }
    return err_;
}

// phy: the unit in the upper 16 bits, the PHY address in the low byte.
uint16_t cdiag_run(int32_t *taps, int pairs, uint32_t phy, uint16_t codes[4],
                   int16_t distances[4]) {
    (void)pairs;  // always all four
    Engine engine(static_cast<int>(phy >> 16), static_cast<int>(phy & 0xff), taps);
    return engine.run(codes, distances);
}

}  // namespace

int phy_cdiag_sw(int unit, int phy_addr, phy_cable_diag_t *result) {
    auto *taps = static_cast<int32_t *>(sal_alloc(kPairs * kTaps * sizeof(int32_t), "cdiag_taps"));
    if (taps == nullptr) return SOC_E_MEMORY;
    result->npairs = 4;
    result->state = 0;
    result->fuzz_len = 0;
    uint16_t codes[4] = {};
    int16_t distances[4] = {};
    const uint16_t err = cdiag_run(
        taps, kPairs, static_cast<uint32_t>(unit) << 16 | (phy_addr & 0xff), codes, distances);
    sal_free(taps);
    if (err != 0) return SOC_E_FAIL;
    int rv = 0;
    for (int i = 0; i < kPairs; i++) {
        int state = 5;
        switch (codes[i]) {
            case 0:
                state = 0;
                break;
            case kLinked:
                state = 0;
                rv = PHY_CABLE_DIAG_LINK_UP;
                break;
            case kOpen:
                state = 1;
                break;
            case kShort:
                state = 2;
                break;
            default:
                break;
        }
        result->pair_state[i] = state;
        if (state > result->state) result->state = state;
        result->pair_len[i] = (distances[i] + 50) / 100;
    }
    return rv;
}

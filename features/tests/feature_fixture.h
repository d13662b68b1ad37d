// A unit over the chip model, brought up as the firmware does, with the board
// probed (the 26-port DXP7102 unless a suite picks another chip); and a
// settings medium in memory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "../../drv/tests/port_fixture.h"
#include "board.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "dxpx.h"
#include "logger.h"
#include "port_reserve.h"
#include "serialize.h"
#include "soc_counter.h"
#include "sim/board.h"

namespace feature_test {

class BoardTest : public port_test::PortUnitTest {
  protected:
    void SetUp() override {
        startPorts(chip());
        ASSERT_EQ(soc_init(0), 0);
        ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
        ASSERT_EQ(dxp_init(0), 0);
        ASSERT_EQ(dxpx_unit_register(0), 0);
        ASSERT_EQ(board_probe(), 0);
    }
    virtual sim::ChipKind chip() const { return sim::ChipKind::DXP7102A1; }
    void TearDown() override {
        // The counter thread reads the port records the tear-down forgets.
        soc_tarn_counter_stop(0);
        dxpx_unit_unregister(0);
        dxp_linkscan_detach(0);
        dxp_detach(0);
        PortUnitTest::TearDown();
    }
    // Holds a user port as the named self-test does; port_reserve_release
    // with the unit and bitmap gives it back.
    static void reserve_uport(int uport, const char *owner, int *unit, dxp_pbmp_t *held) {
        int lport = 0, port = 0;
        ASSERT_EQ(ulpm_to_lport(uport, &lport), 0);
        ASSERT_EQ(dxpx_lport_to_unit_port(lport, unit, &port), 0);
        *held = dxp_pbmp_t{};
        dxp_pbmp_port_add(held, port);
        ASSERT_EQ(port_reserve(*unit, *held, owner), 0);
    }
    // Frames into the chip port of a user port with its link up; the
    // counters are synced.
    void inject(int uport, int frames) {
        int lport = -1, unit = 0, port = 0;
        ASSERT_EQ(ulpm_to_lport(uport, &lport), 0);
        ASSERT_EQ(dxpx_lport_to_unit_port(lport, &unit, &port), 0);
        board->port(port).linkUp();
        ASSERT_EQ(dxpx_port_enable_set(lport, 1), 0);
        dxp_pbmp_t up{};
        dxp_pbmp_port_add(&up, port);
        ASSERT_EQ(dxp_linkscan_update(0, up), 0);
        for (int i = 0; i < frames; i++)
            board->port(port).inject(sim::FrameBuilder().src(0x001020304050ull + i).build());
        ASSERT_EQ(dxp_stat_sync(0), 0);
    }
};

// Bitmap of user ports, freed with the holder.
struct Ports {
    upbmp_t bmp{};
    Ports(std::initializer_list<int> ports = {}) {
        upbmp_alloc(&bmp, board_num_uports);
        for (int n : ports)
            upbmp_add(&bmp, n);
    }
    ~Ports() { upbmp_free(&bmp); }
    Ports(const Ports &) = delete;
    Ports &operator=(const Ports &) = delete;
    std::vector<int> list() const {
        std::vector<int> out;
        for (int n = 1; n <= board_num_uports; n++)
            if (upbmp_test(&bmp, n)) out.push_back(n);
        return out;
    }
};

// Rules of a group of their own on unit 0 that take every free row of the
// field processor but `spare`; given back with the holder.
class FieldFiller {
  public:
    explicit FieldFiller(int spare) {
        dxp_field_qset_t q{};
        dxp_field_qset_add(&q, dxpFieldQualifySrcIp);
        EXPECT_EQ(dxp_field_group_create(0, q, -1, &group), 0);
        fill(spare);
    }
    ~FieldFiller() { release(); }
    FieldFiller(const FieldFiller &) = delete;
    FieldFiller &operator=(const FieldFiller &) = delete;
    // Takes the rows freed since, again leaving `spare`.
    void fill(int spare) {
        int entry = 0;
        while (dxp_field_entry_create(0, group, &entry) == 0)
            entries.push_back(entry);
        for (int i = 0; i < spare && !entries.empty(); i++) {
            EXPECT_EQ(dxp_field_entry_destroy(0, entries.back()), 0);
            entries.pop_back();
        }
    }
    void release() {
        for (int e : entries)
            dxp_field_entry_destroy(0, e);
        entries.clear();
        if (group != 0) dxp_field_group_destroy(0, group);
        group = 0;
    }
    bool holds(int entry) const {
        return std::find(entries.begin(), entries.end(), entry) != entries.end();
    }

  private:
    int group = 0;
    std::vector<int> entries;
};

// A record item's bytes: saved by a handler, read back by the next load.
class MemoryMedium {
  public:
    std::vector<uint8_t> bytes;
    size_t at = 0;
    uint32_t version = 0;  // of the bytes, as the last save wrote them
    settings_medium medium() { return {.ops = &kOps, .state = this}; }
    int save(settings_item_fn fn) {
        bytes.clear();
        settings_medium m = medium();
        version = static_cast<uint32_t>(fn(SETTINGS_OP_VERSION, &m));
        return fn(SETTINGS_OP_SAVE, &m);
    }
    int load(settings_item_fn fn) {
        at = 0;
        settings_medium m = medium();
        return fn(SETTINGS_OP_LOAD, &m);
    }

  private:
    static MemoryMedium *self(settings_medium *m) { return static_cast<MemoryMedium *>(m->state); }
    static int read(settings_medium *m, void *buf, size_t len) {
        MemoryMedium *s = self(m);
        if (s->bytes.size() - s->at < len) return -1;
        std::memcpy(buf, s->bytes.data() + s->at, len);
        s->at += len;
        return 0;
    }
    static int write(settings_medium *m, const void *buf, size_t len) {
        const auto *p = static_cast<const uint8_t *>(buf);
        self(m)->bytes.insert(self(m)->bytes.end(), p, p + len);
        return 0;
    }
    static int read_u32(settings_medium *m, uint32_t *v) {
        uint8_t b[4];
        if (read(m, b, 4) != 0) return -1;
        *v = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
        return 0;
    }
    static int write_u32(settings_medium *m, uint32_t v) {
        const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        return write(m, b, 4);
    }
    static int read_u16(settings_medium *m, uint16_t *v) {
        uint8_t b[2];
        if (read(m, b, 2) != 0) return -1;
        *v = static_cast<uint16_t>(b[0] << 8 | b[1]);
        return 0;
    }
    static int write_u16(settings_medium *m, uint16_t v) {
        const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
        return write(m, b, 2);
    }
    static constexpr settings_medium_ops kOps = {
        .read_text = nullptr,
        .write_text = nullptr,
        .read_bytes = read,
        .write_bytes = write,
        .read_u32 = read_u32,
        .write_u32 = write_u32,
        .read_u16 = read_u16,
        .write_u16 = write_u16,
        .stored_version = [](settings_medium *m) { return self(m)->version; },
    };
};

// Lines of the RAM log that hold the text.
inline int log_lines(const std::string &text) {
    logger *ram = logger_ram_get();
    uint32_t first = 0;
    const int n = ram != nullptr ? ram->ops->count(&first, ram) : 0;
    int found = 0;
    for (int i = 0; i < n; i++) {
        logger_record rec{
            .seq = first + static_cast<uint32_t>(i), .level = 0, .module = 0, .time = 0};
        char line[LOGGER_TEXT_MAX] = {};
        if (ram->ops->read(&rec, line, sizeof line, ram) == 1 &&
            std::string(line).find(text) != std::string::npos)
            found++;
    }
    return found;
}

}  // namespace feature_test

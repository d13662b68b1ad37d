// The monitor's packet helpers: the layer-by-layer frame decoder and the
// packet watcher's operations the receive commands use.
#pragma once

#include <cstdint>

// Frame types the decoder starts with.
constexpr int PKT_DECODE_ETHER = 1;
constexpr int PKT_DECODE_IP = 2;
constexpr int PKT_DECODE_TCP = 3;
constexpr int PKT_DECODE_ARP = 4;
constexpr int PKT_DECODE_ETHER2 = 5;

// Decodes the frame, one line per layer after a line holding the prefix, and
// prints it; 0, or -1 for an unknown type or when no text buffer is left.
int pkt_decode_print(const char *prefix, int type, const uint8_t *data, int length);

// 1 while the unit's packet watcher runs.
int pw_running(int unit);
// Dumps the unit's log: all (0), the first count (> 0) or the last -count.
int pw_dump_log(int unit, int count);

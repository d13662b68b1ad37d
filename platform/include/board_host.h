// Host-only set-up of the simulated board behind the board glue: the host
// program and the tests choose a board, start it and bind the glue to it.
// The firmware itself never calls these.
#pragma once

#include <cstddef>
#include <cstdint>

// Creates the board with that many front-panel ports ("52", "28" or "26") and
// the switch access "pins" (the real serial and window path) or "direct", and
// binds the glue to it. 0, or -1 with the reason in error (which names the
// valid choices).
int board_host_start(const char *ports, const char *bus, char *error, size_t size);
// What the next board_host_start fits on the gigabit ports: "board" (the
// board's own: the chip's SERDES, or copper PHYs where the chip has none),
// "serdes", "copper" (generic gigabit copper PHYs), "640x" (copper/fibre
// PHYs of the 640X kind), "6401s" (dual-media copper and fibre PHYs), or a
// model by its number: the copper models 6406, 6407, 6408, 6409 and 6410
// (6410/11), the copper/fibre models 6402, 6412, 6413, 6414, 6415 and 6416
// (the one "640x" fits). 0, or -1 with the valid choices in error.
int board_host_gigabit_phy_set(const char *kind, char *error, size_t size);
// The chip port of front-panel port user_port (1..N) of the started board;
// -1 with the reason in error when there is no board or no such port.
int board_host_chip_port(int user_port, char *error, size_t size);
// Plugs a cable into front-panel port user_port, as "[METRES][/PAIR=FAULT@M]...":
// METRES, when given, is the length of a cable with a partner at its end
// (the port links up); each PAIR (A-D) may carry a fault (open, short or
// unknown) at M metres, which the cable tests find. 0, or -1 with the
// reason in error.
int board_host_cable_set(int user_port, const char *cable, char *error, size_t size);
// Fits a fibre socket on port user_port: the fibre interface of its
// copper/fibre PHY is wired (strapped), and a partner of speed 1000
// (1000BASE-X) or 100 (100BASE-FX, copper/fibre PHYs only) gives it signal
// from up_ms of the platform clock on, until gone_ms (0: for good), when the
// fibre is pulled again. 0, or -1 with the reason in error.
int board_host_fiber_set(int user_port, int speed, uint32_t up_ms, uint32_t gone_ms, char *error,
                         size_t size);
// Unbinds and destroys the board started by board_host_start; the firmware
// threads that use it must have stopped.
void board_host_stop(void);
// Binds front-panel port user_port (1..N) of the started board to a new
// Linux TAP device: frames the port sends are written to the TAP, frames read
// from it enter at the port, and the port has a link while the TAP is up (a
// TAP moved to another network namespace counts as up while it exists). 0,
// or -1 with the reason in error (no /dev/net/tun, no permission, bad port).
int board_host_tap_add(int user_port, const char *ifname, char *error, size_t size);
// Stops every TAP bridge and removes its device (board_host_stop does too).
void board_host_tap_stop_all(void);
// Forgets the devices the enumerator found (tests that bind another board).
void board_host_forget_devices(void);

// The default board of the host program.
constexpr const char *BOARD_HOST_DEFAULT_PORTS = "52";

// Reads one switch register through the device enumerator (and so through the
// whole glue) and prints "<board>: register 0x%04x = 0x..." on the console.
// 0, or -1 when the read fails.
int board_host_debug_read(uint16_t address, int len);
// Width in bytes of the switch register at the address on the started board
// (2 for a PHY register), 0 when nothing is described there or no board runs.
int board_host_register_width(uint16_t address);

// Test hook: the nth frame (1 the next) that a front-panel port of the
// started board sends from now on leaves with one byte changed. 0, or -1
// when no board runs.
int board_host_corrupt_frame(uint64_t nth);

// Delivers a device's interrupt: its connected routine runs in simulated
// interrupt context. 0, or -1 when none is connected.
int board_host_irq_raise(int d);

// Parsers and formatters the monitor commands share: integers, addresses,
// ports and port bitmaps, port abilities, block and memory names, the field
// processor's vocabulary and the L2 entry dump lines. Stateless; parsers
// return 0, or -1 on a malformed word, unless said otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dxp_types.h"
#include "soc_control.h"

// ---------------------------------------------------------------- text
// First position of word in text without regard to case; null when none.
const char *strcaseindex(const char *text, const char *word);
// Replaces len characters at pos with insert, in place (the caller has room).
char *strrepl(char *text, int pos, int len, const char *insert);
char i2xdigit(int v);      // low 4 bits as a lower-case hex digit
int parse_xdigit(char c);  // hex digit value, 0 for any other character
// Copies src, turning runs of spaces that reach a tab stop into tabs.
void format_entab(char *dst, const char *src, int tabwidth);

// ---------------------------------------------------------------- integers
// "rand(N)" (0..N-1) or "rand(A,B)" (A..B): 1 with the value, else 0.
int parse_rand(const char *text, uint32_t *value);
// 1 when well formed and fitting an int: a decimal number is signed, a
// hex, octal or binary one any 32-bit pattern.
int parse_is_integer(const char *text);
// 1 when the text has an integer's form but does not fit an int.
int parse_integer_too_wide(const char *text);
// 1 when the text is an integer that fits bits (1-64) bits: unsigned, or a
// negative number of at least -2^(bits-1).
int parse_integer_fits(const char *text, int bits);
int parse_integer(const char *text);  // warns on a malformed word
uint32_t parse_address(const char *text);
// Words least significant first; "0x" texts of any length, "-" negates.
void parse_long_integer(uint32_t *words, int nwords, const char *text);
void format_long_integer(char *buf, const uint32_t *words, int nwords);
uint64_t parse_uint64(const char *text);
void format_uint64(char *buf, uint64_t value);
// Decimal; sep (0 for none) after every digit whose remaining digit count is
// a non-zero multiple of three. buf holds 27 bytes.
void format_uint64_decimal(char *buf, uint64_t value, int sep);

// ---------------------------------------------------------------- addresses
int parse_macaddr(const char *text, dxp_mac_t mac);
void format_macaddr(char *buf, const dxp_mac_t mac);  // 18 bytes
void macaddr_increment(dxp_mac_t mac, int n);
int parse_ipaddr(const char *text, dxp_ip_t *ip);
int parse_ip6addr(const char *text, dxp_ip6_t ip6);
void format_ipaddr(char *buf, dxp_ip_t ip);                      // 16 bytes
void format_ipaddr_mask(char *buf, dxp_ip_t ip, dxp_ip_t mask);  // 19 bytes
void format_ip6addr(char *buf, const dxp_ip6_t ip6);             // 40 bytes

// ---------------------------------------------------------------- ports
// Port names, 1-based ordinals into the unit's port list, or "any".
int parse_port(int unit, const char *text, int *port);
struct diag_mod_port {
    int module;  // -1 when the word named no module
    int port;
};
int parse_mod_port(int unit, const char *text, diag_mod_port *out);
int parse_pbmp(int unit, const char *text, soc_pbmp_t *pbmp);
void format_pbmp(int unit, char *buf, int bufsize, soc_pbmp_t pbmp);
// One port set's part of format_pbmp: ",name" for the whole set or its runs.
void format_pbmp_set(int unit, char *buf, int bufsize, const char *name, const soc_port_list_t &set,
                     soc_pbmp_t pbmp);

int parse_ability(const char *text, uint32_t *mask);
void format_ability(char *buf, int bufsize, uint32_t mask, int combined);

// ---------------------------------------------------------------- blocks and memories
int parse_index_range(const char *start, const char *end, int *first, int *last, int min, int max);
// "all", empty or null: 0..count-1; one digit or two joined by "-".
int parse_num_range(const char *text, int count, int *first, int *last);
// A port name or a block-type name with its instance at *cursor; advances it.
int parse_block_name(int unit, const char **cursor, int *block);
// "all"/"*" (every block), a port-type name (types gets the block-type mask,
// first and last -1) or one or two block names joined by "-".
int parse_block_range(int unit, const char *text, int *first, int *last, uint32_t *types);
// "NAME" or "NAME.BLOCK"; block -1 when none is given.
int parse_memory_name(int unit, int *mem, const char *text, int *block);
int parse_memory_index(int unit, int mem, const char *text);

// ---------------------------------------------------------------- field processor
constexpr int DIAG_FIELD_QUALIFY_COUNT = 84;
constexpr int DIAG_FIELD_GROUP_MODE_COUNT = 4;
constexpr int DIAG_FIELD_ACTION_COUNT = 70;
constexpr int DIAG_FIELD_DECAP_COUNT = 8;
constexpr int DIAG_SWITCH_CONTROL_COUNT = 203;
constexpr int DIAG_FIELD_NAME_BUF = 64;  // enough for any formatted name

// The parsers answer the count when the text names nothing.
void format_field_qualifier(char *buf, int q, int brief);
int parse_field_qualifier(const char *text);
int parse_field_qset(const char *text, dxp_field_qset_t *qset);
void format_field_qset(char *buf, int bufsize, const dxp_field_qset_t &qset);
void format_field_group_mode(char *buf, int mode);
int parse_field_group_mode(const char *text);
void format_field_action(char *buf, int action);
int parse_field_action(const char *text);
void format_field_decap(char *buf, int decap);
int parse_field_decap(const char *text);
void format_switch_control(char *buf, int control);
int parse_switch_control(const char *text);

// ---------------------------------------------------------------- L2 entries
void dump_l2_addr(int unit, const char *prefix, const dxp_l2_addr *l2addr);
void dump_l2_cache_addr(int unit, const char *prefix, const dxp_l2_cache_addr *entry);

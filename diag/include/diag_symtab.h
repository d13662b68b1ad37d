// Register symbol table of the monitor: register names to ids, and register
// references ("$NAME.ports[from-to]") to register address lists.
#pragma once

#include <cstdint>

#include "drv_reg.h"

struct symtab_entry_t {
    uint32_t other_reg;  // the other chip family's id; unused here
    int reg;
    const char *name;  // the catalogue's text
    symtab_entry_t *next;
};

uint32_t symtab_hash(const char *name);  // bucket 0..2535
void symtab_add(const char *name, int reg, int slot, int *chained);
// The entry for name (any case); on a unit of this family, the first match
// the unit's chip has. Unit -1: the first match.
symtab_entry_t *symtab_find(int unit, const char *name);
void symtab_init(void);  // builds the table once
// Appends the instances index from..to of reg on port (-10: none); -1 when
// the list would overflow.
int symtab_addr_add(int unit, soc_regaddrlist_t *list, int reg, int block, int port, int from,
                    int to);
// 0 when the reference selected at least one instance, else -1. The list is
// allocated by the caller (soc_regaddrlist_alloc).
int symtab_reg_parse(int unit, soc_regaddrlist_t *list, const char *ref);

// Register read/write helpers shared by the register commands.
constexpr int REG_PRINT_HEX = 0x1;
constexpr int REG_PRINT_RAW = 0x2;
constexpr int REG_PRINT_DO = 0x4;
const char *reg_type_name(int type);  // "invalid" out of range
int reg_fields_assign(int unit, int reg, uint64_t *value, uint64_t *mask, const char *text);
void reg_print(int unit, const soc_regaddrinfo_t *ai, uint64_t value, int flags);
// Allocates list for the reference *ref and skips its '$'; false, after
// saying so, when memory runs out.
bool reg_list_alloc(soc_regaddrlist_t *list, const char **ref);
int reg_list_print(int unit, soc_regaddrlist_t *list, int flags);

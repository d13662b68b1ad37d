// Table-memory helpers of the monitor: the shell's memory names, entry
// writes from raw words or field assignments, and the memory list.
#pragma once

#include <cstdint>

#include "diag_shell.h"

// Joins first (when given) and the remaining words with ','; buf holds
// ARGS_BUFFER bytes.
void mem_args_join(args_t *a, char *buf, const char *first);
// Reads exactly count integer words; extra ones are reported and skipped.
// 0, or -1 when too few.
int mem_data_words_parse(int count, uint32_t *words, args_t *a);
// Writes raw words as entry index of memory m, or reads the entry, applies
// the "FIELD=VALUE,..." text and writes it back. 0, or -1 after the message.
int mem_entry_modify(int unit, int m, int index, const uint32_t *raw, const char *fields);
// The memories of the unit whose names hold substr (null: all). 0, or -1
// when none matched.
int mem_list_all(int unit, const char *substr);
// The memory index of a shell table name (either name, any case, optional
// ".copy"), or -1; its shell name; its chip-service memory id (0: none).
int mem_table_find(const char *word);
const char *mem_table_name(int m);
uint32_t mem_table_drv_id(int m);
// The chip's name for messages; entry words of memory m on the unit's chip
// and its last index, or -1 when the chip has no such memory; the user name
// (or the name).
const char *mem_chip_name(int unit);
int mem_table_words(int unit, int m, int *index_max);
const char *mem_table_user_name(int m);
// Reads entry index of memory m into entry (room for 8 words): 0, 1 when the
// memory has no chip-service mapping, or the service's error.
int mem_entry_read(int unit, int m, int index, uint32_t *entry);

// The op switch every feature settings item shares.
#pragma once

#include <cstdint>

#include "serialize.h"

inline int item_dispatch(int op, settings_medium *m, int (*load)(settings_medium *),
                         int (*save)(settings_medium *), uint32_t version) {
    switch (op) {
        case SETTINGS_OP_LOAD:
            return load(m);
        case SETTINGS_OP_SAVE:
            return save(m);
        case SETTINGS_OP_VERSION:
            return static_cast<int>(version);
        default:
            return -1;
    }
}

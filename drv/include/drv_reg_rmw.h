// One field of a register instance changed or read through the unit's
// service table: the register is read whole, the field changed and the
// register written back. Each answers 0 or the first failing access.
#pragma once

#include <cstdint>

#include "drv_reg_value.h"

// change(DrvRegValue &) answers 0 to write the value back, or a negative
// code that ends the change with nothing written.
template <typename Change>
int drv_reg_modify(int unit, uint32_t reg, int port, Change change) {
    DrvRegValue v(unit, reg, port);
    if (int rv = v.read(); rv < 0) return rv;
    if (int rv = change(v); rv < 0) return rv;
    return v.write();
}

inline int drv_reg_field_write(int unit, uint32_t reg, int port, uint32_t field, uint32_t value) {
    return drv_reg_modify(unit, reg, port, [&](DrvRegValue &v) {
        v.set(field, value);
        return 0;
    });
}

// read(const DrvRegValue &) answers the result once the register is read.
template <typename Read>
int drv_reg_inspect(int unit, uint32_t reg, int port, Read read) {
    DrvRegValue v(unit, reg, port);
    if (int rv = v.read(); rv < 0) return rv;
    return read(static_cast<const DrvRegValue &>(v));
}

inline int drv_reg_field_read(int unit, uint32_t reg, int port, uint32_t field, uint32_t *value) {
    return drv_reg_inspect(unit, reg, port, [&](const DrvRegValue &v) {
        *value = v.get(field);
        return 0;
    });
}

// The answer of an operation a table slot does not offer: SOC_E_UNAVAIL
// (-16) for any signature, nothing else done. Tables fill their empty slots
// with &unavailable<decltype(table.slot)>::call.
#pragma once

#include "soc_error.h"

template <typename Fn>
struct unavailable;
template <typename Ret, typename... Args>
struct unavailable<Ret (*)(Args...)> {
    static Ret call(Args...) { return static_cast<Ret>(SOC_E_UNAVAIL); }
};

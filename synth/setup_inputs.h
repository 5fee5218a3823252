#pragma once
// Skipping a control-rate set-up whose inputs did not change. A unit's
// set-up is a pure function of its inputs (parameter values, the note, rate
// constants) that writes some of the unit's fields, and nothing else writes
// those fields; run again on the same inputs it would write the same values,
// so it is skipped. Inputs compare bit for bit: 0 and -0 may set up
// differently, and a NaN equals nothing by value.
#include <algorithm>
#include <cstring>
#include <cstdint>

template <int32_t Count>
struct SetupInputs {
    float values[Count];
    bool valid;  // false: no set-up ran since the record was cleared
};

// True when `now` differs from the inputs of the last set-up (or none ran),
// remembering `now` for the next frame: the caller then runs the set-up.
// A float's bits (std::bit_cast is missing from the browser build's library).
inline uint32_t setupInputBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

template <int32_t Count>
bool setupInputsChanged(SetupInputs<Count>& last, const float (&now)[Count]) {
    // A loop the compiler keeps inline, unlike memcmp, and stops at the first
    // difference: not vectorised, so it never loads in one vector the inputs
    // the caller has just stored one by one (which stalls store forwarding).
    bool same = last.valid;
    for (int32_t i = 0; same && i < Count; ++i)
        same = setupInputBits(last.values[i]) == setupInputBits(now[i]);
    if (same) return false;
    std::copy_n(now, Count, last.values);
    last.valid = true;
    return true;
}

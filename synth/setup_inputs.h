#pragma once
// Skipping a control-rate set-up whose inputs did not change. A unit's
// set-up is a pure function of its inputs (parameter values, the note, rate
// constants) that writes some of the unit's fields, and nothing else writes
// those fields; run again on the same inputs it would write the same values,
// so it is skipped. Inputs compare bit for bit: 0 and -0 may set up
// differently, and a NaN equals nothing by value.
#include <cstring>
#include <cstdint>

// The inputs as 32-bit words: a float's bits, or raw bytes four at a time.
template <int32_t Count>
struct SetupInputs {
    uint32_t words[Count];
    bool valid;  // false: no set-up ran since the record was cleared
};

// A float's bits (std::bit_cast is missing from the browser build's library).
inline uint32_t setupInputBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// True when the inputs (word(i) for input i) differ from those of the last
// set-up (or none ran), remembering them for the next frame: the caller then
// runs the set-up.
template <int32_t Count, class Word>
bool setupWordsChanged(SetupInputs<Count>& last, Word word) {
    // A loop the compiler keeps inline, unlike memcmp, and stops at the first
    // difference: not vectorised, so it never loads in one vector the inputs
    // the caller has just stored one by one (which stalls store forwarding).
    bool same = last.valid;
    for (int32_t i = 0; same && i < Count; ++i) same = last.words[i] == word(i);
    if (same) return false;
    for (int32_t i = 0; i < Count; ++i) last.words[i] = word(i);
    last.valid = true;
    return true;
}

template <int32_t Count>
bool setupInputsChanged(SetupInputs<Count>& last, const uint32_t (&now)[Count]) {
    return setupWordsChanged(last, [&](int32_t i) { return now[i]; });
}

template <int32_t Count>
bool setupInputsChanged(SetupInputs<Count>& last, const float (&now)[Count]) {
    return setupWordsChanged(last, [&](int32_t i) { return setupInputBits(now[i]); });
}

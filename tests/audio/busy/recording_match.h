#pragma once
// Finds a reference render inside a recording of the sound server's output:
// from the reference's first sound on, every frame must follow in order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

struct RecordingMatch {
    bool found = false;        // the reference's first sound appears in the recording
    size_t matchedFrames = 0;  // reference frames found in order, from its start
    bool departed = false;     // the recording left the reference (a gap, a skip or wrong samples)
};

inline RecordingMatch matchRecording(const std::vector<int16_t>& recording, const std::vector<int16_t>& reference) {
    constexpr size_t window = 512;  // frames that must agree to place the reference
    auto equal = [&](size_t r, size_t f) {
        return recording[2 * r] == reference[2 * f] && recording[2 * r + 1] == reference[2 * f + 1];
    };
    const size_t refFrames = reference.size() / 2, recFrames = recording.size() / 2;
    RecordingMatch match;
    size_t f = 0;
    while (f < refFrames && reference[2 * f] == 0 && reference[2 * f + 1] == 0) ++f;
    const size_t n = std::min(window, refFrames - f);
    for (size_t start = 0; start + n <= recFrames && !match.found; ++start) {
        size_t k = 0;
        while (k < n && equal(start + k, f + k)) ++k;
        if (k < n) continue;
        match.found = true;
        size_t r = start;
        while (f < refFrames && r < recFrames && equal(r, f)) ++r, ++f;
        match.matchedFrames = f;
        match.departed = f < refFrames && r < recFrames;
    }
    return match;
}

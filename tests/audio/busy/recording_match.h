#pragma once
// Finds a reference render inside a recording of the sound server's output
// and counts the places where the recording departs from it: silence the
// device inserted, and reference frames it never played.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

struct RecordingMatch {
    bool found = false;        // the reference's first sound appears in the recording
    size_t matchedFrames = 0;  // reference frames found in order
    uint32_t gaps = 0;         // places where the recording departs from the reference
    size_t insertedFrames = 0; // recording frames that are not the reference's next ones
    size_t missingFrames = 0;  // reference frames passed over
    bool lostTrack = false;    // the recording never resumed the reference
};

namespace recording_match_detail {

using Samples = std::vector<int16_t>;
constexpr size_t window = 512;             // frames that must agree to call a place matched
constexpr size_t reach = 44100 * 2;        // the longest departure looked for
constexpr size_t resumeTries = 64;

inline bool frameEqual(const Samples& a, size_t i, const Samples& b, size_t j) {
    return a[2 * i] == b[2 * j] && a[2 * i + 1] == b[2 * j + 1];
}
inline bool silent(const Samples& a, size_t i) { return a[2 * i] == 0 && a[2 * i + 1] == 0; }

// recording from r and reference from f agree for window frames (or to the
// reference's end).
inline bool agree(const Samples& recording, size_t r, const Samples& reference, size_t f) {
    const size_t n = std::min(window, reference.size() / 2 - f);
    if (r + n > recording.size() / 2) return false;
    for (size_t k = 0; k < n; ++k)
        if (!frameEqual(recording, r + k, reference, f + k)) return false;
    return true;
}

// After a departure at (r, f): the nearest recording place past any silence
// that agrees with the reference near f.
inline bool resume(const Samples& recording, size_t& r, const Samples& reference, size_t& f, RecordingMatch& match) {
    const size_t recFrames = recording.size() / 2, refFrames = reference.size() / 2;
    size_t from = r;
    while (from < recFrames && silent(recording, from)) ++from;
    for (size_t rr = from; rr < std::min(recFrames, from + resumeTries); ++rr) {
        const size_t lowest = f > window ? f - window : 0, highest = std::min(refFrames, f + reach);
        for (size_t ff = lowest; ff < highest; ++ff) {
            if (!frameEqual(recording, rr, reference, ff) || !agree(recording, rr, reference, ff)) continue;
            ++match.gaps;
            match.insertedFrames += rr - r + (ff < f ? f - ff : 0);
            match.missingFrames += ff > f ? ff - f : 0;
            r = rr, f = ff;
            return true;
        }
    }
    return false;
}

}  // namespace recording_match_detail

// Walks reference (interleaved 16-bit stereo) through recording from the
// reference's first sound on.
inline RecordingMatch matchRecording(const std::vector<int16_t>& recording, const std::vector<int16_t>& reference) {
    using namespace recording_match_detail;
    RecordingMatch match;
    const size_t refFrames = reference.size() / 2, recFrames = recording.size() / 2;
    size_t f = 0, r = 0;
    while (f < refFrames && silent(reference, f)) ++f;
    while (r < recFrames && !agree(recording, r, reference, f)) ++r;
    if (f == refFrames || r == recFrames) return match;
    match.found = true;
    size_t lastMatched = f;
    while (f < refFrames && r < recFrames) {
        if (frameEqual(recording, r, reference, f)) {
            ++r, ++f;
            lastMatched = f;
            continue;
        }
        if (!resume(recording, r, reference, f, match)) {
            match.lostTrack = true;
            break;
        }
    }
    // Frames the recording ran out before count as missing.
    match.matchedFrames = lastMatched;
    if (f < refFrames) match.missingFrames += refFrames - f;
    return match;
}

#include "synth/voice/voice_lanes.h"
#include <algorithm>
#include <bit>
#include "synth/simd/add_lanes.h"
#include "synth/simd/move_lanes.h"
#include "synth/synth.h"

static_assert(laneVoiceCount == synthVoiceCount && laneFrameLength == maxFrameLength);
static_assert(laneVoiceCount <= filterSectionCapacity && laneVoiceCount <= oscLaneCapacity &&
              laneVoiceCount <= mixLaneCapacity && laneVoiceCount <= distLaneCapacity &&
              laneVoiceCount <= moveLaneCapacity);

namespace {

// A frame's voices in lanes: voice laneVoice[j] in lane j of every row of
// scratch.samples (sample k at row k).
struct LaneLayout {
    int32_t laneVoice[laneVoiceCount];
    int32_t count;
    int32_t lanes;  // count rounded up to whole vectors; the rows' length
};

bool isBypass(const Filter& filter) {
    const int32_t mode = filter.mode & 7;
    return mode == 0 || mode >= 6;
}

bool isParallel(const SynthVoice& voice) { return voice.filterRouting == voiceRoutingParallel; }

bool isSerial(const SynthVoice& voice) {
    return voice.filterRouting != voiceRoutingSingle && !isParallel(voice);
}

// Sorting key of a voice's oscillator modes: voices that share it share
// their oscillators' code paths.
int32_t modeSignature(const SynthVoice& voice) {
    int32_t key = 0;
    for (const Oscillator& osc : voice.osc) key = key * 8 + (osc.mode & 7);
    return key;
}

LaneLayout layOut(const Synth& synth, const int32_t* voices, int32_t count) {
    LaneLayout layout;
    layout.count = count;
    voicesByModes(synth, voices, count, layout.laneVoice);
    layout.lanes = (count + filterLaneQuantum - 1) / filterLaneQuantum * filterLaneQuantum;
    return layout;
}

// The settings and state of each lane's filter into a batch (nullptr or a
// bypass filter: mode 0, the lane passes through).
void gatherFilters(FilterLanes& batch, Filter* const* laneFilter, int32_t lanes) {
    batch.lanes = lanes;
    batch.rowStride = lanes;
    for (int32_t j = 0; j < lanes; ++j) {
        const Filter* filter = laneFilter[j] && !isBypass(*laneFilter[j]) ? laneFilter[j] : nullptr;
        batch.freq[j] = filter ? filter->freq : 0.0f;
        batch.damp[j] = filter ? filter->damp : 0.0f;
        batch.mode[j] = filter ? filter->mode & 7 : 0;
        batch.low[j] = filter ? filter->low : 0.0f;
        batch.band[j] = filter ? filter->band : 0.0f;
    }
}

// The state of each filtering lane back into its filter.
void scatterFilters(const FilterLanes& batch, Filter* const* laneFilter, int32_t lanes) {
    for (int32_t j = 0; j < lanes; ++j) {
        if (batch.mode[j] == 0) continue;
        laneFilter[j]->low = batch.low[j];
        laneFilter[j]->band = batch.band[j];
    }
}

// Runs the filters of lanes 0..lanes-1 over the rows and keeps their state.
void runFilters(LaneScratch& scratch, Filter* const* laneFilter, int32_t lanes, int32_t n) {
    if (std::none_of(laneFilter, laneFilter + lanes, [](const Filter* f) { return f && !isBypass(*f); })) return;
    gatherFilters(scratch.batch, laneFilter, lanes);
    filterLanesProcess(scratch.batch, scratch.samples, n);
    scatterFilters(scratch.batch, laneFilter, lanes);
}

void gatherOscillators(OscLanes& batch, const Synth& synth, const LaneLayout& layout, int32_t slot) {
    for (int32_t j = 0; j < batch.lanes; ++j) {
        if (j < layout.count) oscLanesSet(batch, j, synth.voices[layout.laneVoice[j]].osc[slot]);
        else batch.mode[j] = 0;
    }
}

void scatterOscillators(const OscLanes& batch, Synth& synth, const LaneLayout& layout, int32_t slot) {
    for (int32_t j = 0; j < layout.count; ++j) oscLanesKeep(batch, j, synth.voices[layout.laneVoice[j]].osc[slot]);
}

// One slot's mode of each voice, by voice index.
struct SlotModes {
    int32_t of[synthVoiceCount];
};

SlotModes slotModes(const Synth& synth, const LaneLayout& layout, int32_t slot) {
    SlotModes modes;
    for (int32_t j = 0; j < layout.count; ++j) {
        const int32_t voice = layout.laneVoice[j];
        modes.of[voice] = oscLanesMode(synth.voices[voice].osc[slot]);
    }
    return modes;
}

// The mode passes a slot costs in a layout: each vector of lanes runs each
// of its sounding modes over all of its lanes.
int32_t modePasses(const SlotModes& modes, const LaneLayout& layout) {
    int32_t passes = 0;
    for (int32_t first = 0; first < layout.count; first += filterLaneQuantum) {
        uint32_t present = 0;
        const int32_t end = std::min(layout.count, first + filterLaneQuantum);
        for (int32_t j = first; j < end; ++j) present |= 1u << modes.of[layout.laneVoice[j]];
        passes += std::popcount(present & ~1u);
    }
    return passes;
}

// The layout sorted, stably, by one slot's modes (a counting sort: the
// modes are 0..7).
LaneLayout sortedBySlot(const SlotModes& modes, const LaneLayout& layout) {
    int32_t first[9] = {};
    for (int32_t j = 0; j < layout.count; ++j) ++first[modes.of[layout.laneVoice[j]] + 1];
    for (int32_t m = 1; m < 9; ++m) first[m] += first[m - 1];
    LaneLayout sorted = layout;
    for (int32_t j = 0; j < layout.count; ++j) {
        const int32_t voice = layout.laneVoice[j];
        sorted.laneVoice[first[modes.of[voice]]++] = voice;
    }
    return sorted;
}

// Moves each voice's samples so far from its lane in `from` to its lane in
// `to`.
void moveLanes(float* samples, const LaneLayout& from, const LaneLayout& to, int32_t n) {
    int32_t laneIn[synthVoiceCount];
    for (int32_t j = 0; j < from.count; ++j) laneIn[from.laneVoice[j]] = j;
    int32_t source[laneVoiceCount];
    for (int32_t j = 0; j < to.count; ++j) source[j] = laneIn[to.laneVoice[j]];
    moveLanesProcess(samples, from.lanes, source, to.count, n);
}

// voiceOscillators of every voice, one slot at a time; a later slot where
// no voice sounds leaves the rows and the oscillators as they are. Where
// another order of the lanes gives a slot fewer mode passes, the samples so
// far move to it first, and the later stages keep it.
void oscillatorStage(Synth& synth, LaneScratch& scratch, LaneLayout& layout, int32_t n) {
    OscLanes& batch = scratch.osc;
    batch.lanes = layout.lanes;
    batch.rowStride = layout.lanes;
    for (int32_t slot = 0; slot < 3; ++slot) {
        batch.fresh = slot == 0;  // the first slot writes every row whole
        const int32_t* voices = layout.laneVoice;
        if (slot > 0 && std::none_of(voices, voices + layout.count, [&](int32_t v) {
                return oscLanesMode(synth.voices[v].osc[slot]) != 0;
            }))
            continue;
        if (slot > 0 && layout.count > filterLaneQuantum) {
            const SlotModes modes = slotModes(synth, layout, slot);
            const LaneLayout sorted = sortedBySlot(modes, layout);
            if (modePasses(modes, sorted) < modePasses(modes, layout)) {
                moveLanes(scratch.samples, layout, sorted, n);
                layout = sorted;
            }
        }
        gatherOscillators(batch, synth, layout, slot);
        oscLanesProcess(batch, scratch.samples, n);
        scatterOscillators(batch, synth, layout, slot);
    }
}

// Whether the section changes a voice's samples.
bool filters(const SynthVoice& voice) {
    return isParallel(voice) || !isBypass(voice.filter[0]) || (isSerial(voice) && !isBypass(voice.filter[1]));
}

// Both filters of every voice, as its routing joins them.
void filterStage(Synth& synth, LaneScratch& scratch, const LaneLayout& layout, int32_t n) {
    const int32_t* voices = layout.laneVoice;
    if (std::none_of(voices, voices + layout.count, [&](int32_t v) { return filters(synth.voices[v]); })) return;
    FilterSectionLanes& section = scratch.section;
    const int32_t lanes = layout.lanes;
    section.lanes = lanes;
    Filter* first[filterSectionCapacity] = {};
    Filter* second[filterSectionCapacity] = {};
    for (int32_t j = 0; j < lanes; ++j) {
        SynthVoice* voice = j < layout.count ? &synth.voices[layout.laneVoice[j]] : nullptr;
        const bool parallel = voice && isParallel(*voice);
        section.parallel[j] = parallel;
        section.gain1[j] = parallel ? voice->filter1Gain : 0.0f;
        section.gain2[j] = parallel ? voice->filter2Gain : 0.0f;
        first[j] = voice ? &voice->filter[0] : nullptr;
        second[j] = voice && (parallel || isSerial(*voice)) ? &voice->filter[1] : nullptr;
    }
    gatherFilters(section.first, first, lanes);
    gatherFilters(section.second, second, lanes);
    filterSectionLanesProcess(section, scratch.samples, n);
    scatterFilters(section.first, first, lanes);
    scatterFilters(section.second, second, lanes);
}

// The distortion: its filter modes, overdrive, clip and crusher in lanes, the others
// voice by voice. Each lane has one mode, so the shaping modes may run later
// (deferred), once their settings are gathered.
void distortionStage(Synth& synth, LaneScratch& scratch, const LaneLayout& layout, int32_t n, bool defer) {
    Filter* laneFilter[filterLaneCapacity] = {};
    float column[laneFrameLength];
    DistLanes& shapes = scratch.dist;
    shapes.lanes = layout.lanes;
    shapes.rowStride = layout.lanes;
    bool anyShape = false;
    const int32_t stride = layout.lanes;
    for (int32_t j = 0; j < layout.lanes; ++j) {
        Distortion* dist = j < layout.count ? &synth.voices[layout.laneVoice[j]].dist : nullptr;
        const bool inLanes = dist && distLanesTake(dist->mode);
        shapes.mode[j] = 0;
        if (inLanes) {
            anyShape = true;
            distLanesSet(shapes, j, *dist);
        } else if (!dist) {
            continue;
        } else if (distIsFilterMode(dist->mode)) {
            laneFilter[j] = &dist->filterA;
        } else if (dist->mode != 0) {
            for (int32_t k = 0; k < n; ++k) column[k] = scratch.samples[k * stride + j];
            distProcessMono(*dist, column, column, n);
            for (int32_t k = 0; k < n; ++k) scratch.samples[k * stride + j] = column[k];
        }
    }
    scratch.shapesDeferred = anyShape && defer;
    if (anyShape && !defer) distLanesProcess(shapes, scratch.samples, n);
    runFilters(scratch, laneFilter, layout.lanes, n);
}

// voiceMix's ramp and pan: each voice's ramp, gains and lane, then the
// products it adds into its channel, now or (deferred) in voicesMixLanes.
// A deferred ramp's end goes back to the voice at once, advanced step by step
// as the products will advance it, so that the next frame's update need not
// wait for them.
void mixStage(Synth& synth, LaneScratch& scratch, const LaneLayout& layout, int32_t n, bool defer) {
    MixLanes& batch = scratch.mix;
    batch.lanes = layout.lanes;
    batch.count = layout.count;
    batch.rowStride = layout.lanes;
    batch.stereoStride = 2 * laneFrameLength;
    for (int32_t j = 0; j < layout.lanes; ++j) {
        const SynthVoice* voice = j < layout.count ? &synth.voices[layout.laneVoice[j]] : nullptr;
        batch.amp[j] = voice ? voice->ampCurrent : 0.0f;
        batch.step[j] = voice ? voice->ampStep : 0.0f;
        batch.gainLeft[j] = voice ? voice->gainLeft : 0.0f;
        batch.gainRight[j] = voice ? voice->gainRight : 0.0f;
    }
    // The kernel advances batch.amp; a deferred one needs it as it starts.
    float advanced[mixLaneCapacity];
    const float* ampEnd = batch.amp;
    if (defer) {
        std::copy_n(batch.amp, layout.lanes, advanced);
        for (int32_t i = 0; i < n; ++i)
            for (int32_t j = 0; j < layout.lanes; ++j) advanced[j] += batch.step[j];
        ampEnd = advanced;
    } else {
        mixLanesProcess(batch, scratch.samples, scratch.stereo[0], n);
    }
    scratch.mixDeferred = defer;
    for (int32_t j = 0; j < layout.count; ++j) {
        synth.voices[layout.laneVoice[j]].ampCurrent = ampEnd[j];
        scratch.laneOf[layout.laneVoice[j]] = j;
    }
}

}  // namespace

void voicesRenderLanes(Synth& synth, LaneScratch& scratch, const int32_t* voices, int32_t count,
                       int32_t n, bool deferMix) {
    scratch.mixDeferred = false;
    scratch.shapesDeferred = false;
    if (count == 0) return;
    LaneLayout layout = layOut(synth, voices, count);
    oscillatorStage(synth, scratch, layout, n);
    filterStage(synth, scratch, layout, n);
    distortionStage(synth, scratch, layout, n, deferMix);
    mixStage(synth, scratch, layout, n, deferMix);
}

void voicesMixLanes(LaneScratch& scratch, int32_t n) {
    if (scratch.shapesDeferred) distLanesProcess(scratch.dist, scratch.samples, n);
    scratch.shapesDeferred = false;
    if (!scratch.mixDeferred) return;
    mixLanesProcess(scratch.mix, scratch.samples, scratch.stereo[0], n);
    scratch.mixDeferred = false;
}

void voicesByModes(const Synth& synth, const int32_t* voices, int32_t count, int32_t* sorted) {
    // A stable insertion sort: std::stable_sort may allocate a buffer.
    int32_t key[laneVoiceCount];
    for (int32_t a = 0; a < count; ++a) {
        const int32_t signature = modeSignature(synth.voices[voices[a]]);
        int32_t b = a;
        for (; b > 0 && key[b - 1] > signature; --b) {
            key[b] = key[b - 1];
            sorted[b] = sorted[b - 1];
        }
        key[b] = signature;
        sorted[b] = voices[a];
    }
}

void voiceAddFromLanes(const LaneScratch& scratch, int32_t voice, float* channelBuffer, int32_t n) {
    addLanesProcess(channelBuffer, scratch.stereo[scratch.laneOf[voice]], 2 * n);
}

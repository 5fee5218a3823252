#include "synth/voice/voice_lanes.h"
#include <algorithm>
#include "synth/synth.h"

static_assert(laneVoiceCount == synthVoiceCount && laneFrameLength == maxFrameLength);

namespace {

// One filter's run over a voice buffer: input to output (may be the same).
struct FilterJob {
    Filter* filter;
    const float* input;
    float* output;
};

struct JobList {
    FilterJob jobs[filterLaneCapacity];
    int32_t count = 0;
};

bool isBypass(const Filter& filter) {
    const int32_t mode = filter.mode & 7;
    return mode == 0 || mode >= 6;
}

void addJob(JobList& list, Filter& filter, const float* input, float* output) {
    list.jobs[list.count++] = {&filter, input, output};
}

// Every job's input is read before any output is written, so jobs may share
// an input that another job overwrites.
void runJobs(LaneScratch& work, const JobList& list, int32_t n) {
    if (list.count == 0) return;
    FilterLanes& batch = work.batch;
    const int32_t count = list.count;
    const int32_t lanes = (count + filterLaneQuantum - 1) / filterLaneQuantum * filterLaneQuantum;
    batch.lanes = lanes;
    for (int32_t j = 0; j < lanes; ++j) {
        const Filter* filter = j < count ? list.jobs[j].filter : nullptr;
        batch.freq[j] = filter ? filter->freq : 0.0f;
        batch.damp[j] = filter ? filter->damp : 0.0f;
        batch.mode[j] = filter ? filter->mode & 7 : 1;
        batch.low[j] = filter ? filter->low : 0.0f;
        batch.band[j] = filter ? filter->band : 0.0f;
    }
    float* samples = work.samples;
    for (int32_t k = 0; k < n; ++k) {
        float* row = samples + k * lanes;
        for (int32_t j = 0; j < count; ++j) row[j] = list.jobs[j].input[k];
        for (int32_t j = count; j < lanes; ++j) row[j] = 0.0f;
    }
    filterLanesProcess(batch, samples, n);
    for (int32_t j = 0; j < count; ++j) {
        float* output = list.jobs[j].output;
        for (int32_t k = 0; k < n; ++k) output[k] = samples[k * lanes + j];
        list.jobs[j].filter->low = batch.low[j];
        list.jobs[j].filter->band = batch.band[j];
    }
}

// Filter 1 of every voice, and filter 2 of those routed in parallel (both
// from the oscillators' output); then the parallel voices' weighted sums.
void firstFilterStage(Synth& synth, VoiceLaneWork& work, LaneScratch& scratch,
                      const int32_t* active, int32_t count, int32_t n) {
    JobList list;
    for (int32_t a = 0; a < count; ++a) {
        const int32_t v = active[a];
        SynthVoice& voice = synth.voices[v];
        if (voice.filterRouting == voiceRoutingParallel) {
            if (isBypass(voice.filter[1])) std::copy_n(work.mono[v], n, work.parallel[v]);
            else addJob(list, voice.filter[1], work.mono[v], work.parallel[v]);
        }
        if (!isBypass(voice.filter[0])) addJob(list, voice.filter[0], work.mono[v], work.mono[v]);
    }
    runJobs(scratch, list, n);
    for (int32_t a = 0; a < count; ++a) {
        const int32_t v = active[a];
        const SynthVoice& voice = synth.voices[v];
        if (voice.filterRouting != voiceRoutingParallel) continue;
        const float gain1 = voice.filter1Gain;
        const float gain2 = voice.filter2Gain;
        float* out = work.mono[v];
        const float* other = work.parallel[v];
        for (int32_t i = 0; i < n; ++i) out[i] = out[i] * gain1 + other[i] * gain2;
    }
}

// Filter 2 of the voices routed in series.
void secondFilterStage(Synth& synth, VoiceLaneWork& work, LaneScratch& scratch,
                       const int32_t* active, int32_t count, int32_t n) {
    JobList list;
    for (int32_t a = 0; a < count; ++a) {
        const int32_t v = active[a];
        SynthVoice& voice = synth.voices[v];
        if (voice.filterRouting == voiceRoutingSingle || voice.filterRouting == voiceRoutingParallel)
            continue;
        if (!isBypass(voice.filter[1])) addJob(list, voice.filter[1], work.mono[v], work.mono[v]);
    }
    runJobs(scratch, list, n);
}

// The distortion: its filter modes in lanes, the others voice by voice.
void distortionStage(Synth& synth, VoiceLaneWork& work, LaneScratch& scratch,
                     const int32_t* active, int32_t count, int32_t n) {
    JobList list;
    for (int32_t a = 0; a < count; ++a) {
        const int32_t v = active[a];
        Distortion& dist = synth.voices[v].dist;
        if (distIsFilterMode(dist.mode)) {
            dist.filterA.stride = 1;
            if (!isBypass(dist.filterA)) addJob(list, dist.filterA, work.mono[v], work.mono[v]);
        } else {
            distProcessMono(dist, work.mono[v], work.mono[v], n);
        }
    }
    runJobs(scratch, list, n);
}

// Sorting key of a voice's oscillator modes: voices that share it share
// their oscillators' code paths, so they go to neighbouring lanes.
int32_t modeSignature(const SynthVoice& voice) {
    int32_t key = 0;
    for (const Oscillator& osc : voice.osc) key = key * 8 + (osc.mode & 7);
    return key;
}

void gatherOscillators(OscLanes& batch, const Synth& synth, const int32_t* laneVoice,
                       int32_t count, int32_t slot) {
    for (int32_t j = 0; j < batch.lanes; ++j) {
        if (j >= count) {
            batch.mode[j] = 0;
            continue;
        }
        const Oscillator& osc = synth.voices[laneVoice[j]].osc[slot];
        const int32_t mode = osc.mode & 7;
        batch.mode[j] = mode <= 5 ? mode : 0;
        batch.ring[j] = osc.ring & 1;
        batch.phase[j] = osc.phase;
        batch.increment[j] = osc.increment;
        batch.breakpoint[j] = osc.breakpoint;
        batch.gain[j] = osc.gain;
        batch.noiseFreq[j] = osc.noiseFreq;
        batch.noiseDamp[j] = osc.noiseDamp;
        batch.noiseSeed[j] = osc.noiseSeed;
        batch.noiseLow[j] = osc.noiseLow;
        batch.noiseBand[j] = osc.noiseBand;
        if (mode == 1) {
            const TriSawShape shape = triSawShape(osc);
            batch.breakpoint[j] = shape.breakpoint;
            batch.tinyStep[j] = shape.tinyStep;
            batch.f[j] = shape.f;
            batch.bp[j] = shape.bp;
            batch.slopeA[j] = shape.A;
            batch.slopeB[j] = shape.B;
            batch.invF[j] = shape.invF;
        } else if (mode == 2) {
            const PulseShape shape = pulseShape(osc);
            batch.tinyStep[j] = shape.tinyStep;
            batch.f[j] = shape.f;
            batch.bp[j] = shape.bp;
            batch.slopeA[j] = shape.gOverF;
            batch.slopeB[j] = shape.X0;
            batch.invF[j] = shape.X1;
        }
    }
}

void scatterOscillators(const OscLanes& batch, Synth& synth, const int32_t* laneVoice,
                        int32_t count, int32_t slot) {
    for (int32_t j = 0; j < count; ++j) {
        Oscillator& osc = synth.voices[laneVoice[j]].osc[slot];
        osc.phase = batch.phase[j];
        osc.noiseSeed = batch.noiseSeed[j];
        osc.noiseLow = batch.noiseLow[j];
        osc.noiseBand = batch.noiseBand[j];
    }
}

// voiceOscillators of every voice, in lanes grouped by mode signature.
void oscillatorStage(Synth& synth, VoiceLaneWork& work, LaneScratch& scratch,
                     const int32_t* voices, int32_t count, int32_t n) {
    int32_t laneVoice[laneVoiceCount];
    std::copy_n(voices, count, laneVoice);
    std::stable_sort(laneVoice, laneVoice + count, [&](int32_t x, int32_t y) {
        return modeSignature(synth.voices[x]) < modeSignature(synth.voices[y]);
    });
    OscLanes& batch = scratch.osc;
    const int32_t lanes = (count + filterLaneQuantum - 1) / filterLaneQuantum * filterLaneQuantum;
    batch.lanes = batch.rowStride = lanes;
    float* samples = scratch.samples;
    std::fill_n(samples, n * lanes, 0.0f);
    for (int32_t slot = 0; slot < 3; ++slot) {
        gatherOscillators(batch, synth, laneVoice, count, slot);
        oscLanesProcess(batch, samples, n);
        scatterOscillators(batch, synth, laneVoice, count, slot);
    }
    for (int32_t j = 0; j < count; ++j) {
        float* out = work.mono[laneVoice[j]];
        for (int32_t k = 0; k < n; ++k) out[k] = samples[k * lanes + j];
    }
}

}  // namespace

void voicesRenderLanes(Synth& synth, VoiceLaneWork& work, LaneScratch& scratch,
                       const int32_t* voices, int32_t count, int32_t n) {
    if (count == 0) return;
    oscillatorStage(synth, work, scratch, voices, count, n);
    firstFilterStage(synth, work, scratch, voices, count, n);
    secondFilterStage(synth, work, scratch, voices, count, n);
    distortionStage(synth, work, scratch, voices, count, n);
}

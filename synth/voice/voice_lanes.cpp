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

}  // namespace

void voicesRenderLanes(Synth& synth, VoiceLaneWork& work, LaneScratch& scratch,
                       const int32_t* voices, int32_t count, int32_t n) {
    for (int32_t a = 0; a < count; ++a)
        voiceOscillators(synth.voices[voices[a]], work.mono[voices[a]], n);
    firstFilterStage(synth, work, scratch, voices, count, n);
    secondFilterStage(synth, work, scratch, voices, count, n);
    distortionStage(synth, work, scratch, voices, count, n);
}

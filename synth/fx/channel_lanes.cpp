#include "synth/fx/channel_lanes.h"
#include "synth/fx/compressor_detect_lanes.h"
#include "synth/simd/bass_boost_lanes.h"
#include "synth/simd/compressor_lanes.h"
#include "synth/simd/dist_lanes.h"
#include "synth/simd/filter_lanes.h"
#include "synth/simd/mod_delay_lanes.h"
#include "synth/simd/pair_lanes.h"
#include "synth/synth.h"

namespace {

constexpr int32_t laneBlock = 64;  // samples per pass through the lane buffer

// The detectors together, the look-ahead lines channel by channel, then the
// gains together.
void compressorsTogether(Synth& synth, float* levelRows, const int32_t* channels, int32_t count, int32_t n) {
    Compressor* units[synthChannelCount];
    float* buffers[synthChannelCount];
    int32_t on = 0;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t c = channels[k];
        if (!compressorOn(synth.channels[c].compressor)) continue;
        units[on] = &synth.channels[c].compressor;
        buffers[on++] = synth.channelOut[c];
    }
    if (on == 0) return;
    compressorDetectLanes(units, buffers, levelRows, on, n);
    for (int32_t k = 0; k < on; ++k) compressorDelay(*units[k], buffers[k], n);
    compressorGainLanes(units, levelRows, buffers, on, n);
}

void boostsTogether(Synth& synth, const int32_t* channels, int32_t count, int32_t n) {
    BassBoost* units[synthChannelCount];
    float* buffers[synthChannelCount];
    int32_t on = 0;
    for (int32_t k = 0; k < count; ++k) {
        if (synth.channels[channels[k]].boost.on == 0) continue;
        units[on] = &synth.channels[channels[k]].boost;
        buffers[on++] = synth.channelOut[channels[k]];
    }
    // One unit alone gains nothing from lanes it would leave empty.
    if (on == 1) bassBoostProcess(*units[0], buffers[0], n);
    else if (on > 1) bassBoostLanes(units, buffers, on, n);
}

bool filterDistortion(const Distortion& d) {
    const int32_t mode = d.filterA.mode & 7;
    return distIsFilterMode(d.mode) && mode >= 1 && mode <= 5;
}

// The two filters of each distortion in lanes of one batch (left 2k, right
// 2k + 1), a block of samples gathered lane-major, filtered, put back.
void filtersTogether(Synth& synth, const int32_t* channels, int32_t count, int32_t n) {
    FilterLanes batch{};
    batch.lanes = (2 * count + filterLaneQuantum - 1) / filterLaneQuantum * filterLaneQuantum;
    batch.rowStride = batch.lanes;
    for (int32_t j = 0; j < batch.lanes; ++j) batch.mode[j] = 1;
    for (int32_t k = 0; k < count; ++k) {
        Distortion& d = synth.channels[channels[k]].distortion;
        const Filter* sides[2] = {&d.filterA, &d.filterB};
        for (int32_t side = 0; side < 2; ++side) {
            const int32_t j = 2 * k + side;
            batch.freq[j] = sides[side]->freq;
            batch.damp[j] = sides[side]->damp;
            batch.mode[j] = sides[side]->mode & 7;
            batch.low[j] = sides[side]->low;
            batch.band[j] = sides[side]->band;
        }
    }
    float* buffers[synthChannelCount];
    for (int32_t k = 0; k < count; ++k) buffers[k] = synth.channelOut[channels[k]];
    alignas(64) float rows[laneBlock * 2 * synthChannelCount] = {};  // lanes past the filters stay 0
    for (int32_t start = 0; start < n; start += laneBlock) {
        const int32_t m = n - start < laneBlock ? n - start : laneBlock;
        pairsToLanes(rows, batch.lanes, buffers, count, start, m);
        filterLanesProcess(batch, rows, m);
        lanesToPairs(rows, batch.lanes, buffers, count, start, m);
    }
    for (int32_t k = 0; k < count; ++k) {
        Distortion& d = synth.channels[channels[k]].distortion;
        Filter* sides[2] = {&d.filterA, &d.filterB};
        for (int32_t side = 0; side < 2; ++side) {
            sides[side]->low = batch.low[2 * k + side];
            sides[side]->band = batch.band[2 * k + side];
            sides[side]->stride = 2;  // as distProcessStereo leaves it
        }
    }
}

// Overdrive, clip and crusher treat every sample alike: the stereo buffer goes
// through the voices' shaping kernel as rows of 16 lanes of one setting; a
// tail shorter than a row the scalar way.
void shapeInLanes(Distortion& d, float* buffer, int32_t n) {
    constexpr int32_t width = 16;
    DistLanes batch{};
    batch.lanes = batch.rowStride = width;
    for (int32_t j = 0; j < width; ++j) distLanesSet(batch, j, d);
    const int32_t rows = 2 * n / width;
    distLanesProcess(batch, buffer, rows);
    const int32_t done = rows * width / 2;
    if (done < n) distProcessStereo(d, buffer + 2 * done, buffer + 2 * done, n - done);
}

void distortionsTogether(Synth& synth, const int32_t* channels, int32_t count, int32_t n) {
    int32_t filtered[synthChannelCount];
    int32_t together = 0;
    for (int32_t k = 0; k < count; ++k) {
        Distortion& d = synth.channels[channels[k]].distortion;
        if (filterDistortion(d)) filtered[together++] = channels[k];
        else if (distLanesTake(d.mode)) shapeInLanes(d, synth.channelOut[channels[k]], n);
        else distProcessStereo(d, synth.channelOut[channels[k]], synth.channelOut[channels[k]], n);
    }
    if (together == 1) {
        float* buffer = synth.channelOut[filtered[0]];
        distProcessStereo(synth.channels[filtered[0]].distortion, buffer, buffer, n);
    } else if (together > 1) {
        filtersTogether(synth, filtered, together, n);
    }
}

void choruses(Synth& synth, const int32_t* channels, int32_t count, bool first, int32_t n) {
    for (int32_t k = 0; k < count; ++k) {
        SynthChannel& ch = synth.channels[channels[k]];
        if ((ch.fxOrder != 0) == first) modDelayLanesStereo(ch.chorus, synth.channelOut[channels[k]], n);
    }
}

}  // namespace

void channelFxFinishPart(Synth& synth, FrameScratch& scratch, int32_t part, int32_t n) {
    int32_t channels[synthChannelCount];
    int32_t count = 0;
    for (int32_t c = 0; c < synthChannelCount; ++c)
        if (synth.channelPart[c] == part && synth.channelSounds[c]) channels[count++] = c;
    compressorsTogether(synth, scratch.levelRows, channels, count, n);
    boostsTogether(synth, channels, count, n);
    choruses(synth, channels, count, true, n);
    distortionsTogether(synth, channels, count, n);
    choruses(synth, channels, count, false, n);
}

// Compiled once per SIMD target; the best one the machine supports is
// chosen at run time.
#include "synth/simd/filter_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/filter_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Two vectors of filters per pass through the samples: their recursions are
// independent, so the second hides part of the first one's latency.
constexpr size_t vectorsPerPass = 2;

void FilterLanesKernel(FilterLanes& batch, float* samples, int32_t n) {
    const hn::ScalableTag<float> d;
    const hn::RebindToSigned<decltype(d)> di;
    using V = hn::Vec<decltype(d)>;
    using M = hn::Mask<decltype(d)>;
    const size_t lanes = static_cast<size_t>(batch.lanes);
    const size_t width = hn::Lanes(d);
    for (size_t first = 0; first < lanes; first += width * vectorsPerPass) {
        V f[vectorsPerPass], q[vectorsPerPass], low[vectorsPerPass], band[vectorsPerPass];
        M isLow[vectorsPerPass], isBand[vectorsPerPass], isHigh[vectorsPerPass],
            isNotch[vectorsPerPass];
        size_t count = 0;
        for (size_t g = 0; g < vectorsPerPass && first + g * width < lanes; ++g, ++count) {
            const size_t at = first + g * width;
            f[g] = hn::Load(d, batch.freq + at);
            q[g] = hn::Load(d, batch.damp + at);
            low[g] = hn::Load(d, batch.low + at);
            band[g] = hn::Load(d, batch.band + at);
            const auto mode = hn::Load(di, batch.mode + at);
            isLow[g] = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, 1)));
            isBand[g] = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, 2)));
            isHigh[g] = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, 3)));
            isNotch[g] = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, 4)));
        }
        for (int32_t k = 0; k < n; ++k) {
            float* row = samples + static_cast<size_t>(k) * lanes + first;
            for (size_t g = 0; g < count; ++g) {
                const V x = hn::LoadU(d, row + g * width);
                // filterProcess's two steps, operation for operation.
                low[g] = hn::Add(low[g], hn::Mul(f[g], band[g]));
                V high = hn::Sub(hn::Sub(x, hn::Mul(q[g], band[g])), low[g]);
                band[g] = hn::Add(band[g], hn::Mul(f[g], high));
                low[g] = hn::Add(low[g], hn::Mul(f[g], band[g]));
                high = hn::Sub(hn::Sub(x, hn::Mul(q[g], band[g])), low[g]);
                band[g] = hn::Add(band[g], hn::Mul(f[g], high));
                const V peak = hn::Add(hn::Add(high, band[g]), low[g]);
                const V notch = hn::Add(high, low[g]);
                const V y = hn::IfThenElse(isLow[g], low[g],
                            hn::IfThenElse(isBand[g], band[g],
                            hn::IfThenElse(isHigh[g], high,
                            hn::IfThenElse(isNotch[g], notch, peak))));
                hn::StoreU(y, d, row + g * width);
            }
        }
        for (size_t g = 0; g < count; ++g) {
            hn::Store(low[g], d, batch.low + first + g * width);
            hn::Store(band[g], d, batch.band + first + g * width);
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <atomic>
#include <iterator>
#include "synth/simd/lane_dispatch.h"
#if HWY_ARCH_X86
#include <cpuid.h>
#endif

// The dispatch is our own rather than Highway's run-time library, so the
// core needs only Highway's headers: each target compiled above is listed,
// best first, with the check that the processor runs it (the instruction
// sets Highway compiles that target for).
namespace {

using Kernel = void (*)(FilterLanes&, float*, int32_t);
struct LaneTarget {
    const char* name;
    int64_t target;  // Highway's bit for it
    bool (*runs)();
    Kernel kernel;
};

[[maybe_unused]] bool always() { return true; }
#if HWY_ARCH_X86
bool hasF16c() {
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_F16C);
}
bool runsSsse3() { return __builtin_cpu_supports("ssse3"); }
bool runsSse4() {
    return runsSsse3() && __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("sse4.2") &&
           __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("aes");
}
bool runsAvx2() {
    return runsSse4() && __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("fma") && hasF16c();
}
bool runsAvx3() {
    return runsAvx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
}
#endif

const LaneTarget compiledTargets[] = {
#if HWY_TARGETS & HWY_AVX3
    {"AVX3", HWY_AVX3, runsAvx3, &wembrastel::N_AVX3::FilterLanesKernel},
#endif
#if HWY_TARGETS & HWY_AVX2
    {"AVX2", HWY_AVX2, runsAvx2, &wembrastel::N_AVX2::FilterLanesKernel},
#endif
#if HWY_TARGETS & HWY_SSE4
    {"SSE4", HWY_SSE4, runsSse4, &wembrastel::N_SSE4::FilterLanesKernel},
#endif
#if HWY_TARGETS & HWY_SSSE3
    {"SSSE3", HWY_SSSE3, runsSsse3, &wembrastel::N_SSSE3::FilterLanesKernel},
#endif
#if HWY_TARGETS & HWY_WASM
    {"WASM", HWY_WASM, always, &wembrastel::N_WASM::FilterLanesKernel},
#endif
#if HWY_TARGETS & HWY_EMU128
    {"EMU128", HWY_EMU128, always, &wembrastel::N_EMU128::FilterLanesKernel},
#endif
#if HWY_TARGETS & HWY_SCALAR
    {"SCALAR", HWY_SCALAR, always, &wembrastel::N_SCALAR::FilterLanesKernel},
#endif
};

// The targets this machine runs, best first; read-only once made (before
// the first render: nothing is allocated).
struct UsableTargets {
    LaneTarget list[std::size(compiledTargets)] = {};
    int32_t count = 0;
};

const UsableTargets& usableTargets() {
    static const UsableTargets usable = [] {
        UsableTargets found;
        for (const LaneTarget& target : compiledTargets)
            if (target.runs()) found.list[found.count++] = target;
        return found;
    }();
    return usable;
}

std::atomic<int32_t> chosenTarget{0};

}  // namespace

int32_t filterLaneTargetCount() { return usableTargets().count; }

const char* filterLaneTargetName(int32_t index) { return usableTargets().list[index].name; }

void filterLanesUseTarget(int32_t index) { chosenTarget.store(index < 0 ? 0 : index); }

int64_t laneTargetChosen() {
    return usableTargets().list[chosenTarget.load(std::memory_order_relaxed)].target;
}

void filterLanesProcess(FilterLanes& batch, float* samples, int32_t n) {
    usableTargets().list[chosenTarget.load(std::memory_order_relaxed)].kernel(batch, samples, n);
}
#endif

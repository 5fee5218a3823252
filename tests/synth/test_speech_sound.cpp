// The speech voice's sound: formant peaks measured from the rendered signal.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>
#include "synth/fp_mode.h"
#include "synth/speech.h"

namespace {

constexpr double rate = 44100.0;
constexpr int32_t frame = 128;

// Magnitude of the discrete-time Fourier transform of y at one frequency
// (Goertzel recursion, in double).
double magnitudeAt(const std::vector<double>& y, double hz) {
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * hz / rate);
    double s1 = 0.0, s2 = 0.0;
    for (double x : y) {
        const double s = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - coeff * s1 * s2));
}

double levelDb(const std::vector<double>& y, double hz) { return 20.0 * std::log10(magnitudeAt(y, hz)); }

// The strongest frequency in [lo, hi] on a 1 Hz grid, refined by a parabola
// through the log magnitudes; NaN when the maximum sits on an edge (no peak
// inside the window).
double peakIn(const std::vector<double>& y, double lo, double hi) {
    double best = lo, bestDb = -1e300;
    for (double f = lo; f <= hi; f += 1.0) {
        const double db = levelDb(y, f);
        if (db > bestDb) {
            bestDb = db;
            best = f;
        }
    }
    if (best <= lo || best >= hi) return NAN;
    const double a = levelDb(y, best - 1.0), c = levelDb(y, best + 1.0);
    return best + 0.5 * (a - c) / (a - 2.0 * bestDb + c);
}

struct Speaker {
    SpeechVoice speech{};
    const char* texts[speechTextSlots] = {};
    float buffer[2 * frame] = {};

    explicit Speaker(const char* text) {
        texts[0] = text;
        speechInit(speech, 44100);
        speechSetTexts(speech, texts);
    }
    // One tick and one rendered frame; the left samples of the result.
    template <typename Excite>
    void frameOut(Excite excite, std::vector<double>& out) {
        speechTick(speech);
        for (int32_t i = 0; i < frame; ++i) excite(i, buffer[2 * i], buffer[2 * i + 1]);
        speechRender(speech, buffer, frame);
        for (int32_t i = 0; i < frame; ++i) out.push_back(buffer[2 * i]);
    }
};

// The response of a held text to one unit impulse: the render with the
// impulse minus the same render without it. The noise sources draw the same
// values in both, so only the impulse's path remains. Four frames first let
// the coefficients settle on the text's first target.
std::vector<double> impulseResponse(const char* text) {
    FpModeGuard mode;
    auto render = [&](bool impulse) {
        Speaker s(text);
        std::vector<double> out;
        for (int32_t k = 0; k < 68; ++k) {
            const bool pulseFrame = impulse && k == 4;
            s.frameOut([&](int32_t i, float& l, float& r) { l = r = pulseFrame && i == 0 ? 1.0f : 0.0f; }, out);
        }
        return std::vector<double>(out.begin() + 4 * frame, out.end());
    };
    const std::vector<double> with = render(true), without = render(false);
    std::vector<double> y(with.size());
    for (size_t i = 0; i < y.size(); ++i) y[i] = with[i] - without[i];
    return y;
}

// Tolerances: the other formants' skirts, the differencing of the upper
// formants' input and the two DC stages tilt the spectrum around each
// formant. A tilt moves a resonance's peak by a small fraction of its
// bandwidth; a peak more than half a bandwidth off means the formant sits
// elsewhere.
TEST(SpeechSound, HeldVowelsPeakAtTheirFormants) {
    const std::vector<double> iy = impulseResponse("iy");   // F1 250/60, F2 2320/90
    EXPECT_NEAR(peakIn(iy, 190.0, 310.0), 250.0, 30.0);
    EXPECT_NEAR(peakIn(iy, 2230.0, 2410.0), 2320.0, 45.0);

    const std::vector<double> aa = impulseResponse("aa");   // F1 790/60
    EXPECT_NEAR(peakIn(aa, 730.0, 850.0), 790.0, 30.0);
}

}  // namespace

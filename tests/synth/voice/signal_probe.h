#pragma once
// Measurements on rendered test signals: frequency from zero crossings,
// amplitude of one frequency by a windowed DFT, RMS.
#include <cmath>
#include <cstddef>
#include <vector>

namespace probe {

constexpr double sampleRate = 44100.0;
constexpr double pi = 3.14159265358979323846;

// Frequency from the upward zero crossings, interpolated between samples:
// (crossings - 1) cycles between the first and the last crossing.
inline double crossingFrequency(const std::vector<float>& x) {
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            const double t = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (count == 0) first = t;
            last = t;
            ++count;
        }
    }
    if (count < 2) return 0.0;
    return (count - 1) * sampleRate / (last - first);
}

// Amplitude of the component at freq Hz (Hann window, scaled so a unit sine gives 1).
inline double toneAmplitude(const std::vector<float>& x, double freq) {
    double re = 0, im = 0, wsum = 0;
    const double n = static_cast<double>(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * pi * i / n);
        const double a = 2 * pi * freq * i / sampleRate;
        re += w * x[i] * std::cos(a);
        im -= w * x[i] * std::sin(a);
        wsum += w;
    }
    return 2 * std::sqrt(re * re + im * im) / wsum;
}

inline double rms(const std::vector<float>& x, size_t from = 0) {
    double sum = 0;
    for (size_t i = from; i < x.size(); ++i) sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(x.size() - from));
}

inline std::vector<float> sine(double freq, size_t n, double amplitude = 1.0) {
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = static_cast<float>(amplitude * std::sin(2 * pi * freq * i / sampleRate));
    return x;
}

inline bool allFinite(const float* x, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (!std::isfinite(x[i])) return false;
    }
    return true;
}

}  // namespace probe

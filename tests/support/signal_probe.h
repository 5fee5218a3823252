#pragma once
// Measurements on rendered test signals.
#include <cmath>
#include <vector>

namespace probe {

constexpr double rate = 44100.0;
constexpr double pi = 3.14159265358979323846;

// Frequency from the upward zero crossings, interpolated between samples.
inline double crossingFrequency(const std::vector<float>& x) {
    double first = 0, last = 0;
    int count = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            last = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (count++ == 0) first = last;
        }
    }
    return count < 2 ? 0.0 : (count - 1) * rate / (last - first);
}

// Amplitude of the component at freq Hz by a Hann-windowed DFT.
inline double toneAmplitude(const std::vector<float>& x, double freq) {
    double re = 0, im = 0, wsum = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * pi * i / x.size());
        re += w * x[i] * std::cos(2 * pi * freq * i / rate);
        im += w * x[i] * std::sin(2 * pi * freq * i / rate);
        wsum += w;
    }
    return 2 * std::hypot(re, im) / wsum;
}

inline double rms(const std::vector<float>& x, size_t from = 0) {
    double sum = 0;
    for (size_t i = from; i < x.size(); ++i) sum += double(x[i]) * x[i];
    return std::sqrt(sum / (x.size() - from));
}

inline std::vector<float> sine(double freq, size_t n, double amplitude = 1.0) {
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = float(amplitude * std::sin(2 * pi * freq * i / rate));
    return x;
}

inline bool allFinite(const std::vector<float>& x) {
    for (float v : x) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

}  // namespace probe

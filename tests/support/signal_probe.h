#pragma once
// Test signals for the unit tests and a check on what comes out.
#include <cmath>
#include <vector>

namespace probe {

constexpr double rate = 44100.0;
constexpr double pi = 3.14159265358979323846;

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

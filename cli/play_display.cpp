#include "cli/play_display.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
constexpr int meterWidth = 20;
constexpr float meterFloorDb = -48.0f;
constexpr float meterFallDb = 1.5f;   // per update, about 30 dB a second at 20 updates a second
constexpr uint32_t clipLevel = 32600; // the output's clamp

// The terminal's width, or 0 when it is not known.
int terminalColumns() {
    struct winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

std::string meter(float db) {
    const float filled = (db - meterFloorDb) / -meterFloorDb * meterWidth;
    const int bars = std::clamp(static_cast<int>(std::lround(filled)), 0, meterWidth);
    return std::string(static_cast<size_t>(bars), '#') + std::string(static_cast<size_t>(meterWidth - bars), '-');
}

}  // namespace

float peakDb(uint32_t peak) {
    if (peak == 0) return -120.0f;
    return 20.0f * std::log10(static_cast<float>(peak) / 32768.0f);
}

std::string playClockText(int64_t ms) {
    if (ms < 0) ms = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms / 100 % 10));
    return text;
}

std::string playDisplayLine(const PlayStatus& status, float leftDb, float rightDb, int columns) {
    const int64_t songMs = static_cast<int64_t>(status.songMs);
    const bool tail = status.positionMs > songMs;
    std::string line = tail ? "  tail" : playClockText(status.positionMs);
    line += " / " + playClockText(songMs);
    if (status.underruns) line += "  underruns " + std::to_string(status.underruns);
    line += "  L " + meter(leftDb) + (status.peakLeft >= clipLevel ? "!" : " ");
    line += " R " + meter(rightDb) + (status.peakRight >= clipLevel ? "!" : " ");
    // The terminal's last column would wrap the cursor on some terminals.
    if (columns > 0 && line.size() >= static_cast<size_t>(columns)) line.resize(static_cast<size_t>(columns - 1));
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

void playDisplayStart(PlayDisplay& display, bool enabled) {
    display = PlayDisplay{};
    display.enabled = enabled;
}

void playDisplayUpdate(PlayDisplay& display, const PlayStatus& status) {
    if (!display.enabled) return;
    display.shownLeft = std::max(peakDb(status.peakLeft), display.shownLeft - meterFallDb);
    display.shownRight = std::max(peakDb(status.peakRight), display.shownRight - meterFallDb);
    const std::string line = playDisplayLine(status, display.shownLeft, display.shownRight, terminalColumns());
    // Carriage return, the line, then clear to the end of the line.
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    display.drawn = true;
}

void playDisplayFinish(PlayDisplay& display) {
    if (display.drawn) std::fputc('\n', stderr);
    display.drawn = false;
}

#include "cli/render_progress.h"
#include <cstdio>
#include <string>

using Clock = std::chrono::steady_clock;

constexpr int barWidth = 30;

static std::string clockText(uint64_t frames, uint32_t sampleRate) {
    const uint64_t seconds = frames / sampleRate;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
}

void progressStart(RenderProgress& progress, bool enabled, uint64_t songFrames) {
    progress.enabled = enabled;
    progress.songFrames = songFrames;
    progress.started = Clock::now();
    progress.lastDrawn = progress.started;
    progress.drawn = false;
}

static void drawLine(const RenderProgress& progress, uint64_t framesDone, double speed) {
    std::string bar(barWidth, '.');
    const uint64_t song = progress.songFrames;
    const uint64_t shown = framesDone < song ? framesDone : song;
    const int filled = song == 0 ? barWidth : static_cast<int>(shown * barWidth / song);
    bar.replace(0, static_cast<size_t>(filled), static_cast<size_t>(filled), '#');
    const uint32_t rate = progress.sampleRate;
    std::string where = clockText(shown, rate) + " / " + clockText(song, rate);
    if (framesDone > song) where += "  tail " + clockText(framesDone - song, rate);
    std::fprintf(stderr, "\r[%s] %s  %.1fx real time\033[K", bar.c_str(), where.c_str(), speed);
    std::fflush(stderr);
}

void progressUpdate(RenderProgress& progress, uint64_t framesDone) {
    if (!progress.enabled) return;
    const Clock::time_point now = Clock::now();
    if (progress.drawn && now - progress.lastDrawn < std::chrono::milliseconds(100)) return;
    const double elapsed = std::chrono::duration<double>(now - progress.started).count();
    const double speed = elapsed > 0 ? static_cast<double>(framesDone) / progress.sampleRate / elapsed : 0.0;
    drawLine(progress, framesDone, speed);
    progress.lastDrawn = now;
    progress.drawn = true;
}

void progressFinish(RenderProgress& progress) {
    if (!progress.enabled || !progress.drawn) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    progress.drawn = false;
}

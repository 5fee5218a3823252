#include "cli/play_screen.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>
#include "cli/play_display.h"

namespace {

constexpr int meterWidth = 30;
constexpr float meterFloorDb = -48.0f;
constexpr const char* channelKeys = "1234567890abcdef";
constexpr int fixedRows = 6;  // title, position, stereo meter, blank, keys, blank

std::string bar(float fraction) {
    const int filled = std::clamp(static_cast<int>(std::lround(fraction * meterWidth)), 0, meterWidth);
    return std::string(size_t(filled), '#') + std::string(size_t(meterWidth - filled), '-');
}

float dbFraction(float db) { return (db - meterFloorDb) / -meterFloorDb; }

}  // namespace

std::vector<std::string> playScreenLines(const ScreenStatus& status, int columns) {
    std::vector<std::string> lines;
    char text[256];
    std::snprintf(text, sizeof text, "[%d/%d] ", status.track, status.trackCount);
    lines.push_back(text + status.file);
    const bool tail = status.positionMs > status.songMs;
    std::snprintf(text, sizeof text, "%s / %s   volume %d%%%s", tail ? "  tail" : playClockText(status.positionMs).c_str(),
                  playClockText(status.songMs).c_str(), status.volumePercent, status.paused ? "   PAUSED" : "");
    lines.push_back(text);
    if (status.underruns) lines.back() += "   underruns " + std::to_string(status.underruns);
    lines.push_back("  L " + bar(dbFraction(status.leftDb)) + "  R " + bar(dbFraction(status.rightDb)));
    lines.push_back("");
    for (int c = 0; c < 16; ++c) {
        if (!status.hasNotes[c]) continue;
        std::snprintf(text, sizeof text, "  %c  channel %2d  %s  %s", channelKeys[c], c + 1,
                      bar(status.muted[c] ? 0.0f : status.levels[c]).c_str(), status.muted[c] ? "muted" : "");
        lines.push_back(text);
    }
    lines.push_back("");
    lines.push_back("space pause  n/p next/previous  left/right seek 5 s  +/- volume  "
                    "1-9 0 a-f mute  q quit");
    for (std::string& line : lines) {
        if (columns > 0 && line.size() >= size_t(columns)) line.resize(size_t(columns - 1));
        while (!line.empty() && line.back() == ' ') line.pop_back();
    }
    return lines;
}

int playScreenRows(const ScreenStatus& status) {
    return fixedRows + static_cast<int>(std::count(std::begin(status.hasNotes), std::end(status.hasNotes), true));
}

void terminalSize(int& columns, int& rows) {
    struct winsize size {};
    columns = rows = 0;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return;
    columns = size.ws_col;
    rows = size.ws_row;
}

bool playScreenBegin(PlayScreen& screen, int rows) {
    int columns = 0, height = 0;
    terminalSize(columns, height);
    screen.active = isatty(STDERR_FILENO) && height >= rows;
    if (screen.active) std::fputs("\x1b[?1049h\x1b[?25l", stderr);
    return screen.active;
}

void playScreenDraw(PlayScreen& screen, const ScreenStatus& status) {
    if (!screen.active) return;
    int columns = 0, rows = 0;
    terminalSize(columns, rows);
    std::string frame = "\x1b[H";
    for (const std::string& line : playScreenLines(status, columns)) frame += line + "\x1b[K\r\n";
    frame += "\x1b[J";
    std::fputs(frame.c_str(), stderr);
    std::fflush(stderr);
}

void playScreenEnd(PlayScreen& screen) {
    if (!screen.active) return;
    std::fputs("\x1b[?25h\x1b[?1049l", stderr);
    std::fflush(stderr);
    screen.active = false;
}

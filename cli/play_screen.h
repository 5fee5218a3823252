#pragma once
// q7m play's full-terminal view, drawn on the terminal's alternate screen
// when it is tall enough: the file, position and length, volume, a stereo
// meter, a meter and the mute state per channel with notes, and the keys.
#include <cstdint>
#include <string>
#include <vector>

struct ScreenStatus {
    std::string file;
    int track = 0;            // 1-based
    int trackCount = 0;
    int64_t positionMs = 0;
    int64_t songMs = 0;
    bool paused = false;
    int volumePercent = 100;
    uint32_t underruns = 0;
    float leftDb = -120.0f, rightDb = -120.0f;
    bool hasNotes[16] = {};
    bool muted[16] = {};
    float levels[16] = {};    // 0..1
};

// The view's lines, each cut to columns - 1 characters (0: no limit).
std::vector<std::string> playScreenLines(const ScreenStatus& status, int columns);

// Rows the view needs for channels with notes.
int playScreenRows(const ScreenStatus& status);

struct PlayScreen {
    bool active = false;
};

// Switches to the alternate screen (cursor hidden) when stderr is a
// terminal with at least rows rows; false otherwise.
bool playScreenBegin(PlayScreen& screen, int rows);
void playScreenDraw(PlayScreen& screen, const ScreenStatus& status);
// Back to the normal screen, as it was.
void playScreenEnd(PlayScreen& screen);

// The terminal's size on stderr (0 when unknown).
void terminalSize(int& columns, int& rows);

#pragma once
// The one-line display of q7m play on stderr: song position and length, a
// stereo peak meter in dB of full scale, and underruns when there were any.
#include <cstdint>
#include <string>

struct PlayDisplay {
    bool enabled = false;
    bool drawn = false;
    float shownLeft = -120.0f;   // dB shown on the meter, falling back slowly
    float shownRight = -120.0f;
};

struct PlayStatus {
    int32_t positionMs;    // may be negative before the song is heard
    uint64_t songMs;
    uint32_t peakLeft;     // 0..32768, since the previous update
    uint32_t peakRight;
    uint32_t underruns;
};

// A peak (0..32768) in dB of full scale; -120 for silence.
float peakDb(uint32_t peak);
// Milliseconds as M:SS.t (negative shows as 0).
std::string playClockText(int64_t ms);

// The line for a status and meter levels in dB (no terminal control codes),
// at most columns - 1 characters so it never wraps (columns 0: no limit).
// Past the song's length it says "tail" instead of counting on.
std::string playDisplayLine(const PlayStatus& status, float leftDb, float rightDb, int columns);

void playDisplayStart(PlayDisplay& display, bool enabled);
void playDisplayUpdate(PlayDisplay& display, const PlayStatus& status);
// Ends the line so the shell prompt starts on a fresh one.
void playDisplayFinish(PlayDisplay& display);

#pragma once
// Streaming sound output: a looping 65,536-byte buffer of 16-bit stereo at
// 44,100 Hz, refilled by a high-priority output thread from a render callback.
//
// Threading: soundOutputStart, soundOutputClose, soundOutputSetVolume,
// soundOutputPlayedBytes and soundOutputWake are called from the window
// thread; the render callback runs on the output thread inside outputLock.
#include <cstdint>
#include <string>
#include "player/module_player.h"

// The one output record (fields filled in by the implementation).
struct SoundOutput {
    int32_t placeholder;
};

// The output as the module player drives it.
OutputPort soundOutputPort(SoundOutput& output);

// driver: an SDL audio driver name or null for SDL's choice. On failure,
// reason (when not null) says why.
bool soundOutputStart(SoundOutput& output, RenderCallback callback, void* context,
                      const char* driver, std::string* reason);
void soundOutputClose(SoundOutput& output);
void soundOutputSetVolume(SoundOutput& output, float volume);
int32_t soundOutputPlayedBytes(SoundOutput& output);
void soundOutputWake(SoundOutput& output);

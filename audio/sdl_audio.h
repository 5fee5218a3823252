#pragma once
// The SDL functions of the sound devices, loaded when a device is first
// opened: a program that only renders to files (q7m render) then starts
// without SDL and the thirty-odd libraries it loads (about 5 ms of every
// start). Only SDL's headers are used at build time.
#include <SDL.h>
#include <string>

struct SdlAudio {
    decltype(&SDL_InitSubSystem) initSubSystem;
    decltype(&SDL_QuitSubSystem) quitSubSystem;
    decltype(&SDL_GetError) getError;
    decltype(&SDL_SetHintWithPriority) setHintWithPriority;
    decltype(&SDL_ResetHint) resetHint;
    decltype(&SDL_OpenAudioDevice) openAudioDevice;
    decltype(&SDL_PauseAudioDevice) pauseAudioDevice;
    decltype(&SDL_CloseAudioDevice) closeAudioDevice;
    decltype(&SDL_GetAudioDeviceStatus) getAudioDeviceStatus;
    decltype(&SDL_SetThreadPriority) setThreadPriority;
};

// Loads SDL on first use (any thread; later calls return the same table).
// Null with the reason when the library or one of its functions is missing.
const SdlAudio* sdlAudioLoad(std::string& reason);
// The table once sdlAudioLoad has succeeded: for code that runs only after
// a device opened (closing it, the output thread).
const SdlAudio& sdlAudio();

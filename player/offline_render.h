#pragma once
// Rendering a module without a sound card: exactly the frames the render
// entry hands the sound output, from the song's first frame.
#include <cstdint>

struct ModulePlayer;

// Renders frames interleaved stereo float frames of a playing module.
void offlineRender(ModulePlayer& player, float* dest, uint32_t frames);

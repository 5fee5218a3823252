#pragma once
// Walks a module's event streams in musical time; each step emits the
// commands due at one tick and hands them to the synthesizer.
struct ModulePlayer;

// Rewinds every stream to the song start and restores the default tempo
// (500,000 us per beat) and time signature (4/4, 8). Leaves playing alone.
void sequencerReset(ModulePlayer& player);

// While playing: jumps to nextTick, writes the commands due there into
// commandBuffer (ended by 0xFD), passes it to the synthesizer when one is
// attached, and leaves the tick of the following step in nextTick (equal to
// currentTick when more is due at this tick); clears playing after the last
// event. Sound output thread.
void sequencerStep(ModulePlayer& player);

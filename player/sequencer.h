#pragma once
// Walks a module's event streams in musical time; each step emits the
// commands due at one tick and hands them to the synthesizer.
struct ModulePlayer;

void sequencerReset(ModulePlayer& player);
void sequencerStep(ModulePlayer& player);

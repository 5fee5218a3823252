#pragma once
// The program's single synthesizer, module player and sound output, and the
// shell's view of the player bound to them.
#include "app/shell.h"

struct ModulePlayer;

// Binds the player to the synthesizer and the sound output on first use.
ShellPlayer applicationPlayer();
ModulePlayer& applicationModulePlayer();
// A fixed seed for the synthesizer's noise and random generators (before
// the first module plays).
void applicationSetSeed(uint32_t seed);

#include "player/sequencer.h"
#include "player/module_player.h"

void sequencerReset(ModulePlayer& player) { (void)player; }
void sequencerStep(ModulePlayer& player) { player.playing = 0; }

#include "player/module_player.h"
#include "player/sequencer.h"

void playerInit(ModulePlayer& player, Synth* synth, const OutputPort& output) { player.synth = synth; player.output = output; }
bool playerOpen(ModulePlayer& player, const uint8_t* image, uint32_t size, std::string& reason) { return parseModule(image, size, player.view, reason); }
void playerPlay(ModulePlayer& player) { (void)player; }
void playerStop(ModulePlayer& player) { player.playing = 0; player.muted = 1; }
void playerClose(ModulePlayer& player) { (void)player; }
int32_t playerPositionMs(ModulePlayer& player) { (void)player; return 0; }
int playerRender(void* context, float* dest, uint32_t frames) { (void)context; for (uint32_t i = 0; i < 2 * frames; ++i) dest[i] = 0; return 0; }

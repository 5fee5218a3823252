#include "player/offline_render.h"
#include "player/module_player.h"

void offlineRender(ModulePlayer& player, float* dest, uint32_t frames) { playerRender(&player, dest, frames); }

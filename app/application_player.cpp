#include "app/application_player.h"

#include <string>
#include "audio/sound_output.h"
#include "player/module_player.h"
#include "synth/synth.h"

namespace {

// Static: the synthesizer alone is a few megabytes and lives for the whole run.
Synth synth;
ModulePlayer player;
SoundOutput output;
bool bound = false;

ModulePlayer& boundPlayer() {
    if (!bound) {
        playerInit(player, &synth, soundOutputPort(output));
        bound = true;
    }
    return player;
}

bool openModule(void*, const uint8_t* image, uint32_t size) {
    std::string reason;  // the shell shows nothing for a refused module
    return playerOpen(boundPlayer(), image, size, reason);
}
void playModule(void*) { playerPlay(boundPlayer()); }
void stopModule(void*) { playerStop(boundPlayer()); }
void closeModule(void*) { playerClose(boundPlayer()); }
bool deviceLost(void*) {
    std::string reason;
    return soundOutputDeviceLost(output, reason);
}

}  // namespace

ShellPlayer applicationPlayer() {
    ShellPlayer ops;
    ops.open = openModule;
    ops.play = playModule;
    ops.stop = stopModule;
    ops.close = closeModule;
    ops.deviceLost = deviceLost;
    return ops;
}

ModulePlayer& applicationModulePlayer() { return boundPlayer(); }

void applicationSetSeed(uint32_t seed) { synthSetSeed(synth, seed); }

#include "player/song_length.h"

#include <memory>

#include "player/module_player.h"
#include "player/sequencer.h"
#include "player/timing.h"

SongLength measureSongLength(const ModuleView& view) {
    auto player = std::make_unique<ModulePlayer>();   // large: keep it off the stack
    player->view = view;
    player->synth = nullptr;
    sequencerReset(*player);
    SongLength length{0, 0, 0, 0};
    if (player->nextTick == noMoreEvents) return length;   // no events at all
    length.firstTick = player->nextTick;
    player->playing = 1;
    uint32_t remainderSum = 0;
    while (player->playing != 0) {
        sequencerStep(*player);
        ++length.steps;
        if (player->playing == 0) break;
        length.frames += ticksToFrames(player->nextTick - player->currentTick, player->tempoScaled,
                                       view.tickScale, remainderSum);
    }
    length.lastTick = player->currentTick;
    return length;
}

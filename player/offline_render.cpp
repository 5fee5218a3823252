#include "player/offline_render.h"
#include "player/module_player.h"
#include "player/sequencer.h"
#include "synth/synth.h"

bool offlineOpen(ModulePlayer& player, Synth& synth, const uint8_t* image, uint32_t size,
                 const uint32_t* seed, std::string& reason, int32_t sampleRate) {
    playerInit(player, &synth, OutputPort{});
    playerSetSampleRate(player, sampleRate);
    // synthInit restarts the seed source, so a fixed seed set here holds for
    // every reset that open and play perform.
    if (seed) synthSetSeed(synth, *seed);
    if (!playerOpen(player, image, size, reason)) return false;
    playerPlayJustOpened(player);
    return true;
}

uint32_t offlineRender(ModulePlayer& player, float* dest, uint32_t frames) {
    const uint32_t before = player.framesRendered;
    const bool wasPlaying = player.playing.load() != 0 && player.muted.load() == 0;
    playerRender(&player, dest, frames);
    if (!wasPlaying || player.playing.load() != 0) return songNotEnded;
    return player.songEndFrame - before;
}

bool offlineSongFrames(ModulePlayer& scratch, const uint8_t* image, uint32_t size,
                       uint64_t& frames, std::string& reason, int32_t sampleRate) {
    playerInit(scratch, nullptr, OutputPort{});
    playerSetSampleRate(scratch, sampleRate);
    if (!playerOpen(scratch, image, size, reason)) return false;
    playerPlay(scratch);
    // The same arithmetic as the render entry: a step, then the frames to
    // the next one, until a step finds nothing left.
    frames = 0;
    for (;;) {
        sequencerStep(scratch);
        if (scratch.playing.load() == 0) break;
        frames += playerStepFrames(scratch);
    }
    playerClose(scratch);
    return true;
}

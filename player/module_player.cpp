#include "player/module_player.h"
#include "player/sequencer.h"
#include "player/timing.h"
#include "synth/synth.h"

void playerInit(ModulePlayer& player, Synth* synth, const OutputPort& output) {
    player.synth = synth;
    player.output = output;
    player.open = 0;
    player.playing.store(0);
    player.muted.store(1);
    playerSetSampleRate(player, playerSampleRate);
    for (const char*& text : player.view.speechTexts) text = defaultSpeechText;
}

void playerSetSampleRate(ModulePlayer& player, int32_t sampleRate) {
    player.sampleRate = sampleRate;
    player.rate = rateRatioFor(static_cast<uint32_t>(sampleRate));
}

uint32_t playerStepFrames(ModulePlayer& player) {
    return ticksToFramesAtRate(player.nextTick - player.currentTick, player.tempoScaled,
                               player.view.tickScale, player.rate, player.stepRemainder);
}

// Rewinds the sequencer and re-initialises the synthesizer with the module's
// patch bank, global settings and speech texts.
static void playerReset(ModulePlayer& player) {
    sequencerReset(player);
    player.stepRemainder = 0;
    if (!player.synth) return;
    const ModuleView& view = player.view;
    synthInit(*player.synth, view.patchBlock, view.patchBlockSize, player.sampleRate);
    synthSetGlobals(*player.synth, view.globalParams);
    synthSetSpeechTexts(*player.synth, view.speechTexts);
}

bool playerOpen(ModulePlayer& player, const uint8_t* image, uint32_t size, std::string& reason) {
    if (player.open) playerClose(player);
    player.playing.store(0);
    player.muted.store(1);
    if (!parseModule(image, size, player.view, reason)) return false;
    playerReset(player);
    player.samplesToNextStep = 0;
    player.framesRendered = 0;
    player.songEndFrame = 0;
    player.playStartBytes = 0;
    const OutputPort& out = player.output;
    // As on a machine without a sound device, a failed start still leaves
    // the module open; it then plays unheard.
    if (out.start) out.start(out.context, playerRender, &player);
    if (out.setVolume) out.setVolume(out.context, 1.0f);
    player.open = 1;
    return true;
}

void playerPlay(ModulePlayer& player) {
    if (!player.open) return;
    player.playing.store(0);
    player.muted.store(1);
    // After an earlier play a render call may still be inside the
    // synthesizer; and even right after open, when the flag order alone keeps
    // the render entry out of the synthesizer, it still counts the silent
    // frames it writes, which the play start is taken from. So the reset
    // runs under the output's lock whenever the output has one.
    const OutputPort& out = player.output;
    const bool locked = out.lock && out.unlock;
    if (locked) out.lock(out.context);
    playerReset(player);
    player.samplesToNextStep = 0;
    const uint32_t startFrame = player.framesRendered;
    if (locked) out.unlock(out.context);
    player.muted.store(0);
    player.playing.store(1);
    player.playStartBytes = static_cast<int32_t>(startFrame * 4u);
}

void playerPlayJustOpened(ModulePlayer& player) {
    if (!player.open) return;
    player.muted.store(0);
    player.playing.store(1);
    player.playStartBytes = 0;
}

void playerStop(ModulePlayer& player) {
    player.playing.store(0);
    player.muted.store(1);
}

void playerClose(ModulePlayer& player) {
    const OutputPort& out = player.output;
    if (player.open && out.close) out.close(out.context);
    player.open = 0;
}

int32_t playerPositionMs(ModulePlayer& player) {
    const OutputPort& out = player.output;
    const uint32_t played = out.playedBytes ? static_cast<uint32_t>(out.playedBytes(out.context))
                                            : player.framesRendered * 4u;
    const int32_t heard = static_cast<int32_t>(played - static_cast<uint32_t>(player.playStartBytes));
    return static_cast<int32_t>(static_cast<int64_t>(heard) * 1000 / 176400);
}

static void writeSilence(float* dest, uint32_t frames) {
    for (size_t i = 0; i < 2 * static_cast<size_t>(frames); ++i) dest[i] = 0.0f;
}

static void renderSynth(ModulePlayer& player, float* dest, uint32_t frames) {
    if (player.synth) synthRender(*player.synth, dest, frames, nullptr, 0);
    else writeSilence(dest, frames);
}

// After a step: the frames until the next one, or the end-of-song countdown.
static void scheduleNextStep(ModulePlayer& player) {
    if (player.playing.load()) {
        player.samplesToNextStep = playerStepFrames(player);
        return;
    }
    player.samplesToNextStep = songEndedCountdown;
    // playing also drops when stop races with this call; only an exhausted
    // sequencer marks the song's end.
    if (player.nextTick == noMoreEvents) player.songEndFrame = player.framesRendered;
}

int playerRender(void* context, float* dest, uint32_t frames) {
    ModulePlayer& player = *static_cast<ModulePlayer*>(context);
    // The flags are read once each, playing first: play writes muted before
    // playing, stop the other way round.
    const uint32_t playing = player.playing.load();
    const uint32_t muted = player.muted.load();
    if (playing == 0 || muted != 0) {
        // Not playing and not muted is the ended state: the synthesizer runs
        // on without a sequencer and renders the tails.
        if (playing == 0 && muted == 0) renderSynth(player, dest, frames);
        else writeSilence(dest, frames);
        player.framesRendered += frames;
        return 0;
    }
    uint32_t left = frames;
    while (left != 0) {
        const uint32_t n = left < player.samplesToNextStep ? left : player.samplesToNextStep;
        if (n != 0) renderSynth(player, dest, n);
        left -= n;
        player.samplesToNextStep -= n;
        player.framesRendered += n;
        dest += 2 * static_cast<size_t>(n);
        if (player.samplesToNextStep == 0) {
            sequencerStep(player);
            scheduleNextStep(player);
        }
    }
    return 0;
}

#include "cli/play_watch.h"
#include "audio/sound_output.h"
#include "player/pcm.h"

static_assert(watchBlockFrames >= outputFloatFrames, "a block of the sound output fits the watch");

namespace {
constexpr float outputScale = 32768.0f;  // the sound output at volume 1.0

// The frame of this block at which the song ended, or songNotEnded. The end
// may have come in a block rendered before the song was marked started; it
// then counts as the first frame of this one.
uint32_t songEndInBlock(const ModulePlayer& player, uint32_t blockStart, uint32_t frames) {
    const bool endedState = player.playing.load() == 0 && player.muted.load() == 0;
    if (!endedState) return songNotEnded;
    const int32_t offset = static_cast<int32_t>(player.songEndFrame - blockStart);
    if (offset < 0) return 0;
    return static_cast<uint32_t>(offset) < frames ? static_cast<uint32_t>(offset) : frames;
}
}  // namespace

void playWatchInit(PlayWatch& watch, ModulePlayer& player, uint64_t tailLimitFrames) {
    watch.player = &player;
    renderLengthInit(watch.length, tailLimitFrames);
    watch.songStarted.store(0);
    watch.ended.store(0);
    watch.endBytes.store(0);
}

int watchedRender(void* context, float* dest, uint32_t frames) {
    PlayWatch& watch = *static_cast<PlayWatch*>(context);
    ModulePlayer& player = *watch.player;
    const uint32_t blockStart = player.framesRendered;
    playerRender(&player, dest, frames);
    if (watch.songStarted.load() == 0 || watch.ended.load() != 0) return 0;
    const uint32_t endOffset = songEndInBlock(player, blockStart, frames);
    convertToPcm16(dest, watch.pcm, 2 * frames, outputScale);
    const uint32_t kept = renderLengthFeed(watch.length, watch.pcm, frames, endOffset);
    if (renderLengthDone(watch.length)) {
        watch.endBytes.store((blockStart + kept) * 4u);
        watch.ended.store(1);
    }
    return 0;
}

bool playWatchFinished(const PlayWatch& watch, int32_t playedBytes) {
    if (watch.ended.load() == 0) return false;
    // Both count bytes since the output started, in 32-bit wrapping arithmetic.
    return static_cast<int32_t>(static_cast<uint32_t>(playedBytes) - watch.endBytes.load()) >= 0;
}

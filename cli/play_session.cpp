#include "cli/play_session.h"
#include <algorithm>
#include "audio/sound_output.h"
#include "player/pcm.h"

static_assert(sessionBlockFrames >= outputFloatFrames, "a block of the sound output fits");

namespace {

constexpr float outputScale = 32768.0f;  // the length rule reads the output at volume 1.0

void addAnchor(PlaySession& session, uint64_t frame, bool advancing) {
    session.anchors[session.anchorNext] =
        StreamAnchor{session.streamBytes, frame, session.track, advancing ? 1 : 0};
    session.anchorNext = (session.anchorNext + 1) % sessionAnchorCount;
}

void silence(float* dest, uint32_t frames) { std::fill_n(dest, 2 * size_t(frames), 0.0f); }

// Renders the installed track and feeds the length rule; marks the end.
void renderTrack(PlaySession& session, float* dest, uint32_t frames) {
    const uint64_t at = wb_position(session.player);
    addAnchor(session, at, true);
    wb_render_f32(session.player, dest, frames);
    convertToPcm16(dest, session.pcm, 2 * frames, outputScale);
    const uint32_t kept = renderLengthFeed(session.length, session.pcm, frames,
                                           songEndInBlock(session.songEnd, at, frames));
    if (renderLengthDone(session.length)) {
        session.endBytes.store(session.streamBytes + kept * 4u);
        session.ended.store(1);
    }
}

}  // namespace

void sessionInit(PlaySession& session, SoundOutput& output) {
    session.output = &output;
    for (StreamAnchor& anchor : session.anchors) anchor = StreamAnchor{0, 0, -1, 0};
}

int sessionRender(void* context, float* dest, uint32_t frames) {
    PlaySession& session = *static_cast<PlaySession*>(context);
    const bool playing = session.player && !session.paused && session.ended.load() == 0;
    if (playing) {
        renderTrack(session, dest, frames);
    } else {
        addAnchor(session, session.player ? wb_position(session.player) : 0, false);
        silence(dest, frames);
    }
    session.streamBytes += frames * 4u;
    return 0;
}

void sessionLock(PlaySession& session) { session.output->outputLock.lock(); }
void sessionUnlock(PlaySession& session) { session.output->outputLock.unlock(); }

wb_player* sessionInstall(PlaySession& session, wb_player* player, int32_t track) {
    sessionLock(session);
    wb_player* previous = session.player;
    session.player = player;
    session.track = track;
    session.songEnd = player ? songEndFrame(player) : 0;
    renderLengthInit(session.length, tailSecondsToFrames(defaultTailSeconds));
    session.ended.store(0);
    sessionUnlock(session);
    return previous;
}

void sessionSeek(PlaySession& session, uint64_t frame) {
    sessionLock(session);
    wb_player* player = session.player;
    session.player = nullptr;
    sessionUnlock(session);
    if (!player) return;
    wb_seek(player, frame);
    sessionLock(session);
    session.player = player;
    renderLengthInit(session.length, tailSecondsToFrames(defaultTailSeconds));
    session.ended.store(0);
    sessionUnlock(session);
}

void sessionSetPaused(PlaySession& session, bool paused) {
    sessionLock(session);
    session.paused = paused ? 1 : 0;
    sessionUnlock(session);
}

bool sessionHeard(PlaySession& session, int32_t heardBytes, int32_t& track, uint64_t& frame) {
    sessionLock(session);
    // The latest anchor at or before the byte heard (wrapping byte counts).
    const StreamAnchor* best = nullptr;
    int32_t bestDistance = 0;
    for (const StreamAnchor& anchor : session.anchors) {
        const int32_t distance = int32_t(uint32_t(heardBytes) - anchor.streamBytes);
        if (distance < 0 || (best && distance >= bestDistance)) continue;
        best = &anchor;
        bestDistance = distance;
    }
    const bool found = best && best->track >= 0;
    if (found) {
        track = best->track;
        frame = best->frame + (best->advancing ? uint64_t(bestDistance) / 4 : 0);
    }
    sessionUnlock(session);
    return found;
}

bool sessionTrackFinished(const PlaySession& session, int32_t heardBytes) {
    if (session.ended.load() == 0) return false;
    return int32_t(uint32_t(heardBytes) - session.endBytes.load()) >= 0;
}

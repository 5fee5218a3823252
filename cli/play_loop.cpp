#include "cli/play_loop.h"
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include "audio/sound_output.h"
#include "cli/module_open.h"
#include "cli/play_display.h"
#include "cli/play_screen.h"
#include "cli/play_session.h"
#include "cli/terminal_keys.h"

namespace {

constexpr int refreshMs = 50;
constexpr uint32_t outputRate = 44100;
constexpr uint64_t seekFrames = 5 * outputRate;
constexpr int volumeStep = 10;  // percent

// Where the loop goes after a track: on, back, or nowhere.
enum class Next { forward, backward, quit };

struct LoopState {
    const std::vector<std::string>* files = nullptr;
    PlayLoopOptions options;
    int volumePercent = 100;
    uint32_t muteMask = 0;   // channels muted by key, kept from track to track
    bool paused = false;
    PlayDisplay line;
    PlayScreen screen;
    int worstStatus = 0;
};

int channelOfKey(int key) {
    if (key >= '1' && key <= '9') return key - '1';
    if (key == '0') return 9;
    if (key >= 'a' && key <= 'f') return 10 + key - 'a';
    return -1;
}

void report(LoopState& state, int status, const std::string& file, const std::string& reason) {
    playScreenEnd(state.screen);
    playDisplayFinish(state.line);
    std::fprintf(stderr, "q7m: %s: %s\n", file.c_str(), reason.c_str());
    state.worstStatus = std::max(state.worstStatus, status);
}

PlayerHandle openTrack(LoopState& state, const std::string& file) {
    std::vector<uint8_t> image;
    std::string reason;
    if (!readModule(file, image, reason)) {
        report(state, 1, file, reason);
        return nullptr;
    }
    const uint32_t* seed = state.options.seeded ? &state.options.seed : nullptr;
    PlayerHandle player = openPlayer(image, playerConfig(outputRate, seed), reason);
    if (!player) report(state, 2, file, reason);
    for (int c = 0; player && c < WB_CHANNELS; ++c)
        wb_set_channel_mute(player.get(), c, (state.muteMask >> c) & 1u);
    return player;
}

// Acts on one key; true, with next set, when the key ends the track.
bool handleKey(LoopState& state, SoundOutput& output, PlaySession& session, int key,
               uint64_t heardFrame, Next& next) {
    const int channel = channelOfKey(key);
    if (channel >= 0) {
        state.muteMask ^= 1u << channel;
        const int muted = (state.muteMask >> channel) & 1;
        sessionWithPlayer(session, [&](wb_player* p) { wb_set_channel_mute(p, channel, muted); });
        return false;
    }
    switch (key) {
        case 'q': case 'Q': next = Next::quit; return true;
        case 'n': next = Next::forward; return true;
        case 'p': next = Next::backward; return true;
        case ' ':
            state.paused = !state.paused;
            sessionSetPaused(session, state.paused);
            return false;
        case '+': case '=':
        case '-':
            state.volumePercent = std::clamp(state.volumePercent + (key == '-' ? -volumeStep : volumeStep), 0, 100);
            soundOutputSetVolume(output, float(state.volumePercent) / 100.0f);
            return false;
        case keyLeft:
            sessionSeek(session, heardFrame > seekFrames ? heardFrame - seekFrames : 0);
            return false;
        case keyRight:
            sessionSeek(session, heardFrame + seekFrames);
            return false;
        default: return false;
    }
}

void draw(LoopState& state, SoundOutput& output, PlaySession& session, const wb_info& info,
          int track, uint64_t heardFrame) {
    uint32_t peakLeft = 0, peakRight = 0;
    soundOutputTakePeaks(output, peakLeft, peakRight);
    const int64_t positionMs = int64_t(heardFrame * 1000 / outputRate);
    const int64_t songMs = int64_t(info.length_frames * 1000 / outputRate);
    if (!state.screen.active) {
        PlayStatus status{int32_t(positionMs), uint64_t(songMs), peakLeft, peakRight,
                          soundOutputUnderruns(output)};
        playDisplayUpdate(state.line, status);
        return;
    }
    ScreenStatus status;
    status.file = (*state.files)[size_t(track)];
    status.track = track + 1;
    status.trackCount = int(state.files->size());
    status.positionMs = positionMs;
    status.songMs = songMs;
    status.paused = state.paused;
    status.volumePercent = state.volumePercent;
    status.underruns = soundOutputUnderruns(output);
    status.leftDb = peakDb(peakLeft);
    status.rightDb = peakDb(peakRight);
    for (int c = 0; c < 16; ++c) {
        status.hasNotes[c] = info.channels[c].note_count != 0;
        status.muted[c] = (state.muteMask >> c) & 1u;
    }
    sessionWithPlayer(session, [&](wb_player* p) { wb_get_channel_levels(p, status.levels); });
    playScreenDraw(state.screen, status);
}

// Plays one opened track until it ends, a key moves on, a signal or the
// device's loss.
Next playTrack(LoopState& state, SoundOutput& output, PlaySession& session, TerminalKeys& keys,
               int track, const volatile std::sig_atomic_t& interrupt, PlayLoopResult& result) {
    wb_info info;
    sessionWithPlayer(session, [&](wb_player* p) { wb_get_info(p, &info); });
    ScreenStatus shape;
    for (int c = 0; c < 16; ++c) shape.hasNotes[c] = info.channels[c].note_count != 0;
    const bool fullView = state.screen.active || (isatty(STDERR_FILENO) &&
                                                  playScreenBegin(state.screen, playScreenRows(shape)));
    if (!fullView && state.files->size() > 1) {
        playDisplayFinish(state.line);
        std::fprintf(stderr, "[%d/%zu] %s\n", track + 1, state.files->size(),
                     (*state.files)[size_t(track)].c_str());
    }
    uint64_t heardFrame = 0;
    while (!interrupt) {
        const int key = terminalKeysRead(keys, refreshMs);
        if (soundOutputDeviceLost(output, result.lostReason)) {
            result.deviceLost = true;
            return Next::quit;
        }
        const int32_t heard = soundOutputPlayedBytes(output) - soundOutputDeviceBytes(output);
        int32_t heardTrack = -1;
        if (!sessionHeard(session, heard, heardTrack, heardFrame) || heardTrack != track) heardFrame = 0;
        Next next = Next::forward;
        if (key && handleKey(state, output, session, key, heardFrame, next)) return next;
        if (sessionTrackFinished(session, heard)) return Next::forward;
        draw(state, output, session, info, track, heardFrame);
    }
    return Next::quit;
}

}  // namespace

PlayLoopResult playLoop(SoundOutput& output, PlaySession& session, const std::vector<std::string>& files,
                        const PlayLoopOptions& options, const volatile std::sig_atomic_t& interrupt) {
    LoopState state;
    state.files = &files;
    state.options = options;
    playDisplayStart(state.line, isatty(STDERR_FILENO));
    TerminalKeys keys;
    terminalKeysBegin(keys);
    PlayLoopResult result;
    const int count = int(files.size());
    int track = 0;
    int failuresInARow = 0;  // every module refused: stop rather than spin
    while (!interrupt && track >= 0 && track < count && failuresInARow < count) {
        PlayerHandle player = openTrack(state, files[size_t(track)]);
        Next next = Next::forward;
        if (player) {
            failuresInARow = 0;
            sessionInstall(session, player.get(), track);
            next = playTrack(state, output, session, keys, track, interrupt, result);
            sessionInstall(session, nullptr, -1);
        } else {
            ++failuresInARow;
        }
        if (next == Next::quit) break;
        track += next == Next::forward ? 1 : (track > 0 ? -1 : 0);
        if (track == count && options.loop) track = 0;
    }
    playScreenEnd(state.screen);
    playDisplayFinish(state.line);
    terminalKeysRestore(keys);
    result.status = state.worstStatus;
    return result;
}

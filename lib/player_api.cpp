// Opening, rendering and seeking: the C API over the module player.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include "lib/library_player.h"
#include "player/offline_render.h"
#include "player/pcm.h"

namespace {

constexpr float pcmScale = 32768.0f;  // the sound output's scale at volume 1.0

// Fields are added in the reserved room, so code built against an older
// header passes a struct of the same size with the same layout.
static_assert(sizeof(wb_config) == 44 && offsetof(wb_config, reserved) == 20);

// A seed that differs from one open to the next: the clock's finest count,
// folded to 32 bits.
uint32_t clockSeed() {
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    const uint64_t wide = static_cast<uint64_t>(ticks);
    return static_cast<uint32_t>(wide ^ (wide >> 32));
}

bool configIsValid(const wb_config& config, std::string& reason) {
    if (config.sample_rate < WB_MIN_SAMPLE_RATE || config.sample_rate > WB_MAX_SAMPLE_RATE) {
        reason = "sample rate " + std::to_string(config.sample_rate) + " is outside 8000..96000";
        return false;
    }
    if (config.engine != WB_ENGINE_AUTO && config.engine != WB_ENGINE_SCALAR) {
        reason = "engine " + std::to_string(config.engine) +
                 " is neither WB_ENGINE_AUTO nor WB_ENGINE_SCALAR";
        return false;
    }
    if (config.threads < 0 || config.threads > WB_MAX_THREADS) {
        reason = "threads " + std::to_string(config.threads) + " is outside 0.." +
                 std::to_string(WB_MAX_THREADS);
        return false;
    }
    for (uint32_t field : config.reserved) {
        if (field != 0) {
            reason = "reserved configuration fields must be 0 (use wb_config_init)";
            return false;
        }
    }
    return true;
}

// The WebAssembly build without threads would abort on starting one.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
constexpr bool threadsAvailable = false;
#else
constexpr bool threadsAvailable = true;
#endif

// Hands the synthesizer the player's engine and starts the workers; a
// synthesizer reset (open, and playing from the start) clears both, so the
// workers are stopped before one and this runs after it.
void startEngine(wb_player& p) {
    synthSetEngine(p.synth, p.engine);
    if (!threadsAvailable || p.threads < 2) return;
    try {
        frameCrewStart(p.crew, p.synth, p.threads);
    } catch (const std::exception&) {
        // No threads to be had: the calling thread renders the same samples alone.
        frameCrewStop(p.crew);
        p.synth.crew = nullptr;
    }
}

// Opens image (already copied into the player) with config; false with the reason.
bool openImage(wb_player& p, const wb_config& config, std::string& reason) {
    const uint32_t size = static_cast<uint32_t>(p.image.size());
    p.sampleRate = static_cast<int32_t>(config.sample_rate);
    p.engine = config.engine == WB_ENGINE_SCALAR ? SynthEngine::scalar : SynthEngine::lanes;
    p.threads = config.threads;
    if (!offlineSongFrames(p.player, p.image.data(), size, p.lengthFrames, reason, p.sampleRate))
        return false;
    // Even a clock seed is fixed for the player's life, so that a seek
    // replays exactly what a straight render gave.
    const uint32_t seed = config.use_seed ? config.seed : clockSeed();
    if (!offlineOpen(p.player, p.synth, p.image.data(), size, &seed, reason, p.sampleRate))
        return false;
    startEngine(p);
    return true;
}

// Renders frames into dest (or into scratch, discarded, when dest is null).
void renderFloats(wb_player& p, float* dest, uint64_t frames) {
    while (frames != 0) {
        const uint32_t n = frames < libraryChunkFrames ? uint32_t(frames) : libraryChunkFrames;
        float* out = dest ? dest : p.scratch;
        offlineRender(p.player, out, n);
        if (dest) dest += 2 * size_t(n);
        frames -= n;
        p.position += n;
    }
}

}  // namespace

void libraryWriteError(char* error, size_t size, const char* message) {
    if (!error || size == 0) return;
    const size_t length = std::min(std::strlen(message), size - 1);
    std::memcpy(error, message, length);
    error[length] = '\0';
}

extern "C" {

const char* wb_version(void) { return WEMBRASTEL_VERSION; }

void wb_config_init(wb_config* config) {
    if (!config) return;
    std::memset(config, 0, sizeof *config);
    config->sample_rate = WB_DEFAULT_SAMPLE_RATE;
}

wb_player* wb_open(const void* data, size_t size, const wb_config* config, char* error,
                   size_t error_size) {
    wb_config defaults;
    wb_config_init(&defaults);
    const wb_config& chosen = config ? *config : defaults;
    std::string reason;
    // Zero bytes are a module too short to parse; the parse says so.
    if (!data && size != 0) reason = "no module data (null pointer)";
    else if (size > UINT32_MAX) reason = "not a valid module: larger than 4 GiB";
    if (!reason.empty() || !configIsValid(chosen, reason)) {
        libraryWriteError(error, error_size, reason.c_str());
        return nullptr;
    }
    wb_player* p = new (std::nothrow) wb_player;
    if (!p) {
        libraryWriteError(error, error_size, "out of memory");
        return nullptr;
    }
    try {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        if (size != 0) p->image.assign(bytes, bytes + size);
        if (openImage(*p, chosen, reason)) return p;
        reason = "not a valid module: " + reason;
        libraryWriteError(error, error_size, reason.c_str());
    } catch (const std::bad_alloc&) {
        libraryWriteError(error, error_size, "out of memory");
    }
    delete p;
    return nullptr;
}

void wb_close(wb_player* player) {
    if (!player) return;
    frameCrewStop(player->crew);
    playerClose(player->player);
    delete player;
}

size_t wb_render_f32(wb_player* player, float* interleaved, size_t frames) {
    if (!player || !interleaved) return 0;
    renderFloats(*player, interleaved, frames);
    return frames;
}

size_t wb_render_s16(wb_player* player, int16_t* interleaved, size_t frames) {
    if (!player || !interleaved) return 0;
    for (size_t done = 0; done < frames;) {
        const size_t left = frames - done;
        const uint32_t n = left < libraryChunkFrames ? uint32_t(left) : libraryChunkFrames;
        renderFloats(*player, player->scratch, n);
        convertToPcm16(player->scratch, interleaved + 2 * done, 2 * n, pcmScale);
        done += n;
    }
    return frames;
}

uint64_t wb_position(const wb_player* player) { return player ? player->position : 0; }

int wb_seek(wb_player* player, uint64_t frame) {
    if (!player) return WB_ERROR_ARGUMENT;
    if (frame < player->position) {
        // Play resets the sequencer and the synthesizer, restarting the seed.
        frameCrewStop(player->crew);
        playerPlay(player->player);
        startEngine(*player);
        player->position = 0;
    }
    renderFloats(*player, nullptr, frame - player->position);
    return WB_OK;
}

int wb_song_ended(const wb_player* player) {
    return player && player->player.playing.load() == 0 ? 1 : 0;
}

int wb_set_channel_mute(wb_player* player, int channel, int muted) {
    if (!player || channel < 0 || channel >= WB_CHANNELS) return WB_ERROR_ARGUMENT;
    const uint32_t bit = 1u << channel;
    const uint32_t mask = player->synth.muteMask;
    synthSetMuteMask(player->synth, muted ? mask | bit : mask & ~bit);
    return WB_OK;
}

int wb_get_channel_mute(const wb_player* player, int channel) {
    if (!player || channel < 0 || channel >= WB_CHANNELS) return WB_ERROR_ARGUMENT;
    return (player->synth.muteMask >> channel) & 1u;
}

int wb_get_channel_levels(const wb_player* player, float levels[WB_CHANNELS]) {
    if (!player || !levels) return WB_ERROR_ARGUMENT;
    float all[synthChannelCount];
    synthChannelLevels(player->synth, all);
    std::copy_n(all, WB_CHANNELS, levels);
    return WB_OK;
}

int wb_set_effects_mute(wb_player* player, int muted) {
    if (!player) return WB_ERROR_ARGUMENT;
    const uint32_t mask = player->synth.muteMask;
    synthSetMuteMask(player->synth, muted ? mask | effectsMuteBit : mask & ~effectsMuteBit);
    return WB_OK;
}

}  // extern "C"

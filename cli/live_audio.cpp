#include "cli/live_audio.h"
#include <algorithm>
#include <chrono>
#include "audio/sdl_audio.h"
#include "player/pcm.h"

namespace {

constexpr uint32_t maxBlockFrames = 8192;

// Raises peak to level (a running maximum shared with the display).
void keepPeak(std::atomic<uint32_t>& peak, uint32_t level) {
    uint32_t seen = peak.load(std::memory_order_relaxed);
    while (level > seen && !peak.compare_exchange_weak(seen, level, std::memory_order_relaxed)) {
    }
}

// SDL's audio thread: no allocation, no lock, no I/O.
void renderBlock(void* user, Uint8* stream, int bytes) {
    LiveAudio& audio = *static_cast<LiveAudio*>(user);
    const auto start = std::chrono::steady_clock::now();
    auto* pcm = reinterpret_cast<int16_t*>(stream);
    const uint32_t frames = static_cast<uint32_t>(bytes) / 4;
    uint32_t peakL = 0, peakR = 0;
    bool silent = true;
    for (uint32_t done = 0; done < frames;) {
        const uint32_t count = std::min<uint32_t>(frames - done, static_cast<uint32_t>(audio.floats.size() / 2));
        liveEngineRender(*audio.engine, audio.floats.data(), count);
        convertToPcm16(audio.floats.data(), pcm + 2 * done, 2 * count, 32768.0f);
        for (uint32_t i = 2 * done; i < 2 * (done + count); i += 2) {
            const uint32_t l = static_cast<uint32_t>(std::abs(pcm[i])), r = static_cast<uint32_t>(std::abs(pcm[i + 1]));
            peakL = std::max(peakL, l);
            peakR = std::max(peakR, r);
            silent = silent && l == 0 && r == 0;
        }
        done += count;
    }
    audio.frames.fetch_add(frames, std::memory_order_relaxed);
    keepPeak(audio.peakLeft, peakL);
    keepPeak(audio.peakRight, peakR);
    if (silent) {
        audio.silentFrames.fetch_add(frames, std::memory_order_relaxed);
    } else {
        audio.silentFrames.store(0, std::memory_order_relaxed);
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    keepPeak(audio.slowestBlockMicros, static_cast<uint32_t>(took * 1e6));
    if (took * 44100.0 > frames) audio.underruns.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

bool liveAudioStart(LiveAudio& audio, LiveEngine& engine, uint32_t bufferFrames, std::string& reason) {
    audio.engine = &engine;
    if (!sdlAudioLoad(reason)) return false;
    if (sdlAudio().initSubSystem(SDL_INIT_AUDIO) != 0) {
        reason = sdlAudio().getError();
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = 44100;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = static_cast<Uint16>(std::clamp<uint32_t>(bufferFrames, 16, maxBlockFrames));
    wanted.callback = renderBlock;
    wanted.userdata = &audio;
    SDL_AudioSpec obtained{};
    audio.device = sdlAudio().openAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (!audio.device) {
        reason = sdlAudio().getError();
        sdlAudio().quitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    audio.blockFrames = obtained.samples;
    audio.floats.assign(2 * std::max<uint32_t>(obtained.samples, 256), 0.0f);
    sdlAudio().pauseAudioDevice(audio.device, 0);
    return true;
}

void liveAudioStop(LiveAudio& audio) {
    if (!audio.device) return;
    sdlAudio().closeAudioDevice(audio.device);
    sdlAudio().quitSubSystem(SDL_INIT_AUDIO);
    audio.device = 0;
}

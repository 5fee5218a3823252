#include "golden_render.h"
#include <algorithm>
#include <bit>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include "player/live_engine.h"
#include "player/midi_parser.h"
#include "player/module_player.h"
#include "player/offline_render.h"
#include "player/pcm.h"
#include "player/song_length.h"
#include "song/song.h"
#include "synth/synth.h"
#include "tests/support/sha256.h"
#include "tests/support/test_patches.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define WB_HAVE_MXCSR 1
#endif

namespace {

// Runs one synthesizer entry. With hostile, the caller's floating-point mode
// rounds toward zero, flushes to zero and unmasks the invalid-operation
// exception; the entry must render in its own mode regardless. Either way
// it must hand the caller's mode back.
template <typename Entry>
void callEntry(bool hostile, std::string& error, Entry entry) {
#ifdef WB_HAVE_MXCSR
    const uint32_t original = _mm_getcsr();
    const uint32_t mode = hostile ? (original & ~0x7F80u) | 0x6000u | 0x8040u | 0x1F00u : original;
    _mm_setcsr(mode);
    entry();
    if (_mm_getcsr() != mode) error = "a synthesizer entry changed the caller's floating-point mode";
    _mm_setcsr(original);
#else
    (void)hostile;
    (void)error;
    entry();
#endif
}

bool buildImage(const std::filesystem::path& song, std::vector<uint8_t>& image, std::string& error) {
    std::ifstream file(song, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    if (!file) error = "cannot be read";
    return file && buildSongImage(text.str(), song.parent_path(), image, error);
}

// The song's length counted twice without a synthesizer.
bool measureSong(const std::vector<uint8_t>& image, GoldenRender& result) {
    ModuleView view;
    auto scratch = std::make_unique<ModulePlayer>();
    const auto size = uint32_t(image.size());
    if (!parseModule(image.data(), size, view, result.error) ||
        !offlineSongFrames(*scratch, image.data(), size, result.steppedSongFrames, result.error))
        return false;
    result.measuredSongFrames = measureSongLength(view).frames;
    return true;
}

}  // namespace

GoldenRender goldenRender(const std::filesystem::path& song, uint32_t seed, uint32_t seconds,
                          const GoldenOptions& options) {
    GoldenRender result;
    std::vector<uint8_t> image;
    auto synth = std::make_unique<Synth>();
    auto player = std::make_unique<ModulePlayer>();
    if (!buildImage(song, image, result.error) || !measureSong(image, result) ||
        !offlineOpen(*player, *synth, image.data(), uint32_t(image.size()), &seed, result.error,
                     options.sampleRate)) {
        result.error = song.string() + ": " + result.error;
        return result;
    }
    if (options.prepare) options.prepare(*synth);
    RenderLength length;
    renderLengthInit(length, tailSecondsToFrames(goldenTailSeconds));
    std::vector<int16_t> pcm(2 * goldenFramesPerSecond);
    for (uint32_t s = 0; seconds ? s < seconds : !renderLengthDone(length); ++s) {
        result.samples.resize(result.samples.size() + pcm.size());
        float* second = result.samples.data() + result.samples.size() - pcm.size();
        const uint32_t end = offlineRender(*player, second, goldenFramesPerSecond);
        if (end != songNotEnded) result.songEndFrame = player->songEndFrame;
        convertToPcm16(second, pcm.data(), uint32_t(pcm.size()), 32768.0f);
        result.lengthFrames += renderLengthFeed(length, pcm.data(), goldenFramesPerSecond, end);
    }
    result.digests = secondDigests(result.samples);
    return result;
}

namespace {

std::vector<uint8_t> readStream(const std::filesystem::path& stream) {
    std::ifstream file(stream, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// Eight saw patches with their own sustain and release; program 6 has no
// voices. Program 8 blows up: a loud pulse into an undamped low-pass
// (resonance 128 through controller 7) whose cutoff LFO 1 moves every frame
// (at rate 128 through controller 7 as well). The synthesizer gets them,
// open output cuts and seed 7.
std::unique_ptr<Synth> streamSynth(std::vector<uint8_t>& bank) {
    std::vector<PatchRecord> patches;
    for (uint8_t p = 0; p < 8; ++p) {
        patches.push_back(sawPatch(uint8_t(90 + 4 * p), uint8_t(40 + 8 * p), p == 6 ? 0 : 3));
        patches.back().voice[osc1Mode] = uint8_t(1 + p % 3);
    }
    PatchRecord blowUp = sawPatch(127, 64, 4);
    blowUp.voice[osc1Mode] = 2;
    blowUp.voice[osc1Volume] = 127;
    blowUp.voice[flt1Mode] = 1;
    blowUp.voice[flt1Resonance] = 127;
    blowUp.voice[flt1Cutoff] = 64;
    blowUp.voice[lfo1Mode] = 1;
    blowUp.voice[lfo1Rate] = blowUp.voice[lfo1Amplitude] = 127;
    constexpr uint8_t controller7 = 7, lfo1 = 10;
    blowUp.routings = {{controller7, 127, flt1Resonance}, {controller7, 127, lfo1Rate}, {lfo1, 127, flt1Cutoff}};
    patches.push_back(blowUp);
    bank = buildPatchBank(patches);
    auto synth = std::make_unique<Synth>();
    synthSetSeed(*synth, 7);
    synthInit(*synth, bank.data(), uint32_t(bank.size()), int32_t(goldenFramesPerSecond));
    synthSetGlobals(*synth, openGlobals().data());
    return synth;
}

// Walks the blocks of [length][bytes][frames / 4]: bytes(block, first, count)
// takes a block's bytes, render(block, frames) renders after them.
template <typename Bytes, typename Render>
void walkBlocks(const std::vector<uint8_t>& data, Bytes bytes, Render render) {
    for (size_t at = 0, block = 0; at < data.size(); ++block) {
        const size_t take = std::min<size_t>(data[at], data.size() - at - 1);
        bytes(block, data.data() + at + 1, take);
        at += 1 + take;
        render(block, at < data.size() ? data[at++] * 4u : 128u);
    }
}

void finish(GoldenRender& result) {
    result.lengthFrames = result.samples.size() / 2;
    result.digests = secondDigests(result.samples);
}

}  // namespace

GoldenRender goldenStreamRender(const std::filesystem::path& stream, bool hostileFpMode) {
    GoldenRender result;
    std::vector<uint8_t> bank;
    auto synth = streamSynth(bank);
    std::vector<float> left(1024), right(1024);
    walkBlocks(
        readStream(stream),
        [&](size_t, const uint8_t* bytes, size_t count) {
            std::vector<uint8_t> commands(bytes, bytes + count);
            commands.insert(commands.end(), {0xFD, 0xFD, 0xFD});
            callEntry(hostileFpMode, result.error, [&] { synthProcessCommands(*synth, commands.data()); });
        },
        [&](size_t block, uint32_t frames) {
            callEntry(hostileFpMode, result.error,
                      [&] { synthRender(*synth, left.data(), frames, right.data(), int32_t(block & 1)); });
            for (uint32_t i = 0; i < frames; ++i) result.samples.insert(result.samples.end(), {left[i], right[i]});
        });
    finish(result);
    return result;
}

GoldenRender goldenLiveRender(const std::filesystem::path& stream) {
    GoldenRender result;
    std::vector<uint8_t> bank;
    auto synth = streamSynth(bank);
    // MIDI channel c plays module channel c, program p patch p % 8; the
    // percussion channel's key 36 plays key 43 on channel 14; controllers 1
    // and 7 pass, 64 is the sustain pedal.
    LiveRouting routing{};
    for (uint8_t c = 0; c < 16; ++c) routing.channelOf[c] = c;
    routing.channelOf[13] = liveUnrouted;
    for (uint8_t p = 0; p < 128; ++p) routing.programOf[p] = p % 8;
    std::fill(std::begin(routing.drumChannel), std::end(routing.drumChannel), liveUnrouted);
    routing.drumChannel[36] = 14;
    routing.drumKey[36] = 43;
    routing.startProgram[14] = 2;
    routing.controllerOf[1] = 1;
    routing.controllerOf[7] = 7;
    routing.percussionChannel = 9;
    routing.sustainController = 64;
    auto engine = std::make_unique<LiveEngine>();
    liveEngineStart(*engine, synth.get(), routing);
    MidiParser parser{};
    std::vector<float> out(2 * 1024);
    walkBlocks(
        readStream(stream),
        [&](size_t block, const uint8_t* bytes, size_t count) {
            // Odd blocks' messages are due 100 frames into the next render,
            // even blocks' at once.
            const uint64_t due = block & 1 ? engine->frame + 100 : 0;
            uint8_t message[3];
            uint8_t length = 0;
            for (size_t i = 0; i < count; ++i)
                if (midiParserFeed(parser, bytes[i], message, length))
                    midiQueuePush(engine->queue, {due, {message[0], message[1], message[2]}, length});
        },
        [&](size_t, uint32_t frames) {
            liveEngineRender(*engine, out.data(), frames);
            result.samples.insert(result.samples.end(), out.begin(), out.begin() + 2 * long(frames));
        });
    finish(result);
    return result;
}

std::vector<std::string> secondDigests(const std::vector<float>& samples) {
    static_assert(std::endian::native == std::endian::little, "digests are of little-endian floats");
    const size_t perSecond = size_t(2) * goldenFramesPerSecond;
    std::vector<std::string> digests;
    for (size_t start = 0; start < samples.size(); start += perSecond) {
        Sha256 sha;
        sha256Add(sha, samples.data() + start, sizeof(float) * std::min(perSecond, samples.size() - start));
        digests.push_back(sha256Hex(sha));
    }
    return digests;
}

#include "golden_render.h"
#include <algorithm>
#include <bit>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
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
        !offlineOpen(*player, *synth, image.data(), uint32_t(image.size()), &seed, result.error)) {
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

GoldenRender goldenStreamRender(const std::filesystem::path& stream, bool hostileFpMode) {
    GoldenRender result;
    std::ifstream file(stream, std::ios::binary);
    const std::vector<uint8_t> data(std::istreambuf_iterator<char>(file), {});
    // Eight saw patches with their own sustain and release; program 6 has
    // no voices.
    std::vector<PatchRecord> patches;
    for (uint8_t p = 0; p < 8; ++p) {
        patches.push_back(sawPatch(uint8_t(90 + 4 * p), uint8_t(40 + 8 * p), p == 6 ? 0 : 3));
        patches.back().voice[osc1Mode] = uint8_t(1 + p % 3);
    }
    const std::vector<uint8_t> bank = buildPatchBank(patches);
    auto synth = std::make_unique<Synth>();
    synthSetSeed(*synth, 7);
    synthInit(*synth, bank.data(), uint32_t(bank.size()), int32_t(goldenFramesPerSecond));
    synthSetGlobals(*synth, openGlobals().data());
    std::vector<float> left(1024), right(1024);
    for (size_t at = 0, block = 0; at < data.size(); ++block) {
        const size_t take = std::min<size_t>(data[at], data.size() - at - 1);
        std::vector<uint8_t> commands(data.begin() + long(at) + 1, data.begin() + long(at + 1 + take));
        at += 1 + take;
        commands.insert(commands.end(), {0xFD, 0xFD, 0xFD});
        callEntry(hostileFpMode, result.error, [&] { synthProcessCommands(*synth, commands.data()); });
        const uint32_t frames = at < data.size() ? data[at++] * 4u : 128u;
        callEntry(hostileFpMode, result.error,
                  [&] { synthRender(*synth, left.data(), frames, right.data(), int32_t(block & 1)); });
        for (uint32_t i = 0; i < frames; ++i) result.samples.insert(result.samples.end(), {left[i], right[i]});
    }
    result.lengthFrames = result.samples.size() / 2;
    result.digests = secondDigests(result.samples);
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

#include "cli/render_jobs.h"
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>
#include <unistd.h>
#include "cli/audio_file_writer.h"
#include "cli/module_open.h"
#include "cli/output_target.h"
#include "cli/render_progress.h"
#include "cli/stems.h"
#include "player/pcm.h"
#include "player/render_length.h"

std::atomic<int> renderInterrupt{0};

namespace {

constexpr uint32_t blockFrames = 16384;  // 128 KiB of f32 per write
constexpr float outputScale = 32768.0f;  // the sound output's scale at volume 1.0

std::mutex reportLock;  // one error line at a time from parallel renders

int fail(int status, const std::string& file, const std::string& reason) {
    const std::lock_guard<std::mutex> guard(reportLock);
    std::fprintf(stderr, "q7m: %s: %s\n", file.c_str(), reason.c_str());
    return status;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

// Refuses an output that would overwrite the module or, without --force, a
// file, and floats for FLAC.
int checkOutput(const std::string& input, const std::string& output, const RenderSettings& settings) {
    if (output == "-") {
        if (isatty(STDOUT_FILENO))
            return fail(2, "-", "standard output is a terminal; redirect it or give -o FILE");
        return 0;
    }
    if (sameFile(input, output)) return fail(2, output, "is the input module; choose another output name");
    if (!settings.force && outputReplacesFile(output))
        return fail(1, output, "already exists (use --force to replace it)");
    if (settings.f32 && isFlacPath(output))
        return fail(2, output, "FLAC holds no 32-bit float samples (use --format s16 or a .wav name)");
    return 0;
}

// One output file and its block of samples.
struct RenderTarget {
    AudioFileWriter writer;
    std::vector<float> floats = std::vector<float>(2 * blockFrames);
    std::vector<int16_t> pcm = std::vector<int16_t>(2 * blockFrames);
};

// The channel stems' buffers, which the effects stem is the rest of.
std::vector<const float*> channelParts(const StemSet& set, const std::vector<RenderTarget>& targets) {
    std::vector<const float*> parts;
    for (size_t k = 1; k < set.players.size(); ++k) parts.push_back(targets[k].floats.data());
    return parts;
}

// Fills every target's floats with the next frames of its source, and its
// 16-bit samples where they are used: written for s16, and read by the
// length rule (on the first target, the mix) unless the length is fixed.
void fillBlock(StemSet& set, std::vector<RenderTarget>& targets, const std::vector<const float*>& parts,
               const RenderSettings& settings, uint32_t frames) {
    for (size_t k = 0; k < set.players.size(); ++k)
        wb_render_f32(set.players[k].get(), targets[k].floats.data(), frames);
    if (set.effectsStem)
        stemsEffectsRest(targets[0].floats.data(), parts, targets.back().floats.data(), frames);
    for (size_t k = 0; k < targets.size(); ++k) {
        if (settings.f32 && (k != 0 || settings.fixedLength)) continue;
        convertToPcm16(targets[k].floats.data(), targets[k].pcm.data(), 2 * frames, outputScale);
    }
}

bool writeBlock(std::vector<RenderTarget>& targets, bool f32, uint32_t frames, std::string& file,
                std::string& reason) {
    for (RenderTarget& target : targets) {
        const bool ok = f32 ? audioFileWriteF32(target.writer, target.floats.data(), frames, reason)
                            : audioFileWriteS16(target.writer, target.pcm.data(), frames, reason);
        if (!ok) {
            file = target.writer.path;
            return false;
        }
    }
    return true;
}

// Renders into the open targets until the length rule (on the first target,
// the full mix) or the fixed length ends it; false with the failing file and
// reason.
bool renderBlocks(StemSet& set, std::vector<RenderTarget>& targets, const RenderSettings& settings,
                  std::string& file, std::string& reason) {
    RenderLength length;
    renderLengthInit(length, tailSecondsToFrames(settings.tailSeconds, settings.sampleRate),
                     settings.sampleRate);
    const uint64_t songEnd = songEndFrame(set.players[0].get());
    RenderProgress progress;
    progress.sampleRate = settings.sampleRate;
    progressStart(progress, settings.progress, settings.fixedLength ? settings.fixedFrames : songEnd);
    const std::vector<const float*> parts = channelParts(set, targets);
    uint64_t written = 0;
    bool ok = true;
    for (;;) {
        if (renderInterrupt.load()) {
            reason = "interrupted";
            ok = false;
            break;
        }
        uint32_t frames = blockFrames;
        if (settings.fixedLength && settings.fixedFrames - written < frames)
            frames = static_cast<uint32_t>(settings.fixedFrames - written);
        if (frames == 0) break;
        const uint64_t at = wb_position(set.players[0].get());
        fillBlock(set, targets, parts, settings, frames);
        const uint32_t endOffset = songEndInBlock(songEnd, at, frames);
        const uint32_t keep = settings.fixedLength
                                  ? frames
                                  : renderLengthFeed(length, targets[0].pcm.data(), frames, endOffset);
        if (!writeBlock(targets, settings.f32, keep, file, reason)) {
            ok = false;
            break;
        }
        written += keep;
        progressUpdate(progress, written);
        if (!settings.fixedLength && renderLengthDone(length)) break;
    }
    progressFinish(progress);
    return ok;
}

// A seed shared by all the players of one module: stems only add up to the
// mix when every player draws the same noise.
uint32_t moduleSeed(const RenderSettings& settings) {
    if (settings.seeded) return settings.seed;
    std::random_device device;
    return device();
}

int renderTo(const RenderTask& task, const RenderSettings& settings, StemSet& set,
             const std::vector<std::string>& outputs) {
    for (const std::string& output : outputs)
        if (const int status = checkOutput(task.input, output, settings)) return status;
    std::vector<RenderTarget> targets(outputs.size());
    std::string reason;
    for (size_t k = 0; k < outputs.size(); ++k) {
        targets[k].writer.sampleRate = static_cast<int>(settings.sampleRate);
        const SampleFormat format = settings.f32 ? SampleFormat::f32 : SampleFormat::s16;
        const uint64_t frames = settings.fixedLength ? settings.fixedFrames : audioLengthUnknown;
        if (!audioFileOpen(targets[k].writer, outputs[k], format, frames, reason)) {
            for (size_t j = 0; j < k; ++j) audioFileAbandon(targets[j].writer);
            return targets[k].writer.readerGone ? 0 : fail(1, outputs[k], reason);
        }
    }
    std::string file;
    if (!renderBlocks(set, targets, settings, file, reason)) {
        bool readerGone = false;
        for (RenderTarget& target : targets) {
            readerGone = readerGone || target.writer.readerGone;
            audioFileAbandon(target.writer);
        }
        if (renderInterrupt.load()) return 1;
        if (readerGone) return 0;  // standard output's reader stopped listening, as with cat
        return fail(1, file, reason);
    }
    int status = 0;
    for (RenderTarget& target : targets)
        if (!audioFileFinish(target.writer, reason)) status = fail(1, target.writer.path, reason);
    return status;
}

}  // namespace

int renderModule(const RenderTask& task, const RenderSettings& settings) {
    std::vector<uint8_t> image;
    std::string reason;
    if (!readModule(task.input, image, reason)) return fail(1, task.input, reason);
    const uint32_t seed = moduleSeed(settings);
    wb_config config = playerConfig(settings.sampleRate, &seed);
    config.engine = settings.scalarEngine ? WB_ENGINE_SCALAR : WB_ENGINE_AUTO;
    config.threads = settings.threads;
    StemSet set;
    std::vector<std::string> outputs;
    if (task.stemsDir.empty()) {
        PlayerHandle player = openPlayer(image, config, reason);
        if (!player) return fail(2, task.input, reason);
        set.players.push_back(std::move(player));
        outputs.push_back(task.output);
    } else {
        if (!stemsOpen(set, image, config, reason)) return fail(2, task.input, reason);
        std::error_code error;
        std::filesystem::create_directories(task.stemsDir, error);
        if (error) return fail(1, task.stemsDir, error.message());
        outputs = stemsFileNames(set, task.stemsDir);
    }
    return renderTo(task, settings, set, outputs);
}

int renderAll(const std::vector<RenderTask>& tasks, const RenderSettings& settings, unsigned jobs) {
    std::atomic<size_t> next{0};
    std::atomic<int> worst{0};
    auto work = [&] {
        for (size_t k = next++; k < tasks.size() && !renderInterrupt.load(); k = next++) {
            const int status = renderModule(tasks[k], settings);
            int seen = worst.load();
            while (status > seen && !worst.compare_exchange_weak(seen, status)) {
            }
        }
    };
    const size_t threads = std::min<size_t>(std::max(1u, jobs), tasks.size());
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& thread : pool) thread.join();
    return worst.load();
}

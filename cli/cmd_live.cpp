// q7m live [--patches FILE.json] [--port NAME] [--latency MS] [--seed N]
// [--midi-in FILE]: the synthesizer as an instrument played from a MIDI
// input, with a one-line display of the voices per channel and a meter.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>
#include "cli/commands.h"
#include "cli/file_io.h"
#include "cli/interrupt_signal.h"
#include "cli/live_audio.h"
#include "cli/midi_in_file.h"
#include "cli/midi_port.h"
#include "cli/patch_library.h"
#include "cli/terminal_keys.h"
#include "player/module.h"
#include "song/live_bank.h"

namespace {

struct LiveOptions {
    std::string patches;
    std::string port;
    std::string midiIn;
    double latencyMs = 10.0;
    uint32_t seed = 0;
    CLI::Option* seedOption = nullptr;
};

constexpr int refreshMs = 50;
constexpr uint64_t endSilenceFrames = 44100;   // after a file's input: one second of silence ends
constexpr uint64_t maxTailFrames = 30 * 44100;

int fail(int status, const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "q7m: %s: %s\n", file.c_str(), reason.c_str());
    return status;
}

// Everything a live session holds, on the heap: the synthesizer is large.
struct LiveJob {
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::unique_ptr<LiveEngine> engine = std::make_unique<LiveEngine>();
    LiveBank bank;
    const char* speechTexts[speechTableSlots];
    LiveAudio audio;
    MidiPort* port = nullptr;
    MidiInput file;
    MidiMessage pending{};  // taken from the file, not yet queued
    bool hasPending = false;
    std::atomic<bool> inputDone{false};
    std::atomic<bool> stop{false};
};

// The --midi-in messages into the queue from the first not yet fed; with
// wait, waits while the queue is full, otherwise stops there.
void feedFile(LiveJob& job, bool wait) {
    while (job.hasPending || midiInputNext(job.file, job.pending)) {
        job.hasPending = true;
        while (!midiQueuePush(job.engine->queue, job.pending)) {
            if (!wait || job.stop.load()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        job.hasPending = false;
    }
    job.inputDone.store(true);
}

std::string displayLine(LiveJob& job) {
    std::string line = "voices";
    int32_t total = 0;
    for (int32_t c = 0; c < 16; ++c) {
        const int32_t count = job.engine->activeVoices[c].load(std::memory_order_relaxed);
        total += count;
        if (count) line += " " + std::to_string(c + 1) + ":" + std::to_string(count);
    }
    if (!total) line += " -";
    const uint32_t peak = std::max(job.audio.peakLeft.exchange(0), job.audio.peakRight.exchange(0));
    const double db = peak ? 20.0 * std::log10(peak / 32768.0) : -120.0;
    const int bars = std::clamp(static_cast<int>(std::lround((db + 48.0) / 48.0 * 20.0)), 0, 20);
    line += "  " + std::string(static_cast<size_t>(bars), '#') + std::string(static_cast<size_t>(20 - bars), '-');
    const uint32_t underruns = job.audio.underruns.load();
    if (underruns) line += "  underruns " + std::to_string(underruns);
    return line;
}

// With a file's input: its messages all played, then one second of silence
// (at most 30 s of tail).
bool fileFinished(LiveJob& job, uint64_t& tailStart) {
    if (!job.inputDone.load() || !midiQueueEmpty(job.engine->queue)) return false;
    const uint64_t frame = job.audio.frames.load();
    if (!tailStart) tailStart = frame ? frame : 1;
    return job.audio.silentFrames.load() >= endSilenceFrames || frame - tailStart > maxTailFrames;
}

void runUntilDone(LiveJob& job, bool fromFile, bool keysFromStdin) {
    TerminalKeys keys;
    if (keysFromStdin) terminalKeysBegin(keys);
    const bool display = isatty(STDERR_FILENO);
    uint64_t tailStart = 0;
    while (!interruptSignal) {
        const int key = keysFromStdin ? terminalKeysRead(keys, refreshMs) : 0;
        if (!keysFromStdin) std::this_thread::sleep_for(std::chrono::milliseconds(refreshMs));
        if (key == 'q' || key == 'Q') break;
        if (fromFile && fileFinished(job, tailStart)) break;
        if (display) std::fprintf(stderr, "\r%s\x1b[K", displayLine(job).c_str());
    }
    if (display) std::fputc('\n', stderr);
    terminalKeysRestore(keys);
}

int openInput(const LiveOptions& options, LiveJob& job) {
    std::string reason;
    if (!options.midiIn.empty()) {
        std::vector<uint8_t> bytes;
        const std::string path = options.midiIn == "-" ? "/dev/stdin" : options.midiIn;
        if (!readWholeFile(path, bytes, reason)) return fail(1, options.midiIn, reason);
        if (!parseMidiInput(std::move(bytes), job.file, reason)) return fail(2, options.midiIn, reason);
        return 0;
    }
    job.port = midiPortOpen(options.port, job.engine->queue, reason);
    if (!job.port) {
        std::fprintf(stderr, "q7m: no MIDI input available (%s); use --midi-in FILE to play from a file\n",
                     reason.c_str());
        return 1;
    }
    std::fprintf(stderr, "q7m: playing from MIDI %s (q or Ctrl-C stops)\n", midiPortName(job.port).c_str());
    return 0;
}

int runLive(const LiveOptions& options) {
    auto job = std::make_unique<LiveJob>();
    MidiMapping mapping;
    std::string reason;
    int status = 0;
    if (!loadMidiMapping(options.patches, mapping, reason, status)) return fail(status, options.patches, reason);
    if (!buildLiveBank(mapping, job->bank, reason)) return fail(2, options.patches.empty() ? "patches" : options.patches, reason);
    if (options.seedOption->count()) synthSetSeed(*job->synth, options.seed);
    synthInit(*job->synth, job->bank.patchBlock.data(), static_cast<uint32_t>(job->bank.patchBlock.size()), 44100);
    synthSetGlobals(*job->synth, job->bank.globals.data());
    std::fill(std::begin(job->speechTexts), std::end(job->speechTexts), defaultSpeechText);
    synthSetSpeechTexts(*job->synth, job->speechTexts);
    liveEngineStart(*job->engine, job->synth.get(), job->bank.routing);
    if (const int failed = openInput(options, *job)) return failed;

    // What fits is queued before the sound starts, so that a file's timing
    // does not depend on how soon the feeding thread runs.
    if (!job->port) feedFile(*job, false);
    const uint32_t bufferFrames = static_cast<uint32_t>(std::lround(std::clamp(options.latencyMs, 0.5, 185.0) * 44.1));
    if (!liveAudioStart(job->audio, *job->engine, bufferFrames, reason)) {
        midiPortClose(job->port);
        std::fprintf(stderr, "q7m: no audio device available (%s)\n", reason.c_str());
        return 1;
    }
    std::thread feeder;
    if (!job->port) feeder = std::thread(feedFile, std::ref(*job), true);
    runUntilDone(*job, !job->port, options.midiIn != "-");
    job->stop.store(true);
    if (feeder.joinable()) feeder.join();
    liveAudioStop(job->audio);
    std::fprintf(stderr, "q7m: live: %u messages, buffer %u frames (%.1f ms), slowest block %.2f ms, underruns %u\n",
                 job->engine->handled.load(), job->audio.blockFrames, job->audio.blockFrames / 44.1,
                 job->audio.slowestBlockMicros.load() / 1000.0, job->audio.underruns.load());
    midiPortClose(job->port);
    return 0;
}

}  // namespace

void addLiveCommand(CLI::App& app) {
    auto options = std::make_shared<LiveOptions>();
    CLI::App* live = app.add_subcommand("live", "Play the synthesizer from a MIDI keyboard (q or Ctrl-C stops)");
    live->add_option("--patches", options->patches,
                     "Mapping of programs, drum keys and controllers to patch files (JSON)");
    live->add_option("--port", options->port,
                     "Connect to the first MIDI input port whose name contains this "
                     "(default: a virtual input port \"Wembrastel\")");
    live->add_option("--latency", options->latencyMs, "Output buffer in milliseconds (default 10)");
    options->seedOption = live->add_option("--seed", options->seed, "Fixed seed for noise and random generators");
    live->add_option("--midi-in", options->midiIn,
                     "Read MIDI from a file or - instead of a port: raw bytes, or lines of hex bytes "
                     "each led by an optional \"SECONDS:\"");
    live->callback([options] { runInterruptible([&] { q7mExitStatus = runLive(*options); }); });
}

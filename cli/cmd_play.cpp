// q7m play: a module played through the sound device with a one-line
// display, until the song and its tail have ended (the rule of q7m render),
// q is pressed or Ctrl-C.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>
#include "audio/sound_output.h"
#include "cli/commands.h"
#include "cli/file_io.h"
#include "cli/play_display.h"
#include "cli/play_watch.h"
#include "cli/terminal_keys.h"
#include "player/module_player.h"
#include "player/offline_render.h"
#include "player/render_length.h"
#include "synth/synth.h"

namespace {

struct PlayOptions {
    std::string input;
    uint32_t seed = 0;
    std::string driver;
    CLI::Option* seedOption = nullptr;
};

constexpr int refreshMs = 50;

volatile std::sig_atomic_t interruptSignal = 0;

void onInterrupt(int signal) { interruptSignal = signal; }

void fail(int status, const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "q7m: %s: %s\n", file.c_str(), reason.c_str());
    q7mExitStatus = status;
}

// Everything one playback needs, on the heap: the synthesizer and the
// output's buffers are large.
struct PlayJob {
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::unique_ptr<ModulePlayer> player = std::make_unique<ModulePlayer>();
    std::unique_ptr<ModulePlayer> scratch = std::make_unique<ModulePlayer>();
    std::unique_ptr<SoundOutput> output = std::make_unique<SoundOutput>();
    std::unique_ptr<PlayWatch> watch = std::make_unique<PlayWatch>();
};

// Draws the display until the end is heard, q, a signal or the device's
// loss; false (with the reason) when the device was lost.
bool playUntilDone(PlayJob& job, uint64_t songFrames, std::string& lostReason) {
    TerminalKeys keys;
    terminalKeysBegin(keys);
    PlayDisplay display;
    playDisplayStart(display, isatty(STDERR_FILENO));
    const uint64_t songMs = songFrames * 1000 / playerSampleRate;
    bool lost = false;
    while (!interruptSignal) {
        const int key = terminalKeysRead(keys, refreshMs);
        if (key == 'q' || key == 'Q') break;
        if (soundOutputDeviceLost(*job.output, lostReason)) {
            lost = true;
            break;
        }
        // The device still holds what it took last: the end has been heard
        // once the device has taken that much more.
        const int32_t heard = soundOutputPlayedBytes(*job.output) - soundOutputDeviceBytes(*job.output);
        if (playWatchFinished(*job.watch, heard)) break;
        PlayStatus status{playerPositionMs(*job.player), songMs, 0, 0, soundOutputUnderruns(*job.output)};
        soundOutputTakePeaks(*job.output, status.peakLeft, status.peakRight);
        playDisplayUpdate(display, status);
    }
    playerStop(*job.player);
    playerClose(*job.player);
    playDisplayFinish(display);
    terminalKeysRestore(keys);
    return !lost;
}

void runPlay(const PlayOptions& options) {
    std::vector<uint8_t> image;
    std::string reason;
    if (!readWholeFile(options.input, image, reason)) return fail(1, options.input, reason);
    if (image.size() > UINT32_MAX) return fail(2, options.input, "not a valid module: larger than 4 GiB");
    const uint32_t size = static_cast<uint32_t>(image.size());

    PlayJob job;
    uint64_t songFrames = 0;
    if (!offlineSongFrames(*job.scratch, image.data(), size, songFrames, reason))
        return fail(2, options.input, notAModule(image, reason));

    // The output is started here rather than by open, so that its callback
    // is the render entry wrapped by the end-of-play watch.
    OutputPort port = soundOutputPort(*job.output);
    port.start = nullptr;
    playerInit(*job.player, job.synth.get(), port);
    if (options.seedOption->count()) synthSetSeed(*job.synth, options.seed);
    if (!playerOpen(*job.player, image.data(), size, reason))
        return fail(2, options.input, "not a valid module: " + reason);
    playWatchInit(*job.watch, *job.player, tailSecondsToFrames(defaultTailSeconds));
    const char* driver = options.driver.empty() ? nullptr : options.driver.c_str();
    if (!soundOutputStart(*job.output, watchedRender, job.watch.get(), driver, &reason)) {
        playerClose(*job.player);
        std::fprintf(stderr, "q7m: no audio device available (%s); use q7m render to write a file\n",
                     reason.c_str());
        q7mExitStatus = 1;
        return;
    }
    soundOutputSetVolume(*job.output, 1.0f);
    playerPlay(*job.player);
    job.watch->songStarted.store(1);
    std::string lostReason;
    if (!playUntilDone(job, songFrames, lostReason)) {
        std::fprintf(stderr, "q7m: the audio device was lost (%s)\n", lostReason.c_str());
        q7mExitStatus = 1;
        return;
    }
    q7mExitStatus = 0;
}

}  // namespace

void addPlayCommand(CLI::App& app) {
    auto options = std::make_shared<PlayOptions>();
    CLI::App* play = app.add_subcommand(
        "play", "Play a module through the sound device until its tail has faded (q or Ctrl-C stops)");
    play->add_option("module", options->input, "The .q7m module to play")->required();
    options->seedOption = play->add_option("--seed", options->seed,
                                           "Fixed seed for noise and random generators, "
                                           "as for q7m render");
    play->add_option("--driver", options->driver,
                     "SDL audio driver, e.g. pulseaudio, pipewire, alsa, jack, disk "
                     "(default: SDL_AUDIODRIVER or SDL's choice)");
    play->callback([options] {
        interruptSignal = 0;
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
        std::signal(SIGHUP, onInterrupt);
        runPlay(*options);
        if (interruptSignal) {
            // Cleaned up and the terminal restored: end the way the signal would.
            const int signal = interruptSignal;
            std::signal(signal, SIG_DFL);
            std::raise(signal);
        }
    });
}

// q7m play: modules played one after another through the sound device,
// each until its song and tail have ended (the rule of q7m render), under
// the keys, with a full-terminal view or a one-line display.
#include <csignal>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>
#include "audio/sound_output.h"
#include "cli/commands.h"
#include "cli/play_loop.h"
#include "cli/play_session.h"
#include "cli/playlist.h"

namespace {

struct PlayOptions {
    std::vector<std::string> inputs;
    uint32_t seed = 0;
    std::string driver;
    bool loop = false;
    CLI::Option* seedOption = nullptr;
};

volatile std::sig_atomic_t interruptSignal = 0;

void onInterrupt(int signal) { interruptSignal = signal; }

void runPlay(const PlayOptions& options) {
    std::vector<std::string> errors;
    const std::vector<std::string> files = playlistCollect(options.inputs, errors);
    for (const std::string& error : errors) std::fprintf(stderr, "q7m: %s\n", error.c_str());
    if (files.empty()) {
        std::fprintf(stderr, "q7m: no modules to play\n");
        q7mExitStatus = errors.empty() ? 2 : 1;
        return;
    }
    // On the heap: the output's buffers and the session's are large.
    auto output = std::make_unique<SoundOutput>();
    auto session = std::make_unique<PlaySession>();
    sessionInit(*session, *output);
    std::string reason;
    const char* driver = options.driver.empty() ? nullptr : options.driver.c_str();
    if (!soundOutputStart(*output, sessionRender, session.get(), driver, &reason)) {
        std::fprintf(stderr, "q7m: no audio device available (%s); use q7m render to write a file\n",
                     reason.c_str());
        q7mExitStatus = 1;
        return;
    }
    soundOutputSetVolume(*output, 1.0f);
    PlayLoopOptions loopOptions;
    loopOptions.seeded = options.seedOption->count() != 0;
    loopOptions.seed = options.seed;
    loopOptions.loop = options.loop;
    const PlayLoopResult result = playLoop(*output, *session, files, loopOptions, interruptSignal);
    soundOutputClose(*output);
    if (result.deviceLost) {
        std::fprintf(stderr, "q7m: the audio device was lost (%s)\n", result.lostReason.c_str());
        q7mExitStatus = 1;
        return;
    }
    q7mExitStatus = std::max(result.status, errors.empty() ? 0 : 1);
}

}  // namespace

void addPlayCommand(CLI::App& app) {
    auto options = std::make_shared<PlayOptions>();
    CLI::App* play = app.add_subcommand(
        "play", "Play modules (files or folders) through the sound device, each until its tail "
                "has faded; keys: space pause, n/p next/previous, left/right seek, +/- volume, "
                "1-9 0 a-f mute channels, q quit");
    play->add_option("modules", options->inputs, "The .q7m modules or folders of them to play")
        ->required();
    play->add_flag("--loop", options->loop, "Start the playlist over after its last module");
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

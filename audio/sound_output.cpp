#include "audio/sound_output.h"
#include <bit>
#include <chrono>
#include <cstring>
#include <system_error>
#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <pthread.h>
#endif
#include "audio/sdl_audio.h"
#include "player/pcm.h"

static_assert(std::endian::native == std::endian::little,
              "the stream buffer holds 16-bit little-endian samples as the conversion stores them");

namespace {

constexpr WaveFormat streamFormat{1, 2, 44100, 176400, 4, 16, 0};
// Frames SDL asks for per device callback, and so the device's buffer (the
// sound server's target latency): 186 ms, half the ring. SDL's device thread
// and the server may be that late before the device runs dry, and the
// output thread, which keeps the ring full, may be late by the other half.
// (A 23 ms buffer left the device dry several times a minute on a busy
// machine.) The play position moves in steps of this size.
constexpr uint16_t deviceChunkFrames = 8192;
constexpr int deviceThreadRealTimePriority = 4;
constexpr int outputThreadRealTimePriority = 3;
// A device that has asked for nothing for this long is taken for lost (a
// sound server may take two seconds to start a stream).
constexpr int64_t deviceSilentLimitNs = 4000000000;
// A query more than this far past the last write repeats its previous answer.
constexpr uint32_t queryReach = 16384;

std::string sdlError(const char* step) {
    const char* error = sdlAudio().getError();
    return std::string(step) + ": " + (error && *error ? error : "unknown error");
}

uint64_t packWriteMark(uint32_t bytesWritten, uint32_t lastWritePos) {
    return static_cast<uint64_t>(bytesWritten) << 32 | lastWritePos;
}

// Round-robin real-time scheduling for the calling thread, if allowed. A
// busy machine cannot then delay it: its work per wake is a small, bounded
// share of the time.
bool tryRealTime(int priority) {
#ifdef __linux__
    sched_param parameters{};
    parameters.sched_priority = priority;
    return pthread_setschedparam(pthread_self(), SCHED_RR, &parameters) == 0;
#else
    (void)priority;
    return false;
#endif
}

int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// SDL's device thread: takes the next bytes of the stream buffer. No lock,
// no allocation.
void deviceCallback(void* userdata, Uint8* stream, int length) {
    SoundOutput& output = *static_cast<SoundOutput*>(userdata);
    const uint32_t bytes = static_cast<uint32_t>(length);
    if (!output.deviceThreadRaised) {
        // SDL gives its thread a high priority, not a real-time one.
        output.deviceThreadRaised = 1;
        tryRealTime(deviceThreadRealTimePriority);
    }
    deviceClockTick(output.deviceClock, monotonicNs(), bytes / streamFrameBytes);
    streamBufferConsume(output.streamBuffer, stream, bytes);
    levelPeaksAdd(output.peaks, stream, bytes / streamFrameBytes);
}

// The real-time priority of the output thread, when the system grants one
// (a sound server's own device thread usually runs at 5 or more), else the
// highest priority granted without extra rights: SDL tries the scheduler,
// then the desktop's real-time broker, for time-critical first.
void raiseThreadPriority() {
    if (tryRealTime(outputThreadRealTimePriority)) return;
    if (sdlAudio().setThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL) == 0) return;
    sdlAudio().setThreadPriority(SDL_THREAD_PRIORITY_HIGH);
}

void outputThreadMain(SoundOutput* output) {
#ifdef __linux__
    pthread_setname_np(pthread_self(), "sound output");
#endif
    raiseThreadPriority();
    while (output->exitRequested.load() == 0) {
        // A timeout and a wake are treated alike.
        wakeEventWait(output->wakeEvent, std::chrono::milliseconds(outputWakeMs));
        soundOutputRefill(*output);
    }
    output->threadRunning.store(0);
    output->threadEnded.release();  // the thread's last use of the record
}

// SDL's audio subsystem with the wanted driver (the hint overrides
// SDL_AUDIODRIVER only for this initialisation), then the default device
// with the stream format, paused.
bool openDevice(SoundOutput& output, const char* driver, std::string& reason) {
    if (!sdlAudioLoad(reason)) return false;
    const bool namedDriver = driver && *driver;
    if (namedDriver) sdlAudio().setHintWithPriority(SDL_HINT_AUDIODRIVER, driver, SDL_HINT_OVERRIDE);
    const int initResult = sdlAudio().initSubSystem(SDL_INIT_AUDIO);
    if (namedDriver) sdlAudio().resetHint(SDL_HINT_AUDIODRIVER);
    if (initResult != 0) {
        reason = sdlError("audio init");
        return false;
    }
    output.audioInitialised = 1;

    const WaveFormat& format = output.waveFormat;
    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(format.samplesPerSecond);
    wanted.format = AUDIO_S16LSB;
    wanted.channels = static_cast<Uint8>(format.channels);
    wanted.samples = deviceChunkFrames;
    wanted.callback = deviceCallback;
    wanted.userdata = &output;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts if the device works otherwise.
    output.device = sdlAudio().openAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (output.device == 0) {
        reason = sdlError("open device");
        return false;
    }
    deviceClockReset(output.deviceClock, obtained.samples);
    return true;
}

// The sound libraries under SDL print their own diagnostics to stderr while
// they look for a device (a machine without one gets a screenful); the
// reason SDL gives is what the user sees instead.
bool openDeviceQuietly(SoundOutput& output, const char* driver, std::string& reason) {
    std::fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (savedStderr >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    const bool opened = openDevice(output, driver, reason);
    if (savedStderr >= 0 && null >= 0) dup2(savedStderr, STDERR_FILENO);
    if (null >= 0) close(null);
    if (savedStderr >= 0) close(savedStderr);
    return opened;
}

bool failStart(SoundOutput& output, const std::string& why, std::string* reason) {
    soundOutputClose(output);
    output.lastError = why;
    if (reason && reason != &output.lastError) *reason = why;
    return false;
}

}  // namespace

SoundOutput::~SoundOutput() {
    if (running || thread.joinable()) soundOutputClose(*this);
}

void soundOutputPrepare(SoundOutput& output, RenderCallback callback, void* context) {
    output.device = 0;
    output.audioInitialised = 0;
    output.running = 0;
    output.deviceThreadRaised = 0;
    output.renderCallback = callback;
    output.callbackContext = context;
    output.outputScale.store(32768.0f);
    output.exitRequested.store(0);
    output.lockedRegion1 = nullptr;
    output.lockedBytes1 = 0;
    output.lockedRegion2 = nullptr;
    output.lockedBytes2 = 0;
    output.playCursor = 0;
    output.lastWritePos = 0;
    output.queryCursor = 0;
    output.bytesWritten = static_cast<uint32_t>(outputSilenceBytes);
    output.lastReportedPos = static_cast<uint32_t>(outputSilenceBytes);
    output.waveFormat = streamFormat;
    output.writeMark.store(packWriteMark(output.bytesWritten, output.lastWritePos));
    std::memset(output.floatBuffer, 0, sizeof output.floatBuffer);
    streamBufferReset(output.streamBuffer);
    deviceClockReset(output.deviceClock, 0);
    uint32_t left, right;
    levelPeaksTake(output.peaks, left, right);
    wakeEventReset(output.wakeEvent);
}

bool soundOutputStart(SoundOutput& output, RenderCallback callback, void* context,
                      const char* driver, std::string* reason) {
    // A thread that outlived an earlier close still uses the record.
    if (output.threadRunning.load() != 0) {
        output.lastError = "the previous output thread has not ended";
        if (reason) *reason = output.lastError;
        return false;
    }
    if (output.running) soundOutputClose(output);
    soundOutputPrepare(output, callback, context);
    std::string why;
    if (!openDeviceQuietly(output, driver, why)) return failStart(output, why, reason);
    sdlAudio().pauseAudioDevice(output.device, 0);
    // A thread detached by an earlier close may have signalled its end since.
    while (output.threadEnded.try_acquire()) {
    }
    output.threadRunning.store(1);
    try {
        output.thread = std::thread(outputThreadMain, &output);
    } catch (const std::system_error& error) {
        output.threadRunning.store(0);
        return failStart(output, std::string("output thread: ") + error.what(), reason);
    }
    output.running = 1;
    output.lastError.clear();
    return true;
}

void soundOutputClose(SoundOutput& output) {
    output.exitRequested.fetch_add(1);
    if (output.thread.joinable()) {
        wakeEventSet(output.wakeEvent);
        const bool ended = output.threadEnded.try_acquire_for(
            std::chrono::milliseconds(outputCloseWaitMs));
        // A thread still inside its pass keeps the record's lock, buffers
        // and event: they stay as they are, and the next start refuses to
        // clear them until the thread has ended.
        if (ended) output.thread.join();
        else output.thread.detach();
    }
    if (output.device != 0) {
        sdlAudio().closeAudioDevice(output.device);  // the device callback has returned for good
        output.device = 0;
    }
    if (output.audioInitialised) {
        sdlAudio().quitSubSystem(SDL_INIT_AUDIO);
        output.audioInitialised = 0;
    }
    output.running = 0;
}

void soundOutputSetVolume(SoundOutput& output, float volume) {
    output.outputScale.store(volume * 32768.0f, std::memory_order_relaxed);
}

void soundOutputRefill(SoundOutput& output) {
    output.lockedRegion1 = nullptr;
    output.lockedRegion2 = nullptr;
    output.lockedBytes1 = 0;
    output.lockedBytes2 = 0;
    std::lock_guard<std::mutex> guard(output.outputLock);
    output.playCursor = streamBufferPlayPosition(output.streamBuffer);
    const uint32_t aligned = output.playCursor & ~(outputWriteAlign - 1);
    const uint32_t distance = (aligned - output.lastWritePos) % streamBufferBytes;
    if (distance == 0) return;
    output.bytesWritten += distance;
    const StreamRegions regions = streamBufferLock(output.streamBuffer, output.lastWritePos, distance);
    output.lockedRegion1 = regions.region1;
    output.lockedBytes1 = regions.bytes1;
    output.lockedRegion2 = regions.region2;
    output.lockedBytes2 = regions.bytes2;
    output.lastWritePos = aligned;
    output.writeMark.store(packWriteMark(output.bytesWritten, output.lastWritePos), std::memory_order_release);

    const uint32_t frames = distance / streamFrameBytes;
    if (output.renderCallback) output.renderCallback(output.callbackContext, output.floatBuffer, frames);
    else std::memset(output.floatBuffer, 0, frames * 2 * sizeof(float));

    const float scale = output.outputScale.load(std::memory_order_relaxed);
    const uint32_t floats1 = output.lockedBytes1 / 2;
    if (output.lockedRegion1)
        convertToPcm16(output.floatBuffer, reinterpret_cast<int16_t*>(output.lockedRegion1), floats1, scale);
    if (output.lockedRegion2)
        convertToPcm16(output.floatBuffer + floats1, reinterpret_cast<int16_t*>(output.lockedRegion2),
                       output.lockedBytes2 / 2, scale);
    streamBufferUnlock(output.streamBuffer, regions);
}

int32_t soundOutputPlayedBytes(SoundOutput& output) {
    // The refill's write mark first, then the play position: the position is
    // never older than the mark, as if the query had run just after a pass.
    // No lock, so the query never holds up the output thread.
    const uint64_t mark = output.writeMark.load(std::memory_order_acquire);
    const uint32_t bytesWritten = static_cast<uint32_t>(mark >> 32);
    const uint32_t lastWritePos = static_cast<uint32_t>(mark);
    output.queryCursor = streamBufferPlayPosition(output.streamBuffer);
    const uint32_t sinceWrite = (output.queryCursor - lastWritePos) % streamBufferBytes;
    const uint32_t result = sinceWrite >= queryReach ? output.lastReportedPos : bytesWritten + sinceWrite;
    output.lastReportedPos = result;
    return static_cast<int32_t>(result);
}

void soundOutputWake(SoundOutput& output) { wakeEventSet(output.wakeEvent); }

int32_t soundOutputDeviceBytes(const SoundOutput& output) {
    return static_cast<int32_t>(output.deviceClock.chunkFrames * streamFrameBytes);
}

bool soundOutputRunning(const SoundOutput& output) { return output.running != 0; }

uint32_t soundOutputUnderruns(const SoundOutput& output) {
    return output.streamBuffer.underruns.load(std::memory_order_relaxed) +
           output.deviceClock.gaps.load(std::memory_order_relaxed);
}

bool soundOutputDeviceLost(const SoundOutput& output, std::string& reason) {
    if (!output.running || output.device == 0) return false;
    if (sdlAudio().getAudioDeviceStatus(output.device) == SDL_AUDIO_STOPPED) {
        const char* error = sdlAudio().getError();
        reason = error && *error ? error : "the device was disconnected";
        return true;
    }
    if (deviceClockSilentFor(output.deviceClock, monotonicNs()) > deviceSilentLimitNs) {
        reason = "the device stopped asking for samples";
        return true;
    }
    return false;
}

void soundOutputTakePeaks(SoundOutput& output, uint32_t& left, uint32_t& right) {
    levelPeaksTake(output.peaks, left, right);
}

OutputPort soundOutputPort(SoundOutput& output) {
    OutputPort port;
    port.context = &output;
    port.start = [](void* context, RenderCallback callback, void* callbackContext) {
        SoundOutput& out = *static_cast<SoundOutput*>(context);
        const char* driver = out.portDriver.empty() ? nullptr : out.portDriver.c_str();
        return soundOutputStart(out, callback, callbackContext, driver, nullptr);
    };
    port.close = [](void* context) { soundOutputClose(*static_cast<SoundOutput*>(context)); };
    port.setVolume = [](void* context, float volume) {
        soundOutputSetVolume(*static_cast<SoundOutput*>(context), volume);
    };
    port.playedBytes = [](void* context) {
        return soundOutputPlayedBytes(*static_cast<SoundOutput*>(context));
    };
    port.lock = [](void* context) { static_cast<SoundOutput*>(context)->outputLock.lock(); };
    port.unlock = [](void* context) { static_cast<SoundOutput*>(context)->outputLock.unlock(); };
    return port;
}

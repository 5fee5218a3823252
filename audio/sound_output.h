#pragma once
// Streaming sound output: a looping 65,536-byte buffer of 16-bit stereo at
// 44,100 Hz, refilled by a high-priority output thread from a render callback.
//
// Every pass the thread refills exactly the bytes between its last write
// position and the play position (aligned down to 32 bytes), so each sample
// is written one whole buffer (16,384 frames, about 371.5 ms) before it is
// heard. The device (through SDL) takes bytes from the buffer on its own
// thread without ever waiting for outputLock, and the position query takes
// no lock either: only the refill holds it.
//
// Threading: soundOutputStart, soundOutputClose, soundOutputSetVolume,
// soundOutputPlayedBytes, soundOutputWake and soundOutputDeviceLost are
// called from the window thread; the render callback runs on the output
// thread inside outputLock.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include "audio/device_clock.h"
#include "audio/level_peaks.h"
#include "audio/stream_buffer.h"
#include "audio/wake_event.h"
#include "player/module_player.h"

constexpr uint32_t outputFloatFrames = 16384;  // the largest request is 16,376 frames
constexpr uint32_t outputWriteAlign = 32;      // bytes (8 frames)
constexpr int32_t outputSilenceBytes = -65536; // bytesWritten at start: one buffer of silence plays first
constexpr uint32_t outputWakeMs = 21;
constexpr uint32_t outputCloseWaitMs = 1000;

// The stream format, field by field as a PCM wave format record.
struct WaveFormat {
    uint16_t formatTag;          // 1: PCM
    uint16_t channels;           // 2
    uint32_t samplesPerSecond;   // 44,100
    uint32_t avgBytesPerSecond;  // 176,400
    uint16_t blockAlign;         // 4
    uint16_t bitsPerSample;      // 16
    uint16_t extraSize;          // 0
};

// The one output record.
struct SoundOutput {
    // --- cleared by every start ---
    uint32_t device = 0;           // SDL audio device id, 0 when none is open
    int32_t audioInitialised = 0;  // this start initialised SDL's audio subsystem
    int32_t running = 0;           // the start succeeded and close has not run
    RenderCallback renderCallback = nullptr;
    void* callbackContext = nullptr;
    std::atomic<float> outputScale{0.0f};    // volume x 32768.0
    std::atomic<uint32_t> exitRequested{0};
    uint8_t* lockedRegion1 = nullptr;
    uint32_t lockedBytes1 = 0;
    uint8_t* lockedRegion2 = nullptr;
    uint32_t lockedBytes2 = 0;
    uint32_t playCursor = 0;       // last play position read by the thread
    uint32_t lastWritePos = 0;     // written up to here (a multiple of 32)
    uint32_t queryCursor = 0;      // play position read by the position query
    uint32_t bytesWritten = 0;     // bytes rendered since start - 65,536 (two's complement)
    uint32_t lastReportedPos = 0;  // the position query's previous answer
    // bytesWritten (high half) and lastWritePos as the last pass left them,
    // for the position query, which takes no lock.
    std::atomic<uint64_t> writeMark{0};
    WaveFormat waveFormat{};
    alignas(16) float floatBuffer[outputFloatFrames * 2];
    StreamBuffer streamBuffer;
    LevelPeaks peaks;            // of the bytes the device has taken
    DeviceClock deviceClock;     // silence the device played on its own

    // --- kept across starts ---
    std::thread thread;
    std::atomic<int32_t> threadRunning{0};  // cleared by the thread as its last act
    std::binary_semaphore threadEnded{0};   // released by the thread as it ends
    WakeEvent wakeEvent;
    std::mutex outputLock;
    // What the player's port passes to soundOutputStart (its start has no
    // room for them), and why the latest start failed.
    std::string portDriver;      // empty: SDL's choice (SDL_AUDIODRIVER)
    std::string lastError;

    // Its owner closes it; a record destroyed while running is closed here
    // rather than ending the program with a joinable thread.
    ~SoundOutput();
};

// The output as the module player drives it: start uses output.portDriver
// and leaves a failure's reason in output.lastError.
OutputPort soundOutputPort(SoundOutput& output);

// driver: an SDL audio driver name or null for SDL's choice. On failure,
// reason (when not null) says why, and everything created is released.
bool soundOutputStart(SoundOutput& output, RenderCallback callback, void* context,
                      const char* driver, std::string* reason);
// Ends the thread (waiting at most 1000 ms) and releases the device. Safe
// after a failed start and when never started.
void soundOutputClose(SoundOutput& output);
void soundOutputSetVolume(SoundOutput& output, float volume);
// The index, in the stream of bytes the render callback has produced since
// start, of the byte now being played (negative while the first buffer of
// silence plays). Takes no lock; one thread at a time.
int32_t soundOutputPlayedBytes(SoundOutput& output);
void soundOutputWake(SoundOutput& output);

// Bytes the device takes per request: what it may still hold of the
// stream after taking it.
int32_t soundOutputDeviceBytes(const SoundOutput& output);
// True between a successful start and its close.
bool soundOutputRunning(const SoundOutput& output);
// Places where the device played silence instead of the stream, since
// start: requests the refill had not written in time, and requests the
// device made too late to keep playing.
uint32_t soundOutputUnderruns(const SoundOutput& output);
// True, with the reason, once the running device has been lost (SDL stopped
// it, or it has asked for nothing for 4 s).
bool soundOutputDeviceLost(const SoundOutput& output, std::string& reason);
// Peak magnitudes (0..32768) of what the device took since the last call.
void soundOutputTakePeaks(SoundOutput& output, uint32_t& left, uint32_t& right);

// The record as start leaves it before opening anything: cleared, callback
// stored, the buffer silent, positions at their start values. With
// soundOutputRefill it lets a test script play positions without a device.
void soundOutputPrepare(SoundOutput& output, RenderCallback callback, void* context);
// One refill pass of the output thread (everything after its wait).
void soundOutputRefill(SoundOutput& output);

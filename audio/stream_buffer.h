#pragma once
// The looping stream buffer: 65,536 bytes of 16-bit stereo that the device
// side plays round and round while the output thread refills what was just
// played.
//
// Positions count bytes since start; the play position is the consumed
// count modulo the buffer size. The device never plays a byte the refill has
// not written: when it asks for more than is ready, it gets silence for the
// rest, the request counts as an underrun and the play position holds one
// frame short of the unwritten bytes. Holding (rather than wrapping over the
// write position as a free-running card would) keeps every rendered byte in
// order and keeps the refill distance below one whole buffer, so a late
// refill never mistakes a full lap for no movement.
//
// Threading: streamBufferConsume runs on the device's thread; lock, unlock
// and position reads on the output thread. They meet only through the
// atomic counters, and each side touches bytes the other has released.
#include <atomic>
#include <cstdint>

constexpr uint32_t streamBufferBytes = 65536;   // 16,384 frames, 371.5 ms
constexpr uint32_t streamFrameBytes = 4;        // 16-bit stereo

struct StreamBuffer {
    // Held as 16-bit samples so the conversion may store into it directly;
    // regions and copies address it as bytes.
    alignas(64) int16_t samples[streamBufferBytes / 2];
    std::atomic<uint32_t> consumed;       // bytes handed to the device since start
    std::atomic<uint32_t> written;        // bytes written since start, the first buffer of silence included
    std::atomic<uint32_t> underruns;      // device requests that found unwritten bytes
    std::atomic<uint32_t> underrunBytes;  // silence given in place of unwritten bytes
};

// The one or two pieces of a locked range (the second when it wraps past the
// buffer's end); pointers are null and counts 0 when absent.
struct StreamRegions {
    uint8_t* region1;
    uint32_t bytes1;
    uint8_t* region2;
    uint32_t bytes2;
};

// Fills the buffer with silence, which counts as written; play position 0.
void streamBufferReset(StreamBuffer& buffer);

// The byte offset in the buffer of the next byte the device will take.
uint32_t streamBufferPlayPosition(const StreamBuffer& buffer);

// Moves the play position to an offset within the buffer (scripted tests:
// the device is not running).
void streamBufferSetPlayPosition(StreamBuffer& buffer, uint32_t offset);

// bytes (at most streamBufferBytes) starting at offset (below streamBufferBytes).
StreamRegions streamBufferLock(StreamBuffer& buffer, uint32_t offset, uint32_t bytes);
// Hands the locked bytes to the device side.
void streamBufferUnlock(StreamBuffer& buffer, const StreamRegions& regions);

// Device side: copies the next bytes (a multiple of streamFrameBytes) into
// dest and advances the play position. Never blocks, never allocates.
void streamBufferConsume(StreamBuffer& buffer, uint8_t* dest, uint32_t bytes);

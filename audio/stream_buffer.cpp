#include "audio/stream_buffer.h"
#include <algorithm>
#include <cstring>

namespace {
uint8_t* bytesOf(StreamBuffer& buffer) { return reinterpret_cast<uint8_t*>(buffer.samples); }
}  // namespace

void streamBufferReset(StreamBuffer& buffer) {
    std::memset(buffer.samples, 0, sizeof buffer.samples);
    buffer.consumed.store(0);
    buffer.written.store(streamBufferBytes);
    buffer.underruns.store(0);
    buffer.underrunBytes.store(0);
}

uint32_t streamBufferPlayPosition(const StreamBuffer& buffer) {
    return buffer.consumed.load(std::memory_order_acquire) % streamBufferBytes;
}

void streamBufferSetPlayPosition(StreamBuffer& buffer, uint32_t offset) {
    buffer.consumed.store(offset % streamBufferBytes, std::memory_order_release);
}

StreamRegions streamBufferLock(StreamBuffer& buffer, uint32_t offset, uint32_t bytes) {
    StreamRegions regions{};
    const uint32_t toEnd = streamBufferBytes - offset;
    regions.region1 = bytesOf(buffer) + offset;
    regions.bytes1 = std::min(bytes, toEnd);
    if (bytes > toEnd) {
        regions.region2 = bytesOf(buffer);
        regions.bytes2 = bytes - toEnd;
    }
    return regions;
}

void streamBufferUnlock(StreamBuffer& buffer, const StreamRegions& regions) {
    buffer.written.fetch_add(regions.bytes1 + regions.bytes2, std::memory_order_release);
}

void streamBufferConsume(StreamBuffer& buffer, uint8_t* dest, uint32_t bytes) {
    const uint32_t consumed = buffer.consumed.load(std::memory_order_relaxed);
    const uint32_t written = buffer.written.load(std::memory_order_acquire);
    // One frame stays back, so the play position never catches up with the
    // write position a whole buffer later (that would look like no movement).
    const uint32_t unplayed = written - consumed;
    const uint32_t ready = unplayed > streamFrameBytes ? unplayed - streamFrameBytes : 0;
    const uint32_t take = std::min(bytes, ready);
    const uint32_t start = consumed % streamBufferBytes;
    const uint32_t first = std::min(take, streamBufferBytes - start);
    std::memcpy(dest, bytesOf(buffer) + start, first);
    std::memcpy(dest + first, bytesOf(buffer), take - first);
    if (take < bytes) {
        std::memset(dest + take, 0, bytes - take);
        buffer.underruns.fetch_add(1, std::memory_order_relaxed);
        buffer.underrunBytes.fetch_add(bytes - take, std::memory_order_relaxed);
    }
    buffer.consumed.store(consumed + take, std::memory_order_release);
}

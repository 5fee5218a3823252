#pragma once
// A single-producer, single-consumer queue of MIDI messages without locks
// or allocation: the input thread (a MIDI port's callback or a file
// reader) pushes, the sound output thread takes.
#include <atomic>
#include <cstdint>

// One channel message. frame: the output frame at which it is due (0: as
// soon as the sound output thread sees it).
struct MidiMessage {
    uint64_t frame;
    uint8_t bytes[3];
    uint8_t length;
};

constexpr uint32_t midiQueueSlots = 1024;  // a power of two

struct MidiQueue {
    MidiMessage slots[midiQueueSlots];
    std::atomic<uint32_t> written{0};  // messages pushed, counting on past wraps
    std::atomic<uint32_t> taken{0};
};

// Producer: false when the queue is full (the message is not kept).
inline bool midiQueuePush(MidiQueue& queue, const MidiMessage& message) {
    const uint32_t written = queue.written.load(std::memory_order_relaxed);
    if (written - queue.taken.load(std::memory_order_acquire) >= midiQueueSlots) return false;
    queue.slots[written & (midiQueueSlots - 1)] = message;
    queue.written.store(written + 1, std::memory_order_release);
    return true;
}

// Consumer: the oldest message, or null when the queue is empty.
inline const MidiMessage* midiQueuePeek(const MidiQueue& queue) {
    const uint32_t taken = queue.taken.load(std::memory_order_relaxed);
    if (queue.written.load(std::memory_order_acquire) == taken) return nullptr;
    return &queue.slots[taken & (midiQueueSlots - 1)];
}

// Consumer: drops the message midiQueuePeek returned.
inline void midiQueuePop(MidiQueue& queue) {
    queue.taken.store(queue.taken.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

// Either side: true when nothing waits.
inline bool midiQueueEmpty(const MidiQueue& queue) {
    return queue.written.load(std::memory_order_acquire) == queue.taken.load(std::memory_order_acquire);
}

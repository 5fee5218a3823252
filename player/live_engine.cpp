#include "player/live_engine.h"

namespace {

// Sends count command bytes (the end byte is added).
void send(LiveEngine& engine, uint8_t status, uint8_t first, uint8_t second, uint32_t count) {
    engine.commands[0] = status;
    engine.commands[1] = first;
    engine.commands[2] = second;
    engine.commands[count] = 0xFD;
    synthProcessCommands(*engine.synth, engine.commands);
}

void noteOff(LiveEngine& engine, uint8_t channel, uint8_t key) {
    if (engine.sustain[channel]) {
        if (engine.deferredEnds[channel][key] < 255) ++engine.deferredEnds[channel][key];
        return;
    }
    send(engine, static_cast<uint8_t>(0x80 | channel), key, 0, 3);
}

void noteOn(LiveEngine& engine, uint8_t channel, uint8_t key, uint8_t velocity) {
    // A key struck again ends the note the pedal held, as an import does.
    if (engine.deferredEnds[channel][key]) {
        --engine.deferredEnds[channel][key];
        send(engine, static_cast<uint8_t>(0x80 | channel), key, 0, 3);
    }
    send(engine, static_cast<uint8_t>(0x90 | channel), key, velocity, 3);
}

void releasePedal(LiveEngine& engine, uint8_t channel) {
    engine.sustain[channel] = 0;
    for (uint8_t key = 0; key < 128; ++key) {
        for (; engine.deferredEnds[channel][key]; --engine.deferredEnds[channel][key]) {
            send(engine, static_cast<uint8_t>(0x80 | channel), key, 0, 3);
        }
    }
}

void controller(LiveEngine& engine, uint8_t channel, uint8_t number, uint8_t value) {
    if (number == engine.routing.sustainController && !engine.routing.controllerOf[number]) {
        if (value >= 64) {
            engine.sustain[channel] = 1;
        } else {
            releasePedal(engine, channel);
        }
    } else if (number == 120 || number >= 123) {  // all sound / notes off: the synth's own
        releasePedal(engine, channel);
        send(engine, static_cast<uint8_t>(0xB0 | channel), number, 0, 3);
    } else if (const uint8_t target = engine.routing.controllerOf[number]) {
        engine.controls[channel][target] = value;
        send(engine, static_cast<uint8_t>(0xB0 | channel), target, value, 3);
    }
}

// The synth's program change clears controllers 1..6; the values sent
// before follow it again.
void selectProgram(LiveEngine& engine, uint8_t channel, uint8_t program) {
    if (engine.program[channel] == program) return;
    engine.program[channel] = program;
    send(engine, static_cast<uint8_t>(0xC0 | channel), program, 0, 2);
    for (uint8_t c = 1; c <= 6; ++c) {
        if (engine.controls[channel][c]) send(engine, static_cast<uint8_t>(0xB0 | channel), c, engine.controls[channel][c], 3);
    }
}

void handleDrum(LiveEngine& engine, const uint8_t* message) {
    const uint8_t kind = message[0] & 0xF0, key = message[1] & 127;
    const uint8_t channel = engine.routing.drumChannel[key];
    if (channel == liveUnrouted) return;
    if (kind == 0x90 && message[2]) {
        send(engine, static_cast<uint8_t>(0x90 | channel), engine.routing.drumKey[key], message[2], 3);
    } else if (kind == 0x80 || kind == 0x90) {
        send(engine, static_cast<uint8_t>(0x80 | channel), engine.routing.drumKey[key], 0, 3);
    }
}

void countVoices(LiveEngine& engine) {
    uint8_t counts[16] = {};
    for (int32_t v = 0; v < synthVoiceCount; ++v) {
        const int32_t channel = engine.synth->voiceChannel[v];
        if (channel >= 0 && channel < 16) ++counts[channel];
    }
    for (int32_t c = 0; c < 16; ++c) engine.activeVoices[c].store(counts[c], std::memory_order_relaxed);
}

}  // namespace

void liveEngineStart(LiveEngine& engine, Synth* synth, const LiveRouting& routing) {
    engine.synth = synth;
    engine.routing = routing;
    engine.frame = 0;
    for (uint8_t c = 0; c < 16; ++c) {
        engine.program[c] = 0;  // as the synth starts
        for (uint8_t n = 0; n < 8; ++n) engine.controls[c][n] = n == 7 ? 127 : 0;
        engine.sustain[c] = 0;
        for (uint8_t& count : engine.deferredEnds[c]) count = 0;
        engine.activeVoices[c].store(0);
        if (routing.startProgram[c]) selectProgram(engine, c, routing.startProgram[c]);
    }
    engine.handled.store(0);
}

void liveEngineHandle(LiveEngine& engine, const uint8_t* message) {
    const uint8_t kind = message[0] & 0xF0, midiChannel = message[0] & 15;
    if (midiChannel == engine.routing.percussionChannel) return handleDrum(engine, message);
    const uint8_t channel = engine.routing.channelOf[midiChannel];
    if (channel == liveUnrouted) return;
    const uint8_t first = message[1] & 127, second = message[2] & 127;
    switch (kind) {
        case 0x90:
            if (second) return noteOn(engine, channel, first, second);
            [[fallthrough]];
        case 0x80: return noteOff(engine, channel, first);
        case 0xB0: return controller(engine, channel, first, second);
        case 0xC0: return selectProgram(engine, channel, engine.routing.programOf[first]);
        case 0xE0: return send(engine, static_cast<uint8_t>(0xE0 | channel), first, second, 3);
        default: return;  // pressure: the synth ignores it
    }
}

void liveEngineRender(LiveEngine& engine, float* out, uint32_t frames) {
    uint32_t done = 0;
    while (done < frames) {
        const uint64_t now = engine.frame + done;
        const MidiMessage* message = midiQueuePeek(engine.queue);
        while (message && message->frame <= now) {
            liveEngineHandle(engine, message->bytes);
            midiQueuePop(engine.queue);
            engine.handled.fetch_add(1, std::memory_order_relaxed);
            message = midiQueuePeek(engine.queue);
        }
        uint32_t count = frames - done;
        if (message && message->frame - now < count) count = static_cast<uint32_t>(message->frame - now);
        synthRender(*engine.synth, out + 2 * done, count, nullptr, 0);
        done += count;
    }
    engine.frame += frames;
    countVoices(engine);
}

#include "cli/midi_port.h"
#include <atomic>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <memory>
#include <rtmidi/RtMidi.h>
#include "player/midi_parser.h"

struct MidiPort {
    std::unique_ptr<RtMidiIn> input;
    MidiQueue* queue = nullptr;
    MidiParser parser;
    std::string name;
    std::string error;  // the last error RtMidi reported
    std::atomic<uint32_t> dropped{0};
};

namespace {

constexpr const char* virtualPortName = "Wembrastel";
constexpr const char* sequencerDevice = "/dev/snd/seq";

// RtMidi's thread: every byte through the parser, since one callback may
// carry several messages or real-time bytes.
void onMessage(double, std::vector<unsigned char>* bytes, void* user) {
    MidiPort& port = *static_cast<MidiPort*>(user);
    MidiMessage message{};
    for (unsigned char byte : *bytes) {
        if (midiParserFeed(port.parser, byte, message.bytes, message.length) &&
            !midiQueuePush(*port.queue, message)) {
            port.dropped.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

// Keeps RtMidi's reports for our message instead of its own printing.
void onError(RtMidiError::Type, const std::string& text, void* user) {
    static_cast<MidiPort*>(user)->error = text;
}

bool openPort(MidiPort& port, const std::string& nameContains, std::string& reason) {
    // Asked first, so that neither ALSA nor RtMidi prints its own complaint.
    if (access(sequencerDevice, R_OK | W_OK) != 0) {
        reason = std::string("the ALSA sequencer ") + sequencerDevice + " cannot be opened: " + std::strerror(errno);
        return false;
    }
    port.input = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, "Wembrastel");
    port.input->setErrorCallback(onError, &port);
    if (!port.error.empty()) {
        reason = port.error;
        return false;
    }
    if (nameContains.empty()) {
        port.input->openVirtualPort(virtualPortName);
        port.name = std::string("virtual input \"") + virtualPortName + "\"";
    } else {
        const unsigned count = port.input->getPortCount();
        unsigned chosen = count;
        for (unsigned i = 0; i < count && chosen == count; ++i) {
            if (port.input->getPortName(i).find(nameContains) != std::string::npos) chosen = i;
        }
        if (chosen == count) {
            reason = "no MIDI input port named like \"" + nameContains + "\" (" + std::to_string(count) + " ports)";
            return false;
        }
        port.name = port.input->getPortName(chosen);
        port.input->openPort(chosen, "Wembrastel input");
    }
    if (!port.error.empty()) {
        reason = port.error;
        return false;
    }
    port.input->ignoreTypes(true, true, true);
    port.input->setCallback(onMessage, &port);
    return true;
}

}  // namespace

MidiPort* midiPortOpen(const std::string& nameContains, MidiQueue& queue, std::string& reason) {
    auto port = std::make_unique<MidiPort>();
    port->queue = &queue;
    try {
        if (!openPort(*port, nameContains, reason)) return nullptr;
    } catch (const RtMidiError& e) {
        reason = e.getMessage();
        return nullptr;
    }
    return port.release();
}

std::string midiPortName(const MidiPort* port) { return port->name; }

uint32_t midiPortDropped(const MidiPort* port) { return port->dropped.load(); }

void midiPortClose(MidiPort* port) { delete port; }

// Any bytes as MIDI input to q7m live: through the byte parser and the live
// engine into a synthesizer with the default patch library, rendering a
// little between messages. Patches come from songs/patches (the working
// directory is the repository).
#include <cstdlib>
#include <memory>
#include "player/live_engine.h"
#include "player/midi_parser.h"
#include "player/module.h"
#include "song/live_bank.h"

namespace {

struct LiveRig {
    LiveBank bank;
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::unique_ptr<LiveEngine> engine = std::make_unique<LiveEngine>();
    const char* texts[speechTableSlots];
    float out[2 * 256];

    LiveRig() {
        std::string error;
        if (!buildLiveBank(defaultMidiMapping("songs/patches"), bank, error)) std::abort();
        std::fill(std::begin(texts), std::end(texts), defaultSpeechText);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LiveRig rig;
    synthSetSeed(*rig.synth, 1);
    synthInit(*rig.synth, rig.bank.patchBlock.data(), static_cast<uint32_t>(rig.bank.patchBlock.size()), 44100);
    synthSetGlobals(*rig.synth, rig.bank.globals.data());
    synthSetSpeechTexts(*rig.synth, rig.texts);
    liveEngineStart(*rig.engine, rig.synth.get(), rig.bank.routing);
    MidiParser parser;
    uint32_t messages = 0;
    for (size_t i = 0; i < size; ++i) {
        uint8_t message[3];
        uint8_t length = 0;
        if (!midiParserFeed(parser, data[i], message, length)) continue;
        liveEngineHandle(*rig.engine, message);
        if (++messages % 16 == 0) liveEngineRender(*rig.engine, rig.out, 64);
    }
    liveEngineRender(*rig.engine, rig.out, 256);
    return 0;
}

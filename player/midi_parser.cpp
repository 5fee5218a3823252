#include "player/midi_parser.h"

uint8_t midiDataBytes(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

bool midiParserFeed(MidiParser& parser, uint8_t byte, uint8_t message[3], uint8_t& length) {
    if (byte >= 0xF8) return false;  // real time: may stand anywhere, changes nothing
    if (byte >= 0x80) {
        parser.count = 0;
        parser.inSysEx = byte == 0xF0;
        // System common messages cancel the running status; their data is skipped.
        parser.status = byte < 0xF0 ? byte : 0;
        return false;
    }
    if (parser.inSysEx || !parser.status) return false;
    parser.data[parser.count++] = byte;
    if (parser.count < midiDataBytes(parser.status)) return false;
    message[0] = parser.status;
    message[1] = parser.data[0];
    message[2] = parser.count > 1 ? parser.data[1] : 0;
    length = static_cast<uint8_t>(parser.count + 1);
    parser.count = 0;
    return true;
}

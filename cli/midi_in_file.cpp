#include "cli/midi_in_file.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace {

constexpr double maxSeconds = 86400.0;

void feed(MidiParser& parser, uint8_t byte, uint32_t frame, std::vector<TimedMidiMessage>& messages) {
    uint8_t bytes[3] = {0, 0, 0};
    uint8_t length = 0;
    if (midiParserFeed(parser, byte, bytes, length)) messages.push_back({frame, {bytes[0], bytes[1], bytes[2]}});
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// One text line: "[SECONDS:] HH HH ...", read in place (a line may be long).
bool parseLine(std::string_view rest, MidiParser& parser, std::vector<TimedMidiMessage>& messages,
               std::string& reason) {
    uint32_t frame = 0;
    const size_t colon = rest.find(':');
    if (colon != std::string_view::npos) {
        char* end = nullptr;
        const std::string time(rest.substr(0, colon));
        const double seconds = std::strtod(time.c_str(), &end);
        if (end == time.c_str() || !(seconds >= 0 && seconds <= maxSeconds)) {
            reason = "\"" + time + "\" is not a time in seconds (0 to 86400)";
            return false;
        }
        // Frame 0 means "at once", so a time of 0 is the first frame too.
        frame = static_cast<uint32_t>(std::llround(seconds * 44100.0));
        rest.remove_prefix(colon + 1);
    }
    while (true) {
        while (!rest.empty() && isSpace(rest.front())) rest.remove_prefix(1);
        if (rest.empty()) return true;
        size_t length = 0;
        while (length < rest.size() && !isSpace(rest[length])) ++length;
        const std::string word(rest.substr(0, length));
        rest.remove_prefix(length);
        char* end = nullptr;
        const long value = std::strtol(word.c_str(), &end, 16);
        if (*end != '\0' || value < 0 || value > 255 || word.size() > 2) {
            reason = "\"" + word + "\" is not a hexadecimal byte";
            return false;
        }
        feed(parser, static_cast<uint8_t>(value), frame, messages);
    }
}

bool parseText(const std::vector<uint8_t>& bytes, std::vector<TimedMidiMessage>& messages, std::string& reason) {
    // A message takes at least two characters (a digit and a space): reserved
    // at that bound, the list never grows by copying (pages never written
    // are never resident).
    messages.reserve(bytes.size() / 2 + 1);
    MidiParser parser;
    size_t start = 0;
    for (int32_t number = 1; start < bytes.size(); ++number) {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const size_t newline = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, newline - start);
        start = newline + 1;
        line = line.substr(0, line.find('#'));
        if (!parseLine(line, parser, messages, reason)) {
            reason = "line " + std::to_string(number) + ": " + reason;
            return false;
        }
    }
    return true;
}

}  // namespace

bool parseMidiInput(std::vector<uint8_t> bytes, MidiInput& input, std::string& reason) {
    input = MidiInput{};
    if (std::any_of(bytes.begin(), bytes.end(), [](uint8_t byte) { return byte >= 0x80; })) {
        input.raw = std::move(bytes);
        return true;
    }
    if (!parseText(bytes, input.timed, reason)) return false;
    bytes = std::vector<uint8_t>();
    const auto byFrame = [](const TimedMidiMessage& a, const TimedMidiMessage& b) { return a.frame < b.frame; };
    if (!std::is_sorted(input.timed.begin(), input.timed.end(), byFrame)) {
        std::stable_sort(input.timed.begin(), input.timed.end(), byFrame);
    }
    return true;
}

bool midiInputNext(MidiInput& input, MidiMessage& message) {
    while (input.position < input.raw.size()) {
        message.frame = 0;
        if (midiParserFeed(input.parser, input.raw[input.position++], message.bytes, message.length)) return true;
    }
    if (input.next == input.timed.size()) return false;
    const TimedMidiMessage& timed = input.timed[input.next++];
    message.frame = timed.frame;
    std::copy(timed.bytes, timed.bytes + 3, message.bytes);
    message.length = static_cast<uint8_t>(1 + midiDataBytes(timed.bytes[0]));
    return true;
}

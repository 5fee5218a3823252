#include "cli/midi_in_file.h"
#include <cmath>
#include <cstdlib>
#include <sstream>
#include "player/midi_parser.h"

namespace {

constexpr double maxSeconds = 86400.0;

void feed(MidiParser& parser, uint8_t byte, uint64_t frame, std::vector<MidiMessage>& messages) {
    MidiMessage message{frame, {0, 0, 0}, 0};
    if (midiParserFeed(parser, byte, message.bytes, message.length)) messages.push_back(message);
}

// One text line: "[SECONDS:] HH HH ...".
bool parseLine(const std::string& line, MidiParser& parser, std::vector<MidiMessage>& messages,
               std::string& reason) {
    std::string rest = line;
    uint64_t frame = 0;
    const size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        char* end = nullptr;
        const std::string time = rest.substr(0, colon);
        const double seconds = std::strtod(time.c_str(), &end);
        if (end == time.c_str() || !(seconds >= 0 && seconds <= maxSeconds)) {
            reason = "\"" + time + "\" is not a time in seconds (0 to 86400)";
            return false;
        }
        // Frame 0 means "at once", so a time of 0 is the first frame too.
        frame = static_cast<uint64_t>(std::llround(seconds * 44100.0));
        rest = rest.substr(colon + 1);
    }
    std::istringstream words(rest);
    std::string word;
    while (words >> word) {
        char* end = nullptr;
        const long value = std::strtol(word.c_str(), &end, 16);
        if (*end != '\0' || value < 0 || value > 255 || word.size() > 2) {
            reason = "\"" + word + "\" is not a hexadecimal byte";
            return false;
        }
        feed(parser, static_cast<uint8_t>(value), frame, messages);
    }
    return true;
}

}  // namespace

bool parseMidiInput(const std::vector<uint8_t>& bytes, std::vector<MidiMessage>& messages, std::string& reason) {
    MidiParser parser;
    bool text = true;
    for (uint8_t byte : bytes) text = text && byte < 0x80;
    if (!text) {
        for (uint8_t byte : bytes) feed(parser, byte, 0, messages);
        return true;
    }
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    std::string line;
    for (int32_t number = 1; std::getline(lines, line); ++number) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        if (!parseLine(line, parser, messages, reason)) {
            reason = "line " + std::to_string(number) + ": " + reason;
            return false;
        }
    }
    return true;
}

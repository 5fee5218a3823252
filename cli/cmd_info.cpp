// q7m info: what a module holds (time base, tempo, streams, programs, speech
// texts) and how long it plays.
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/file_io.h"
#include "player/module.h"
#include "player/module_facts.h"
#include "player/song_length.h"

namespace {

struct InfoOptions {
    std::string input;
    bool json = false;
};

struct ModuleFacts {
    std::string file;
    size_t fileSize = 0;
    std::unique_ptr<ModuleView> view = std::make_unique<ModuleView>();
    SongLength length{};
};

void fail(int status, const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "q7m: %s: %s\n", file.c_str(), reason.c_str());
    q7mExitStatus = status;
}

// The programs (0..127) a channel's program changes select, ascending.
std::set<int> programsOf(const ChannelStreams& streams) {
    bool selected[128];
    moduleChannelPrograms(streams, selected);
    std::set<int> programs;
    for (int p = 0; p < 128; ++p)
        if (selected[p]) programs.insert(p);
    return programs;
}

double seconds(const SongLength& length) { return double(length.frames) / songSampleRate; }

std::string printable(const char* text) {
    std::string out;
    for (const char* p = text; *p != 0; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string joined(const std::set<int>& values) {
    std::string out;
    for (int v : values) out += (out.empty() ? "" : ", ") + std::to_string(v);
    return out.empty() ? "none" : out;
}

void printText(const ModuleFacts& facts) {
    const ModuleView& view = *facts.view;
    std::printf("file: %s (%zu bytes)\n", facts.file.c_str(), facts.fileSize);
    std::printf("time base: %u ticks per beat\n", view.timeDivision);
    if (view.globalEventCount == 0) {
        std::printf("tempo events: 0 (the default 120 BPM throughout)\n");
    } else {
        const uint32_t tempo = moduleFirstTempo(view);
        if (tempo == 0)
            std::printf("tempo events: %u, first 0 us per beat\n", view.globalEventCount);
        else
            std::printf("tempo events: %u, first %.3f BPM (%u us per beat)\n", view.globalEventCount,
                        60000000.0 / tempo, tempo);
    }
    const SongLength& length = facts.length;
    std::printf("length: %u ticks (tick %u to %u), %llu frames, %.3f s at %u Hz\n",
                length.lastTick - length.firstTick, length.firstTick, length.lastTick,
                static_cast<unsigned long long>(length.frames), seconds(length), songSampleRate);
    std::set<int> needed{0};
    int playing = 0;
    for (int n = 0; n < 16; ++n) {
        const ChannelStreams& s = view.channels[n];
        if (s.noteCount == 0) continue;
        ++playing;
        const std::set<int> programs = programsOf(s);
        needed.insert(programs.begin(), programs.end());
        std::printf("channel %d: %u notes, %u program changes, %u pitch bends, controllers 1-7:", n + 1,
                    s.noteCount, s.programCount, s.bendCount);
        for (uint32_t count : s.controllerCount) std::printf(" %u", count);
        std::printf("; programs selected: %s\n", joined(programs).c_str());
    }
    if (playing == 0) std::printf("channels: none has notes\n");
    std::printf("patches needed: %s (patch block %u bytes)\n", joined(needed).c_str(),
                view.patchBlockSize);
    std::printf("global parameters: %u bytes\n", view.globalParamSize);
    std::printf("speech texts: %u\n", view.speechTextCount);
    for (uint32_t i = 0; i < view.speechTextCount; ++i)
        std::printf("  %u: \"%s\"\n", i, printable(view.speechTexts[i]).c_str());
}

void printJson(const ModuleFacts& facts) {
    const ModuleView& view = *facts.view;
    using json = nlohmann::ordered_json;   // keys in the order written
    json out;
    out["file"] = facts.file;
    out["fileBytes"] = facts.fileSize;
    out["ticksPerBeat"] = view.timeDivision;
    out["tempoEvents"] = view.globalEventCount;
    if (view.globalEventCount == 0) {
        out["firstTempo"] = nullptr;
    } else {
        const uint32_t tempo = moduleFirstTempo(view);
        out["firstTempo"] = {{"microsPerBeat", tempo},
                             {"bpm", tempo == 0 ? json(nullptr) : json(60000000.0 / tempo)}};
    }
    const SongLength& length = facts.length;
    out["length"] = {{"ticks", length.lastTick - length.firstTick},
                     {"firstTick", length.firstTick},
                     {"lastTick", length.lastTick},
                     {"frames", length.frames},
                     {"seconds", seconds(length)},
                     {"sampleRate", songSampleRate}};
    json channels = json::array();
    for (int n = 0; n < 16; ++n) {
        const ChannelStreams& s = view.channels[n];
        const bool has = s.noteCount != 0;
        json controllers = json::array();
        for (uint32_t count : s.controllerCount) controllers.push_back(has ? count : 0);
        channels.push_back({{"channel", n + 1},
                            {"notes", s.noteCount},
                            {"programChanges", has ? s.programCount : 0},
                            {"pitchBends", has ? s.bendCount : 0},
                            {"controllers", controllers},
                            {"programs", has ? json(programsOf(s)) : json::array()}});
    }
    out["channels"] = channels;
    out["patchBlockBytes"] = view.patchBlockSize;
    out["globalParamBytes"] = view.globalParamSize;
    json texts = json::array();
    for (uint32_t i = 0; i < view.speechTextCount; ++i) texts.push_back(view.speechTexts[i]);
    out["speechTexts"] = texts;
    const std::string text = out.dump(2, ' ', false, json::error_handler_t::replace);
    std::printf("%s\n", text.c_str());
}

void runInfo(const InfoOptions& options) {
    q7mExitStatus = 0;
    ModuleFacts facts;
    facts.file = options.input;
    std::vector<uint8_t> image;
    std::string reason;
    if (!readWholeFile(options.input, image, reason)) {
        fail(1, options.input, reason);
        return;
    }
    facts.fileSize = image.size();
    if (!parseModule(image.data(), uint32_t(image.size()), *facts.view, reason)) {
        fail(2, options.input, notAModule(image, reason));
        return;
    }
    facts.length = measureSongLength(*facts.view);
    if (options.json)
        printJson(facts);
    else
        printText(facts);
}

}  // namespace

void addInfoCommand(CLI::App& app) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* info = app.add_subcommand("info", "Show what a module holds and how long it plays");
    info->add_option("module", options->input, "The .q7m module to inspect")->required();
    info->add_flag("--json", options->json, "Print the facts as one JSON object");
    info->callback([options] { runInfo(*options); });
}

#include "song/live_bank.h"
#include <algorithm>
#include "song/midi_import.h"
#include "song/song.h"

namespace {

// The module program of a patch, given a program to it on first use.
uint8_t programOf(const PatchChoice& patch, std::vector<PatchChoice>& order) {
    for (size_t p = 0; p < order.size(); ++p) {
        if (order[p].file == patch.file) return static_cast<uint8_t>(p);
    }
    if (order.size() == 128) throw std::runtime_error("the mapping names more than 128 patch files");
    order.push_back(patch);
    return static_cast<uint8_t>(order.size() - 1);
}

void route(const MidiMapping& mapping, LiveRouting& routing, std::vector<PatchChoice>& order) {
    routing.percussionChannel = midiPercussionChannel;
    routing.sustainController = midiSustainController;
    std::copy(mapping.controllers.begin(), mapping.controllers.end(), routing.controllerOf);
    for (int32_t p = 0; p < 128; ++p) routing.programOf[p] = programOf(mapping.programs[p], order);
    for (uint8_t c = 0; c < 16; ++c) {
        routing.channelOf[c] = c;
        routing.startProgram[c] = routing.programOf[0];
    }
    std::vector<std::filesystem::path> groups;  // drum patches in key order
    for (int32_t key = 0; key < 128; ++key) {
        const DrumChoice& drum = mapping.drums[key];
        auto found = std::find(groups.begin(), groups.end(), drum.patch.file);
        if (found == groups.end()) {
            groups.push_back(drum.patch.file);
            found = groups.end() - 1;
        }
        const int32_t group = static_cast<int32_t>(found - groups.begin());
        // Groups that find no channel above the percussion channel share it.
        const int32_t channel = group == 0 || speechChannel - group <= midiPercussionChannel
                                    ? midiPercussionChannel
                                    : speechChannel - group;
        routing.drumChannel[key] = static_cast<uint8_t>(channel);
        routing.drumKey[key] = drum.key;
        if (channel != midiPercussionChannel || group == 0) {
            routing.startProgram[channel] = programOf(drum.patch, order);
        }
    }
    const int32_t below = speechChannel - static_cast<int32_t>(groups.size());
    routing.channelOf[speechChannel] = below > midiPercussionChannel ? static_cast<uint8_t>(below) : liveUnrouted;
}

void build(const MidiMapping& mapping, LiveBank& bank) {
    std::vector<PatchChoice> order;
    bank.routing = LiveRouting{};
    route(mapping, bank.routing, order);
    nlohmann::json song = nlohmann::json::object();
    for (size_t p = 0; p < order.size(); ++p) {
        const std::string name = std::string("p").append(std::to_string(p));
        song["patches"][name] = nlohmann::json::parse(readPatchFile(order[p]).dump());
        song["programs"][std::to_string(p)] = name;
    }
    ModuleSource module;
    std::string error;
    if (!compileSong(song, ".", module, error)) throw std::runtime_error(error);
    bank.patchBlock = module.patchBlock;
    bank.globals = module.globalParams;
}

}  // namespace

bool buildLiveBank(const MidiMapping& mapping, LiveBank& bank, std::string& error) {
    try {
        build(mapping, bank);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
    }
    return false;
}

#pragma once
// Building, parsing and stepping modules in the player's tests.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "player/module.h"
#include "player/module_player.h"
#include "player/module_writer.h"
#include "player/sequencer.h"

// A source the parse accepts: 22 global bytes and patches for programs
// 0..patchCount-1.
inline ModuleSource playableSource(int patchCount = 1) {
    ModuleSource source;
    source.globalParams.assign(22, 64);
    source.patchBlock = buildPatchBank(std::vector<PatchRecord>(size_t(patchCount)));
    return source;
}

inline std::vector<uint8_t> mustWrite(const ModuleSource& source) {
    std::vector<uint8_t> image;
    std::string reason;
    EXPECT_TRUE(writeModule(source, image, reason)) << reason;
    return image;
}

// The parse's reason for refusing image (empty when it accepts it).
inline std::string parseFailure(const std::vector<uint8_t>& image) {
    auto view = std::make_unique<ModuleView>();
    std::string reason;
    if (parseModule(image.data(), uint32_t(image.size()), *view, reason)) return "";
    return reason.empty() ? "refused without a reason" : reason;
}

inline void putWordAt(std::vector<uint8_t>& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + size_t(i)] = uint8_t(value >> (8 * i));
}

// A parsed, reset and playing module without a synthesizer.
struct OpenModule {
    std::vector<uint8_t> image;
    std::unique_ptr<ModulePlayer> player = std::make_unique<ModulePlayer>();

    explicit OpenModule(std::vector<uint8_t> bytes) : image(std::move(bytes)) {
        std::string reason;
        EXPECT_TRUE(parseModule(image.data(), uint32_t(image.size()), player->view, reason)) << reason;
        player->synth = nullptr;
        sequencerReset(*player);
        player->playing = 1;
    }
    explicit OpenModule(const ModuleSource& source) : OpenModule(mustWrite(source)) {}

    // One step's command buffer, end byte included.
    std::vector<uint8_t> step() {
        sequencerStep(*player);
        std::vector<uint8_t> commands;
        for (int32_t i = 0; i < commandBufferSize; ++i) {
            commands.push_back(player->commandBuffer[i]);
            if (player->commandBuffer[i] == 0xFD) break;
        }
        return commands;
    }
};

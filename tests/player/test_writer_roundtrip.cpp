// Random songs written, parsed and stepped give back exactly their events.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "module_test_support.h"

namespace {

struct Song {
    std::mt19937 rng;
    explicit Song(uint32_t seed) : rng(seed) {}

    uint32_t below(uint32_t n) { return uint32_t(rng() % n); }

    // Nondecreasing ticks: many repeats, mostly short gaps, a few near the 24-bit limit.
    std::vector<uint32_t> ticks(size_t count) {
        std::vector<uint32_t> out;
        uint32_t tick = below(3) == 0 ? 0 : below(2000);
        for (size_t i = 0; i < count; ++i) {
            if (i > 0) {
                uint32_t kind = below(10);
                tick += kind < 3 ? 0 : kind < 9 ? below(500) : 0xFFFFFFu - below(3);
            }
            out.push_back(tick);
        }
        return out;
    }

    ModuleSource make(bool crowded) {
        ModuleSource source = playableSource(128);
        const uint32_t divisions[] = {1, 96, 480, 429496};
        source.timeDivision = divisions[below(4)];
        source.reserved = uint32_t(rng());
        for (uint32_t t : ticks(below(6)))
            source.tempos.push_back({t, 1 + below(9739154), uint8_t(below(256)), uint8_t(below(256)),
                                     uint8_t(below(256))});
        for (ChannelEvents& ch : source.channels) {
            if (below(10) < 3) continue;   // a channel without notes has no other streams
            for (uint32_t t : ticks(1 + below(40)))
                ch.notes.push_back({t, uint8_t(below(128)), uint8_t(below(128))});
            for (uint32_t t : ticks(below(6))) ch.programs.push_back({t, uint8_t(below(128))});
            for (uint32_t t : ticks(below(6)))
                ch.bends.push_back({t, uint8_t(below(128)), uint8_t(below(128))});
            for (auto& controller : ch.controllers)
                for (uint32_t t : ticks(below(4))) controller.push_back({t, uint8_t(below(128))});
        }
        if (crowded) addCrowdedTick(source);
        for (uint32_t i = 0, n = below(5); i < n; ++i)
            source.speechTexts.push_back(std::string(below(20), char('a' + below(26))));
        for (uint8_t& byte : source.globalParams) byte = uint8_t(below(128));
        return source;
    }

    // Every channel gets hundreds of notes and some other events at one tick
    // after all others, so buffers fill up at every kind of event.
    void addCrowdedTick(ModuleSource& source) {
        uint32_t tick = 0;
        for (const ChannelEvents& ch : source.channels)
            if (!ch.notes.empty()) tick = std::max(tick, ch.notes.back().tick);
        tick += 10;
        for (ChannelEvents& ch : source.channels) {
            uint32_t last = ch.notes.empty() ? 0 : ch.notes.back().tick;
            while (tick - last > 0xFFFFFFu) {   // bridge gaps a delta cannot span
                last += 0xFFFFFFu;
                ch.notes.push_back({last, 1, 0});
            }
            for (uint32_t i = 0, n = 100 + below(400); i < n; ++i)
                ch.notes.push_back({tick, uint8_t(below(128)), uint8_t(below(128))});
            if (!ch.programs.empty() && tick - ch.programs.back().tick <= 0xFFFFFFu)
                ch.programs.push_back({tick, uint8_t(below(128))});
            if (!ch.bends.empty() && tick - ch.bends.back().tick <= 0xFFFFFFu)
                ch.bends.push_back({tick, 1, 2});
            auto& controller = ch.controllers[below(7)];
            if (!controller.empty() && tick - controller.back().tick <= 0xFFFFFFu)
                controller.push_back({tick, 3});
        }
    }
};

// Events decoded from the command buffers, per stream, with the tick of their step.
struct Heard {
    std::array<ChannelEvents, 16> channels;
    std::vector<TempoEvent> tempos;
    int steps = 0;
    int fullBuffers = 0;   // ended early: the next command did not fit
};

// Data bytes below 0x80 in these songs, so a byte with the top bit is a status.
void decode(const uint8_t* commands, uint32_t tick, Heard& heard) {
    uint8_t status = 0;
    size_t i = 0;
    while (commands[i] != 0xFD) {
        if (commands[i] & 0x80) status = commands[i++];
        ChannelEvents& ch = heard.channels[status & 0x0F];
        switch (status & 0xF0) {
            case 0x90: ch.notes.push_back({tick, commands[i], commands[i + 1]}); i += 2; break;
            case 0xC0: ch.programs.push_back({tick, commands[i]}); i += 1; break;
            case 0xE0: ch.bends.push_back({tick, commands[i], commands[i + 1]}); i += 2; break;
            case 0xB0:
                ASSERT_GE(commands[i], 1);
                ASSERT_LE(commands[i], 7);
                ch.controllers[commands[i] - 1].push_back({tick, commands[i + 1]});
                i += 2;
                break;
            default: FAIL() << "status " << int(status);
        }
    }
}

Heard play(OpenModule& song) {
    Heard heard;
    ModulePlayer& p = *song.player;
    while (p.playing != 0 && heard.steps < 100000) {
        const uint32_t globalIndex = p.globalIndex;
        sequencerStep(p);
        ++heard.steps;
        const void* end = std::memchr(p.commandBuffer, 0xFD, commandBufferSize);
        EXPECT_NE(end, nullptr);
        if (end == nullptr) break;
        decode(p.commandBuffer, p.currentTick, heard);
        if (static_cast<const uint8_t*>(end) - p.commandBuffer > commandBufferSize - 5) ++heard.fullBuffers;
        if (p.globalIndex != globalIndex)
            heard.tempos.push_back({p.currentTick, p.tempoScaled / 441, uint8_t(p.numerator),
                                    uint8_t(p.denominator), uint8_t(p.thirdByte)});
    }
    return heard;
}

template <typename Event, typename Fields>
void expectSameStream(const std::vector<Event>& wrote, const std::vector<Event>& heard, Fields fields,
                      const std::string& what) {
    ASSERT_EQ(wrote.size(), heard.size()) << what;
    for (size_t i = 0; i < wrote.size(); ++i) {
        ASSERT_EQ(wrote[i].tick, heard[i].tick) << what << " event " << i;
        ASSERT_EQ(fields(wrote[i]), fields(heard[i])) << what << " event " << i;
    }
}

}  // namespace

TEST(WriterRoundTrip, RandomSongsComeBackEventForEvent) {
    Song random(20261206);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("song " + std::to_string(round));
        ModuleSource source = random.make(round % 4 == 3);
        OpenModule song(source);
        const ModuleView& view = song.player->view;
        ASSERT_EQ(view.timeDivision, source.timeDivision);
        ASSERT_EQ(view.reserved, source.reserved);
        ASSERT_EQ(std::vector<uint8_t>(view.globalParams, view.globalParams + view.globalParamSize),
                  source.globalParams);
        ASSERT_EQ(std::vector<uint8_t>(view.patchBlock, view.patchBlock + view.patchBlockSize),
                  source.patchBlock);
        ASSERT_EQ(view.speechTextCount, source.speechTexts.size());
        for (size_t i = 0; i < source.speechTexts.size(); ++i)
            ASSERT_EQ(view.speechTexts[i], source.speechTexts[i]);

        Heard heard = play(song);
        ASSERT_EQ(song.player->playing, 0u) << "the song did not end";
        if (round % 4 == 3) {
            EXPECT_GT(heard.fullBuffers, 0);
        }
        auto tempoFields = [](const TempoEvent& e) {
            return std::tuple(e.microsPerBeat, e.numerator, e.denominator, e.third);
        };
        expectSameStream(source.tempos, heard.tempos, tempoFields, "tempos");
        for (int n = 0; n < 16; ++n) {
            const ChannelEvents& wrote = source.channels[n];
            const ChannelEvents& got = heard.channels[n];
            const std::string ch = "channel " + std::to_string(n);
            expectSameStream(wrote.notes, got.notes, [](const NoteEvent& e) { return std::pair(e.key, e.velocity); },
                             ch + " notes");
            expectSameStream(wrote.programs, got.programs, [](const ProgramEvent& e) { return e.program; },
                             ch + " programs");
            expectSameStream(wrote.bends, got.bends, [](const BendEvent& e) { return std::pair(e.low, e.high); },
                             ch + " bends");
            for (int c = 0; c < 7; ++c)
                expectSameStream(wrote.controllers[c], got.controllers[c],
                                 [](const ControllerEvent& e) { return e.value; },
                                 ch + " controller " + std::to_string(c + 1));
        }
    }
}

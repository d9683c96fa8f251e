// Thousands of damaged modules: every one must be refused or loaded and
// played without a fault (this test earns its keep under the sanitizers).

#include "music/mixer.h"
#include "music/render.h"
#include "music/xmloader.h"
#include "tests/music/fixtures.h"

#include <gtest/gtest.h>

#include <random>

using namespace music::test;

namespace {

// A valid module whose cells are random notes, instruments, volume bytes and
// effects of every kind, with envelopes, loops and auto-vibrato.
songgen::Song randomSong(std::mt19937& rng) {
    songgen::Song song = basicSong(4, 3, 2, 250);
    song.orders = {0, 1, 2, 1};
    std::uniform_int_distribution<int> byte(0, 255);
    for (int p = 0; p < 3; ++p) {
        song.patterns[static_cast<std::size_t>(p)].rows = 16;
        for (int r = 0; r < 16; ++r) {
            for (int c = 0; c < 4; ++c) {
                // A braced list runs its draws in order: note, instrument, volume, effect, parameter.
                cell(song, p, r, c) = {static_cast<std::uint8_t>(byte(rng) % 100),
                                       static_cast<std::uint8_t>(byte(rng) % 4), static_cast<std::uint8_t>(byte(rng)),
                                       static_cast<std::uint8_t>(byte(rng) % 36), static_cast<std::uint8_t>(byte(rng))};
            }
        }
    }
    songgen::Instrument& in = song.instruments[0];
    in.volume = {
        .points = {{0, 0}, {4, 64}, {10, 30}, {20, 50}}, .sustain = 2, .loopStart = 1, .loopEnd = 3, .type = 7};
    in.panning = {.points = {{0, 0}, {8, 64}}, .type = 3};
    in.vibratoDepth = 8;
    in.vibratoRate = 30;
    in.vibratoSweep = 4;
    in.fadeout = 1000;
    for (std::uint8_t& k : in.keyMap) {
        k = static_cast<std::uint8_t>(byte(rng) % 3);
    }
    songgen::Sample wide = looped({}, songgen::Loop::pingPong, 10, 20);
    wide.sixteenBit = true;
    for (int i = 0; i < 40; ++i) {
        wide.values.push_back(static_cast<std::int16_t>((i * 1500) % 30000 - 15000));
    }
    in.samples.push_back(wide);
    in.samples.push_back(looped(std::vector<std::int16_t>(30, 50), songgen::Loop::none, 0, 0));
    song.instruments.push_back(in);
    song.instruments[1].vibratoType = 3;
    song.instruments.push_back(songgen::Instrument{});
    return song;
}

void playBriefly(music::Module* m) {
    music::prepareRender(m, 44100);
    std::vector<float> mix(2 * 4096);
    music::renderFrames(m, mix.data(), 4096);
    // Then a long stretch of ticks without mixing, to walk jumps and loops.
    for (int t = 0; t < 1500; ++t) {
        m->tickHandler(m);
        ASSERT_GE(m->order, 0);
        ASSERT_LT(m->order, m->songLength);
        ASSERT_GE(m->row, 0);
        ASSERT_LT(static_cast<std::uint32_t>(m->row), m->patterns[m->orderTable[m->order]].rows);
    }
    music::renderFrames(m, mix.data(), 4096);
}

} // namespace

TEST(LoaderFuzz, MutatedModulesAreRefusedOrPlayedSafely) {
    std::mt19937 rng(20261206);
    int loaded = 0;
    int refused = 0;
    for (int base = 0; base < 8; ++base) {
        const std::vector<std::uint8_t> original = songgen::write(randomSong(rng));
        {
            ModulePtr m = load(original);
            ASSERT_NE(m, nullptr);
            playBriefly(m.get());
        }
        std::uniform_int_distribution<std::size_t> anywhere(0, original.size() - 1);
        std::uniform_int_distribution<int> byte(0, 255);
        std::uniform_int_distribution<int> kind(0, 5);
        for (int round = 0; round < 400; ++round) {
            std::vector<std::uint8_t> bytes = original;
            switch (kind(rng)) {
            case 0: // a few random bytes anywhere
                for (int k = 0; k < 4; ++k) {
                    bytes[anywhere(rng)] = static_cast<std::uint8_t>(byte(rng));
                }
                break;
            case 1: // a few bytes of the module header
                for (int k = 0; k < 2; ++k) {
                    bytes[60 + static_cast<std::size_t>(byte(rng)) % 30] = static_cast<std::uint8_t>(byte(rng));
                }
                break;
            case 2: // cut anywhere
                bytes.resize(anywhere(rng));
                break;
            case 3: // an extreme 16- or 32-bit value
            {
                const std::size_t at = anywhere(rng) & ~std::size_t{1};
                const std::uint8_t fill = byte(rng) < 128 ? 0xFF : 0x7F;
                for (std::size_t k = at; k < bytes.size() && k < at + 4; ++k) {
                    bytes[k] = fill;
                }
                break;
            }
            case 4: // bit flips in the pattern data
                for (int k = 0; k < 8; ++k) {
                    const std::size_t at = kFirstPatternOffset + anywhere(rng) % 600;
                    if (at < bytes.size()) {
                        bytes[at] ^= static_cast<std::uint8_t>(1 << (byte(rng) & 7));
                    }
                }
                break;
            default: // bytes inserted in the middle
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(anywhere(rng)),
                             static_cast<std::size_t>(1 + byte(rng) % 8), static_cast<std::uint8_t>(byte(rng)));
                break;
            }
            ModulePtr m = load(bytes);
            if (m == nullptr) {
                ++refused;
                continue;
            }
            ++loaded;
            playBriefly(m.get());
        }
    }
    // Both outcomes occur, so the mutations reach past the first checks.
    EXPECT_GT(loaded, 500);
    EXPECT_GT(refused, 100);
    RecordProperty("loaded", loaded);
    RecordProperty("refused", refused);
}

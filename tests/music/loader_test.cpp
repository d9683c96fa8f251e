// The XM loader and the memory source: layouts, decoding, loop preparation,
// and the refusal or mending of files that break the format's limits.

#include "music/xmloader.h"
#include "tests/music/fixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace music::test;
using music::Module;

namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, unsigned v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// The first instrument's header starts after the patterns; songgen::write puts
// empty patterns as 9 header bytes each.
std::size_t firstInstrumentOffset(int emptyPatterns) {
    return kFirstPatternOffset + 9u * static_cast<unsigned>(emptyPatterns);
}

// A file whose first pattern (by default the single one, of 2 channels and 2
// rows) has the packed bytes given.
std::vector<std::uint8_t> withPackedPattern(const std::vector<std::uint8_t>& packed, int channels = 2, int patterns = 1,
                                            int rows = 2) {
    songgen::Song song = basicSong(channels, patterns);
    song.patterns[0].rows = rows;
    std::vector<std::uint8_t> bytes = songgen::write(song);
    const std::size_t at = kFirstPatternOffset;
    put16(bytes, at + 7, static_cast<unsigned>(packed.size()));
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at + 9), packed.begin(), packed.end());
    return bytes;
}

} // namespace

TEST(MemorySource, ReadsSeeksAndTellsWithinTheBlock) {
    std::vector<std::uint8_t> block(100);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(i);
    }
    music::setMemoryBlock(block.data(), block.size());
    void* h = music::memoryOpen(nullptr);
    ASSERT_NE(h, nullptr);
    std::uint8_t buffer[10] = {};
    music::memorySeek(h, 96, 0);
    const std::uint32_t read = music::memoryRead(buffer, 10, h);
    EXPECT_EQ(record(read, buffer[0], buffer[3], music::memoryTell(h)), record(4, 96, 99, 100));
    // Offset, origin (0 start, 1 current, 2 end, 9 unknown: unchanged), and
    // the position after, kept within the block.
    const int seeks[][3] = {{3, 0, 3}, {5, 1, 8}, {-50, 2, 100}, {200, 0, 100}, {7, 9, 100}, {-500, 1, 0}};
    for (const auto& s : seeks) {
        music::memorySeek(h, s[0], static_cast<std::uint8_t>(s[1]));
        EXPECT_EQ(music::memoryTell(h), s[2]) << s[0] << " from " << s[1];
    }
    music::memoryClose(h);
}

TEST(SourceCallbacks, AreInstalledTogetherOrNotAtAll) {
    music::setSourceCallbacks(music::memoryOpen, music::memoryClose, music::memoryRead, nullptr, music::memoryTell);
    EXPECT_FALSE(music::sourceCallbacksInstalled());
    EXPECT_EQ(music::loadModule(), nullptr);
    music::setSourceCallbacks(music::memoryOpen, music::memoryClose, music::memoryRead, music::memorySeek,
                              music::memoryTell);
    EXPECT_TRUE(music::sourceCallbacksInstalled());
}

TEST(Loader, ReadsTheHeaderFields) {
    songgen::Song song = basicSong(6, 3, 3, 190);
    song.restart = 1;
    song.orders = {0, 2, 1, 2};
    ModulePtr m = load(songgen::write(song));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(record(m->channelCount, m->songLength, m->restartPosition, m->defaultSpeed, m->defaultBpm, m->flags,
                     m->instrumentCount, m->patternsUsed, m->patternSlots, m->orderTable[1], m->defaultGlobalVolume),
              record(6, 4, 1, 3, 190, 1, 1, 3, 3, 2, 64));
    EXPECT_NE(m->tickHandler, nullptr);
}

TEST(Loader, OrdersNamingMissingPatternsGetEmptySixtyFourRowSlots) {
    songgen::Song song = basicSong(2, 22);
    song.patterns[0].rows = 32;
    song.orders.push_back(30);
    ModulePtr m = load(songgen::write(song));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(record(m->patternsUsed, m->patternSlots, m->patterns[0].rows), record(31, 31, 32));
    for (int p = 22; p <= 30; ++p) {
        ASSERT_EQ(m->patterns[p].rows, 64u);
        for (int i = 0; i < 64 * 2; ++i) {
            ASSERT_EQ(fields(m->patterns[p].cells[i]), record(0, 0, 0, 0, 0));
        }
    }
}

TEST(Loader, DecodesMaskedAndPlainCells) {
    // Row 0: a mask byte with no bits (an empty cell of one byte), then a
    // plain cell (note byte 0 followed by four bytes). Row 1: a masked
    // key-off with instrument 200 (above 128: none), then a plain cell C-4.
    const std::vector<std::uint8_t> packed = {0x80, 0x00, 0x01, 0x22, 0x0C, 0x40, 0x83,
                                              97,   200,  49,   2,    0x35, 0x0F, 0x07};
    ModulePtr m = load(withPackedPattern(packed));
    ASSERT_NE(m, nullptr);
    const music::NoteCell* c = m->patterns[0].cells;
    EXPECT_EQ(fields(c[0]), record(0, 0, 0, 0, 0));
    EXPECT_EQ(fields(c[1]), record(0, 1, 0x22, 0x0C, 0x40));
    EXPECT_EQ(fields(c[2]), record(music::KEY_OFF, 0, 0, 0, 0));
    EXPECT_EQ(fields(c[3]), record(49, 2, 0x35, 0x0F, 0x07));
}

TEST(LoaderMends, PackedDataHoldingFewerCellsLeavesTheRestEmpty) {
    // Two rows of two channels need four cells. A plain cell cut after its
    // note keeps the note; a mask cut after one of its fields keeps that one.
    struct Case {
        std::vector<std::uint8_t> packed;
        std::uint8_t lastNote;
    };
    const Case cases[] = {{{0x80, 0x80, 0x80}, 0}, {{0x80, 0x80, 0x80, 0x31}, 0x31}, {{0x80, 0x80, 0x80, 0x9F, 7}, 7}};
    for (const Case& c : cases) {
        ::testing::internal::CaptureStderr();
        ModulePtr m = load(withPackedPattern(c.packed));
        const std::string log = ::testing::internal::GetCapturedStderr();
        ASSERT_NE(m, nullptr) << c.packed.size();
        EXPECT_NE(log.find("pattern 0 holds 3 of its 4 cells"), std::string::npos) << log;
        EXPECT_EQ(fields(m->patterns[0].cells[3]), record(c.lastNote, 0, 0, 0, 0));
        EXPECT_EQ(m->instruments[0].samples[0]->length, 64u); // read from where the file has it
    }
    // Four channels of 64 rows whose packed data hold the first 32 cells only.
    std::vector<std::uint8_t> packed(32, 0x80);
    packed[5] = 0x83; // cell 5: note C-4 of instrument 1
    packed.insert(packed.begin() + 6, {49, 1});
    ModulePtr m = load(withPackedPattern(packed, 4, 2, 64));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(fields(m->patterns[0].cells[5]), record(49, 1, 0, 0, 0));
    for (int i = 32; i < 256; ++i) {
        ASSERT_EQ(fields(m->patterns[0].cells[i]), record(0, 0, 0, 0, 0)) << i;
    }
    EXPECT_EQ(record(m->patterns[1].rows, m->instruments[0].samples[0]->length), record(64, 64));
}

TEST(Loader, InstrumentWithoutSamplesPointsEverySlotAtTheEmptySample) {
    songgen::Song song = basicSong(2, 1);
    songgen::Instrument none;
    none.name = "none";
    song.instruments.insert(song.instruments.begin(), none);
    ModulePtr m = load(songgen::write(song));
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->instrumentCount, 2);
    const music::Instrument& in = m->instruments[0];
    EXPECT_EQ(record(in.sampleCount, in.volumeType), record(0, 0));
    for (const music::Sample* s : in.samples) {
        EXPECT_EQ(s, &music::EmptySample);
    }
    // The instrument after it is read from the right place.
    EXPECT_EQ(record(m->instruments[1].sampleCount, m->instruments[1].samples[0]->length), record(1, 64));
    EXPECT_EQ(m->instruments[1].samples[1], &music::EmptySample);
}

TEST(Loader, SampleLengthsCountValuesAndLoopsArePrepared) {
    songgen::Song song = basicSong(2, 1);
    songgen::Instrument& in = song.instruments[0];
    in.samples.clear();
    // 1000 bytes of 16-bit data: 500 values, ping-pong 100..300.
    songgen::Sample wide = looped({}, songgen::Loop::pingPong, 100, 200);
    wide.sixteenBit = true;
    for (int i = 0; i < 500; ++i) {
        wide.values.push_back(static_cast<std::int16_t>(i * 37 - 9000));
    }
    // 8-bit, forward loop 2..8, then loop bits without a loop length.
    const songgen::Sample narrow = looped({16, 0, 5, -7, 100, -128, 127, 3}, songgen::Loop::forward, 2, 6);
    const songgen::Sample empty = looped({1, 2, 3, 4, 5, 6}, songgen::Loop::forward, 2, 0);
    in.samples = {wide, narrow, empty};
    ModulePtr m = load(songgen::write(song));
    ASSERT_NE(m, nullptr);
    const music::Sample& w = *m->instruments[0].samples[0];
    EXPECT_EQ(record(w.length, w.loopStart, w.loopLength, w.loopMode, w.bits),
              record(500, 100, 200, music::kLoopPingPong, 16));
    for (int i = 0; i < 500; ++i) {
        if (i != 300) { // the value after the loop end is the loop's preparation
            ASSERT_EQ(w.data[i], i * 37 - 9000) << i;
        }
    }
    EXPECT_EQ(w.data[300], w.data[299]); // ping-pong: the last loop value repeats
    const music::Sample& n = *m->instruments[0].samples[1];
    EXPECT_EQ(record(n.length, n.loopMode, n.bits), record(8, music::kLoopForward, 16));
    // 8-bit values land in the high byte: the first delta bytes 0x10, 0xF0 give 0x1000, 0x0000.
    EXPECT_EQ(std::vector<int>(n.data, n.data + 8),
              (std::vector<int>{0x1000, 0, 5 * 256, -7 * 256, 100 * 256, -128 * 256, 127 * 256, 3 * 256}));
    EXPECT_EQ(n.data[8], n.data[2]); // forward: the loop start value follows the loop end
    const music::Sample& e = *m->instruments[0].samples[2];
    EXPECT_EQ(record(e.loopMode, e.loopStart, e.loopLength), record(music::kLoopNone, 0, 6));
    EXPECT_EQ(e.data[6], 0); // unlooped: zeros follow, so the end glides to silence
}

TEST(Loader, EnvelopesAndInstrumentFields) {
    songgen::Song song = basicSong(2, 1);
    songgen::Instrument& in = song.instruments[0];
    in.volume = {.points = {{0, 64}, {10, 32}, {20, 0}}, .sustain = 1, .loopStart = 0, .loopEnd = 1, .type = 7};
    in.panning = {.points = {{0, 32}}, .type = 1};
    in.fadeout = 300;
    in.vibratoType = 2;
    in.vibratoSweep = 10;
    in.vibratoDepth = 4;
    in.vibratoRate = 20;
    in.keyMap[50] = 3;
    ModulePtr m = load(songgen::write(song));
    ASSERT_NE(m, nullptr);
    const music::Instrument& li = m->instruments[0];
    EXPECT_EQ(record(li.volumePointCount, li.volumeType, li.volumeEnvelope[1].x, li.volumeEnvelope[1].y),
              record(3, 7, 10, 32));
    // A panning envelope of one point is switched off; the fadeout is doubled.
    EXPECT_EQ(record(li.panningType, li.fadeout, li.vibratoType, li.vibratoSweep, li.vibratoDepth, li.vibratoRate,
                     li.keyMap[50]),
              record(0, 600, 2, 10, 4, 20, 3));
}

// Files one step beyond the format's limits, and variants of it this loader
// does not read, whose refusal names what is missing.
TEST(LoaderMends, RefusesFilesBeyondTheFormatsLimitsAndUnsupportedVariants) {
    const std::vector<std::uint8_t> good = songgen::write(basicSong(4, 2));
    ASSERT_NE(load(good), nullptr);
    EXPECT_STREQ(music::lastLoadRefusal(), "");
    struct Case {
        const char* what;
        std::size_t at;
        int width; // bytes of the value, written little-endian
        std::uint32_t value;
        const char* named = nullptr;
    };
    const std::size_t inst = firstInstrumentOffset(2);
    const std::size_t sampleHeader = inst + 263;
    const Case cases[] = {
        {"magic", 0, 1, 'e'},
        {"33 channels", 68, 2, 33},
        {"no channels", 68, 2, 0},
        {"song length 0", 64, 2, 0},
        {"song length 257", 64, 2, 257},
        {"257 patterns", 70, 2, 257},
        {"129 instruments", 72, 2, 129},
        {"pattern of 0 rows", kFirstPatternOffset + 5, 2, 0},
        {"pattern of 257 rows", kFirstPatternOffset + 5, 2, 257},
        {"17 samples", inst + 27, 2, 17},
        {"13 volume points", inst + 225, 1, 13},
        {"13 panning points", inst + 226, 1, 13},
        {"version 1.02", 58, 2, 0x0102, "version 0x0102"},
        {"version 1.03", 58, 2, 0x0103, "version 0x0103"},
        {"ModPlug ADPCM", sampleHeader + 17, 1, 0xAD, "ADPCM"},
        {"OggMod", sampleHeader + 40 + 4, 4, 0x5367674F, "Ogg Vorbis"}, // "OggS" at the start of the sample data
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bad = good;
        for (int k = 0; k < c.width; ++k) {
            bad[c.at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(c.value >> (8 * k));
        }
        EXPECT_EQ(load(bad), nullptr) << c.what;
        if (c.named != nullptr) {
            EXPECT_NE(std::string(music::lastLoadRefusal()).find(c.named), std::string::npos)
                << c.what << ": " << music::lastLoadRefusal();
        }
    }
}

TEST(LoaderMends, RefusesEveryCutBeforeTheInstruments) {
    const std::vector<std::uint8_t> good = songgen::write(basicSong(4, 2));
    for (std::size_t cut = 0; cut < firstInstrumentOffset(2); cut += 7) {
        const std::vector<std::uint8_t> bad(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(load(bad), nullptr) << cut;
        EXPECT_STRNE(music::lastLoadRefusal(), "") << cut;
    }
}

namespace {

// Two instruments of one 8-bit sample each (64 values, then 48 values).
songgen::Song twoInstruments() {
    songgen::Song song = basicSong(4, 2);
    songgen::Instrument second = song.instruments[0];
    second.samples[0].values.resize(48, 5);
    second.samples[0].loop = songgen::Loop::none;
    song.instruments.push_back(second);
    return song;
}

void expectEmpty(const music::Instrument& in) {
    for (std::uint32_t s = 0; s < in.sampleCount; ++s) {
        EXPECT_EQ(in.samples[s]->length, 0u);
    }
    for (std::uint32_t s = in.sampleCount; s < 16; ++s) {
        EXPECT_EQ(in.samples[s], &music::EmptySample);
    }
    EXPECT_EQ(in.volumeType | in.panningType, 0);
}

} // namespace

TEST(LoaderMends, InstrumentsCutShortReadAsEmpty) {
    const std::vector<std::uint8_t> good = songgen::write(twoInstruments());
    const std::size_t second = firstInstrumentOffset(2) + 263 + 40 + 64;
    ASSERT_EQ(good.size(), second + 263 + 40 + 48);
    // Cuts anywhere in the second instrument's header: the first one is whole.
    for (const std::size_t into : {0u, 3u, 24u, 29u, 100u, 262u, 263u, 280u}) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(second + into));
        ::testing::internal::CaptureStderr();
        ModulePtr m = load(cut);
        const std::string log = ::testing::internal::GetCapturedStderr();
        ASSERT_NE(m, nullptr) << into << ": " << music::lastLoadRefusal();
        EXPECT_STREQ(music::lastLoadRefusal(), "");
        EXPECT_NE(log.find("ends inside"), std::string::npos) << into;
        ASSERT_EQ(m->instrumentCount, 2);
        const music::Sample& first = *m->instruments[0].samples[0];
        EXPECT_EQ(record(first.length, first.data[0], first.data[63]), record(64, 60 * 256, -60 * 256));
        expectEmpty(m->instruments[1]);
    }
    // More instruments declared than the file holds (a 31-instrument song
    // ending after instrument 2): the rest are empty.
    std::vector<std::uint8_t> more = good;
    put16(more, 72, 31);
    ModulePtr m = load(more);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->instrumentCount, 31);
    EXPECT_EQ(m->instruments[1].samples[0]->length, 48u);
    for (int i = 2; i < 31; ++i) {
        EXPECT_EQ(m->instruments[i].sampleCount, 0u) << i;
        expectEmpty(m->instruments[i]);
    }
}

TEST(LoaderMends, SampleDataCutShortShortensTheSample) {
    // A cut in the last sample's data, then one in the data of the first of
    // two instruments: what is there plays, what is missing is silent.
    std::vector<std::uint8_t> bytes = songgen::write(basicSong(4, 2));
    bytes.erase(bytes.end() - 24, bytes.end()); // 40 of the 64 values remain
    ModulePtr m = load(bytes);
    ASSERT_NE(m, nullptr);
    const music::Sample& s = *m->instruments[0].samples[0];
    EXPECT_EQ(record(s.length, s.loopStart + s.loopLength), record(40, 40));
    EXPECT_EQ(s.data[40], s.data[0]); // the forward loop is prepared at its new end

    const std::vector<std::uint8_t> good = songgen::write(twoInstruments());
    const std::size_t tenValuesIn = firstInstrumentOffset(2) + 263 + 40 + 10;
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(tenValuesIn));
    ::testing::internal::CaptureStderr();
    m = load(cut);
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(m, nullptr);
    EXPECT_NE(log.find("sample data of instrument 1 (10 of 64 values)"), std::string::npos) << log;
    const music::Sample& first = *m->instruments[0].samples[0];
    EXPECT_EQ(record(first.length, first.data[9]), record(10, 60 * 256));
    expectEmpty(m->instruments[1]);
}

TEST(LoaderMends, SixteenBitSampleOfOddByteLengthDropsItsLastByte) {
    // Instrument 1: a 16-bit sample of 21 bytes (10 values and a stray byte),
    // then an 8-bit one; instrument 2 follows. Everything after the odd
    // sample must still be read from where the file has it.
    songgen::Song song = basicSong(2, 1);
    songgen::Sample wide;
    wide.sixteenBit = true;
    for (int i = 0; i < 10; ++i) {
        wide.values.push_back(static_cast<std::int16_t>(1000 * i - 4000));
    }
    const songgen::Sample narrow = looped({10, 20, 30, 40}, songgen::Loop::none, 0, 0);
    songgen::Instrument first = song.instruments[0];
    first.samples = {wide, narrow};
    song.instruments.insert(song.instruments.begin(), first);
    std::vector<std::uint8_t> bytes = songgen::write(song);
    const std::size_t inst = firstInstrumentOffset(1);
    put16(bytes, inst + 263, 21);
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(inst + 263 + 80 + 20), 0x7F);
    ModulePtr m = load(bytes);
    ASSERT_NE(m, nullptr) << music::lastLoadRefusal();
    const music::Sample& w = *m->instruments[0].samples[0];
    ASSERT_EQ(w.length, 10u);
    EXPECT_EQ(std::vector<int>(w.data, w.data + 10), std::vector<int>(wide.values.begin(), wide.values.end()));
    const music::Sample& n = *m->instruments[0].samples[1];
    ASSERT_EQ(n.length, 4u);
    EXPECT_EQ(record(n.data[0], n.data[3]), record(10 * 256, 40 * 256));
    ASSERT_EQ(m->instruments[1].sampleCount, 1u);
    const music::Sample& next = *m->instruments[1].samples[0];
    EXPECT_EQ(record(next.length, next.data[0]), record(64, 60 * 256));
}

TEST(LoaderMends, LoopsAndEnvelopeIndicesAreCutToWhatExists) {
    songgen::Song song = basicSong(2, 1);
    songgen::Instrument& in = song.instruments[0];
    // Sustain and loop end beyond the points: both off. A panning loop that runs backwards: off.
    in.volume = {.points = {{0, 64}, {5, 80}, {3, 10}}, .sustain = 7, .loopStart = 1, .loopEnd = 200, .type = 7};
    in.panning = {.points = {{0, 0}, {4, 64}}, .loopStart = 1, .loopEnd = 0, .type = 5};
    // A ping-pong loop running 20 values past the data, a forward one starting past it.
    in.samples = {looped(std::vector<std::int16_t>(50, 1), songgen::Loop::pingPong, 40, 30),
                  looped(std::vector<std::int16_t>(20, 1), songgen::Loop::forward, 25, 5)};
    ModulePtr m = load(songgen::write(song));
    ASSERT_NE(m, nullptr);
    const music::Instrument& li = m->instruments[0];
    // Envelope values above 64 are capped, and ticks never run backwards.
    EXPECT_EQ(record(li.volumeType, li.volumeEnvelope[1].y, li.volumeEnvelope[2].x, li.panningType),
              record(1, 64, 5, 1));
    const music::Sample& a = *li.samples[0];
    EXPECT_EQ(record(a.loopStart, a.loopLength, a.loopMode), record(40, 10, music::kLoopPingPong));
    const music::Sample& b = *li.samples[1];
    EXPECT_EQ(record(b.loopMode, b.loopStart, b.loopLength), record(music::kLoopNone, 0, 20));
}

TEST(Loader, EachMaskBitReadsItsOwnFieldAndNotesAndInstrumentsAtTheirLimits) {
    // One masked field at a time: the byte that follows lands in that field only.
    for (int bit = 0; bit < 5; ++bit) {
        ModulePtr m = load(withPackedPattern({static_cast<std::uint8_t>(0x80 | (1 << bit)), 0x41, 0x80, 0x80, 0x80}));
        ASSERT_NE(m, nullptr) << bit;
        std::array<long, 5> expected{};
        expected[static_cast<std::size_t>(bit)] = 0x41;
        EXPECT_EQ(fields(m->patterns[0].cells[0]), expected) << "mask bit " << bit;
    }
    // Note 96 is the last note and 97 the key-off, in masked and plain cells;
    // instrument 128 is the last one and 129 none.
    struct Case {
        std::vector<std::uint8_t> packed;
        std::uint8_t note;
        std::uint8_t instrument;
    };
    const Case cases[] = {
        {{0x83, 96, 128}, 96, 128}, {{0x83, 97, 129}, music::KEY_OFF, 0},
        {{96, 1, 0, 0, 0}, 96, 1},  {{97, 128, 0, 0, 0}, music::KEY_OFF, 128},
        {{0x81, 98}, 98, 0},        {{1, 255, 0, 0, 0}, 1, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> packed = c.packed;
        packed.insert(packed.end(), {0x80, 0x80, 0x80});
        ModulePtr m = load(withPackedPattern(packed));
        ASSERT_NE(m, nullptr);
        const music::NoteCell& first = m->patterns[0].cells[0];
        EXPECT_EQ(record(first.note, first.instrument), record(c.note, c.instrument))
            << int{c.packed[0]} << " " << int{c.packed[1]};
    }
}

// The header's counts at the edges of what the format allows: the last value
// inside loads and keeps its value (or its documented stand-in); the refusals
// one step outside are in RefusesFilesBeyondTheFormatsLimitsAndUnsupportedVariants.
TEST(Loader, HeaderFieldsAtTheEdgesOfTheirRanges) {
    struct Case {
        const char* what;
        std::function<void(songgen::Song&)> edit;
        std::function<bool(const Module&)> holds;
        std::function<void(std::vector<std::uint8_t>&)> patch = [](std::vector<std::uint8_t>&) {};
    };
    const Case cases[] = {
        {"32 channels", [](songgen::Song& s) { s.channels = 32; },
         [](const Module& m) { return m.channelCount == 32; }},
        {"1 channel", [](songgen::Song& s) { s.channels = 1; }, [](const Module& m) { return m.channelCount == 1; }},
        {"song length 256", [](songgen::Song& s) { s.orders.assign(256, 1); },
         [](const Module& m) { return m.songLength == 256 && m.orderTable[255] == 1 && m.patternsUsed == 2; }},
        {"restart at the last order",
         [](songgen::Song& s) {
             s.orders = {0, 1, 0};
             s.restart = 2;
         },
         [](const Module& m) { return m.restartPosition == 2; }},
        {"restart one past the end", [](songgen::Song& s) { s.restart = 2; },
         [](const Module& m) { return m.restartPosition == 0; }},
        {"bpm 255", [](songgen::Song& s) { s.bpm = 255; }, [](const Module& m) { return m.defaultBpm == 255; }},
        {"bpm 32", [](songgen::Song& s) { s.bpm = 32; }, [](const Module& m) { return m.defaultBpm == 32; }},
        {"bpm 0 plays at 125", [](songgen::Song& s) { s.bpm = 0; },
         [](const Module& m) { return m.defaultBpm == 125; }},
        {"bpm 256 plays at 125", [](songgen::Song& s) { s.bpm = 256; },
         [](const Module& m) { return m.defaultBpm == 125; }},
        {"speed 31 and Amiga periods",
         [](songgen::Song& s) {
             s.speed = 31;
             s.flags = 0;
         },
         [](const Module& m) { return m.defaultSpeed == 31 && m.flags == 0; }},
        {"256 patterns",
         [](songgen::Song& s) {
             s.patterns.resize(256, songgen::Pattern{1, {}});
         },
         [](const Module& m) { return m.patternSlots == 256 && m.patterns[255].rows == 1; }},
        {"128 instruments", [](songgen::Song& s) { s.instruments.resize(128, s.instruments[0]); },
         [](const Module& m) { return m.instrumentCount == 128 && m.instruments[127].samples[0]->length == 64; }},
        {"pattern of 256 rows", [](songgen::Song& s) { s.patterns[0].rows = 256; },
         [](const Module& m) { return m.patterns[0].rows == 256 && m.patterns[1].rows == 64; }},
        {"pattern of 1 row", [](songgen::Song& s) { s.patterns[1].rows = 1; },
         [](const Module& m) { return m.patterns[1].rows == 1; }},
        {"16 samples", [](songgen::Song& s) { s.instruments[0].samples.resize(16, s.instruments[0].samples[0]); },
         [](const Module& m) {
             return m.instruments[0].sampleCount == 16 && m.instruments[0].samples[15]->length == 64;
         }},
        {"version 0x0105", [](songgen::Song&) {}, [](const Module& m) { return m.channelCount == 4; },
         [](std::vector<std::uint8_t>& b) { put16(b, 58, 0x0105); }},
        // A longer header: the patterns start at 60 + its size, not at 336.
        {"header of 280 bytes", [](songgen::Song&) {},
         [](const Module& m) { return m.patterns[0].rows == 64 && m.instruments[0].samples[0]->length == 64; },
         [](std::vector<std::uint8_t>& b) {
             put16(b, 60, 280);
             b.insert(b.begin() + static_cast<std::ptrdiff_t>(kFirstPatternOffset), 4, 0xEE);
         }},
    };
    for (const Case& c : cases) {
        songgen::Song song = basicSong(4, 2);
        c.edit(song);
        std::vector<std::uint8_t> bytes = songgen::write(song);
        c.patch(bytes);
        ModulePtr m = load(bytes);
        ASSERT_NE(m, nullptr) << c.what << ": " << music::lastLoadRefusal();
        EXPECT_TRUE(c.holds(*m)) << c.what;
    }
}

TEST(Loader, SampleHeaderFieldsKeepTheirSigns) {
    songgen::Song song = basicSong(2, 1);
    songgen::Sample& s = song.instruments[0].samples[0];
    s.finetune = -128;
    s.relativeNote = -12;
    s.panning = 255;
    s.volume = 64;
    std::vector<std::uint8_t> bytes = songgen::write(song);
    const std::size_t header = firstInstrumentOffset(1) + 263;
    ModulePtr m = load(bytes);
    ASSERT_NE(m, nullptr);
    const music::Sample& a = *m->instruments[0].samples[0];
    EXPECT_EQ(record(a.finetune, a.relativeNote, a.defaultPanning, a.defaultVolume), record(-128, -12, 255, 64));
    // Both loop bits: ping-pong wins; a volume above 64 plays at 64.
    bytes[header + 14] = 3;
    bytes[header + 12] = 65;
    m = load(bytes);
    ASSERT_NE(m, nullptr);
    const music::Sample& b = *m->instruments[0].samples[0];
    EXPECT_EQ(record(b.loopMode, b.defaultVolume), record(music::kLoopPingPong, 64));
}

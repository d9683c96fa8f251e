#include "platform/crt/random.h"
#include "resources/texprograms/texprograms.h"
#include "tests/texgen/testutil.h"
#include "texgen/convolution.h"
#include "texgen/generators.h"
#include "texgen/noise.h"
#include "texgen/pointops.h"
#include "texgen/program.h"
#include "texgen/sampling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using texgen::Plane;
using texgen::test::constant;
using Bytes = std::vector<std::uint8_t>;

Bytes hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    unsigned v = 0;
    while (in >> std::hex >> v) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

struct Image {
    explicit Image(std::size_t pitchBytes = 1024, std::uint8_t fillByte = 0)
        : pitch(pitchBytes), bytes(pitchBytes * 256, fillByte) {}
    // Channel c (0 red, 1 green, 2 blue, 3 alpha): byte 2, 1, 0, 3 of each pixel.
    Plane channel(int c) const {
        constexpr std::size_t kByte[] = {2, 1, 0, 3};
        return texgen::test::planeOf([&](int x, int y) {
            return bytes[static_cast<std::size_t>(y) * pitch + static_cast<std::size_t>(x) * 4 + kByte[c]];
        });
    }
    std::size_t pitch;
    Bytes bytes;
};

Image run(std::span<const std::uint8_t> program) {
    Image image;
    EXPECT_TRUE(texgen::runTextureProgram(program, image.bytes.data(), image.pitch));
    return image;
}

TEST(EmbeddedPrograms, HoldTheShowsBytesInBlockOrder) {
    const char* listed[] = {
        "0c 18 55 01 0c 5d 66 01 0c e4 66 01 00",          "1e 00 45 46 db 03 17 1e 00 99 80 1e 00 a3 80 00",
        "58 03 19 03 14 08 08 38 30 08 54 02 80 80 80",    "00 1e 00 ff 0d 99 ff ff 44 02 80 80 00 00",
        "58 06 0d 99 9e 6b 58 04 02 a6 01 81 81 80 80 00",
    };
    Bytes block;
    for (int n : {2, 5, 4, 1, 3}) {
        const Bytes expected = hex(listed[n - 1]);
        const auto actual = resources::textureProgram(n);
        EXPECT_EQ(Bytes(actual.begin(), actual.end()), expected) << "program " << n;
        block.insert(block.end(), expected.begin(), expected.end());
        block.push_back(0);
    }
    block.pop_back();
    const auto actualBlock = resources::textureProgramBlock();
    EXPECT_EQ(Bytes(actualBlock.begin(), actualBlock.end()), block);
}

TEST(TextureProgram, ReferencesReachSlotsStoredInEarlierChannels) {
    // Program 2: one cells pattern stored in red, tinted by levels in red, green, blue.
    const Image image = run(resources::textureProgram(2));
    Plane pattern;
    texgen::cells(pattern, 219, 3, 23);
    const unsigned highs[] = {69, 153, 163};
    for (int c = 0; c < 3; ++c) {
        Plane tinted;
        texgen::levels(tinted, 0, highs[c], pattern);
        EXPECT_TRUE(image.channel(c).pixels == tinted.pixels) << c;
    }
    EXPECT_TRUE(image.channel(3).pixels == constant(0).pixels);
}

TEST(TextureProgram, StoredNodesAreNumberedOnEntryAndFilledOnFinish) {
    // Program 5: the outer blur is entered first (slot 0), the inner one second (slot 1).
    texgen::TextureProgramRun state(resources::textureProgram(5));
    Plane red;
    EXPECT_EQ(state.evalNode(0, red), 13u);
    ASSERT_NE(state.slot(0), nullptr);
    ASSERT_NE(state.slot(1), nullptr);
    EXPECT_EQ(state.slot(2), nullptr);
    Plane plasma, inner, displaced, outer;
    texgen::plasma(plasma, 166, 1);
    texgen::blur(inner, 4, plasma, nullptr);
    texgen::displace(displaced, 153, 158, 107, inner, &inner, &inner);
    texgen::blur(outer, 6, displaced, nullptr);
    EXPECT_TRUE(state.slot(1)->pixels == inner.pixels);
    EXPECT_TRUE(state.slot(0)->pixels == outer.pixels);
    EXPECT_TRUE(red.pixels == outer.pixels);
}

TEST(TextureProgram, NodeLengthsFollowParametersAndOptionalInputs) {
    const struct {
        const char* tree;
        std::size_t length;
        int value; // worked by hand from the operation's formula
    } cases[] = {
        {"00", 1, 0},                        // opcode 0: fill without parameter
        {"01 ff", 2, 255},                   // opcode 1: fill with it
        {"14 04 40 01 c8 01 64", 7, 124},    // combine 4, e = 64: 200*64>>8 + 100*191>>8 = 50 + 74
        {"14 0a c8 01 c8 01 64", 7, 200},    // combine 10, key 200: a equals the key
        {"14 06 01 c8 01 64 01 40", 8, 174}, // combine 6, mask 64: 191*200>>8 + 100*64>>8 = 149 + 25
        {"14 00 01 c8 01 64", 6, 255},       // combine 0: no extra byte, no mask
        {"18 00 01 09 01 ff", 6, 9},         // blur 0 reads a mask
        {"1b 01 00 01 09 01 40", 7, 9},      // motionBlur direction 0 reads a direction map
        {"0d 80 10 10 01 05 01 06", 8, 5},   // displace: x source only
        {"0d 88 10 10 01 05 01 06 01 07", 10, 5},
    };
    for (const auto& c : cases) {
        const Bytes program = hex(c.tree);
        texgen::TextureProgramRun state(program);
        Plane out;
        EXPECT_EQ(state.evalNode(0, out), c.length) << c.tree;
        EXPECT_EQ(out.at(17, 99), c.value) << c.tree;
        EXPECT_EQ(state.fault(), texgen::ProgramFault::none) << c.tree;
    }
}

TEST(TextureProgram, WritesEachChannelIntoItsOwnByteOnly) {
    Image image(1100, 0xAB);
    ASSERT_TRUE(texgen::runTextureProgram(hex("01 05 01 ff 00 01 80"), image.bytes.data(), image.pitch));
    const int expected[] = {5, 255, 0, 128};
    for (int c = 0; c < 4; ++c) {
        EXPECT_TRUE(image.channel(c).pixels == constant(expected[c]).pixels) << c;
    }
    for (std::size_t y = 0; y < 256; ++y) {
        EXPECT_TRUE(std::all_of(&image.bytes[y * 1100 + 1024], &image.bytes[y * 1100 + 1100],
                                [](auto b) { return b == 0xAB; }));
    }
    // Rows closer than 1,024 bytes would overlap: refused, nothing written.
    Image narrow(1024, 0xAB);
    EXPECT_FALSE(texgen::runTextureProgram(hex("00 00 00 00"), narrow.bytes.data(), 1000));
    EXPECT_EQ(std::count(narrow.bytes.begin(), narrow.bytes.end(), 0xAB), 1024 * 256);
}

std::uint64_t fnv1a(const Bytes& bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::uint8_t b : bytes) {
        h = (h ^ b) * 1099511628211ull;
    }
    return h;
}

TEST(TextureProgram, EmbeddedOutputsAreRepeatableAndMatchTheReviewedImages) {
    // Pinned after the images were looked at (texdump): 1 three-channel fractal
    // noise, 2 teal-tinted cells, 3 blurred bit-pattern stripes, 4 displaced
    // radial gradient in green, 5 blurred displaced plasma. A change to any
    // operation they use shows here.
    const std::uint64_t pinned[] = {
        10604601734940697707ull, 121477409925240894ull,  18052051842859414661ull,
        12539174253269808836ull, 6358974302779826349ull,
    };
    for (int n = 1; n <= 5; ++n) {
        platform::crt::srand(static_cast<std::uint32_t>(n * 1000)); // whatever drew before does not matter
        EXPECT_EQ(fnv1a(run(resources::textureProgram(n)).bytes), pinned[n - 1]) << "program " << n;
    }
}

// A binary tree of stored combine nodes with stored fill leaves, `levels` deep.
void storedTree(Bytes& program, int levels) {
    program.insert(program.end(), {static_cast<std::uint8_t>(levels == 0 ? 0x41 : 0x54), 0x00});
    for (int i = 0; levels > 0 && i < 2; ++i) {
        storedTree(program, levels - 1);
    }
}

// After a failed run every channel byte is 0 and the bytes past each row untouched.
void expectClearedAfterFailure(const Bytes& program) {
    Image image(1040, 0xCD);
    EXPECT_FALSE(texgen::runTextureProgram(program, image.bytes.data(), image.pitch));
    int stale = 0;
    for (std::size_t i = 0; i < image.bytes.size(); ++i) {
        stale += image.bytes[i] != (i % 1040 < 1024 ? 0 : 0xCD);
    }
    EXPECT_EQ(stale, 0);
}

TEST(TextureProgram, MalformedProgramsFailWithoutLeavingStalePixels) {
    using texgen::ProgramFault;
    Bytes tooManyStored;
    storedTree(tooManyStored, 7); // 255 stored nodes
    const struct {
        Bytes program;
        ProgramFault fault;
    } cases[] = {
        {hex("13 00 00 00"), ProgramFault::unknownOpcode},
        {hex("00 22 00 00"), ProgramFault::unknownOpcode},
        {hex("00 00 00 7f"), ProgramFault::unknownOpcode},
        {hex("80 00 00 00"), ProgramFault::unfilledSlot},
        {hex("58 03 80 00 00 00"), ProgramFault::unfilledSlot}, // refers to itself
        {hex("14 04 40 01"), ProgramFault::truncated},
        {hex("00 00 00"), ProgramFault::truncated},
        {tooManyStored, ProgramFault::tooManyStoredNodes},
        {Bytes(200000, 0x15), ProgramFault::tooDeep}, // invert nested without end
    };
    for (const auto& c : cases) {
        texgen::TextureProgramRun state(c.program);
        Plane out;
        std::size_t position = 0;
        for (int channel = 0; channel < 4 && state.fault() == ProgramFault::none; ++channel) {
            position = state.evalNode(position, out);
        }
        EXPECT_EQ(state.fault(), c.fault) << texgen::faultText(c.fault);
        expectClearedAfterFailure(c.program);
    }
}

TEST(TextureProgram, RandomBytesNeverReachOutsideTheProgram) {
    // Each program lives in a vector of its exact size, so the sanitizer build
    // catches any read past its end. Spots, glows and motion blur, whose cost
    // grows with their parameters, are swapped for invert to keep the run short.
    std::mt19937 random(2024);
    int succeeded = 0;
    for (int i = 0; i < 400; ++i) {
        Bytes program(1 + random() % 20);
        for (std::uint8_t& b : program) {
            b = static_cast<std::uint8_t>(random());
            const unsigned opcode = b & 0x3Fu;
            if (b < 0x80 && (opcode == 10 || opcode == 11 || opcode == 27)) {
                b = static_cast<std::uint8_t>((b & 0x40u) | 21u);
            }
        }
        program.insert(program.end(), 4, 0); // fill nodes that let some programs complete
        Image image;
        if (texgen::runTextureProgram(program, image.bytes.data(), image.pitch)) {
            ++succeeded;
        } else {
            expectClearedAfterFailure(program);
        }
    }
    EXPECT_GT(succeeded, 0);
}

} // namespace

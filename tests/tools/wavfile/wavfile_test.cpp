// WAV files as the RIFF WAVE format lays them out: "RIFF", the size of what
// follows, "WAVE", a 16-byte "fmt " chunk (format 1 = PCM, channels, frames a
// second, bytes a second, bytes a frame, bits a sample), then "data".
#include "tools/wavfile/wavfile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) {
            bytes.push_back(static_cast<std::uint8_t>(c));
        }
        std::fclose(f);
    }
    return bytes;
}

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int size) {
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) {
        v = v << 8 | b[at + static_cast<std::size_t>(i)];
    }
    return v;
}

TEST(WavFile, WrittenAsTheFormatLaysItOutAndReadBack) {
    const std::string path = testing::TempDir() + "wavfile_test.wav";
    wavfile::WavFile wav;
    std::string why;
    const std::uint8_t frames[] = {0x01, 0x02, 0x03, 0x84, 0x05, 0x06, 0x07, 0x88, 0x09, 0x0A, 0x0B, 0x0C};
    ASSERT_TRUE(wav.open(path, why)) << why;
    ASSERT_TRUE(wav.appendSilence(2, 2, why)) << why;
    ASSERT_TRUE(wav.append(frames, sizeof frames, why)) << why;
    ASSERT_TRUE(wav.truncate(8 + 8, why)) << why; // two silent frames and two of the three given
    ASSERT_TRUE(wav.finish(22050, 2, why)) << why;

    const std::vector<std::uint8_t> b = bytesOf(path);
    ASSERT_EQ(b.size(), 44u + 16u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    // RIFF size, fmt size, format, channels, frames a second, bytes a second,
    // bytes a frame, bits a sample, data size.
    const std::array<std::uint32_t, 9> fields = {le(b, 4, 4),  le(b, 16, 4), le(b, 20, 2), le(b, 22, 2), le(b, 24, 4),
                                                 le(b, 28, 4), le(b, 32, 2), le(b, 34, 2), le(b, 40, 4)};
    EXPECT_EQ(fields, (std::array<std::uint32_t, 9>{36 + 16, 16, 1, 2, 22050, 22050 * 4, 4, 16, 16}));
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 52, b.end()), std::vector<std::uint8_t>(frames, frames + 8));

    wavfile::Sound sound;
    ASSERT_TRUE(wavfile::readWav(path, sound, why)) << why;
    EXPECT_EQ(std::make_pair(sound.framesPerSecond, sound.channels), std::make_pair(22050u, 2u));
    EXPECT_EQ(sound.samples, (std::vector<std::int16_t>{0, 0, 0, 0, 0x0201, -0x7BFD, 0x0605, -0x77F9}));
}

TEST(WavFile, ReadingRefusesWhatIsNotSixteenBitPcm) {
    const std::string path = testing::TempDir() + "wavfile_refused.wav";
    auto refused = [&](std::vector<std::uint8_t> bytes) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        wavfile::Sound sound;
        std::string why;
        return !wavfile::readWav(path, sound, why) && !why.empty();
    };
    std::vector<std::uint8_t> good = wavfile::wavHeader(8000, 1, 4);
    good.insert(good.end(), {1, 2, 3, 4});
    EXPECT_FALSE(refused(good));
    // Format 3 (IEEE float) at byte 20, 8 bits a sample at byte 34.
    for (const auto& [at, value] : {std::pair<std::size_t, std::uint8_t>{20, 3}, {34, 8}}) {
        std::vector<std::uint8_t> changed = good;
        changed[at] = value;
        EXPECT_TRUE(refused(changed)) << at;
    }
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(good.begin(), good.end() - 2))) << "data cut short";
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(good.begin(), good.begin() + 36))) << "no data chunk";
    EXPECT_TRUE(refused({'R', 'I', 'F', 'X'}));
}

} // namespace

// WAV files as the RIFF WAVE format lays them out: "RIFF", the size of what
// follows, "WAVE", a 16-byte "fmt " chunk (format 1 = PCM, channels, frames a
// second, bytes a second, bytes a frame, bits a sample), then "data".
#include "tools/wavfile/wavfile.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(le(b, 4, 4), 36u + 16u);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le(b, 16, 4), 16u);
    EXPECT_EQ(le(b, 20, 2), 1u);
    EXPECT_EQ(le(b, 22, 2), 2u);
    EXPECT_EQ(le(b, 24, 4), 22050u);
    EXPECT_EQ(le(b, 28, 4), 22050u * 4u);
    EXPECT_EQ(le(b, 32, 2), 4u);
    EXPECT_EQ(le(b, 34, 2), 16u);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(le(b, 40, 4), 16u);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 52, b.end()), std::vector<std::uint8_t>(frames, frames + 8));

    wavfile::Sound sound;
    ASSERT_TRUE(wavfile::readWav(path, sound, why)) << why;
    EXPECT_EQ(sound.framesPerSecond, 22050u);
    EXPECT_EQ(sound.channels, 2u);
    const std::vector<std::int16_t> samples = {0, 0, 0, 0, 0x0201, -0x7BFD, 0x0605, -0x77F9};
    EXPECT_EQ(sound.samples, samples);
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
    std::vector<std::uint8_t> floats = good;
    floats[20] = 3; // IEEE float
    EXPECT_TRUE(refused(floats));
    std::vector<std::uint8_t> eightBit = good;
    eightBit[34] = 8;
    EXPECT_TRUE(refused(eightBit));
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(good.begin(), good.end() - 2))) << "data cut short";
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(good.begin(), good.begin() + 36))) << "no data chunk";
    EXPECT_TRUE(refused({'R', 'I', 'F', 'X'}));
}

} // namespace

// The storyboard drawn from made-up frames and sound, read back from its PNG.
#include "tools/capture/storyboard.h"

#include "tests/support/png.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

// Panel i of a 768 x 432 frame (twice the panel's size) whose pixel (x, y)
// has red x % 256, green y % 256, blue 40 i.
std::vector<std::uint8_t> patternFrame(int i) {
    std::vector<std::uint8_t> rgba(768 * 432 * 4);
    for (int y = 0; y < 432; ++y) {
        for (int x = 0; x < 768; ++x) {
            std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * 768 + static_cast<std::size_t>(x)) * 4];
            p[0] = static_cast<std::uint8_t>(x % 256);
            p[1] = static_cast<std::uint8_t>(y % 256);
            p[2] = static_cast<std::uint8_t>(40 * i);
            p[3] = 255;
        }
    }
    return rgba;
}

TEST(Storyboard, PanelsAreTheFramesScaledAndTheWaveTheSoundsPeaks) {
    capture::Storyboard board;
    board.showSeconds = 10.0;
    for (int i = 0; i < 6; ++i) {
        capture::StoryboardPanel& panel = board.panels[static_cast<std::size_t>(i)];
        panel = {i + 1, i * 1.5, (i + 1) * 1.5, 768, 432, i == 4 ? std::vector<std::uint8_t>() : patternFrame(i)};
    }
    board.beats = {0.5, 5.0};
    // 10 s at 1000 frames a second: silent for 2 s, a full-scale square for
    // 3 s, a quarter-scale one after, in one channel.
    wavfile::Sound sound{1000, 2, std::vector<std::int16_t>(20000, 0)};
    for (std::size_t f = 2000; f < 10000; ++f) {
        const int amplitude = f < 5000 ? 32767 : 8192;
        sound.samples[f * 2 + 1] = static_cast<std::int16_t>(f % 2 == 0 ? amplitude : -amplitude);
    }
    const std::string path = testing::TempDir() + "storyboard_test.png";
    std::string why;
    ASSERT_TRUE(capture::writeStoryboard(path, board, sound, why)) << why;
    const tests::support::PngPicture board_ = tests::support::readPng(path, 3);
    ASSERT_EQ(board_.width, static_cast<std::uint32_t>(capture::kBoardWidth));
    ASSERT_EQ(board_.height, static_cast<std::uint32_t>(capture::kBoardHeight));

    std::set<std::vector<std::uint32_t>> labels;
    for (int i = 0; i < 6; ++i) {
        const int left = capture::panelLeft(i);
        const int top = capture::panelTop(i);
        // Each panel pixel is the mean of the 2 x 2 frame pixels under it.
        int wrong = 0;
        for (int y = 0; y < capture::kPanelHeight; y += 7) {
            for (int x = 0; x < capture::kPanelWidth; x += 5) {
                const std::uint32_t red = ((2 * x) % 256 + (2 * x + 1) % 256 + 1) / 2;
                const std::uint32_t green = ((2 * y) % 256 + (2 * y + 1) % 256 + 1) / 2;
                const std::uint32_t expected = i == 4 ? 0 : red << 16 | green << 8 | static_cast<std::uint32_t>(40 * i);
                wrong += i != 4 && board_.at(left + x, top + y) != expected ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0) << "panel " << i;
        // The label over the panel has ink, and says something of its own.
        std::vector<std::uint32_t> label;
        int ink = 0;
        for (int y = top - capture::kLabelHeight; y < top; ++y) {
            for (int x = left; x < left + capture::kPanelWidth; ++x) {
                label.push_back(board_.at(x, y));
                ink += board_.at(x, y) >> 16 > 0xA0 ? 1 : 0;
            }
        }
        EXPECT_GT(ink, 100) << "label " << i;
        labels.insert(label);
    }
    EXPECT_EQ(labels.size(), 6u);

    // The wave: per column, half its height over the middle line is the peak
    // of the column's stretch over full scale, times 69 pixels.
    const int middle = capture::kWaveTop + capture::kWaveHeight / 2;
    for (int c = 1; c < capture::kWaveWidth - 1; c += 3) {
        const double t = (c + 0.5) * 10.0 / capture::kWaveWidth;
        int half = -1;
        while (half + 1 < capture::kWaveHeight / 2 &&
               board_.at(capture::kWaveLeft + c, middle - half - 1) == capture::kWaveColour) {
            ++half;
        }
        const int expected = t < 2.0 ? 0 : t < 5.0 ? 69 : static_cast<int>(std::lround(8192.0 / 32768.0 * 69));
        if (std::abs(t - 2.0) > 0.02 && std::abs(t - 5.0) > 0.02) {
            EXPECT_EQ(half, expected) << "column " << c << " at " << t << " s";
        }
    }
    // Beat marks above the wave at their times, scene changes at 1.5 s steps.
    auto x = [](double t) {
        return capture::kWaveLeft + static_cast<int>(std::lround(t / 10.0 * capture::kWaveWidth));
    };
    EXPECT_EQ(board_.at(x(0.5), capture::kBeatStripTop + 5), capture::kBeatColour);
    EXPECT_EQ(board_.at(x(5.0), capture::kBeatStripTop + 5), capture::kBeatColour);
    EXPECT_NE(board_.at(x(2.5), capture::kBeatStripTop + 5), capture::kBeatColour);
    EXPECT_EQ(board_.at(x(7.5), capture::kWaveTop + 2), capture::kSceneChangeColour);
    EXPECT_NE(board_.at(x(8.2), capture::kWaveTop + 2), capture::kSceneChangeColour);
}

} // namespace

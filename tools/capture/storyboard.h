// One picture of the whole show: a frame from the middle of each scene, in
// play order and labelled with the scene's number and time, over the song's
// waveform with the scene changes and the beat flashes marked.
#pragma once

#include "tools/wavfile/wavfile.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace capture {

// The layout, in pixels: three panels a row, two rows, each panel under its
// label; below them a strip of beat marks, the waveform, and an axis with the
// scene numbers and the times of the scene changes.
inline constexpr int kPanelWidth = 384;
inline constexpr int kPanelHeight = 216;
inline constexpr int kPanelColumns = 3;
inline constexpr int kBoardMargin = 8;
inline constexpr int kLabelHeight = 26;
inline constexpr int kBeatStripHeight = 12;
inline constexpr int kWaveHeight = 140;
inline constexpr int kAxisHeight = 22;
inline constexpr int kBoardWidth = kPanelColumns * kPanelWidth + (kPanelColumns + 1) * kBoardMargin;
inline constexpr int kPanelsBottom = 2 * (kBoardMargin + kLabelHeight + kPanelHeight);
inline constexpr int kWaveLeft = kBoardMargin;
inline constexpr int kWaveWidth = kBoardWidth - 2 * kBoardMargin;
inline constexpr int kBeatStripTop = kPanelsBottom + kBoardMargin;
inline constexpr int kWaveTop = kBeatStripTop + kBeatStripHeight;
inline constexpr int kAxisTop = kWaveTop + kWaveHeight;
inline constexpr int kBoardHeight = kAxisTop + kAxisHeight + kBoardMargin;

// Colours as 0xRRGGBB: the waveform, the beat marks and the scene changes
// each have their own, so that one can be told from another.
inline constexpr std::uint32_t kBoardBackground = 0x181818;
inline constexpr std::uint32_t kWaveColour = 0x6CB4FF;
inline constexpr std::uint32_t kBeatColour = 0xFF40FF;
inline constexpr std::uint32_t kSceneChangeColour = 0xFFD040;

// Top-left corner of panel i (0 to 5, in play order) and of its label above it.
int panelLeft(int i);
int panelTop(int i);

struct StoryboardPanel {
    int part = 0;      // scene number
    double from = 0.0; // its span of show time
    double to = 0.0;
    int width = 0; // the frame, RGBA rows top down; empty when it was not captured
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

struct Storyboard {
    std::array<StoryboardPanel, 6> panels;
    std::vector<double> beats; // show times of the beat flashes
    double showSeconds = 0.0;  // the waveform's width in show time
};

// The show time a scene's panel is taken from: the middle of its span.
double panelTime(const StoryboardPanel& panel);

// Draws the board with `sound` (starting at show time 0) and writes it as an
// RGB PNG. False with a reason when the file cannot be written.
bool writeStoryboard(const std::string& path, const Storyboard& board, const wavfile::Sound& sound, std::string& why);

} // namespace capture

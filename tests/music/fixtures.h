// Small modules of known shape for the music tests, and loading them.
#pragma once

#include "music/module.h"
#include "tools/songgen/xmwriter.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace music::test {

struct ModuleDeleter {
    void operator()(music::Module* m) const;
};
using ModulePtr = std::unique_ptr<music::Module, ModuleDeleter>;

// Loads bytes through the memory source (the bytes must outlive the call only).
ModulePtr load(const std::vector<std::uint8_t>& bytes);

// A song of the given channels with one empty 64-row pattern per order entry
// named, and one instrument holding one 8-bit looped square-wave sample.
songgen::Song basicSong(int channels, int patterns);
// The cell of a pattern, growing the cells to full size first.
songgen::Cell& cell(songgen::Song& song, int pattern, int row, int channel);

// Loads the song's XM bytes and prepares the module to render at 44,100 Hz.
ModulePtr start(const songgen::Song& song);
// Runs the player's tick handler n times.
void ticks(music::Module* m, int n);

// XM note numbering: 1 = C-0, so C-4 is 49.
inline constexpr std::uint8_t kC4 = 49;

// Offsets into a file written by songgen::write.
inline constexpr std::size_t kFirstPatternOffset = 60 + 276;

} // namespace music::test

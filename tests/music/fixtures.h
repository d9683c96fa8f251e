// Small modules of known shape for the music tests, and loading them.
#pragma once

#include "music/channel.h"
#include "music/module.h"
#include "tools/songgen/xmwriter.h"

#include <array>
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

// A song of the given channels, speed and tempo with one empty 64-row pattern
// per order entry named, and one instrument holding one 8-bit looped
// square-wave sample.
songgen::Song basicSong(int channels, int patterns, std::uint16_t speed = 6, std::uint16_t bpm = 125);
// An 8-bit sample of the values and loop given.
songgen::Sample looped(std::vector<std::int16_t> values, songgen::Loop loop, std::uint32_t start, std::uint32_t length);
// The cell of a pattern, growing the cells to full size first.
songgen::Cell& cell(songgen::Song& song, int pattern, int row, int channel);

// Loads the song's XM bytes and prepares the module to render at 44,100 Hz.
ModulePtr start(const songgen::Song& song);
// Runs the player's tick handler n times.
void ticks(music::Module* m, int n);

// Volume and panning envelopes of the points (0, 0), (2, 20), (4, 40), (9, 0)
// with the flags given, loop points 1 and 2 and sustain point 1.
music::Instrument envelopeInstrument(std::uint8_t type);
// The channel's volume envelope value after each of n steps through the instrument's envelope.
std::vector<int> volumeEnvelopeSteps(music::Channel& ch, const music::Instrument& in, int n);

// What `read` gives for each of the first `count` channels after each of the
// next n ticks: one list per channel.
template <typename Read> std::vector<std::vector<int>> overTicks(music::Module* m, int n, int count, Read read) {
    std::vector<std::vector<int>> out(static_cast<std::size_t>(count));
    for (int t = 0; t < n; ++t) {
        m->tickHandler(m);
        for (int c = 0; c < count; ++c) {
            out[static_cast<std::size_t>(c)].push_back(read(music::channels[c]));
        }
    }
    return out;
}

// Integer fields of any widths as one record, compared and printed whole.
template <typename... T> std::array<long, sizeof...(T)> record(T... values) {
    return {static_cast<long>(values)...};
}
// A pattern cell's fields in file order.
inline std::array<long, 5> fields(const music::NoteCell& c) {
    return record(c.note, c.instrument, c.volume, c.effect, c.parameter);
}

// XM note numbering: 1 = C-0, so C-4 is 49.
inline constexpr std::uint8_t kC4 = 49;

// Offsets into a file written by songgen::write.
inline constexpr std::size_t kFirstPatternOffset = 60 + 276;

} // namespace music::test

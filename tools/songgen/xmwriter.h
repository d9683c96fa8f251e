// Writes songs in the XM format (FastTracker 2 layout: header size 276,
// patterns with packed cells, instruments of 263-byte headers with 40-byte
// sample headers, delta-coded sample data). Used by the song generator and
// by tests that need modules of a known shape.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace songgen {

struct Cell {
    std::uint8_t note = 0; // 1..96, 97 key off
    std::uint8_t instrument = 0;
    std::uint8_t volume = 0;
    std::uint8_t effect = 0;
    std::uint8_t parameter = 0;
};

struct Pattern {
    int rows = 64;
    std::vector<Cell> cells; // rows x channels, row-major; empty means all empty
};

enum class Loop : std::uint8_t { none = 0, forward = 1, pingPong = 2 };

struct Sample {
    std::vector<std::int16_t> values; // for 8-bit samples only the range -128..127 is used
    bool sixteenBit = false;
    Loop loop = Loop::none;
    std::uint32_t loopStart = 0; // in values
    std::uint32_t loopLength = 0;
    std::uint8_t volume = 64;
    std::int8_t finetune = 0;
    std::uint8_t panning = 128;
    std::int8_t relativeNote = 0;
    std::string name;
};

struct Envelope {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> points; // (tick, value)
    std::uint8_t sustain = 0;
    std::uint8_t loopStart = 0;
    std::uint8_t loopEnd = 0;
    std::uint8_t type = 0; // bit 0 on, bit 1 sustain, bit 2 loop
};

struct Instrument {
    std::string name;
    std::vector<Sample> samples;
    std::uint8_t keyMap[96] = {};
    Envelope volume;
    Envelope panning;
    std::uint8_t vibratoType = 0;
    std::uint8_t vibratoSweep = 0;
    std::uint8_t vibratoDepth = 0;
    std::uint8_t vibratoRate = 0;
    std::uint16_t fadeout = 0; // the file's value
};

struct Song {
    std::string title;
    int channels = 4;
    std::vector<std::uint8_t> orders;
    std::uint16_t restart = 0;
    std::uint16_t flags = 1; // linear frequency table
    std::uint16_t speed = 6;
    std::uint16_t bpm = 125;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

std::vector<std::uint8_t> write(const Song& song);

} // namespace songgen

// The loaded song: patterns, instruments and samples as the player and the
// mixer use them, and the playback position the player keeps in it.
//
// Ownership: loadModule (xmloader.h) allocates a Module and everything it
// points to; freeModule releases it all. Sample slots and instruments that
// a file leaves out point to the shared EmptySample / EmptyInstrument, which
// are never freed and never written.
#pragma once

#include <cstdint>

namespace music {

// XM format: note 97 in a file is a key-off; the loader stores it as KEY_OFF.
inline constexpr std::uint8_t KEY_OFF = 0xFF;
// XM format: at most 16 samples per instrument, 12 envelope points, 96 notes.
inline constexpr int kSamplesPerInstrument = 16;
inline constexpr int kEnvelopePoints = 12;
inline constexpr int kNotes = 96;
// The player keeps state for this many pattern channels.
inline constexpr int kMaxChannels = 32;

struct NoteCell {
    std::uint8_t note;       // 0 none, 1..96 notes, KEY_OFF
    std::uint8_t instrument; // 0 none, else 1-based
    std::uint8_t volume;     // volume-column byte
    std::uint8_t effect;
    std::uint8_t parameter;
};

struct Pattern {
    std::uint32_t rows;
    NoteCell* cells; // rows x channelCount, row-major
};

enum LoopMode : std::uint8_t { kLoopNone = 1, kLoopForward = 2, kLoopPingPong = 4 };

struct Sample {
    // length + 8 values, zero after the data, so interpolation may read one
    // value past the end; null when length is 0.
    std::int16_t* data;
    std::uint32_t length;     // in values
    std::uint32_t loopStart;  // in values
    std::uint32_t loopLength; // loopStart + loopLength: where playing stops or wraps
    std::uint8_t defaultVolume;
    std::int8_t finetune;
    std::uint32_t defaultPanning;
    std::uint8_t bits; // 16 once loaded
    std::uint8_t loopMode;
    std::int8_t relativeNote;
};

struct EnvelopePoint {
    std::uint16_t x; // tick
    std::uint16_t y; // 0..64
};

// Envelope type bits.
inline constexpr std::uint8_t kEnvelopeOn = 1;
inline constexpr std::uint8_t kEnvelopeSustain = 2;
inline constexpr std::uint8_t kEnvelopeLoop = 4;

struct Instrument {
    std::uint32_t sampleCount;
    Sample* samples[kSamplesPerInstrument];
    std::uint8_t keyMap[kNotes];
    EnvelopePoint volumeEnvelope[kEnvelopePoints];
    EnvelopePoint panningEnvelope[kEnvelopePoints];
    std::uint8_t volumePointCount;
    std::uint8_t panningPointCount;
    std::uint8_t volumeSustainPoint;
    std::uint8_t volumeLoopStart;
    std::uint8_t volumeLoopEnd;
    std::uint8_t panningSustainPoint;
    std::uint8_t panningLoopStart;
    std::uint8_t panningLoopEnd;
    std::uint8_t volumeType;
    std::uint8_t panningType;
    std::uint8_t vibratoType;
    std::uint8_t vibratoSweep;
    std::uint8_t vibratoDepth;
    std::uint8_t vibratoRate;
    std::uint16_t fadeout; // twice the file's value
};

struct Module;
using TickHandler = void (*)(Module*);

// Module flag bit 0: linear frequency table (else the Amiga period table).
inline constexpr std::uint16_t kLinearFrequencies = 1;

struct Module {
    Pattern* patterns;
    Instrument* instruments;
    std::int32_t samplesLeftInTick;
    std::int32_t samplesPerTick;
    std::int16_t songLength;
    std::int16_t restartPosition;
    std::int16_t channelCount;
    std::int32_t patternsUsed;
    std::int32_t patternSlots;
    std::int16_t instrumentCount;
    std::uint16_t flags;
    std::int16_t defaultSpeed;
    std::int16_t defaultBpm;
    std::uint8_t orderTable[256];
    std::uint8_t defaultGlobalVolume;
    // Playback position and song-wide state (player.cpp).
    std::int32_t globalVolume;
    std::uint8_t globalVolumeSlideMemory;
    std::int32_t tick;
    std::int32_t speed;
    std::int32_t bpm;
    std::int32_t row;
    std::int32_t order;
    std::int32_t patternDelayTicks;
    std::int32_t nextRow;   // -1 = none
    std::int32_t nextOrder; // -1 = none
    TickHandler tickHandler;
};

extern Sample EmptySample;
extern Instrument EmptyInstrument;

} // namespace music

// The player's state per pattern channel, shared by the row and tick code
// (player.cpp) and the modulators and voice update (modulators.cpp).
#pragma once

#include "music/mixer.h"
#include "music/module.h"

#include <cstdint>

namespace music {

// What the voice update must do this tick.
inline constexpr std::uint8_t UPDATE_FREQUENCY = 0x01;
inline constexpr std::uint8_t UPDATE_VOLUME = 0x02;
inline constexpr std::uint8_t UPDATE_PANNING = 0x04;
inline constexpr std::uint8_t UPDATE_TRIGGER = 0x08;
inline constexpr std::uint8_t UPDATE_RESTART = 0x20;

struct Channel {
    std::uint8_t note; // 0..95
    std::uint8_t updateFlags;
    Voice* voice;
    const Sample* sample;
    std::int32_t period;
    std::int32_t volume;
    std::int32_t panning;
    std::int32_t volumeDelta;
    std::int32_t periodDelta;
    std::int32_t volEnvTick;
    std::int32_t volEnvPoint;
    std::int32_t volEnvFixed; // 16.16
    std::int32_t volEnvValue; // 0..64
    std::int32_t volEnvStep;  // 16.16 per tick
    std::uint8_t volEnvStopped;
    std::int32_t panEnvTick;
    std::int32_t panEnvPoint;
    std::int32_t panEnvFixed;
    std::int32_t panEnvValue; // 32 = centre
    std::int32_t panEnvStep;
    std::uint8_t panEnvStopped;
    std::int32_t fadeoutVolume; // 65536 down to 0 after key off
    std::int32_t autoVibratoPosition;
    std::int32_t autoVibratoSweepPosition;
    std::uint8_t keyOff;
    std::uint8_t instrument; // 0-based
    std::uint8_t realNote;
    std::int32_t notePeriod;
    std::uint8_t lastEffect;
    std::uint32_t sampleOffsetMemory;
    std::uint8_t portaDownMemory;
    std::uint8_t portaUpMemory;
    std::uint8_t extraFinePortaDownMemory;
    std::uint8_t extraFinePortaUpMemory;
    std::uint8_t volumeSlideMemory;
    std::uint8_t panningSlideMemory;
    std::uint8_t retrigVolumeMode;
    std::uint8_t retrigInterval;
    std::int32_t portaTarget;
    std::uint8_t portaSpeed;
    std::int8_t vibratoPosition;
    std::uint8_t vibratoSpeed;
    std::uint8_t vibratoDepth;
    std::int8_t tremoloPosition;
    std::uint8_t tremoloSpeed;
    std::uint8_t tremoloDepth;
    std::uint8_t tremorPosition;
    std::uint8_t tremorOn;
    std::uint8_t tremorOff;
    std::int32_t patternLoopRow;
    std::int32_t patternLoopCount;
    std::uint8_t waveControl; // low nibble vibrato waveform, high nibble tremolo waveform
    std::uint8_t fineVolumeSlideMemory;
    std::uint8_t finePortaUpMemory;
    std::uint8_t finePortaDownMemory;
    // The cell read at the row start; the row's other ticks work from it.
    NoteCell cell;
};

extern Channel channels[kMaxChannels];

} // namespace music

// The live sound device under wave-out, one per backend: SDL audio on the
// desktop (sdlaudio.cpp), Web Audio in the browser (webaudio.cpp). The
// device pulls 16-bit PCM by calling fill from its own thread (SDL) or from
// the page's audio callback (browser); lock/unlock keep fill from running.
// Internal to the wave-out layer.
#pragma once

#include "platform/winmm/mmsystem.h"

#include <cstdint>
#include <string>

namespace platform::winmm::audio {

using FillCallback = void (*)(void* user, std::uint8_t* stream, int length);

struct Opened {
    std::uint32_t id = 0;
    // Bytes fill is asked for at a time, and what the device is taken to hold
    // beyond them before they are heard.
    std::uint64_t bufferBytes = 0;
    std::uint64_t heldBytes = 0;
    std::string why; // when open fails: the device's own reason
};

// Opens the default device for the format and starts pulling; false (with
// the reason in why) when no device opens.
bool open(const WAVEFORMATEX& format, FillCallback fill, void* user, Opened& out);
void lock(std::uint32_t id);
void unlock(std::uint32_t id);
void close(std::uint32_t id);

} // namespace platform::winmm::audio

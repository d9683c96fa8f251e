// What the wave-out layer tells beyond the platform's calls. The virtual-mode
// sink plays at the pace of the virtual clock (clock.h) and can keep every
// byte it plays, so a capture or a test gets the exact PCM the show produced;
// the live SDL device tells how far its callback has copied.
#pragma once

#include "platform/winmm/mmsystem.h"

#include <cstdint>
#include <vector>

namespace platform::winmm {

// From now on the virtual sink keeps the bytes it plays, starting from an
// empty store (or stops keeping them).
void keepWaveOutPcm(bool keep);
// The bytes kept so far, brought up to the current clock first; the store is emptied.
std::vector<std::uint8_t> takeWaveOutPcm();
// Once the virtual sink plays: the clock reading at its waveOutWrite (the
// first kept byte plays then), its frames per second and its channels.
// False while no virtual device is open or nothing has been written to it.
bool virtualSinkStart(std::uint64_t& writeNs, std::uint32_t& framesPerSecond, std::uint32_t& channels);
// True when the live device fell back to the null sink at its last open.
bool waveOutUsesNullSink();
// Live SDL device: the bytes of the playing header its callback has copied
// since the write (waveOutGetPosition reports what is heard, behind them), and
// the bytes of SDL's buffer. False for the null and virtual sinks.
bool waveOutCopiedBytes(HWAVEOUT device, std::uint64_t& copiedBytes, std::uint64_t& bufferBytes);

} // namespace platform::winmm

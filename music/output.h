// Audio output: one wave-out device playing a ring of 16-bit stereo PCM in an
// endless loop, and an audio thread that refills each 20 ms block of the ring
// right after the device has played it, recording the song position each
// block reached.
//
// Threads: the main thread calls everything here; the audio thread only
// fills blocks. They share the position records, playBlock and three
// flags, all atomics; nothing else crosses.
#pragma once

#include "music/module.h"

namespace music {

inline constexpr int kOutputRate = 44100;
inline constexpr int kBufferMilliseconds = 10000;

// Needs the source callbacks installed; opens the device and prepares the voices.
bool openOutput(int rate, int flags);
// Fills the whole ring, starts the device looping it and the audio thread.
// False for no module or no open device.
bool startPlayback(Module* module);
// Stops the audio thread (a block being filled is completed first), stops the
// device and frees the ring. False for no module.
bool stopPlayback(Module* module);
// Stops and closes the device.
void closeOutput();

// The order and row recorded for the block now playing; 0 unless the module plays.
int currentOrder(const Module* module);
int currentRow(const Module* module);
// The module playing, or null.
Module* playingModule();

// Sizes at the open rate: 884 frames per block and 1,000 blocks at 44,100 Hz.
int blockFrames();
int ringFrames();

} // namespace music

// The per-channel modulators the player runs: vibrato, tremolo, tremor, the
// instrument's automatic vibrato, the volume and panning envelopes, the two
// period tables, and the voice update that turns a channel into mixer voice
// settings. Each step sets the update flag named with it.
#pragma once

#include "music/channel.h"
#include "music/module.h"

#include <cstdint>

namespace music {

// XM format, linear table: 7680 - note x 64 - finetune / 2.
std::int32_t linearPeriod(std::int32_t realNote, std::int32_t finetune);
// XM format, Amiga table: 13.375 x 2^((132 - note) / 12), with finetune
// interpolated toward the neighbouring semitone.
std::int32_t amigaPeriod(std::int32_t realNote, std::int32_t finetune);
// The table the module's flags choose.
std::int32_t periodOf(const Module& module, std::int32_t realNote, std::int32_t finetune);

void vibratoStep(Channel& ch);
void vibratoAdvance(Channel& ch);
void tremoloStep(Channel& ch);
void tremorStep(Channel& ch);
void autoVibratoStep(Channel& ch, const Instrument& instrument);

void volumeEnvelopeStep(Channel& ch, const Instrument& instrument);
void panningEnvelopeStep(Channel& ch, const Instrument& instrument);
// Lxx: moves the volume envelope to the tick given.
void setVolumeEnvelopePosition(Channel& ch, const Instrument& instrument, std::int32_t tick);

// Applies the channel's update flags to its voice; sample is the one the
// channel's note looked up (started on a trigger).
void updateVoice(Channel& ch, const Module& module, const Sample* sample);

} // namespace music

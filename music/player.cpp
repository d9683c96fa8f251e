// Rows, ticks and effects. Effect numbers, parameters and volume-column
// bytes are those of the XM format; where this player departs from
// FastTracker 2 the departure is named at the code that makes it.

#include "music/player.h"

#include "music/channel.h"
#include "music/mixer.h"
#include "music/modulators.h"

#include <algorithm>
#include <cstring>

namespace music {

Channel channels[kMaxChannels];

namespace {

enum Effect : std::uint8_t {
    kArpeggio = 0x0,
    kPortaUp = 0x1,
    kPortaDown = 0x2,
    kTonePorta = 0x3,
    kVibrato = 0x4,
    kTonePortaVolumeSlide = 0x5,
    kVibratoVolumeSlide = 0x6,
    kTremolo = 0x7,
    kSetPanning = 0x8,
    kSampleOffset = 0x9,
    kVolumeSlide = 0xA,
    kPositionJump = 0xB,
    kSetVolume = 0xC,
    kPatternBreak = 0xD,
    kExtended = 0xE,
    kSpeedTempo = 0xF,
    kGlobalVolume = 0x10,
    kGlobalVolumeSlide = 0x11,
    kKeyOff = 0x14,
    kEnvelopePosition = 0x15,
    kPanningSlide = 0x19,
    kMultiRetrig = 0x1B,
    kTremor = 0x1D,
    kExtraFinePorta = 0x21,
};

enum Extended : std::uint8_t {
    kFinePortaUp = 0x1,
    kFinePortaDown = 0x2,
    kVibratoWave = 0x4,
    kSetFinetune = 0x5,
    kPatternLoop = 0x6,
    kTremoloWave = 0x7,
    kFinePanning = 0x8,
    kRetrigger = 0x9,
    kFineVolumeUp = 0xA,
    kFineVolumeDown = 0xB,
    kNoteCut = 0xC,
    kNoteDelay = 0xD,
    kPatternDelay = 0xE,
};

// The instrument and sample a channel's note selects; the empty records when
// the instrument does not exist.
struct Lookup {
    const Instrument* instrument;
    Sample* sample;
    bool exists;
};

Lookup lookUp(const Module& m, const Channel& ch) {
    if (ch.instrument >= m.instrumentCount) {
        return {&EmptyInstrument, &EmptySample, false};
    }
    const Instrument& in = m.instruments[ch.instrument];
    const std::uint8_t slot = in.keyMap[ch.note];
    return {&in, slot < kSamplesPerInstrument ? in.samples[slot] : &EmptySample, true};
}

// Row-start state of the whole row (shared by its channels).
struct RowState {
    bool jumped;
};

void remember(std::uint8_t& memory, std::uint8_t value) {
    if (value != 0) {
        memory = value;
    }
}

void raiseVolume(Channel& ch, int by) {
    ch.volume = std::min(ch.volume + by, 64);
    ch.updateFlags |= UPDATE_VOLUME;
}

void lowerVolume(Channel& ch, int by) {
    ch.volume = std::max(ch.volume - by, 0);
    ch.updateFlags |= UPDATE_VOLUME;
}

void setPanning(Channel& ch, std::int32_t panning) {
    ch.panning = panning;
    ch.updateFlags |= UPDATE_PANNING;
}

// XM volume column 0xDx slides the panning left by x, 0xEx right by x.
void panningSlideColumn(Channel& ch, std::uint8_t b) {
    const int x = b & 15;
    setPanning(ch, (b >> 4) == 0xD ? ch.panning - x : ch.panning + x);
}

void volumeSlide(Channel& ch) {
    const int up = ch.volumeSlideMemory >> 4;
    const int down = ch.volumeSlideMemory & 15;
    if (up != 0) {
        raiseVolume(ch, up);
    } else if (down != 0) {
        lowerVolume(ch, down);
    }
    ch.updateFlags |= UPDATE_VOLUME;
}

void tonePortaStep(Channel& ch) {
    const int speed = ch.portaSpeed * 4;
    if (ch.period < ch.portaTarget) {
        ch.period = std::min(ch.period + speed, ch.portaTarget);
    } else if (ch.period > ch.portaTarget) {
        ch.period = std::max(ch.period - speed, ch.portaTarget);
    }
    ch.updateFlags |= UPDATE_FREQUENCY;
}

void resetFromSample(Channel& ch, const Sample& s) {
    ch.volume = s.defaultVolume;
    ch.panning = static_cast<std::int32_t>(s.defaultPanning);
    ch.volEnvValue = 64;
    ch.panEnvValue = 32;
    ch.volEnvTick = ch.volEnvPoint = ch.volEnvStep = 0;
    ch.panEnvTick = ch.panEnvPoint = ch.panEnvStep = 0;
    ch.volEnvStopped = 0;
    ch.panEnvStopped = 0;
    ch.keyOff = 0;
    ch.fadeoutVolume = 65536;
    ch.autoVibratoPosition = 0;
    ch.autoVibratoSweepPosition = 0;
    if ((ch.waveControl & 0x0F) < 4) {
        ch.vibratoPosition = 0;
    }
    if ((ch.waveControl >> 4) < 4) {
        ch.tremoloPosition = 0;
    }
    ch.tremorPosition = 0;
    ch.updateFlags |= UPDATE_VOLUME | UPDATE_PANNING;
}

void volumeColumnAtRowStart(Channel& ch, std::uint8_t b) {
    const int x = b & 15;
    switch (b >> 4) {
    case 0x1:
    case 0x2:
    case 0x3:
    case 0x4:
        ch.volume = b - 16;
        ch.updateFlags |= UPDATE_VOLUME;
        break;
    case 0x5:
        if (b == 0x50) {
            ch.volume = 64;
            ch.updateFlags |= UPDATE_VOLUME;
        }
        break;
    case 0x6:
    case 0x8:
        lowerVolume(ch, x);
        break;
    case 0x7:
    case 0x9:
        raiseVolume(ch, x);
        break;
    case 0xA:
        ch.vibratoSpeed = static_cast<std::uint8_t>(x);
        break;
    case 0xB:
        ch.vibratoDepth = static_cast<std::uint8_t>(x);
        break;
    case 0xC:
        setPanning(ch, x * 16);
        break;
    case 0xD:
    case 0xE:
        panningSlideColumn(ch, b);
        break;
    case 0xF:
        if (x != 0) {
            ch.portaSpeed = static_cast<std::uint8_t>(x * 16);
        }
        ch.updateFlags &= static_cast<std::uint8_t>(~UPDATE_TRIGGER);
        ch.portaTarget = ch.notePeriod;
        break;
    default:
        break;
    }
}

// Departure from FastTracker 2: the 0x6x and 0x7x slides also act on the
// row's first tick (above), and on every other tick (here).
void volumeColumnOnTick(Channel& ch, std::uint8_t b) {
    const int x = b & 15;
    switch (b >> 4) {
    case 0x6:
        lowerVolume(ch, x);
        break;
    case 0x7:
        raiseVolume(ch, x);
        break;
    case 0xB:
        ch.vibratoDepth = static_cast<std::uint8_t>(x);
        vibratoStep(ch);
        vibratoAdvance(ch);
        break;
    case 0xD:
    case 0xE:
        panningSlideColumn(ch, b);
        break;
    case 0xF:
        tonePortaStep(ch);
        break;
    default:
        break;
    }
}

void extendedAtRowStart(Module& m, Channel& ch, const Lookup& found, std::uint8_t y, std::int32_t keptVolume,
                        std::int32_t keptPeriod, std::int32_t keptPanning) {
    switch (ch.cell.parameter >> 4) {
    case kFinePortaUp:
        remember(ch.finePortaUpMemory, y);
        ch.period -= ch.finePortaUpMemory * 4;
        break;
    case kFinePortaDown:
        remember(ch.finePortaDownMemory, y);
        ch.period += ch.finePortaDownMemory * 4;
        break;
    case kVibratoWave:
        ch.waveControl = static_cast<std::uint8_t>((ch.waveControl & 0xF0) | y);
        break;
    case kSetFinetune:
        // Changes the shared sample, so every note that plays it hears the new
        // finetune; the shared empty sample is left untouched.
        if (found.sample != &EmptySample) {
            found.sample->finetune = static_cast<std::int8_t>(y);
        }
        break;
    case kPatternLoop:
        if (y == 0) {
            ch.patternLoopRow = m.row;
        } else {
            ch.patternLoopCount = ch.patternLoopCount == 0 ? y : ch.patternLoopCount - 1;
            // The loop row becomes the next row directly (rather than moving
            // the current row back by one), so the row reported for this row
            // stays its own and a loop row from an earlier, longer pattern is
            // checked against this pattern's rows when it is taken.
            if (ch.patternLoopCount != 0 && m.nextRow < 0) {
                m.nextRow = ch.patternLoopRow;
            }
        }
        break;
    case kTremoloWave:
        ch.waveControl = static_cast<std::uint8_t>((ch.waveControl & 0x0F) | (y << 4));
        break;
    case kFinePanning:
        setPanning(ch, y * 16);
        break;
    case kFineVolumeUp:
        remember(ch.fineVolumeSlideMemory, y);
        raiseVolume(ch, ch.fineVolumeSlideMemory);
        break;
    case kFineVolumeDown:
        remember(ch.fineVolumeSlideMemory, y);
        lowerVolume(ch, ch.fineVolumeSlideMemory);
        break;
    case kNoteDelay:
        ch.updateFlags &= 0xF0;
        ch.volume = keptVolume;
        ch.period = keptPeriod;
        ch.panning = keptPanning;
        break;
    case kPatternDelay:
        m.patternDelayTicks = y * m.speed;
        break;
    default:
        break;
    }
}

void effectAtRowStart(Module& m, Channel& ch, const Lookup& found, RowState& rowState, std::int32_t keptVolume,
                      std::int32_t keptPeriod, std::int32_t keptPanning) {
    const std::uint8_t p = ch.cell.parameter;
    const auto x = static_cast<std::uint8_t>(p >> 4);
    const auto y = static_cast<std::uint8_t>(p & 15);
    switch (ch.cell.effect) {
    case kPortaUp:
        remember(ch.portaUpMemory, p);
        break;
    case kPortaDown:
        remember(ch.portaDownMemory, p);
        break;
    case kTonePorta:
        remember(ch.portaSpeed, p);
        ch.portaTarget = ch.notePeriod;
        ch.updateFlags &= static_cast<std::uint8_t>(~(UPDATE_TRIGGER | UPDATE_FREQUENCY));
        break;
    case kVibrato:
        remember(ch.vibratoSpeed, x);
        remember(ch.vibratoDepth, y);
        vibratoStep(ch);
        break;
    case kTonePortaVolumeSlide:
        ch.portaTarget = ch.notePeriod;
        remember(ch.volumeSlideMemory, p);
        ch.updateFlags &= static_cast<std::uint8_t>(~(UPDATE_TRIGGER | UPDATE_FREQUENCY));
        break;
    case kVibratoVolumeSlide:
        remember(ch.volumeSlideMemory, p);
        vibratoStep(ch);
        break;
    case kTremolo:
        remember(ch.tremoloSpeed, x);
        remember(ch.tremoloDepth, y);
        break;
    case kSetPanning:
        setPanning(ch, p);
        break;
    case kSampleOffset: {
        if (p != 0) {
            ch.sampleOffsetMemory = p;
        }
        const std::uint32_t offset = ch.sampleOffsetMemory * 256;
        if (offset < found.sample->loopStart + found.sample->loopLength) {
            ch.voice->startOffset = offset;
        } else {
            ch.updateFlags &= static_cast<std::uint8_t>(~UPDATE_TRIGGER);
            ch.updateFlags |= UPDATE_RESTART;
        }
        break;
    }
    case kVolumeSlide:
        remember(ch.volumeSlideMemory, p);
        break;
    case kPositionJump:
        m.nextRow = 0;
        m.nextOrder = p >= m.songLength ? 0 : p;
        rowState.jumped = true;
        break;
    case kSetVolume:
        ch.volume = p; // not clamped: a volume above 64 plays louder
        ch.updateFlags |= UPDATE_VOLUME;
        break;
    case kPatternBreak: {
        // XM format: the parameter is the row in decimal digits.
        const int target = x * 10 + y;
        m.nextRow = target > 63 ? 0 : target;
        if (!rowState.jumped) {
            m.nextOrder = m.order + 1;
        }
        if (m.nextOrder >= m.songLength) {
            m.nextOrder = 0;
        }
        break;
    }
    case kExtended:
        extendedAtRowStart(m, ch, found, y, keptVolume, keptPeriod, keptPanning);
        break;
    case kSpeedTempo:
        if (p < 32) {
            m.speed = p;
        } else {
            setBpm(&m, p);
        }
        break;
    case kGlobalVolume:
        m.globalVolume = std::min<int>(p, 64);
        ch.updateFlags |= UPDATE_VOLUME;
        break;
    case kGlobalVolumeSlide:
        remember(m.globalVolumeSlideMemory, p);
        break;
    case kEnvelopePosition:
        if ((found.instrument->volumeType & kEnvelopeOn) != 0) {
            setVolumeEnvelopePosition(ch, *found.instrument, p);
        }
        break;
    case kPanningSlide:
        if (p != 0) {
            ch.panningSlideMemory = p;
            ch.updateFlags |= UPDATE_PANNING;
        }
        break;
    case kMultiRetrig:
        if (p != 0) {
            ch.retrigVolumeMode = x;
            ch.retrigInterval = y;
        }
        break;
    case kTremor:
        if (p != 0) {
            ch.tremorOn = static_cast<std::uint8_t>(x + 1);
            ch.tremorOff = static_cast<std::uint8_t>(y + 1);
        }
        tremorStep(ch);
        break;
    case kExtraFinePorta:
        if (x == 1) {
            remember(ch.extraFinePortaUpMemory, y);
            ch.period -= ch.extraFinePortaUpMemory;
        } else if (x == 2) {
            remember(ch.extraFinePortaDownMemory, y);
            ch.period += ch.extraFinePortaDownMemory;
        }
        break;
    default:
        break;
    }
}

int retrigVolume(int volume, int mode) {
    switch (mode) {
    case 1:
        return volume - 1;
    case 2:
        return volume - 2;
    case 3:
        return volume - 4;
    case 4:
        return volume - 8;
    case 5:
        return volume - 16;
    case 6:
        return volume * 2 / 3;
    case 7:
        return volume >> 1;
    case 9:
        return volume + 1;
    case 10:
        return volume + 2;
    case 11:
        return volume + 4;
    case 12:
        return volume + 8;
    case 13:
        return volume + 16;
    case 14:
        return volume * 3 / 2;
    case 15:
        return volume * 2;
    default:
        return volume;
    }
}

void extendedOnTick(Module& m, Channel& ch, const Lookup& found) {
    const int y = ch.cell.parameter & 15;
    switch (ch.cell.parameter >> 4) {
    case kRetrigger:
        if (y != 0 && m.tick % y == 0) {
            ch.updateFlags |= UPDATE_TRIGGER | UPDATE_FREQUENCY | UPDATE_VOLUME;
        }
        break;
    case kNoteCut:
        if (m.tick == y) {
            ch.volume = 0;
            ch.updateFlags |= UPDATE_VOLUME;
        }
        break;
    case kNoteDelay:
        if (m.tick != y) {
            ch.updateFlags &= 0xF0;
        } else {
            resetFromSample(ch, *found.sample);
            ch.updateFlags |= UPDATE_FREQUENCY;
            ch.period = ch.notePeriod;
            if (ch.cell.volume != 0) {
                volumeColumnAtRowStart(ch, ch.cell.volume);
            }
            ch.updateFlags |= UPDATE_TRIGGER;
        }
        break;
    default:
        break;
    }
}

void effectOnTick(Module& m, Channel& ch, const Lookup& found) {
    const std::uint8_t p = ch.cell.parameter;
    switch (ch.cell.effect) {
    case kArpeggio: {
        if (p == 0) {
            break;
        }
        const int phase = m.tick % 3;
        const int semitones = phase == 1 ? p >> 4 : phase == 2 ? p & 15 : 0;
        if ((m.flags & kLinearFrequencies) != 0) {
            ch.periodDelta = semitones * 64;
        } else {
            ch.periodDelta = amigaPeriod(ch.realNote + semitones, found.sample->finetune) -
                             amigaPeriod(ch.realNote, found.sample->finetune);
        }
        ch.updateFlags |= UPDATE_FREQUENCY;
        break;
    }
    case kPortaUp:
        ch.period = std::max(ch.period - ch.portaUpMemory * 4, 56);
        ch.periodDelta = 0;
        ch.updateFlags |= UPDATE_FREQUENCY;
        break;
    case kPortaDown:
        ch.period += ch.portaDownMemory * 4;
        ch.periodDelta = 0;
        ch.updateFlags |= UPDATE_FREQUENCY;
        break;
    case kTonePorta:
        ch.periodDelta = 0;
        tonePortaStep(ch);
        break;
    case kVibrato:
        vibratoStep(ch);
        vibratoAdvance(ch);
        break;
    case kTonePortaVolumeSlide:
        ch.periodDelta = 0;
        tonePortaStep(ch);
        volumeSlide(ch);
        break;
    case kVibratoVolumeSlide:
        vibratoStep(ch);
        vibratoAdvance(ch);
        volumeSlide(ch);
        break;
    case kTremolo:
        tremoloStep(ch);
        break;
    case kVolumeSlide:
        volumeSlide(ch);
        break;
    case kExtended:
        extendedOnTick(m, ch, found);
        break;
    case kGlobalVolumeSlide: {
        const int x = m.globalVolumeSlideMemory >> 4;
        const int y = m.globalVolumeSlideMemory & 15;
        if (x != 0) {
            m.globalVolume = std::min(m.globalVolume + x, 64);
        } else if (y != 0) {
            m.globalVolume = std::max(m.globalVolume - y, 0);
        }
        break;
    }
    case kPanningSlide: {
        const int x = ch.panningSlideMemory >> 4;
        const int y = ch.panningSlideMemory & 15;
        if (x != 0) {
            ch.panning = std::min(ch.panning + x, 255);
        } else if (y != 0) {
            ch.panning = std::max(ch.panning - y, 0);
        }
        ch.updateFlags |= UPDATE_PANNING;
        break;
    }
    case kMultiRetrig:
        if (ch.retrigInterval != 0 && m.tick % ch.retrigInterval == 0) {
            ch.volume = std::clamp(retrigVolume(ch.volume, ch.retrigVolumeMode), 0, 64);
            ch.updateFlags |= UPDATE_VOLUME | UPDATE_TRIGGER;
        }
        break;
    case kTremor:
        tremorStep(ch);
        break;
    default:
        break;
    }
}

void envelopes(Channel& ch, const Instrument& in) {
    if ((in.volumeType & kEnvelopeOn) != 0 && ch.volEnvStopped == 0) {
        volumeEnvelopeStep(ch, in);
    }
    if ((in.panningType & kEnvelopeOn) != 0 && ch.panEnvStopped == 0) {
        panningEnvelopeStep(ch, in);
    }
}

void fadeout(Channel& ch, const Instrument& in) {
    if (ch.keyOff != 0) {
        ch.fadeoutVolume = std::max(ch.fadeoutVolume - in.fadeout, 0);
        ch.updateFlags |= UPDATE_VOLUME;
    }
}

void rowStartChannel(Module& m, Channel& ch, const NoteCell& cell, RowState& rowState) {
    ch.cell = cell;
    const bool porta = cell.effect == kTonePorta || cell.effect == kTonePortaVolumeSlide;
    // Notes above 96 are not notes (XM format: 1..96, 97 key off); they are ignored.
    const bool hasNote = cell.note != 0 && cell.note <= kNotes;
    if (!porta) {
        if (cell.instrument != 0) {
            ch.instrument = static_cast<std::uint8_t>(cell.instrument - 1);
        }
        if (hasNote) {
            ch.note = static_cast<std::uint8_t>(cell.note - 1);
        }
    }
    const Lookup found = lookUp(m, ch);
    if (found.exists && !porta) {
        ch.sample = found.sample;
    }
    const std::int32_t keptVolume = ch.volume;
    const std::int32_t keptPeriod = ch.period;
    const std::int32_t keptPanning = ch.panning;
    // The tremolo offset of the previous row stays in the volume.
    if (ch.lastEffect == kTremolo && cell.effect != kTremolo) {
        ch.volume += ch.volumeDelta;
    }
    ch.volumeDelta = 0;
    ch.lastEffect = cell.effect;
    ch.updateFlags = 0;
    if (hasNote) {
        ch.realNote = static_cast<std::uint8_t>(cell.note - 1 + found.sample->relativeNote);
        ch.notePeriod = periodOf(m, ch.realNote, found.sample->finetune);
        if (!porta) {
            ch.period = ch.notePeriod;
        }
        ch.updateFlags = UPDATE_TRIGGER;
    }
    ch.periodDelta = 0;
    ch.updateFlags |= UPDATE_FREQUENCY | UPDATE_VOLUME;
    if (cell.instrument != 0) {
        resetFromSample(ch, *found.sample);
    }
    if (cell.volume != 0) {
        volumeColumnAtRowStart(ch, cell.volume);
    }
    if (cell.note == KEY_OFF || cell.effect == kKeyOff) {
        ch.keyOff = 1;
    }
    const Instrument& in = *found.instrument;
    if ((in.volumeType & kEnvelopeOn) == 0) {
        if (ch.keyOff != 0) {
            ch.volEnvValue = 0;
        }
    } else if (ch.volEnvStopped == 0) {
        volumeEnvelopeStep(ch, in);
    }
    if ((in.panningType & kEnvelopeOn) != 0 && ch.panEnvStopped == 0) {
        panningEnvelopeStep(ch, in);
    }
    fadeout(ch, in);
    effectAtRowStart(m, ch, found, rowState, keptVolume, keptPeriod, keptPanning);
    autoVibratoStep(ch, in);
    updateVoice(ch, m, found.sample);
}

void tickChannel(Module& m, Channel& ch) {
    const Lookup found = lookUp(m, ch);
    ch.volumeDelta = 0;
    ch.periodDelta = 0;
    ch.updateFlags = 0;
    envelopes(ch, *found.instrument);
    fadeout(ch, *found.instrument);
    volumeColumnOnTick(ch, ch.cell.volume);
    effectOnTick(m, ch, found);
    autoVibratoStep(ch, *found.instrument);
    updateVoice(ch, m, found.sample);
}

std::uint32_t rowsOf(const Module& m, int order) {
    return m.patterns[m.orderTable[order]].rows;
}

void rowStart(Module& m) {
    m.nextOrder = -1;
    m.nextRow = -1;
    RowState rowState{false};
    const Pattern& pattern = m.patterns[m.orderTable[m.order]];
    const NoteCell* cells = pattern.cells + static_cast<std::size_t>(m.row) * static_cast<std::size_t>(m.channelCount);
    for (int c = 0; c < m.channelCount; ++c) {
        rowStartChannel(m, channels[c], cells[c], rowState);
    }
}

} // namespace

void resetPlayback(Module* m) {
    m->globalVolume = m->defaultGlobalVolume;
    m->nextOrder = -1;
    m->nextRow = -1;
    m->speed = m->defaultSpeed;
    m->row = 0;
    m->order = 0;
    m->samplesLeftInTick = 0;
    m->tick = 0;
    m->patternDelayTicks = 0;
    setBpm(m, m->defaultBpm);
    for (int i = 0; i < m->channelCount && i < kMaxChannels; ++i) {
        std::memset(static_cast<void*>(&channels[i]), 0, sizeof(Channel));
        channels[i].voice = &voices[i];
    }
}

void setBpm(Module* m, std::int32_t bpm) {
    m->bpm = bpm;
    const double frames = 1000.0 / (bpm * 0.4) * outputRate() * 0.001;
    // At least one frame, so that rendering always moves on.
    m->samplesPerTick = std::max(1, static_cast<std::int32_t>(frames));
}

void playerTick(Module* m) {
    if (m->tick == 0) {
        if (m->nextOrder >= 0) {
            m->order = m->nextOrder;
        }
        if (m->nextRow >= 0) {
            m->row = m->nextRow;
        }
        // A break, jump or loop target beyond the pattern's rows starts the pattern at its top.
        if (static_cast<std::uint32_t>(m->row) >= rowsOf(*m, m->order)) {
            m->row = 0;
        }
        rowStart(*m);
        if (m->nextRow == -1) {
            m->nextRow = m->row + 1;
            if (static_cast<std::uint32_t>(m->nextRow) >= rowsOf(*m, m->order)) {
                m->nextOrder = m->order + 1 < m->songLength ? m->order + 1 : m->restartPosition;
                m->nextRow = 0;
            }
        }
    } else {
        for (int c = 0; c < m->channelCount; ++c) {
            tickChannel(*m, channels[c]);
        }
    }
    m->tick += 1;
    if (m->tick >= m->speed + m->patternDelayTicks) {
        m->patternDelayTicks = 0;
        m->tick = 0;
    }
}

} // namespace music

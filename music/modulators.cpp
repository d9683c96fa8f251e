// Modulators and the voice update. Waveform and envelope arithmetic follow
// the player's fixed-point conventions: envelope values 16.16, periods in
// 1/64 semitone (linear) or Amiga period units.

#include "music/modulators.h"

#include "music/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace music {

namespace {

// Slightly below pi/64 and pi/128, so that the sine stays below 1 at the peak.
constexpr double kVibratoRadians = 0.049087375;
constexpr double kAutoVibratoRadians = 0.024543688;
// 255 / 2^35: full volume, envelope, fadeout and global volume give 127.5.
constexpr double kVolumeScale = 7.4214768e-9;

std::int32_t amigaBase(std::int32_t n) {
    return static_cast<std::int32_t>(std::pow(2.0, (132.0 - n) / 12.0) * 13.375);
}

// The envelope fields of one channel and the points of one instrument,
// so the volume and panning envelopes share one step.
struct EnvelopeState {
    std::int32_t& tick;
    std::int32_t& point;
    std::int32_t& fixed;
    std::int32_t& value;
    std::int32_t& step;
    std::uint8_t& stopped;
};

struct EnvelopeShape {
    const EnvelopePoint* points;
    std::int32_t count;
    std::uint8_t type;
    std::int32_t sustain;
    std::int32_t loopStart;
    std::int32_t loopEnd;
};

std::int32_t segmentStep(const EnvelopePoint* pts, std::int32_t i) {
    const std::int32_t dx = pts[i + 1].x - pts[i].x;
    if (dx == 0) {
        return 0;
    }
    return (pts[i + 1].y - pts[i].y) * 65536 / dx;
}

// At a point the envelope takes the point's value (and may loop back, hold
// at the sustain point or stop at the last point); between points it adds
// the segment's step once per tick.
void envelopeStep(EnvelopeState e, const EnvelopeShape& s, bool keyOff) {
    const EnvelopePoint* pts = s.points;
    if (e.point < s.count && e.tick == pts[e.point].x) {
        if ((s.type & kEnvelopeLoop) != 0 && e.point == s.loopEnd) {
            e.point = s.loopStart;
            e.tick = pts[s.loopStart].x;
        }
        if (e.point == s.count - 1) {
            e.value = pts[e.point].y;
            e.stopped = 1;
            return;
        }
        if ((s.type & kEnvelopeSustain) != 0 && e.point == s.sustain && !keyOff) {
            e.value = pts[e.point].y;
            return;
        }
        e.step = segmentStep(pts, e.point);
        e.fixed = pts[e.point].y * 65536;
        e.point += 1;
    } else if (e.point < s.count) {
        e.fixed += e.step;
    }
    e.value = e.fixed >> 16;
    e.tick += 1;
}

EnvelopeShape volumeShape(const Instrument& in) {
    return {in.volumeEnvelope,     in.volumePointCount, in.volumeType,
            in.volumeSustainPoint, in.volumeLoopStart,  in.volumeLoopEnd};
}

EnvelopeShape panningShape(const Instrument& in) {
    return {in.panningEnvelope,     in.panningPointCount, in.panningType,
            in.panningSustainPoint, in.panningLoopStart,  in.panningLoopEnd};
}

// XM format: panning 0 is full left, 255 full right; the left gain feeds the
// first sample of each output frame.
void setGains(Voice& v) {
    v.leftGain = (255 - v.panning) * v.volume / 255;
    v.rightGain = v.panning * v.volume / 255;
}

} // namespace

std::int32_t linearPeriod(std::int32_t realNote, std::int32_t finetune) {
    return 7680 - realNote * 64 - finetune / 2;
}

std::int32_t amigaPeriod(std::int32_t n, std::int32_t f) {
    const std::int32_t p = amigaBase(n);
    if (f < 0 && n != 0) {
        return p + (std::abs(f) * (p - amigaBase(n - 1))) / -128;
    }
    return p + ((p - amigaBase(n + 1)) * f) / -128;
}

std::int32_t periodOf(const Module& module, std::int32_t realNote, std::int32_t finetune) {
    return (module.flags & kLinearFrequencies) != 0 ? linearPeriod(realNote, finetune)
                                                    : amigaPeriod(realNote, finetune);
}

void vibratoStep(Channel& ch) {
    const int wave = ch.waveControl & 3;
    int d = 0;
    if (wave == 0) {
        const auto a = static_cast<int>(std::fabs(std::sin(2.0 * ch.vibratoPosition * kVibratoRadians)) * 256.0);
        d = ((ch.vibratoDepth * a) >> 5) & ~3;
    } else if (wave == 1) {
        int a = (ch.vibratoPosition * 8) & 255;
        if (ch.vibratoPosition < 0) {
            a = 255 - a;
        }
        d = ((ch.vibratoDepth * a) >> 5) & ~3;
    } else {
        d = ((ch.vibratoDepth * 255) >> 5) & ~3;
    }
    ch.periodDelta = ch.vibratoPosition < 0 ? d : -d;
    ch.updateFlags |= UPDATE_FREQUENCY;
}

void vibratoAdvance(Channel& ch) {
    int position = ch.vibratoPosition + ch.vibratoSpeed;
    if (position > 31) {
        position -= 64;
    }
    ch.vibratoPosition = static_cast<std::int8_t>(position);
}

void tremoloStep(Channel& ch) {
    const int wave = (ch.waveControl >> 4) & 3;
    int a = 255;
    if (wave == 0 || wave == 3) {
        a = static_cast<int>(std::fabs(std::sin(2.0 * ch.tremoloPosition * kVibratoRadians)) * 256.0);
    } else if (wave == 1) {
        a = ((ch.tremoloPosition & 31) * 8) & 255;
        if (ch.tremoloPosition < 0) {
            a = 255 - a;
        }
    }
    ch.volumeDelta = (ch.tremoloDepth * a) >> 6;
    if (ch.tremoloPosition < 0) {
        if (static_cast<std::int16_t>(ch.volume - ch.volumeDelta) < 0) {
            ch.volumeDelta = ch.volume;
        }
        ch.volumeDelta = -ch.volumeDelta;
    } else if (ch.volume + ch.volumeDelta > 64) {
        ch.volumeDelta = 64 - ch.volume;
    }
    int position = static_cast<std::int8_t>(static_cast<std::uint8_t>(ch.tremoloPosition + ch.tremoloSpeed));
    if (position > 31) {
        position -= 64;
    }
    ch.tremoloPosition = static_cast<std::int8_t>(position);
    ch.updateFlags |= UPDATE_VOLUME;
}

void tremorStep(Channel& ch) {
    if (ch.tremorPosition >= ch.tremorOn) {
        ch.volumeDelta = -ch.volume;
    }
    ch.tremorPosition = static_cast<std::uint8_t>(ch.tremorPosition + 1);
    if (ch.tremorPosition == ch.tremorOn + ch.tremorOff) {
        ch.tremorPosition = 0;
    }
    ch.updateFlags |= UPDATE_VOLUME;
}

void autoVibratoStep(Channel& ch, const Instrument& in) {
    const int v = ch.autoVibratoPosition;
    int wave = 0; // types above 3 have no waveform: no vibrato
    switch (in.vibratoType) {
    case 0:
        wave = static_cast<int>(std::sin(v * kAutoVibratoRadians) * 64.0);
        break;
    case 1:
        wave = v < 128 ? 64 : -64;
        break;
    case 2:
        wave = (128 - ((v + 128) % 256)) >> 1;
        break;
    case 3:
        wave = (128 - ((384 - v) % 256)) >> 1;
        break;
    default:
        break;
    }
    int e = in.vibratoDepth * wave;
    if (in.vibratoSweep != 0) {
        e = ch.autoVibratoSweepPosition * e / in.vibratoSweep;
    }
    ch.periodDelta += e >> 6;
    ch.autoVibratoSweepPosition = std::min<std::int32_t>(ch.autoVibratoSweepPosition + 1, in.vibratoSweep);
    ch.autoVibratoPosition += in.vibratoRate;
    if (ch.autoVibratoPosition > 255) {
        ch.autoVibratoPosition -= 256;
    }
    ch.updateFlags |= UPDATE_FREQUENCY;
}

void volumeEnvelopeStep(Channel& ch, const Instrument& in) {
    envelopeStep({ch.volEnvTick, ch.volEnvPoint, ch.volEnvFixed, ch.volEnvValue, ch.volEnvStep, ch.volEnvStopped},
                 volumeShape(in), ch.keyOff != 0);
    ch.updateFlags |= UPDATE_VOLUME;
}

void panningEnvelopeStep(Channel& ch, const Instrument& in) {
    envelopeStep({ch.panEnvTick, ch.panEnvPoint, ch.panEnvFixed, ch.panEnvValue, ch.panEnvStep, ch.panEnvStopped},
                 panningShape(in), ch.keyOff != 0);
    ch.updateFlags |= UPDATE_PANNING;
}

void setVolumeEnvelopePosition(Channel& ch, const Instrument& in, std::int32_t tick) {
    const EnvelopePoint* pts = in.volumeEnvelope;
    const int n = in.volumePointCount;
    // The search stops before the last point, so it never reads past the table.
    int i = 0;
    while (i < n - 1 && pts[i + 1].x < tick) {
        ++i;
    }
    if (i < n - 1) {
        ch.volEnvStopped = 0;
        ch.volEnvTick = tick;
        ch.volEnvStep = segmentStep(pts, i);
        ch.volEnvFixed = pts[i].y * 65536 + (tick - pts[i].x) * ch.volEnvStep;
        ch.volEnvPoint = i + 1;
        ch.volEnvValue = ch.volEnvFixed >> 16;
    } else if (n > 0) {
        ch.volEnvValue = pts[n - 1].y;
        ch.volEnvStopped = 1;
    }
}

void updateVoice(Channel& ch, const Module& module, const Sample* sample) {
    if (ch.period + ch.periodDelta == 0) {
        ch.updateFlags &= static_cast<std::uint8_t>(~UPDATE_FREQUENCY);
    }
    if ((ch.updateFlags & UPDATE_TRIGGER) != 0) {
        Voice* v = ch.voice;
        if (v->sample != nullptr) {
            // The old note ramps out on this voice; the new one starts on its twin.
            const int w = v->index < 32 ? v->index + 32 : v->index - 32;
            voices[w] = *v;
            voices[w].index = w;
            v->volume = 0;
            v->leftGain = 0;
            v->rightGain = 0;
            ch.voice = &voices[w];
        }
        Voice& nv = *ch.voice;
        nv.sample = sample != nullptr && sample->data != nullptr ? sample : nullptr;
        const std::uint32_t end = sample != nullptr ? sample->loopStart + sample->loopLength : 0;
        if (nv.startOffset >= end) {
            nv.startOffset = 0;
        }
        nv.position = nv.startOffset;
        nv.fraction = 0;
        nv.direction = kForward;
        nv.startOffset = 0;
        nv.rampLeft = 0;
        nv.rampRight = 0;
        nv.rampFramesLeft = 0;
    }
    Voice& voice = *ch.voice;
    if ((ch.updateFlags & UPDATE_VOLUME) != 0) {
        const double level = static_cast<double>(ch.volume + ch.volumeDelta) * ch.volEnvValue * ch.fadeoutVolume *
                             module.globalVolume * kVolumeScale;
        voice.volume = static_cast<std::int32_t>(level);
        setGains(voice);
    }
    if ((ch.updateFlags & UPDATE_PANNING) != 0) {
        const int p = ch.panning + ((128 - std::abs(ch.panning - 128)) / 32) * (ch.panEnvValue - 32);
        voice.panning = std::clamp(p, 0, 255);
        setGains(voice);
    }
    if ((ch.updateFlags & UPDATE_FREQUENCY) != 0) {
        double f = 0.0;
        if ((module.flags & kLinearFrequencies) != 0) {
            f = std::pow(2.0, (4608.0 - ch.period + ch.periodDelta) / 768.0) * 8363.0;
        } else {
            f = 14317056.0 / (ch.period + ch.periodDelta);
        }
        // Far beyond any note, and small enough that the mixer's 32.32 step
        // and its frames-to-end count stay in range.
        const double highest = static_cast<double>(outputRate()) * 128.0;
        const auto hz = static_cast<std::int64_t>(std::clamp(f, -highest, highest));
        voice.frequency = static_cast<std::int32_t>(hz);
        const std::int64_t raised = std::max<std::int64_t>(hz, 100);
        const std::int64_t rate = outputRate();
        voice.stepInteger = static_cast<std::uint32_t>(raised / rate);
        voice.stepFraction = static_cast<std::uint32_t>(((raised % rate) << 32) / rate);
    }
    if ((ch.updateFlags & UPDATE_RESTART) != 0) {
        voice.position = 0;
        voice.fraction = 0;
        voice.startOffset = 0;
    }
}

} // namespace music

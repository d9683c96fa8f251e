#include "tools/songgen/instruments.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace songgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Samples are made at 4 x 8,363 Hz and carry a relative note of +24, so C-4
// plays them at their own rate; 128 samples per cycle then sound as C-4.
constexpr double kRate = 8363.0 * 4.0;
constexpr int kCycle = 128;

// A fixed linear congruential generator, so the song is the same on every build.
struct Noise {
    std::uint32_t state;
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

std::int16_t to8(double v) {
    return static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 127.0));
}
std::int16_t to16(double v) {
    return static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0));
}

// Additive saw at phase (radians) with the harmonics given.
double saw(double phase, int harmonics) {
    double v = 0.0;
    for (int h = 1; h <= harmonics; ++h) {
        v += std::sin(h * phase) / h;
    }
    return v * 0.55;
}

double square(double phase, int harmonics) {
    double v = 0.0;
    for (int h = 1; h <= harmonics; h += 2) {
        v += std::sin(h * phase) / h;
    }
    return v * 0.9;
}

songgen::Sample looped(std::vector<std::int16_t> values, bool wide, songgen::Loop loop, std::uint32_t start,
                       std::uint32_t length) {
    songgen::Sample s;
    s.values = std::move(values);
    s.sixteenBit = wide;
    s.loop = loop;
    s.loopStart = start;
    s.loopLength = length;
    s.relativeNote = 24;
    return s;
}

// A sample whose loop spans all of it.
songgen::Sample loopedWhole(std::vector<std::int16_t> values, bool wide, songgen::Loop loop) {
    const auto length = static_cast<std::uint32_t>(values.size());
    return looped(std::move(values), wide, loop, 0, length);
}

songgen::Instrument instrument(const char* name, songgen::Sample sample) {
    songgen::Instrument in;
    in.name = name;
    in.samples.push_back(std::move(sample));
    return in;
}

void envelope(songgen::Envelope& e, std::vector<std::pair<std::uint16_t, std::uint16_t>> points, std::uint8_t type,
              std::uint8_t sustain = 0, std::uint8_t loopStart = 0, std::uint8_t loopEnd = 0) {
    e.points = std::move(points);
    e.type = type;
    e.sustain = sustain;
    e.loopStart = loopStart;
    e.loopEnd = loopEnd;
}

// A one-shot drum: a sine swept from f0 to f1 plus noise, each with its decay.
std::vector<std::int16_t> drum(double seconds, double f0, double f1, double sweep, double toneDecay, double noiseLevel,
                               double noiseDecay, double highpass, std::uint32_t seed) {
    const int n = static_cast<int>(seconds * kRate);
    std::vector<std::int16_t> out(static_cast<std::size_t>(n));
    Noise noise{seed};
    double phase = 0.0;
    double previous = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double f = f1 + (f0 - f1) * std::exp(-t / sweep);
        phase += 2.0 * kPi * f / kRate;
        const double raw = noise.next();
        const double bright = raw - highpass * previous; // a one-pole high-pass tilt
        previous = raw;
        const double tone = std::sin(phase) * std::exp(-t / toneDecay);
        const double hiss = noiseLevel * bright * std::exp(-t / noiseDecay);
        const double attack = std::min(1.0, i / 20.0);
        out[static_cast<std::size_t>(i)] = to8(0.8 * attack * (tone + hiss));
    }
    return out;
}

} // namespace

std::vector<songgen::Instrument> makeInstruments() {
    std::vector<songgen::Instrument> all;

    // Drums: 8-bit one-shots.
    all.push_back(instrument(
        "kick", looped(drum(0.35, 170, 42, 0.03, 0.16, 0.15, 0.004, 0.0, 1), false, songgen::Loop::none, 0, 0)));
    all.push_back(instrument(
        "snare", looped(drum(0.28, 240, 170, 0.02, 0.05, 0.85, 0.09, 0.5, 2), false, songgen::Loop::none, 0, 0)));
    all.push_back(instrument("closed hat",
                             looped(drum(0.06, 0, 0, 1, 1, 0.9, 0.015, 0.95, 3), false, songgen::Loop::none, 0, 0)));
    {
        songgen::Instrument open =
            instrument("open hat", looped(drum(0.5, 0, 0, 1, 1, 0.8, 0.2, 0.95, 4), false, songgen::Loop::none, 0, 0));
        envelope(open.volume, {{0, 64}, {6, 40}, {30, 0}}, 1);
        all.push_back(open);
    }
    {
        std::vector<std::int16_t> clap = drum(0.25, 0, 0, 1, 1, 0.9, 0.06, 0.7, 5);
        for (std::size_t i = 0; i < clap.size(); ++i) {
            const double t = static_cast<double>(i) / kRate;
            if ((t > 0.008 && t < 0.012) || (t > 0.02 && t < 0.024)) {
                clap[i] = static_cast<std::int16_t>(clap[i] / 4); // three hand claps close together
            }
        }
        all.push_back(instrument("clap", looped(clap, false, songgen::Loop::none, 0, 0)));
    }

    // Bass: 16-bit saw and square blend, forward loop; envelope with sustain.
    {
        std::vector<std::int16_t> v(kCycle * 8);
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double ph = 2.0 * kPi * static_cast<double>(i) / kCycle;
            v[i] = to16(0.5 * saw(ph, 12) + 0.35 * square(ph, 9) + 0.25 * std::sin(ph));
        }
        songgen::Instrument bass = instrument("bass", loopedWhole(std::move(v), true, songgen::Loop::forward));
        envelope(bass.volume, {{0, 64}, {4, 52}, {20, 44}, {40, 0}}, 3, 2);
        bass.fadeout = 2048;
        all.push_back(bass);
    }
    // Sub bass: a pure sine over four whole cycles.
    {
        std::vector<std::int16_t> v(kCycle * 4);
        for (std::size_t i = 0; i < v.size(); ++i) {
            v[i] = to16(0.85 * std::sin(2.0 * kPi * static_cast<double>(i) / kCycle));
        }
        songgen::Instrument sub = instrument("sub", loopedWhole(std::move(v), true, songgen::Loop::forward));
        envelope(sub.volume, {{0, 0}, {2, 64}, {10, 56}, {30, 0}}, 3, 2);
        sub.fadeout = 1024;
        all.push_back(sub);
    }
    // Lead: a 16-bit pulse, auto-vibrato that sweeps in, sustain then fadeout.
    {
        std::vector<std::int16_t> v(kCycle * 8);
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double ph = 2.0 * kPi * static_cast<double>(i) / kCycle;
            v[i] = to16(0.45 * square(ph, 15) + 0.3 * saw(ph, 15) + 0.2 * std::sin(2 * ph));
        }
        songgen::Instrument lead = instrument("lead", loopedWhole(std::move(v), true, songgen::Loop::forward));
        envelope(lead.volume, {{0, 0}, {2, 64}, {8, 50}, {40, 40}, {80, 30}}, 3, 2);
        envelope(lead.panning, {{0, 28}, {12, 36}, {24, 28}}, 5, 0, 0, 2);
        lead.vibratoType = 0;
        lead.vibratoSweep = 24;
        lead.vibratoDepth = 6;
        lead.vibratoRate = 12;
        lead.fadeout = 700;
        all.push_back(lead);
    }
    // Saw lead: a bright saw with a ping-pong loop over its cycles.
    {
        std::vector<std::int16_t> v(kCycle * 16);
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double ph = 2.0 * kPi * static_cast<double>(i) / kCycle;
            const double ph2 = 2.0 * kPi * static_cast<double>(i) * 17.0 / (kCycle * 16.0);
            v[i] = to16(0.5 * saw(ph, 20) + 0.3 * saw(ph2, 20));
        }
        songgen::Instrument lead = instrument("saw lead", loopedWhole(std::move(v), true, songgen::Loop::pingPong));
        envelope(lead.volume, {{0, 20}, {3, 64}, {12, 48}, {60, 36}}, 3, 2);
        lead.vibratoType = 2;
        lead.vibratoSweep = 40;
        lead.vibratoDepth = 4;
        lead.vibratoRate = 10;
        lead.fadeout = 900;
        all.push_back(lead);
    }
    // Pad: root and fifth as slightly detuned saws, 8,192 values holding
    // whole cycles of each, ping-pong loop; the volume envelope swells and
    // then loops a slow breath, the panning envelope sways left and right.
    {
        const int n = kCycle * 64;
        std::vector<std::int16_t> v(static_cast<std::size_t>(n));
        const int cycles[] = {64, 65, 63, 96, 97, 128};
        const double levels[] = {0.3, 0.25, 0.25, 0.2, 0.16, 0.1};
        for (int i = 0; i < n; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 6; ++k) {
                sum += levels[k] * saw(2.0 * kPi * cycles[k] * i / n, 10);
            }
            v[static_cast<std::size_t>(i)] = to16(0.9 * sum);
        }
        songgen::Instrument pad = instrument("pad", loopedWhole(std::move(v), true, songgen::Loop::pingPong));
        envelope(pad.volume, {{0, 0}, {40, 56}, {60, 64}, {90, 50}, {120, 64}}, 7, 4, 2, 4);
        envelope(pad.panning, {{0, 32}, {30, 50}, {90, 14}, {150, 50}}, 7, 3, 1, 3);
        pad.fadeout = 300;
        all.push_back(pad);
    }
    // Pluck for the arpeggios: an 8-bit square, short decay looping a tail.
    {
        std::vector<std::int16_t> v(kCycle * 4);
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double ph = 2.0 * kPi * static_cast<double>(i) / kCycle;
            v[i] = to8(0.6 * square(ph, 11) + 0.2 * std::sin(ph));
        }
        songgen::Instrument pluck = instrument("pluck", loopedWhole(std::move(v), false, songgen::Loop::forward));
        envelope(pluck.volume, {{0, 64}, {3, 40}, {10, 16}, {14, 20}, {18, 16}}, 5, 0, 3, 4);
        pluck.fadeout = 3000;
        all.push_back(pluck);
    }
    // Strings: soft saws with auto-vibrato, ping-pong loop, slow attack.
    {
        const int n = kCycle * 32;
        std::vector<std::int16_t> v(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const double a = 2.0 * kPi * 32.0 * i / n;
            const double b = 2.0 * kPi * 33.0 * i / n;
            v[static_cast<std::size_t>(i)] = to16(0.45 * saw(a, 8) + 0.4 * saw(b, 8));
        }
        songgen::Instrument strings = instrument("strings", loopedWhole(std::move(v), true, songgen::Loop::pingPong));
        envelope(strings.volume, {{0, 0}, {24, 60}, {40, 52}}, 3, 2);
        envelope(strings.panning, {{0, 20}, {50, 44}, {100, 20}}, 5, 0, 0, 2);
        strings.vibratoType = 0;
        strings.vibratoSweep = 30;
        strings.vibratoDepth = 5;
        strings.vibratoRate = 8;
        strings.fadeout = 400;
        all.push_back(strings);
    }
    // Riser: looped 8-bit noise, swept up by portamento in the patterns.
    {
        std::vector<std::int16_t> v(8192);
        Noise noise{6};
        double smooth = 0.0;
        for (std::int16_t& x : v) {
            smooth = 0.7 * smooth + 0.3 * noise.next();
            x = to8(0.9 * smooth);
        }
        songgen::Instrument riser = instrument("riser", loopedWhole(std::move(v), false, songgen::Loop::forward));
        riser.samples[0].relativeNote = 0;
        all.push_back(riser);
    }
    // Bell: partials at 1, 2, 3 and 4.2 times the fundamental; the envelope
    // gives the strike and the long decay.
    {
        const int n = kCycle * 5 * 16;
        std::vector<std::int16_t> v(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const double ph = 2.0 * kPi * i / kCycle;
            v[static_cast<std::size_t>(i)] =
                to16(0.5 * std::sin(ph) + 0.25 * std::sin(2 * ph) + 0.15 * std::sin(3 * ph) + 0.1 * std::sin(4.2 * ph));
        }
        // The 4.2 partial repeats every 5 cycles; the loop holds 80 cycles (336 of it).
        songgen::Instrument bell = instrument("bell", loopedWhole(std::move(v), true, songgen::Loop::forward));
        envelope(bell.volume, {{0, 64}, {4, 44}, {20, 24}, {60, 8}, {100, 0}}, 1);
        all.push_back(bell);
    }
    all.push_back(
        instrument("tom", looped(drum(0.4, 160, 80, 0.08, 0.2, 0.1, 0.01, 0.0, 7), false, songgen::Loop::none, 0, 0)));
    {
        songgen::Instrument crash =
            instrument("crash", looped(drum(1.2, 0, 0, 1, 1, 0.85, 0.5, 0.9, 8), false, songgen::Loop::none, 0, 0));
        crash.samples[0].panning = 160;
        all.push_back(crash);
    }
    // Every note of an instrument plays its one sample.
    for (songgen::Instrument& in : all) {
        std::fill(std::begin(in.keyMap), std::end(in.keyMap), std::uint8_t{0});
    }
    return all;
}

} // namespace songgen

// Writes the show's song as an XM file: six channels, linear frequencies,
// speed 3 at 190 BPM (a row every 39.5 ms, a 64-row pattern every 2.53 s),
// 23 patterns in an order list of 30. Sections start with the orders
// 4, 9, 13, 20 and 24, that is at 10.1, 22.7, 32.8, 50.5 and 60.6 seconds.
//
// Usage: songgen <output.xm>

#include "tools/songgen/instruments.h"
#include "tools/songgen/xmwriter.h"

#include <cstdio>
#include <sstream>
#include <string>

namespace {

using namespace songgen;

constexpr int kChannels = 6;
enum Channel { kDrumCh = 0, kHatCh = 1, kBassCh = 2, kLeadCh = 3, kPadCh = 4, kArpCh = 5 };
constexpr int kKeyOff = 97;

// XM effect numbers.
enum Fx : std::uint8_t {
    fxArpeggio = 0x0,
    fxPortaUp = 0x1,
    fxPortaDown = 0x2,
    fxTonePorta = 0x3,
    fxVibrato = 0x4,
    fxPortaSlide = 0x5,
    fxVibratoSlide = 0x6,
    fxTremolo = 0x7,
    fxPanning = 0x8,
    fxOffset = 0x9,
    fxVolumeSlide = 0xA,
    fxJump = 0xB,
    fxVolume = 0xC,
    fxBreak = 0xD,
    fxExtended = 0xE,
    fxSpeed = 0xF,
    fxGlobalVolume = 0x10,
    fxGlobalSlide = 0x11,
    fxKeyOff = 0x14,
    fxEnvelopePosition = 0x15,
    fxPanSlide = 0x19,
    fxRetrig = 0x1B,
    fxTremor = 0x1D,
    fxExtraFine = 0x21,
};

// A chord: its root as an XM note number in octave 3, and its quality.
struct Chord {
    int root;
    bool minor;
};

// XM note number of a name such as "A4" or "G#5" (1 = C-0).
int noteOf(const std::string& name) {
    static const int semitones[] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    int semi = semitones[name[0] - 'A'];
    std::size_t at = 1;
    if (name[at] == '#') {
        ++semi;
        ++at;
    }
    return (name[at] - '0') * 12 + semi + 1;
}

const int kA3 = noteOf("A3");
const int kC3 = noteOf("C3");
const int kD3 = noteOf("D3");
const int kE3 = noteOf("E3");
const int kF3 = noteOf("F3");
const int kG3 = noteOf("G3");

// Writes cells of one pattern.
struct Pat {
    songgen::Song& song;
    int index;
    int transpose = 0;

    songgen::Cell& at(int row, int ch) {
        songgen::Pattern& p = song.patterns[static_cast<std::size_t>(index)];
        p.cells.resize(static_cast<std::size_t>(p.rows * kChannels));
        return p.cells[static_cast<std::size_t>(row * kChannels + ch)];
    }
    void note(int row, int ch, int n, int ins, int vol = 0) {
        songgen::Cell& c = at(row, ch);
        c.note = static_cast<std::uint8_t>(n == kKeyOff ? n : n + transpose);
        c.instrument = static_cast<std::uint8_t>(ins);
        c.volume = static_cast<std::uint8_t>(vol);
    }
    void drum(int row, int ch, int n, int ins, int vol) {
        songgen::Cell& c = at(row, ch);
        c.note = static_cast<std::uint8_t>(n);
        c.instrument = static_cast<std::uint8_t>(ins);
        c.volume = static_cast<std::uint8_t>(vol);
    }
    void fx(int row, int ch, int effect, int parameter) {
        songgen::Cell& c = at(row, ch);
        c.effect = static_cast<std::uint8_t>(effect);
        c.parameter = static_cast<std::uint8_t>(parameter);
    }
    void vol(int row, int ch, int volumeByte) { at(row, ch).volume = static_cast<std::uint8_t>(volumeByte); }
    void clear(int fromRow, int toRow, int ch) {
        for (int r = fromRow; r < toRow; ++r) {
            at(r, ch) = songgen::Cell{};
        }
    }
};

int setVolume(int v) {
    return 0x10 + v;
}

// ---- Drums ---------------------------------------------------------------

enum class Beat { none, pulse, dnb, busy, half };

// One 32-row bar of drums from row r0 on the drum channel.
void drums(Pat& p, int r0, Beat beat, int bar) {
    const int kick = noteOf("C4");
    const int snare = noteOf("C4");
    switch (beat) {
    case Beat::none:
        break;
    case Beat::pulse:
        p.drum(r0, kDrumCh, kick, kKick, setVolume(44));
        p.drum(r0 + 16, kDrumCh, kick, kKick, setVolume(40));
        break;
    case Beat::dnb:
        p.drum(r0, kDrumCh, kick, kKick, setVolume(64));
        p.drum(r0 + 8, kDrumCh, snare, kSnare, setVolume(56));
        p.drum(r0 + 20, kDrumCh, kick, kKick, setVolume(58));
        p.drum(r0 + 24, kDrumCh, snare, kSnare, setVolume(56));
        break;
    case Beat::busy:
        p.drum(r0, kDrumCh, kick, kKick, setVolume(64));
        p.drum(r0 + 8, kDrumCh, snare, kSnare, setVolume(56));
        p.drum(r0 + 14, kDrumCh, snare, kSnare, setVolume(22));
        p.fx(r0 + 14, kDrumCh, fxOffset, 0x08); // a ghost snare without its attack
        p.drum(r0 + 20, kDrumCh, kick, kKick, setVolume(58));
        p.drum(r0 + 24, kDrumCh, snare, kSnare, setVolume(56));
        p.drum(r0 + 27, kDrumCh, kick, kKick, setVolume(40));
        p.fx(r0 + 27, kDrumCh, fxExtended, 0xD1); // nudged a tick late: a little swing
        if (bar % 2 == 1) {
            p.drum(r0 + 30, kDrumCh, snare, kClap, setVolume(44));
        }
        break;
    case Beat::half:
        p.drum(r0, kDrumCh, kick, kKick, setVolume(64));
        p.drum(r0 + 12, kDrumCh, kick, kKick, setVolume(36));
        p.drum(r0 + 16, kDrumCh, snare, kClap, setVolume(60));
        break;
    }
}

enum class Hats { none, eighths, sixteenths, open };

void hats(Pat& p, int r0, Hats style, int bar) {
    const int n = noteOf("C4");
    switch (style) {
    case Hats::none:
        break;
    case Hats::eighths:
        for (int r = 0; r < 32; r += 4) {
            p.drum(r0 + r, kHatCh, n, kClosedHat, setVolume(r % 8 == 4 ? 34 : 22));
        }
        break;
    case Hats::sixteenths:
        for (int r = 0; r < 32; r += 2) {
            p.drum(r0 + r, kHatCh, n, kClosedHat, setVolume(r % 8 == 4 ? 36 : r % 4 == 2 ? 16 : 24));
            p.fx(r0 + r, kHatCh, fxExtended, r % 8 == 4 ? 0x8A : 0x86); // hats step across the stereo field
        }
        break;
    case Hats::open:
        for (int r = 0; r < 32; r += 4) {
            const bool offbeat = r % 8 == 4;
            p.drum(r0 + r, kHatCh, n, offbeat ? kOpenHat : kClosedHat, setVolume(offbeat ? 26 : 20));
            if (offbeat) {
                p.fx(r0 + r, kHatCh, fxExtended, 0xC2 + bar % 2); // cut the open hat short
            }
        }
        break;
    }
}

// ---- Bass ----------------------------------------------------------------

enum class Bass { none, held, rolling, sub };

void bass(Pat& p, int r0, Chord c, Bass style) {
    const int root = c.root - 12; // octave 2
    switch (style) {
    case Bass::none:
        break;
    case Bass::held:
        p.note(r0, kBassCh, root, kBass, setVolume(44));
        p.note(r0 + 28, kBassCh, kKeyOff, 0);
        break;
    case Bass::rolling: {
        const int offsets[] = {0, 0, 12, 0, 0, 12, 0, 7};
        const int rows[] = {0, 6, 8, 12, 16, 20, 24, 28};
        for (int i = 0; i < 8; ++i) {
            p.note(r0 + rows[i], kBassCh, root + offsets[i], kBass, setVolume(i % 2 == 0 ? 56 : 46));
        }
        p.fx(r0 + 28, kBassCh, fxPortaDown, 0x08); // the last note of the bar bends down
        break;
    }
    case Bass::sub:
        p.note(r0, kBassCh, root, kSubBass, setVolume(56));
        p.fx(r0 + 12, kBassCh, fxExtended, 0x22); // a fine bend down and back
        p.fx(r0 + 14, kBassCh, fxExtended, 0x12);
        p.note(r0 + 30, kBassCh, kKeyOff, 0);
        break;
    }
}

// ---- Pads and arpeggios ----------------------------------------------------

void pad(Pat& p, int r0, Chord c, int volume) {
    p.note(r0, kPadCh, c.root, kPad, setVolume(volume));
}

void arp(Pat& p, int r0, Chord c, int octave, int volume, bool left) {
    const int param = c.minor ? 0x37 : 0x47;
    for (int r = 0; r < 32; r += 4) {
        p.note(r0 + r, kArpCh, c.root + 12 * (octave - 3), kPluck, setVolume(r % 8 == 0 ? volume : volume - 8));
        p.fx(r0 + r, kArpCh, fxArpeggio, param);
        for (int k = 1; k < 4; ++k) {
            p.fx(r0 + r + k, kArpCh, fxArpeggio, param);
        }
    }
    p.fx(r0, kArpCh, fxPanning, left ? 0x50 : 0xB0);
}

// ---- Melodies ----------------------------------------------------------------
// A melody is a string of tokens, one per two rows: a note ("E5", "G#4"),
// "--" to hold, "==" for a key-off, ".." for nothing, and a leading "~" for
// a tone-portamento slide into the note.

void melody(Pat& p, int ch, int ins, const std::string& text, int volume, bool vibratoOnHolds) {
    std::istringstream in(text);
    std::string token;
    int row = 0;
    int held = 0;
    while (in >> token) {
        if (token == "|") {
            continue;
        }
        if (token == "--") {
            ++held;
            if (vibratoOnHolds && held >= 2) {
                p.fx(row, ch, fxVibrato, held == 2 ? 0x63 : 0x00);
                p.fx(row + 1, ch, fxVibrato, 0x00);
            }
        } else if (token == "==") {
            p.note(row, ch, kKeyOff, 0);
            held = 0;
        } else if (token != "..") {
            held = 0;
            if (token[0] == '~') {
                p.note(row, ch, noteOf(token.substr(1)), 0);
                p.fx(row, ch, fxTonePorta, 0x30);
                p.fx(row + 1, ch, fxTonePorta, 0x00);
            } else {
                p.note(row, ch, noteOf(token), ins, setVolume(volume));
            }
        }
        row += 2;
    }
}

// The chords of the two progressions, two bars per pattern.
const Chord kAm{kA3, true}, kF{kF3, false}, kC{kC3 + 12, false}, kG{kG3, false};
const Chord kDm{kD3 + 12, true}, kE{kE3 + 12, false};

const char* const kMelodyA1 =
    "E5 -- -- -- D5 -- C5 -- D5 -- E5 -- -- -- A4 -- | C5 -- -- -- A4 -- C5 -- D5 -- -- -- C5 -- A4 --";
const char* const kMelodyA2 =
    "G4 -- -- -- C5 -- E5 -- G5 -- -- -- E5 -- D5 -- | D5 -- -- -- -- -- B4 -- D5 -- G5 -- -- -- == ..";
const char* const kMelodyA3 =
    "A5 -- -- -- G5 -- E5 -- G5 -- A5 -- -- -- E5 -- | F5 -- -- -- E5 -- C5 -- A4 -- C5 -- F5 -- E5 --";
const char* const kMelodyA4 =
    "E5 -- -- -- G5 -- C6 -- B5 -- G5 -- -- -- D5 -- | D5 -- -- -- B4 -- D5 -- G5 -- -- -- -- -- == ..";
const char* const kMelodyB1 =
    "D5 -- -- -- F5 -- -- -- A5 -- -- -- G5 -- F5 -- | E5 -- -- -- -- -- C5 -- E5 -- -- -- A4 -- -- --";
const char* const kMelodyB2 =
    "F5 -- -- -- A5 -- -- -- C6 -- -- -- ~B5 -- A5 -- | G#5 -- -- -- -- -- E5 -- B4 -- -- -- -- -- == ..";
const char* const kMelodyB3 =
    "A5 -- -- -- ~F5 -- -- -- D5 -- -- -- F5 -- A5 -- | C6 -- -- -- B5 -- A5 -- E5 -- -- -- -- -- -- --";
const char* const kMelodyB4 =
    "F5 -- A5 -- C6 -- -- -- A5 -- F5 -- C5 -- -- -- | E5 -- -- -- G#5 -- -- -- B5 -- -- -- ~E6 -- -- --";
const char* const kBellsA =
    "A5 -- -- -- -- -- -- -- E5 -- -- -- C5 -- -- -- | F5 -- -- -- -- -- -- -- C5 -- -- -- A4 -- -- --";
const char* const kBellsB =
    "G5 -- -- -- -- -- -- -- E5 -- -- -- C5 -- -- -- | D5 -- -- -- -- -- -- -- B4 -- -- -- G4 -- -- --";

// A full section pattern: two bars with their chords.
struct Section {
    Chord first, second;
    Beat beat;
    Hats hat;
    Bass bassStyle;
    int padVolume; // 0: no pad
    int arpOctave; // 0: no arpeggio
};

void section(Pat& p, const Section& s) {
    const Chord chords[] = {s.first, s.second};
    for (int bar = 0; bar < 2; ++bar) {
        const int r0 = bar * 32;
        drums(p, r0, s.beat, bar);
        hats(p, r0, s.hat, bar);
        bass(p, r0, chords[bar], s.bassStyle);
        if (s.padVolume > 0) {
            pad(p, r0, chords[bar], s.padVolume);
        }
        if (s.arpOctave > 0) {
            arp(p, r0, chords[bar], s.arpOctave, 24, bar == 0);
        }
    }
}

void crash(Pat& p, int row) {
    p.drum(row, kHatCh, noteOf("C4"), kCrash, setVolume(56));
}

// A snare roll over the last bar: every 4, then 2 rows, then retriggered
// within the row, rising in volume.
void snareRoll(Pat& p) {
    for (int r = 32; r < 48; r += 4) {
        p.drum(r, kDrumCh, noteOf("C4"), kSnare, setVolume(10 + (r - 32) / 2));
    }
    for (int r = 48; r < 56; r += 2) {
        p.drum(r, kDrumCh, noteOf("C4"), kSnare, setVolume(20 + (r - 48)));
    }
    for (int r = 56; r < 64; ++r) {
        if (r % 2 == 0) {
            p.drum(r, kDrumCh, noteOf("C4"), kSnare, setVolume(28 + 2 * (r - 56)));
        }
        p.fx(r, kDrumCh, fxExtended, 0x91); // retrigger on every tick
    }
}

void riser(Pat& p, int ch, int fromRow, int toRow) {
    p.note(fromRow, ch, noteOf("C3"), kRiser, setVolume(8));
    for (int r = fromRow + 1; r < toRow; ++r) {
        p.fx(r, ch, fxPortaUp, r == fromRow + 1 ? 0x06 : 0x00);
        if (r % 2 == 0) {
            p.vol(r, ch, 0x91); // fine volume up
        }
    }
    p.note(toRow, ch, kKeyOff, 0);
    p.fx(toRow, ch, fxVolume, 0);
}

songgen::Song compose() {
    songgen::Song song;
    song.title = "riza3v";
    song.channels = kChannels;
    song.flags = 1;
    song.speed = 3;
    song.bpm = 190;
    song.restart = 0;
    song.instruments = makeInstruments();
    song.patterns.assign(23, songgen::Pattern{64, {}});
    song.orders = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                   13, 14, 15, 16, 17, 18, 19, 18, 19, 20, 21, 20, 22, 15, 0};

    { // 0: intro, the pad swells in under sparse bells
        Pat p{song, 0};
        p.fx(0, kDrumCh, fxSpeed, 190);
        p.fx(0, kHatCh, fxSpeed, 3);
        p.fx(0, kBassCh, fxGlobalVolume, 64);
        p.note(0, kPadCh, kAm.root, kPad, setVolume(8));
        for (int r = 1; r < 32; ++r) {
            p.fx(r, kPadCh, fxVolumeSlide, r == 1 ? 0x20 : 0x00);
        }
        p.note(32, kPadCh, kF.root, kPad, setVolume(40));
        melody(p, kLeadCh, kBell, kBellsA, 28, false);
    }
    { // 1: intro, the arpeggio enters
        Pat p{song, 1};
        section(p, {kC, kG, Beat::none, Hats::none, Bass::none, 40, 4});
        for (int r = 0; r < 64; r += 4) {
            p.vol(r, kArpCh, setVolume(8 + r / 3));
        }
        melody(p, kLeadCh, kBell, kBellsB, 28, false);
    }
    { // 2: build, hats and a pulse
        Pat p{song, 2};
        section(p, {kAm, kF, Beat::pulse, Hats::eighths, Bass::held, 36, 4});
    }
    { // 3: build, rolling bass, snare roll, riser
        Pat p{song, 3};
        section(p, {kC, kG, Beat::none, Hats::sixteenths, Bass::rolling, 32, 5});
        p.drum(0, kDrumCh, noteOf("C4"), kKick, setVolume(50));
        p.drum(16, kDrumCh, noteOf("C4"), kKick, setVolume(50));
        p.clear(40, 64, kBassCh); // the bass leaves the last bar to the roll
        p.clear(48, 64, kHatCh);
        snareRoll(p);
        riser(p, kLeadCh, 16, 63);
    }
    const Section drop1a{kAm, kF, Beat::dnb, Hats::eighths, Bass::rolling, 24, 0};
    const Section drop1b{kC, kG, Beat::dnb, Hats::eighths, Bass::rolling, 24, 0};
    { // 4-7: first drop, the lead's tune
        Pat a{song, 4};
        section(a, drop1a);
        crash(a, 0);
        melody(a, kLeadCh, kLead, kMelodyA1, 40, true);
        Pat b{song, 5};
        section(b, drop1b);
        melody(b, kLeadCh, kLead, kMelodyA2, 40, true);
        Pat c{song, 6};
        section(c, {kAm, kF, Beat::dnb, Hats::open, Bass::rolling, 24, 5});
        melody(c, kLeadCh, kLead, kMelodyA3, 40, true);
        Pat d{song, 7};
        section(d, {kC, kG, Beat::dnb, Hats::open, Bass::rolling, 24, 5});
        melody(d, kLeadCh, kLead, kMelodyA4, 40, true);
        const char* toms[] = {"A4", "F4", "D4", "A3"};
        for (int i = 0; i < 4; ++i) {
            d.drum(56 + 2 * i, kDrumCh, noteOf(toms[i]), kTom, setVolume(52));
        }
    }
    { // 8: before the second drop: half time, a retriggered roll, riser
        Pat p{song, 8};
        section(p, {kF, kE, Beat::half, Hats::none, Bass::none, 24, 0});
        snareRoll(p);
        riser(p, kArpCh, 32, 63);
        p.note(0, kLeadCh, noteOf("A5"), kSawLead, setVolume(36));
        p.fx(40, kLeadCh, fxVibratoSlide, 0x02); // vibrato while fading
        for (int r = 41; r < 60; ++r) {
            p.fx(r, kLeadCh, fxVibratoSlide, 0x00);
        }
        p.fx(60, kLeadCh, fxKeyOff, 0);
    }
    { // 9-12: second drop, the saw lead slides
        const Section a{kDm, kAm, Beat::busy, Hats::sixteenths, Bass::rolling, 0, 4};
        const Section b{kF, kE, Beat::busy, Hats::sixteenths, Bass::rolling, 0, 4};
        const char* melodies[] = {kMelodyB1, kMelodyB2, kMelodyB3, kMelodyB4};
        for (int i = 0; i < 4; ++i) {
            Pat p{song, 9 + i};
            section(p, i % 2 == 0 ? a : b);
            melody(p, kLeadCh, kSawLead, melodies[i], 38, false);
            p.note(0, kPadCh, (i % 2 == 0 ? kDm : kF).root, kStrings, setVolume(28));
        }
        Pat first{song, 9};
        crash(first, 0);
        Pat last{song, 12};
        last.fx(32, kPadCh, fxTremolo, 0x86);
        for (int r = 33; r < 64; ++r) {
            last.fx(r, kPadCh, fxTremolo, 0x00);
        }
        last.fx(48, kLeadCh, fxPortaSlide, 0x01);
        // The last bar drops the beat for a roll into the third drop.
        for (int ch : {kDrumCh, kHatCh, kBassCh}) {
            last.clear(32, 64, ch);
        }
        snareRoll(last);
    }
    { // 13-14: third drop, half time with strings and a sub bass
        const char* bells[] = {kBellsA, kBellsB};
        const Chord firsts[] = {kAm, kC};
        const Chord seconds[] = {kF, kG};
        for (int i = 0; i < 2; ++i) {
            Pat p{song, 13 + i};
            section(p, {firsts[i], seconds[i], Beat::half, Hats::open, Bass::sub, 30, 0});
            melody(p, kLeadCh, kStrings, i == 0 ? kMelodyA1 : kMelodyA2, 36, false);
            melody(p, kArpCh, kBell, bells[i], 30, false);
            p.fx(0, kArpCh, fxPanning, 0xC0);
            for (int r = 0; r < 64; ++r) {
                if (r % 16 >= 4 && r % 16 < 7 && p.at(r, kLeadCh).note == 0) {
                    p.vol(r, kLeadCh, 0x61); // the strings ease off within long notes
                }
            }
        }
        Pat first{song, 13};
        crash(first, 0);
    }
    { // 15: breakdown: pads trembling, bells drifting across
        Pat p{song, 15};
        p.fx(0, kDrumCh, fxGlobalVolume, 64);
        p.note(0, kPadCh, kAm.root, kPad, setVolume(34));
        p.fx(0, kPadCh, fxEnvelopePosition, 40);
        p.fx(0, kBassCh, fxExtended, 0x71); // ramp-shaped tremolo
        p.note(0, kBassCh, kAm.root - 12, kSubBass, setVolume(30));
        p.note(32, kPadCh, kF.root, kPad, setVolume(34));
        p.note(32, kBassCh, kF.root - 12, kSubBass, setVolume(30));
        for (int r = 16; r < 64; ++r) {
            p.fx(r, kPadCh, fxTremolo, r == 16 ? 0x44 : 0x00);
        }
        melody(p, kLeadCh, kBell, kBellsA, 26, false);
        for (int r = 0; r < 64; r += 16) {
            p.fx(r + 2, kLeadCh, fxPanSlide, r % 32 == 0 ? 0x40 : 0x04);
            for (int k = 3; k < 14; ++k) {
                p.fx(r + k, kLeadCh, fxPanSlide, 0x00);
            }
        }
        melody(p, kArpCh, kStrings,
               "A4 -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- | C5 -- -- -- -- -- -- -- -- -- -- -- -- -- -- --", 24,
               false);
        p.fx(60, kArpCh, fxExtended, 0xB4); // fine volume down
        p.vol(2, kArpCh, 0xC4);             // the strings sit left of centre
        p.vol(8, kLeadCh, 0xA5);            // the bells waver: vibrato speed and depth
        for (int r = 9; r < 14; ++r) {
            p.vol(r, kLeadCh, 0xB3);
        }
        p.vol(58, kLeadCh, 0x82); // fine volume down
    }
    { // 16: breakdown with a pattern loop (rows 16-31 twice) and a jump after row 47
        Pat p{song, 16};
        p.note(0, kPadCh, kC.root, kPad, setVolume(34));
        p.note(16, kPadCh, kG.root, kPad, setVolume(36));
        p.fx(16, kDrumCh, fxExtended, 0x60);
        p.fx(31, kDrumCh, fxExtended, 0x61);
        p.fx(47, kHatCh, fxJump, 19);
        p.note(0, kBassCh, kC.root - 12, kSubBass, setVolume(30));
        p.note(16, kBassCh, kG.root - 12, kSubBass, setVolume(32));
        arp(p, 0, kC, 5, 22, false);
        arp(p, 32, kG, 5, 26, true);
        for (int r = 0; r < 48; ++r) {
            if (r % 4 != 0) {
                p.vol(r, kArpCh, r % 8 < 4 ? 0xD3 : 0xE3); // the arpeggio sways left and right
            }
        }
        for (int r = 16; r < 32; r += 4) {
            p.note(r, kArpCh, kG.root + 24, kPluck, setVolume(20));
            p.fx(r, kArpCh, fxArpeggio, 0x47);
        }
        for (int r = 33; r < 40; ++r) {
            p.vol(r, kPadCh, 0x71); // the pad swells into the jump
        }
        melody(p, kLeadCh, kBell,
               "C6 -- -- -- G5 -- -- -- E5 -- -- -- G5 -- -- -- | D6 -- -- -- B5 -- -- -- G5 -- -- -- D5 -- -- --", 30,
               false);
        p.fx(40, kLeadCh, fxExtended, 0xA2); // fine volume up
        p.fx(42, kLeadCh, fxExtended, 0xA0);
    }
    { // 17: build: stutter, retriggered snares, riser, two delayed rows, break after row 61
        Pat p{song, 17};
        p.note(0, kPadCh, kAm.root, kPad, setVolume(36));
        p.note(32, kPadCh, kG.root, kPad, setVolume(40));
        bass(p, 0, kAm, Bass::held);
        bass(p, 32, kG, Bass::held);
        p.fx(40, kBassCh, fxPortaDown, 0x04);
        for (int r = 0; r < 48; r += 8) {
            p.drum(r, kDrumCh, noteOf("C4"), kSnare, setVolume(24 + r / 2));
            p.fx(r, kDrumCh, fxRetrig, r < 24 ? 0x06 : 0x93);
        }
        for (int r = 48; r < 56; ++r) {
            p.fx(r, kDrumCh, fxRetrig, 0x91);
        }
        p.drum(48, kDrumCh, noteOf("C4"), kSnare, setVolume(48));
        p.note(32, kArpCh, noteOf("E5"), kSawLead, setVolume(34));
        for (int r = 32; r < 56; ++r) {
            p.fx(r, kArpCh, fxTremor, r == 32 ? 0x11 : 0x00);
        }
        p.note(56, kArpCh, kKeyOff, 0);
        riser(p, kLeadCh, 8, 56);
        p.fx(56, kDrumCh, fxExtended, 0xE1);
        p.fx(60, kDrumCh, fxExtended, 0xE1);
        p.drum(58, kHatCh, noteOf("C4"), kKick, setVolume(48));
        p.fx(61, kHatCh, fxBreak, 0x00);
    }
    { // 18-19: fourth drop: the tune an octave up with a square vibrato, busy beat
        const Section a{kAm, kF, Beat::busy, Hats::sixteenths, Bass::rolling, 24, 5};
        const Section b{kC, kG, Beat::busy, Hats::sixteenths, Bass::rolling, 24, 5};
        Pat p{song, 18};
        section(p, a);
        crash(p, 0);
        melody(p, kLeadCh, kLead, kMelodyA3, 42, true);
        p.fx(0, kLeadCh, fxExtended, 0x42);
        p.fx(8, kLeadCh, fxExtraFine, 0x14); // a hair sharp, then back
        p.fx(12, kLeadCh, fxExtraFine, 0x24);
        Pat q{song, 19};
        section(q, b);
        melody(q, kLeadCh, kLead, kMelodyA4, 42, true);
        q.fx(0, kLeadCh, fxExtended, 0x40);
        // A bar without the beat before each return of the tune.
        for (int ch : {kDrumCh, kHatCh, kBassCh}) {
            q.clear(32, 64, ch);
        }
        q.note(32, kBassCh, kG.root - 12, kSubBass, setVolume(28));
        snareRoll(q);
    }
    { // 20-21: fifth drop, a whole tone higher, everything at once
        const Section a{kAm, kF, Beat::busy, Hats::sixteenths, Bass::rolling, 34, 5};
        const Section b{kC, kG, Beat::busy, Hats::sixteenths, Bass::rolling, 34, 5};
        Pat p{song, 20, 2};
        section(p, a);
        crash(p, 0);
        melody(p, kLeadCh, kSawLead, kMelodyA1, 40, true);
        Pat q{song, 21, 2};
        section(q, b);
        melody(q, kLeadCh, kSawLead, kMelodyA2, 40, true);
        crash(q, 32);
    }
    { // 22: outro: the pad and bells fade away
        Pat p{song, 22, 2};
        crash(p, 0);
        p.drum(0, kDrumCh, noteOf("C4"), kKick, setVolume(64));
        p.note(0, kPadCh, kAm.root, kPad, setVolume(48));
        p.note(0, kBassCh, kAm.root - 12, kSubBass, setVolume(48));
        melody(p, kLeadCh, kBell, kBellsA, 34, false);
        p.fx(40, kDrumCh, fxGlobalSlide, 0x01);
        for (int r = 41; r < 64; ++r) {
            p.fx(r, kDrumCh, fxGlobalSlide, 0x00);
        }
        p.fx(62, kPadCh, fxKeyOff, 0);
    }
    return song;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: songgen <output.xm>\n");
        return 2;
    }
    const std::vector<std::uint8_t> bytes = songgen::write(compose());
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "songgen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

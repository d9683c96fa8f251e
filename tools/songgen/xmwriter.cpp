#include "tools/songgen/xmwriter.h"

#include <algorithm>
#include <cstring>

namespace songgen {

namespace {

struct Out {
    std::vector<std::uint8_t> bytes;
    void u8(unsigned v) { bytes.push_back(static_cast<std::uint8_t>(v)); }
    void u16(unsigned v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void text(const std::string& s, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) {
            u8(i < s.size() ? static_cast<unsigned char>(s[i]) : 0);
        }
    }
};

// XM format: a cell is packed as a mask byte (bit 7 set, bits 0..4 for the
// fields present) when that is shorter than the five plain bytes.
void packCell(std::vector<std::uint8_t>& out, const Cell& c) {
    const std::uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.parameter};
    std::uint8_t mask = 0x80;
    int present = 0;
    for (int i = 0; i < 5; ++i) {
        if (fields[i] != 0) {
            mask = static_cast<std::uint8_t>(mask | (1 << i));
            ++present;
        }
    }
    if (present == 5) {
        out.insert(out.end(), fields, fields + 5);
        return;
    }
    out.push_back(mask);
    for (int i = 0; i < 5; ++i) {
        if (fields[i] != 0) {
            out.push_back(fields[i]);
        }
    }
}

void writeEnvelopePoints(Out& o, const Envelope& e) {
    for (std::size_t i = 0; i < 12; ++i) {
        o.u16(i < e.points.size() ? e.points[i].first : 0);
        o.u16(i < e.points.size() ? e.points[i].second : 0);
    }
}

} // namespace

std::vector<std::uint8_t> write(const Song& song) {
    Out o;
    o.text("Extended Module: ", 17);
    o.text(song.title, 20);
    o.u8(0x1A);
    o.text("riza3v songgen", 20);
    o.u16(0x0104);
    o.u32(276);
    o.u16(static_cast<unsigned>(song.orders.size()));
    o.u16(song.restart);
    o.u16(static_cast<unsigned>(song.channels));
    o.u16(static_cast<unsigned>(song.patterns.size()));
    o.u16(static_cast<unsigned>(song.instruments.size()));
    o.u16(song.flags);
    o.u16(song.speed);
    o.u16(song.bpm);
    for (std::size_t i = 0; i < 256; ++i) {
        o.u8(i < song.orders.size() ? song.orders[i] : 0);
    }
    for (const Pattern& p : song.patterns) {
        std::vector<std::uint8_t> packed;
        const std::size_t count = static_cast<std::size_t>(p.rows) * static_cast<std::size_t>(song.channels);
        if (!p.cells.empty()) {
            for (std::size_t i = 0; i < count; ++i) {
                packCell(packed, i < p.cells.size() ? p.cells[i] : Cell{});
            }
        }
        const bool empty = std::all_of(p.cells.begin(), p.cells.end(), [](const Cell& c) {
            return c.note == 0 && c.instrument == 0 && c.volume == 0 && c.effect == 0 && c.parameter == 0;
        });
        if (empty) {
            packed.clear();
        }
        o.u32(9);
        o.u8(0);
        o.u16(static_cast<unsigned>(p.rows));
        o.u16(static_cast<unsigned>(packed.size()));
        o.bytes.insert(o.bytes.end(), packed.begin(), packed.end());
    }
    for (const Instrument& in : song.instruments) {
        const bool hasSamples = !in.samples.empty();
        o.u32(263);
        o.text(in.name, 22);
        o.u8(0);
        o.u16(static_cast<unsigned>(in.samples.size()));
        if (!hasSamples) {
            o.bytes.insert(o.bytes.end(), 263 - 29, 0);
            continue;
        }
        o.u32(40);
        o.bytes.insert(o.bytes.end(), in.keyMap, in.keyMap + 96);
        writeEnvelopePoints(o, in.volume);
        writeEnvelopePoints(o, in.panning);
        o.u8(static_cast<unsigned>(in.volume.points.size()));
        o.u8(static_cast<unsigned>(in.panning.points.size()));
        o.u8(in.volume.sustain);
        o.u8(in.volume.loopStart);
        o.u8(in.volume.loopEnd);
        o.u8(in.panning.sustain);
        o.u8(in.panning.loopStart);
        o.u8(in.panning.loopEnd);
        o.u8(in.volume.type);
        o.u8(in.panning.type);
        o.u8(in.vibratoType);
        o.u8(in.vibratoSweep);
        o.u8(in.vibratoDepth);
        o.u8(in.vibratoRate);
        o.u16(in.fadeout);
        for (int i = 0; i < 22; ++i) {
            o.u8(0); // reserved up to the header size of 263
        }
        for (const Sample& s : in.samples) {
            const std::uint32_t width = s.sixteenBit ? 2 : 1;
            o.u32(static_cast<std::uint32_t>(s.values.size()) * width);
            o.u32(s.loopStart * width);
            o.u32(s.loopLength * width);
            o.u8(s.volume);
            o.u8(static_cast<std::uint8_t>(s.finetune));
            o.u8(static_cast<unsigned>(s.loop) | (s.sixteenBit ? 0x10u : 0u));
            o.u8(s.panning);
            o.u8(static_cast<std::uint8_t>(s.relativeNote));
            o.u8(0);
            o.text(s.name, 22);
        }
        for (const Sample& s : in.samples) {
            // XM format: each value is stored as its difference to the one before.
            int previous = 0;
            for (std::int16_t v : s.values) {
                const int delta = v - previous;
                previous = v;
                if (s.sixteenBit) {
                    o.u16(static_cast<unsigned>(delta) & 0xFFFF);
                } else {
                    o.u8(static_cast<unsigned>(delta) & 0xFF);
                }
            }
        }
    }
    return o.bytes;
}

} // namespace songgen

#include "tests/music/fixtures.h"

#include "music/modulators.h"
#include "music/render.h"
#include "music/xmloader.h"

#include <utility>

namespace music::test {

void ModuleDeleter::operator()(music::Module* m) const {
    music::freeModule(m);
}

ModulePtr load(const std::vector<std::uint8_t>& bytes) {
    music::useMemorySource(bytes.data(), bytes.size());
    return ModulePtr(music::loadModule());
}

ModulePtr start(const songgen::Song& song) {
    ModulePtr m = load(songgen::write(song));
    if (m != nullptr) {
        music::prepareRender(m.get(), 44100);
    }
    return m;
}

void ticks(music::Module* m, int n) {
    for (int t = 0; t < n; ++t) {
        m->tickHandler(m);
    }
}

songgen::Song basicSong(int channels, int patterns, std::uint16_t speed, std::uint16_t bpm) {
    songgen::Song song;
    song.title = "test";
    song.channels = channels;
    song.speed = speed;
    song.bpm = bpm;
    for (int p = 0; p < patterns; ++p) {
        song.patterns.push_back(songgen::Pattern{64, {}});
        song.orders.push_back(static_cast<std::uint8_t>(p));
    }
    songgen::Instrument in;
    in.name = "square";
    songgen::Sample s = looped({}, songgen::Loop::forward, 0, 64);
    for (int i = 0; i < 64; ++i) {
        s.values.push_back(static_cast<std::int16_t>(i < 32 ? 60 : -60));
    }
    in.samples.push_back(s);
    song.instruments.push_back(in);
    return song;
}

songgen::Sample looped(std::vector<std::int16_t> values, songgen::Loop loop, std::uint32_t start,
                       std::uint32_t length) {
    songgen::Sample s;
    s.values = std::move(values);
    s.loop = loop;
    s.loopStart = start;
    s.loopLength = length;
    return s;
}

songgen::Cell& cell(songgen::Song& song, int pattern, int row, int channel) {
    songgen::Pattern& p = song.patterns[static_cast<std::size_t>(pattern)];
    p.cells.resize(static_cast<std::size_t>(p.rows * song.channels));
    return p.cells[static_cast<std::size_t>(row * song.channels + channel)];
}

music::Instrument envelopeInstrument(std::uint8_t type) {
    music::Instrument in{};
    const music::EnvelopePoint points[] = {{0, 0}, {2, 20}, {4, 40}, {9, 0}};
    for (int i = 0; i < 4; ++i) {
        in.volumeEnvelope[i] = points[i];
        in.panningEnvelope[i] = points[i];
    }
    in.volumePointCount = in.panningPointCount = 4;
    in.volumeType = in.panningType = type;
    in.volumeLoopStart = in.panningLoopStart = 1;
    in.volumeLoopEnd = in.panningLoopEnd = 2;
    in.volumeSustainPoint = in.panningSustainPoint = 1;
    return in;
}

std::vector<int> volumeEnvelopeSteps(music::Channel& ch, const music::Instrument& in, int n) {
    std::vector<int> values;
    for (int step = 0; step < n; ++step) {
        music::volumeEnvelopeStep(ch, in);
        values.push_back(ch.volEnvValue);
    }
    return values;
}

} // namespace music::test

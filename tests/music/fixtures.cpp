#include "tests/music/fixtures.h"

#include "music/render.h"
#include "music/xmloader.h"

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

songgen::Song basicSong(int channels, int patterns) {
    songgen::Song song;
    song.title = "test";
    song.channels = channels;
    song.speed = 6;
    song.bpm = 125;
    for (int p = 0; p < patterns; ++p) {
        song.patterns.push_back(songgen::Pattern{64, {}});
        song.orders.push_back(static_cast<std::uint8_t>(p));
    }
    songgen::Instrument in;
    in.name = "square";
    songgen::Sample s;
    for (int i = 0; i < 64; ++i) {
        s.values.push_back(static_cast<std::int16_t>(i < 32 ? 60 : -60));
    }
    s.loop = songgen::Loop::forward;
    s.loopStart = 0;
    s.loopLength = 64;
    in.samples.push_back(s);
    song.instruments.push_back(in);
    return song;
}

songgen::Cell& cell(songgen::Song& song, int pattern, int row, int channel) {
    songgen::Pattern& p = song.patterns[static_cast<std::size_t>(pattern)];
    p.cells.resize(static_cast<std::size_t>(p.rows * song.channels));
    return p.cells[static_cast<std::size_t>(row * song.channels + channel)];
}

} // namespace music::test

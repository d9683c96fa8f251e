// The song's sixteen instruments, synthesized: drums from decaying noise and
// swept sines, melodic voices from additive waveforms whose loops hold whole
// numbers of cycles, so they repeat without a seam.
#pragma once

#include "tools/songgen/xmwriter.h"

#include <vector>

namespace songgen {

// Instrument numbers as the patterns use them (1-based, as in the XM cells).
enum Ins : std::uint8_t {
    kKick = 1,
    kSnare,
    kClosedHat,
    kOpenHat,
    kClap,
    kBass,
    kSubBass,
    kLead,
    kSawLead,
    kPad,
    kPluck,
    kStrings,
    kRiser,
    kBell,
    kTom,
    kCrash,
};

std::vector<songgen::Instrument> makeInstruments();

} // namespace songgen

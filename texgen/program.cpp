#include "texgen/program.h"

#include "debuglog/log.h"
#include "texgen/convolution.h"
#include "texgen/generators.h"
#include "texgen/noise.h"
#include "texgen/pointops.h"
#include "texgen/sampling.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace texgen {

namespace {

// Mandatory input i; the interpreter always provides those.
const Plane& in(const OpArgs& a, std::size_t i) {
    return *a.inputs[i];
}

constexpr OpEntry op(OpFunction run, std::uint8_t params, std::uint8_t inputs) {
    return {run, params, inputs};
}

} // namespace

// Operations by opcode, each adapting the uniform call to its own parameters.
const std::array<OpEntry, kOpcodeCount> opTable = {{
    op([](Plane& o, const OpArgs& a) { fill(o, a.params[0]); }, 0, 0),
    op([](Plane& o, const OpArgs& a) { fill(o, a.params[0]); }, 1, 0),
    op([](Plane& o, const OpArgs& a) { plasma(o, a.params[0], a.params[1]); }, 2, 0),
    op([](Plane& o, const OpArgs& a) { sineWaves(o, a.params[0], a.params[1], a.params[2], a.params[3]); }, 4, 0),
    op([](Plane& o, const OpArgs& a) { radialGradient(o, a.params[0]); }, 1, 0),
    op([](Plane& o, const OpArgs& a) { valueNoise(o, a.params[0], a.params[1]); }, 2, 0),
    op([](Plane& o, const OpArgs& a) { cells(o, a.params[0], a.params[1], a.params[2]); }, 3, 0),
    op([](Plane& o, const OpArgs& a) { randomBlocks(o, a.params[0], a.params[1], a.params[2], a.params[3]); }, 4, 0),
    op([](Plane& o, const OpArgs& a) { bitPattern(o, a.params[0], a.params[1]); }, 2, 0),
    op([](Plane& o, const OpArgs& a) { shapes(o, a.params[0], a.params[1], a.params[2], a.params[3], a.params[4]); }, 5,
       0),
    op([](Plane& o, const OpArgs& a) { spots(o, a.params[0], a.params[1], a.params[2], a.params[3]); }, 4, 0),
    op([](Plane& o, const OpArgs& a) { glows(o, a.params[0], a.params[1], a.params[2]); }, 3, 0),
    op([](Plane& o, const OpArgs& a) { fractalNoise(o, a.params[0], a.params[1], a.params[2]); }, 3, 0),
    op(
        [](Plane& o, const OpArgs& a) {
            // The optional sources follow in the order x then y, each only when flagged.
            const bool hasX = (a.params[0] & 0x80u) != 0;
            const bool hasY = (a.params[0] & 0x08u) != 0;
            const Plane* xSource = hasX ? a.inputs[1] : nullptr;
            const Plane* ySource = hasY ? a.inputs[hasX ? 2 : 1] : nullptr;
            displace(o, a.params[0], a.params[1], a.params[2], in(a, 0), xSource, ySource);
        },
        3, 1),
    op([](Plane& o, const OpArgs& a) { twirl(o, a.params[0], a.params[1], a.params[2], a.params[3], in(a, 0)); }, 4, 1),
    op([](Plane& o, const OpArgs& a) { tile(o, a.params[0], in(a, 0)); }, 1, 1),
    op([](Plane& o, const OpArgs& a) { scroll(o, a.params[0], a.params[1], in(a, 0)); }, 2, 1),
    op([](Plane& o, const OpArgs& a) { clampRange(o, a.params[0], a.params[1], a.params[2], in(a, 0)); }, 3, 1),
    op([](Plane& o, const OpArgs& a) { multiplyWrap(o, a.params[0], in(a, 0)); }, 1, 1),
    op(nullptr, 0, 0),
    op([](Plane& o, const OpArgs& a) { combine(o, a.params[0], a.params[1], in(a, 0), in(a, 1), a.inputs[2]); }, 1, 2),
    op([](Plane& o, const OpArgs& a) { invert(o, in(a, 0)); }, 0, 1),
    op([](Plane& o, const OpArgs& a) { curve(o, a.params[0], in(a, 0)); }, 1, 1),
    op([](Plane& o, const OpArgs& a) { filter3x3(o, a.params[0], in(a, 0)); }, 1, 1),
    op([](Plane& o, const OpArgs& a) { blur(o, a.params[0], in(a, 0), a.inputs[1]); }, 1, 1),
    op([](Plane& o, const OpArgs& a) { sharpen(o, a.params[0], in(a, 0), a.inputs[1]); }, 1, 1),
    op([](Plane& o, const OpArgs& a) { lightenDarken(o, a.params[0], in(a, 0), a.inputs[1]); }, 1, 1),
    op([](Plane& o, const OpArgs& a) { motionBlur(o, a.params[0], a.params[1], in(a, 0), a.inputs[1]); }, 2, 1),
    op([](Plane& o, const OpArgs& a) { brightness(o, a.params[0], in(a, 0), a.inputs[1]); }, 1, 1),
    op([](Plane& o, const OpArgs& a) { contrast(o, a.params[0], in(a, 0), a.inputs[1]); }, 1, 1),
    op([](Plane& o, const OpArgs& a) { levels(o, a.params[0], a.params[1], in(a, 0)); }, 2, 1),
    op([](Plane& o, const OpArgs& a) { normalise(o, in(a, 0)); }, 0, 1),
    op([](Plane& o, const OpArgs& a) { normaliseJoint(o, in(a, 0), in(a, 1), in(a, 2), in(a, 3)); }, 0, 4),
    op([](Plane& o, const OpArgs& a) { fillGrey(o, a.params[0]); }, 1, 0),
}};

int optionalInputCount(unsigned opcode, const OpArgs& args) {
    const unsigned first = args.params[0];
    switch (opcode) {
    case 13:
        return ((first & 0x80u) != 0 ? 1 : 0) + ((first & 0x08u) != 0 ? 1 : 0);
    case 20:
        return first == 6 ? 1 : 0;
    case 24:
    case 25:
    case 26:
    case 28:
    case 29:
        return first == 0 ? 1 : 0;
    case 27:
        return args.params[1] == 0 ? 1 : 0;
    default:
        return 0;
    }
}

const char* faultText(ProgramFault fault) {
    switch (fault) {
    case ProgramFault::none:
        return "none";
    case ProgramFault::truncated:
        return "program ends inside a node";
    case ProgramFault::unknownOpcode:
        return "unknown opcode";
    case ProgramFault::unfilledSlot:
        return "reference to an unfilled slot";
    case ProgramFault::tooManyStoredNodes:
        return "more than 128 stored nodes";
    case ProgramFault::tooDeep:
        return "nodes nested too deep";
    }
    return "unknown fault";
}

TextureProgramRun::TextureProgramRun(std::span<const std::uint8_t> program) : program_(program) {
    registered_.reserve(kSlotCount);
}

const Plane* TextureProgramRun::slot(int n) const {
    return n >= 0 && n < kSlotCount ? slots_[static_cast<std::size_t>(n)].get() : nullptr;
}

void TextureProgramRun::setFault(ProgramFault fault, std::size_t position) {
    if (fault_ == ProgramFault::none) {
        fault_ = fault;
        faultPosition_ = position;
    }
}

std::optional<int> TextureProgramRun::registerStoredNode(std::size_t position) {
    if (std::find(registered_.begin(), registered_.end(), position) != registered_.end()) {
        return std::nullopt;
    }
    if (registered_.size() >= kSlotCount) {
        setFault(ProgramFault::tooManyStoredNodes, position);
        return std::nullopt;
    }
    registered_.push_back(position);
    return static_cast<int>(registered_.size() - 1);
}

std::size_t TextureProgramRun::evalNode(std::size_t position, Plane& out) {
    if (fault_ != ProgramFault::none) {
        return position;
    }
    if (position >= program_.size()) {
        setFault(ProgramFault::truncated, position);
        return position;
    }
    if (depth_ >= kMaxNodeDepth) {
        setFault(ProgramFault::tooDeep, position);
        return position;
    }
    const std::uint8_t b = program_[position];
    if (b >= 0x80) {
        const Plane* stored = slots_[b & 0x7Fu].get();
        if (stored == nullptr) {
            setFault(ProgramFault::unfilledSlot, position);
            return position;
        }
        out = *stored;
        return position + 1;
    }

    std::optional<int> slotNumber;
    if ((b & 0x40u) != 0) {
        slotNumber = registerStoredNode(position);
        if (fault_ != ProgramFault::none) {
            return position;
        }
    }
    const unsigned opcode = b & 0x3Fu;
    if (opcode >= kOpcodeCount || opTable[opcode].run == nullptr) {
        setFault(ProgramFault::unknownOpcode, position);
        return position;
    }
    const OpEntry& entry = opTable[opcode];

    std::size_t next = position + 1;
    OpArgs args;
    const auto readByte = [&](unsigned& into) {
        if (next >= program_.size()) {
            setFault(ProgramFault::truncated, next);
            return false;
        }
        into = program_[next++];
        return true;
    };
    for (std::size_t i = 0; i < entry.paramCount; ++i) {
        if (!readByte(args.params[i])) {
            return next;
        }
    }
    if (opcode == 20 && (args.params[0] == 4 || args.params[0] == 10) && !readByte(args.params[1])) {
        return next;
    }

    const int inputCount = entry.inputCount + optionalInputCount(opcode, args);
    std::array<std::unique_ptr<Plane>, 4> inputs;
    ++depth_;
    for (int i = 0; i < inputCount; ++i) {
        auto& input = inputs[static_cast<std::size_t>(i)];
        input = std::make_unique<Plane>();
        next = evalNode(next, *input);
        if (fault_ != ProgramFault::none) {
            --depth_;
            return next;
        }
        args.inputs[static_cast<std::size_t>(i)] = input.get();
    }
    --depth_;

    entry.run(out, args);
    for (auto it = inputs.rbegin(); it != inputs.rend(); ++it) {
        it->reset();
    }
    if (slotNumber) {
        slots_[static_cast<std::size_t>(*slotNumber)] = std::make_unique<Plane>(out);
    }
    return next;
}

bool runTextureProgram(std::span<const std::uint8_t> program, void* pixels, std::size_t pitch) {
    if (pixels == nullptr || pitch < 1024) {
        logPrintf("texture program: no pixels or pitch %zu below 1024", pitch);
        return false;
    }
    auto* rows = static_cast<std::uint8_t*>(pixels);
    constexpr std::size_t side = kPlaneSide;
    // Channel byte within an A8R8G8B8 pixel stored little-endian, for red, green, blue, alpha.
    constexpr std::array<std::size_t, 4> kChannelByte = {2, 1, 0, 3};
    try {
        TextureProgramRun run(program);
        auto work = std::make_unique<Plane>();
        std::size_t position = 0;
        for (std::size_t channel = 0; channel < 4; ++channel) {
            work->pixels.fill(0);
            position = run.evalNode(position, *work);
            if (run.fault() != ProgramFault::none) {
                logPrintf("texture program: %s at byte %zu", faultText(run.fault()), run.faultPosition());
                break;
            }
            for (std::size_t y = 0; y < side; ++y) {
                std::uint8_t* row = rows + y * pitch + kChannelByte[channel];
                const std::uint8_t* src = work->pixels.data() + y * side;
                for (std::size_t x = 0; x < side; ++x) {
                    row[4 * x] = src[x];
                }
            }
        }
        if (run.fault() == ProgramFault::none) {
            return true;
        }
    } catch (const std::bad_alloc&) {
        logPrintf("texture program: out of memory");
    }
    for (std::size_t y = 0; y < side; ++y) {
        std::memset(rows + y * pitch, 0, 4 * side);
    }
    return false;
}

} // namespace texgen

#include "shadercompiler/hlsl/ir.h"

#include <algorithm>
#include <map>

namespace shadercompiler::hlsl {

namespace {

// Register limits from the vs_2_0 and ps_2_0 register reference pages: 12
// temporaries each, 256 and 32 float constants; vs_2_0 reads at most one
// distinct constant and one distinct input register per instruction, ps_2_0
// two constants and one texture coordinate register; ps_2_0 takes 64
// arithmetic and 32 texture instruction slots and only the identity,
// replicate, .yzxw, .zxyw and .wzyx source swizzles.
const ProfileLimits kVs20{ShaderKind::vertex, "vs_2_0", 12, 256, 256, 0, 0, 1, 1, 1, true};
const ProfileLimits kPs20{ShaderKind::pixel, "ps_2_0", 12, 32, 0, 64, 32, 2, 1, 1, false};

constexpr std::array<std::array<std::uint8_t, 4>, 4> kPs20Orders{
    {{0, 1, 2, 3}, {1, 2, 0, 3}, {2, 0, 1, 3}, {3, 2, 1, 0}}};

std::uint8_t componentsRead(const Instr& in, std::size_t s) {
    const std::uint8_t lanes = lanesRead(in, s);
    std::uint8_t comps = 0;
    for (int k = 0; k < 4; ++k) {
        if ((lanes >> k) & 1) {
            comps = static_cast<std::uint8_t>(comps | (1 << in.src[s].swz[static_cast<std::size_t>(k)]));
        }
    }
    return comps;
}

bool swizzleMatches(const Src& s, std::uint8_t lanes, const std::array<std::uint8_t, 4>& order) {
    for (std::size_t k = 0; k < 4; ++k) {
        if (((lanes >> k) & 1) && s.swz[k] != order[k]) {
            return false;
        }
    }
    return true;
}

bool isReplicate(const Src& s, std::uint8_t lanes, std::uint8_t& component) {
    bool first = true;
    for (std::size_t k = 0; k < 4; ++k) {
        if ((lanes >> k) & 1) {
            if (first) {
                component = s.swz[k];
                first = false;
            } else if (s.swz[k] != component) {
                return false;
            }
        }
    }
    return !first;
}

bool swizzleLegal(const Src& s, std::uint8_t lanes, const ProfileLimits& profile) {
    if (profile.arbitrarySwizzle || lanes == 0) {
        return true;
    }
    std::uint8_t c = 0;
    if (isReplicate(s, lanes, c)) {
        return true;
    }
    return std::any_of(kPs20Orders.begin(), kPs20Orders.end(),
                       [&](const auto& o) { return swizzleMatches(s, lanes, o); });
}

Src identityOf(Reg reg, bool negate = false) {
    Src s;
    s.reg = reg;
    s.negate = negate;
    return s;
}

// Copies the lanes of s that the instruction reads into a fresh temporary,
// one replicate-swizzled mov per lane where the profile's swizzles demand it.
Src materialize(const Src& s, std::uint8_t lanes, const ProfileLimits& profile, int& nextTemp, SourcePos pos,
                std::vector<Instr>& out) {
    const Reg t{RegFile::temp, nextTemp++};
    Src plain = s;
    plain.negate = false;
    if (swizzleLegal(plain, lanes, profile)) {
        out.push_back(Instr{Op::mov, t, lanes, false, {plain}, pos});
    } else {
        for (std::size_t k = 0; k < 4; ++k) {
            if ((lanes >> k) & 1) {
                Src one = plain;
                one.swz.fill(plain.swz[k]);
                out.push_back(Instr{Op::mov, t, static_cast<std::uint8_t>(1 << k), false, {one}, pos});
            }
        }
    }
    return identityOf(t, s.negate);
}

void limitReadPorts(Instr& in, RegFile file, int ports, int& nextTemp, std::vector<Instr>& out) {
    std::vector<int> seen;
    for (std::size_t i = 0; i < in.src.size(); ++i) {
        Src& s = in.src[i];
        if (s.reg.file != file) {
            continue;
        }
        if (std::find(seen.begin(), seen.end(), s.reg.index) != seen.end()) {
            continue;
        }
        if (static_cast<int>(seen.size()) < ports) {
            seen.push_back(s.reg.index);
            continue;
        }
        const Reg original = s.reg;
        const Reg t{RegFile::temp, nextTemp++};
        out.push_back(Instr{Op::mov, t, 0xF, false, {identityOf(original)}, in.pos});
        for (Src& other : in.src) {
            if (other.reg == original) {
                other.reg = t;
            }
        }
    }
}

} // namespace

const ProfileLimits* findProfile(const std::string& name) {
    if (name == kVs20.name) {
        return &kVs20;
    }
    if (name == kPs20.name) {
        return &kPs20;
    }
    return nullptr;
}

const char* opName(Op op) {
    static constexpr const char* names[] = {"mov", "add", "mul", "mad", "dp3", "dp4", "rcp",  "rsq",
                                            "min", "max", "lrp", "pow", "abs", "frc", "texld"};
    return names[static_cast<int>(op)];
}

int opSlots(Op op) {
    // Macro instructions as the instruction reference counts them.
    switch (op) {
    case Op::lrp:
        return 2;
    case Op::pow:
        return 3;
    default:
        return 1;
    }
}

std::uint8_t lanesRead(const Instr& in, std::size_t srcIndex) {
    switch (in.op) {
    case Op::dp3:
        return 0x7;
    case Op::dp4:
        return 0xF;
    case Op::rcp:
    case Op::rsq:
    case Op::pow:
        return 0x1;
    case Op::texld:
        return srcIndex == 0 ? 0xF : 0;
    default:
        return in.mask;
    }
}

void legalizeOperands(std::vector<Instr>& code, const ProfileLimits& profile, int& nextTemp) {
    std::vector<Instr> out;
    out.reserve(code.size());
    for (Instr in : code) {
        for (std::size_t i = 0; i < in.src.size(); ++i) {
            const std::uint8_t lanes = lanesRead(in, i);
            Src& s = in.src[i];
            if (in.op == Op::texld && i == 0 && profile.kind == ShaderKind::pixel) {
                // ps_2_0 texld takes a t# or r# coordinate without swizzle or modifier.
                const bool plainRegister = (s.reg.file == RegFile::temp || s.reg.file == RegFile::texcoord) &&
                                           !s.negate && swizzleMatches(s, 0xF, kPs20Orders[0]);
                if (!plainRegister) {
                    s = materialize(s, 0xF, profile, nextTemp, in.pos, out);
                }
            } else if (!swizzleLegal(s, lanes, profile)) {
                s = materialize(s, lanes, profile, nextTemp, in.pos, out);
            }
        }
        limitReadPorts(in, RegFile::constant, profile.constantReadPorts, nextTemp, out);
        limitReadPorts(in, RegFile::input, profile.inputReadPorts, nextTemp, out);
        limitReadPorts(in, RegFile::texcoord, profile.texcoordReadPorts, nextTemp, out);
        out.push_back(std::move(in));
    }
    code = std::move(out);
}

void removeDeadCode(std::vector<Instr>& code) {
    std::map<int, std::uint8_t> live;
    std::vector<bool> keep(code.size(), true);
    for (std::size_t n = code.size(); n-- > 0;) {
        Instr& in = code[n];
        if (in.dst.file == RegFile::temp) {
            const std::uint8_t needed = in.mask & live[in.dst.index];
            if (needed == 0) {
                keep[n] = false;
                continue;
            }
            if (in.op != Op::texld) {
                in.mask = needed;
            }
            live[in.dst.index] = static_cast<std::uint8_t>(live[in.dst.index] & ~in.mask);
        }
        for (std::size_t s = 0; s < in.src.size(); ++s) {
            if (in.src[s].reg.file == RegFile::temp) {
                live[in.src[s].reg.index] |= componentsRead(in, s);
            }
        }
    }
    std::vector<Instr> out;
    for (std::size_t n = 0; n < code.size(); ++n) {
        if (keep[n]) {
            out.push_back(std::move(code[n]));
        }
    }
    code = std::move(out);
}

namespace {

bool touches(const Instr& in, const Reg& reg) {
    if (in.dst == reg) {
        return true;
    }
    return std::any_of(in.src.begin(), in.src.end(), [&](const Src& s) { return s.reg == reg; });
}

bool readsComponents(const Instr& in, const Reg& reg, std::uint8_t comps) {
    for (std::size_t s = 0; s < in.src.size(); ++s) {
        if (in.src[s].reg == reg && (componentsRead(in, s) & comps) != 0) {
            return true;
        }
    }
    return false;
}

// mov D, rX where rX was computed by one instruction just for this copy:
// that instruction writes D itself and the mov goes.
bool coalesceOne(std::vector<Instr>& code, std::size_t movIndex, const ProfileLimits& profile) {
    const Instr& mv = code[movIndex];
    if (mv.op != Op::mov || mv.src.size() != 1) {
        return false;
    }
    const Src& s = mv.src[0];
    if (s.reg.file != RegFile::temp || s.negate || !swizzleMatches(s, mv.mask, kPs20Orders[0])) {
        return false;
    }
    const Reg from = s.reg;
    const Reg to = mv.dst;
    if (from == to) {
        return false;
    }
    if (to.file != RegFile::temp && profile.kind == ShaderKind::pixel) {
        return false; // ps_2_0 writes its outputs with mov only
    }
    std::size_t writer = movIndex;
    for (std::size_t j = movIndex; j-- > 0;) {
        if (code[j].dst == from && (code[j].mask & mv.mask) != 0) {
            writer = j;
            break;
        }
        if (readsComponents(code[j], from, mv.mask) || touches(code[j], to)) {
            return false;
        }
    }
    if (writer == movIndex || code[writer].mask != mv.mask) {
        return false;
    }
    const Instr& w = code[writer];
    if (w.op == Op::texld && (to.file != RegFile::temp || mv.saturate)) {
        return false;
    }
    // lrp and pow may not write a register they read.
    if ((w.op == Op::lrp || w.op == Op::pow) &&
        std::any_of(w.src.begin(), w.src.end(), [&](const Src& s2) { return s2.reg == to; })) {
        return false;
    }
    // rX must be dead after the copy.
    std::uint8_t pending = mv.mask;
    for (std::size_t j = movIndex + 1; j < code.size() && pending != 0; ++j) {
        if (readsComponents(code[j], from, pending)) {
            return false;
        }
        if (code[j].dst == from) {
            pending = static_cast<std::uint8_t>(pending & ~code[j].mask);
        }
    }
    Instr& target = code[writer];
    target.dst = to;
    target.saturate = target.saturate || mv.saturate;
    code.erase(code.begin() + static_cast<std::ptrdiff_t>(movIndex));
    return true;
}

bool isIdentityMove(const Instr& in) {
    return in.op == Op::mov && in.src.size() == 1 && in.src[0].reg == in.dst && !in.src[0].negate && !in.saturate &&
           swizzleMatches(in.src[0], in.mask, kPs20Orders[0]);
}

} // namespace

void removeIdentityMoves(std::vector<Instr>& code) {
    std::erase_if(code, isIdentityMove);
}

void coalesceCopies(std::vector<Instr>& code, const ProfileLimits& profile) {
    bool changed = true;
    while (changed) {
        changed = false;
        removeIdentityMoves(code);
        for (std::size_t i = 0; i < code.size(); ++i) {
            if (coalesceOne(code, i, profile)) {
                changed = true;
                break;
            }
        }
    }
}

int allocateTemporaries(std::vector<Instr>& code, const ProfileLimits& profile) {
    struct Range {
        std::size_t start = SIZE_MAX;
        std::size_t end = 0;
    };
    std::map<int, Range> ranges;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const Instr& in = code[i];
        for (const Src& s : in.src) {
            if (s.reg.file == RegFile::temp) {
                Range& r = ranges[s.reg.index];
                r.start = std::min(r.start, i);
                r.end = std::max(r.end, i);
            }
        }
        if (in.dst.file == RegFile::temp) {
            Range& r = ranges[in.dst.index];
            r.start = std::min(r.start, i);
            r.end = std::max(r.end, i);
        }
    }
    std::map<int, int> physical;
    std::vector<int> holder(static_cast<std::size_t>(profile.temporaries), -1);
    int used = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
        // lrp and pow may not write a register they read (instruction reference).
        const bool mayAlias = code[i].op != Op::lrp && code[i].op != Op::pow;
        for (int& h : holder) {
            if (h >= 0) {
                const std::size_t end = ranges[h].end;
                if (end < i || (end == i && mayAlias)) {
                    h = -1;
                }
            }
        }
        const Reg& d = code[i].dst;
        if (d.file != RegFile::temp || ranges[d.index].start != i || physical.count(d.index) != 0) {
            continue;
        }
        auto freeSlot = std::find(holder.begin(), holder.end(), -1);
        if (freeSlot == holder.end()) {
            throw CompileError(code[i].pos, "too many temporaries: the program needs more than " +
                                                std::to_string(profile.temporaries) + " registers, the most " +
                                                profile.name + " has");
        }
        *freeSlot = d.index;
        const int p = static_cast<int>(freeSlot - holder.begin());
        physical[d.index] = p;
        used = std::max(used, p + 1);
    }
    for (Instr& in : code) {
        if (in.dst.file == RegFile::temp) {
            in.dst.index = physical.at(in.dst.index);
        }
        for (Src& s : in.src) {
            if (s.reg.file == RegFile::temp) {
                s.reg.index = physical.at(s.reg.index);
            }
        }
    }
    return used;
}

std::string formatRegister(const Reg& reg) {
    const std::string n = std::to_string(reg.index);
    switch (reg.file) {
    case RegFile::temp:
        return "r" + n;
    case RegFile::input:
        return "v" + n;
    case RegFile::constant:
        return "c" + n;
    case RegFile::texcoord:
        return "t" + n;
    case RegFile::sampler:
        return "s" + n;
    case RegFile::rastOut:
        return reg.index == 0 ? "oPos" : reg.index == 1 ? "oFog" : "oPts";
    case RegFile::attrOut:
        return "oD" + n;
    case RegFile::texOut:
        return "oT" + n;
    case RegFile::colorOut:
        return "oC" + n;
    case RegFile::depthOut:
        return "oDepth";
    }
    return "?";
}

namespace {

constexpr char kComponent[] = "xyzw";

std::string maskText(std::uint8_t mask) {
    if (mask == 0xF) {
        return "";
    }
    std::string t = ".";
    for (int k = 0; k < 4; ++k) {
        if ((mask >> k) & 1) {
            t += kComponent[k];
        }
    }
    return t;
}

std::string swizzleText(const Instr& in, std::size_t srcIndex, const ProfileLimits& profile) {
    const Src& s = in.src[srcIndex];
    const std::uint8_t lanes = lanesRead(in, srcIndex);
    // rcp, rsq and pow read one component, named by a replicate swizzle;
    // without one some models take .w, so it is always written out.
    const bool scalarOp = in.op == Op::rcp || in.op == Op::rsq || in.op == Op::pow;
    if (scalarOp) {
        return std::string(".") + kComponent[s.swz[0]];
    }
    if (lanes == 0 || swizzleMatches(s, lanes, kPs20Orders[0])) {
        return "";
    }
    std::uint8_t c = 0;
    if (isReplicate(s, lanes, c)) {
        return std::string(".") + kComponent[c];
    }
    std::array<std::uint8_t, 4> order = s.swz;
    if (!profile.arbitrarySwizzle) {
        for (const auto& o : kPs20Orders) {
            if (swizzleMatches(s, lanes, o)) {
                order = o;
            }
        }
    } else {
        // Lanes the instruction ignores repeat the last lane it reads, so
        // the text stays short (".xy" reads as ".xyyy").
        int last = -1;
        for (std::size_t k = 0; k < 4; ++k) {
            if ((lanes >> k) & 1) {
                last = static_cast<int>(k);
            }
        }
        for (std::size_t k = 0; k < 4; ++k) {
            if (!((lanes >> k) & 1)) {
                order[k] = static_cast<int>(k) > last ? order[static_cast<std::size_t>(last)] : order[k];
            }
        }
    }
    std::size_t length = 4;
    while (length > 1 && order[length - 1] == order[length - 2]) {
        --length;
    }
    std::string t = ".";
    for (std::size_t k = 0; k < length; ++k) {
        t += kComponent[order[k]];
    }
    return t;
}

} // namespace

std::string formatInstruction(const Instr& in, const ProfileLimits& profile) {
    std::string t = opName(in.op);
    if (in.saturate) {
        t += "_sat";
    }
    t += " " + formatRegister(in.dst) + maskText(in.mask);
    for (std::size_t i = 0; i < in.src.size(); ++i) {
        const Src& s = in.src[i];
        t += ", ";
        if (s.negate) {
            t += "-";
        }
        t += formatRegister(s.reg) + swizzleText(in, i, profile);
    }
    return t;
}

} // namespace shadercompiler::hlsl

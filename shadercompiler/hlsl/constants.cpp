#include "shadercompiler/hlsl/constants.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace shadercompiler::hlsl {
namespace {

bool rangeFree(const std::vector<bool>& used, int index, int size) {
    for (int i = index; i < index + size; ++i) {
        if (i < static_cast<int>(used.size()) && used[static_cast<std::size_t>(i)]) {
            return false;
        }
    }
    return true;
}

void requireFinite(float f, SourcePos pos) {
    if (!std::isfinite(f)) {
        throw CompileError(pos, "constant arithmetic gives a value that is not a finite number");
    }
}

std::string formatFloat(float f) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

} // namespace

bool sameBits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

void ConstantRegisters::place(const std::string& name, bool isSampler, int index, int size, SourcePos pos) {
    std::vector<bool>& used = isSampler ? samplerUsed_ : constantUsed_;
    const int limit = isSampler ? 16 : profile_.constants;
    if (index + size > limit) {
        throw CompileError(pos, "'" + name + "' does not fit in the " + std::to_string(limit) + " " +
                                    (isSampler ? "samplers" : "constant registers") + " of " + profile_.name);
    }
    if (!rangeFree(used, index, size)) {
        throw CompileError(pos, "'" + name + "' overlaps the registers of another global");
    }
    if (static_cast<int>(used.size()) < index + size) {
        used.resize(static_cast<std::size_t>(index + size), false);
    }
    for (int i = index; i < index + size; ++i) {
        used[static_cast<std::size_t>(i)] = true;
    }
}

int ConstantRegisters::firstFree(bool isSampler, int size) const {
    int index = 0;
    while (!rangeFree(isSampler ? samplerUsed_ : constantUsed_, index, size)) {
        ++index;
    }
    return index;
}

// Literals go above every uniform, never into a gap between them: the
// application may fill a whole block (c8-c11 for a 3-row matrix) and a
// def in the gap would override its upload.
int ConstantRegisters::newRegister(SourcePos pos) {
    const int index = static_cast<int>(constantUsed_.size());
    if (index >= profile_.constants) {
        throw CompileError(pos, "too many literal constants for the constant registers of " + profile_.name);
    }
    if (static_cast<int>(constantUsed_.size()) <= index) {
        constantUsed_.resize(static_cast<std::size_t>(index + 1), false);
    }
    constantUsed_[static_cast<std::size_t>(index)] = true;
    return index;
}

Src ConstantRegisters::scalar(float f, SourcePos pos) {
    requireFinite(f, pos);
    for (const DefRegister& d : defs_) {
        for (int k = 0; k < d.used; ++k) {
            if (sameBits(d.values[static_cast<std::size_t>(k)], f)) {
                Src s;
                s.reg = Reg{RegFile::constant, d.index};
                s.swz.fill(static_cast<std::uint8_t>(k));
                return s;
            }
        }
    }
    auto open = std::find_if(defs_.begin(), defs_.end(), [](const DefRegister& d) { return d.used < 4; });
    if (open == defs_.end()) {
        defs_.push_back(DefRegister{newRegister(pos), {}, 0});
        open = defs_.end() - 1;
    }
    const int lane = open->used++;
    open->values[static_cast<std::size_t>(lane)] = f;
    Src s;
    s.reg = Reg{RegFile::constant, open->index};
    s.swz.fill(static_cast<std::uint8_t>(lane));
    return s;
}

Src ConstantRegisters::vector(const std::array<float, 4>& values, int n, SourcePos pos) {
    for (int k = 0; k < n; ++k) {
        requireFinite(values[static_cast<std::size_t>(k)], pos);
    }
    for (const DefRegister& d : defs_) {
        bool match = d.used == 4;
        for (int k = 0; match && k < n; ++k) {
            match = sameBits(d.values[static_cast<std::size_t>(k)], values[static_cast<std::size_t>(k)]);
        }
        if (match) {
            Src s;
            s.reg = Reg{RegFile::constant, d.index};
            return s;
        }
    }
    DefRegister d{newRegister(pos), {}, 4};
    for (int k = 0; k < n; ++k) {
        d.values[static_cast<std::size_t>(k)] = values[static_cast<std::size_t>(k)];
    }
    defs_.push_back(d);
    Src s;
    s.reg = Reg{RegFile::constant, d.index};
    return s;
}

void ConstantRegisters::writeDefs(std::ostream& out) const {
    std::vector<DefRegister> sorted = defs_;
    std::sort(sorted.begin(), sorted.end(),
              [](const DefRegister& a, const DefRegister& b) { return a.index < b.index; });
    for (const DefRegister& d : sorted) {
        out << "def c" << d.index;
        for (float f : d.values) {
            out << ", " << formatFloat(f);
        }
        out << "\n";
    }
}

} // namespace shadercompiler::hlsl

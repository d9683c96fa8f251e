#include "shadercompiler/hlsl/constants.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hlsl {
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

// The shortest decimal that reads back as f, in fixed notation: the text
// std::to_chars(..., std::chars_format::fixed) writes, which the browser
// build's C++ library lacks. The digits are printf's correctly rounded
// "%.*e" at the fewest significant digits that read back as f.
std::string formatFloat(float f) {
    char buf[48]; // the largest float has 39 digits
    std::string digits;
    int exponent = 0;
    for (int count = 1; digits.empty(); ++count) {
        std::snprintf(buf, sizeof buf, "%.*e", count - 1, static_cast<double>(std::fabs(f)));
        char* e = std::strchr(buf, 'e');
        exponent = std::atoi(e + 1);
        *e = '\0';
        std::uint64_t m = std::strtoull(buf, nullptr, 10);
        for (const char* p = std::strchr(buf, '.'); p != nullptr && *++p != '\0';) {
            m = m * 10 + static_cast<std::uint64_t>(*p - '0');
        }
        // Just above a power of two the floats below lie twice as close as
        // those above, so the nearest decimal of this length can miss f while
        // the next one up reads back as f; to_chars takes that one.
        for (const std::uint64_t candidate : {m, m + 1}) {
            std::snprintf(buf, sizeof buf, "%llue%d", static_cast<unsigned long long>(candidate), exponent - count + 1);
            if (digits.empty() && std::strtof(buf, nullptr) == std::fabs(f)) {
                digits = std::to_string(candidate);
                exponent += static_cast<int>(digits.size()) - count;
            }
        }
    }
    const std::string sign = std::signbit(f) ? "-" : "";
    const int n = static_cast<int>(digits.size());
    if (exponent + 1 >= n) {
        // A whole number: to_chars writes its exact value, not the shortest
        // digits padded with zeros.
        std::snprintf(buf, sizeof buf, "%.0f", static_cast<double>(f));
        return buf;
    }
    if (exponent < 0) {
        return sign + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    const auto point = static_cast<std::size_t>(exponent + 1);
    return sign + digits.substr(0, point) + "." + digits.substr(point);
}

} // namespace

bool sameBits(float a, float b) {
    std::uint32_t bitsA = 0;
    std::uint32_t bitsB = 0;
    std::memcpy(&bitsA, &a, sizeof a);
    std::memcpy(&bitsB, &b, sizeof b);
    return bitsA == bitsB;
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

} // namespace hlsl

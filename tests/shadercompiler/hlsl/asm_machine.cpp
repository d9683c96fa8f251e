#include "tests/shadercompiler/hlsl/asm_machine.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace shadercompiler::hlsl::test {

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return "";
    }
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

int component(char c) {
    const std::string set = "xyzwrgba";
    const auto at = set.find(c);
    if (at == std::string::npos) {
        throw std::runtime_error(std::string("bad component ") + c);
    }
    return static_cast<int>(at % 4);
}

struct Operand {
    std::string name;
    std::array<int, 4> swz{0, 1, 2, 3};
    unsigned mask = 0xF;
    bool negate = false;
};

Operand parseOperand(std::string text, bool destination) {
    Operand o;
    text = trim(text);
    if (!text.empty() && text[0] == '-') {
        o.negate = true;
        text = text.substr(1);
    }
    const auto dot = text.find('.');
    o.name = text.substr(0, dot);
    if (dot == std::string::npos) {
        return o;
    }
    const std::string suffix = text.substr(dot + 1);
    if (destination) {
        o.mask = 0;
        for (char c : suffix) {
            o.mask |= 1u << component(c);
        }
        return o;
    }
    for (std::size_t k = 0; k < 4; ++k) {
        o.swz[k] = component(suffix[std::min(k, suffix.size() - 1)]);
    }
    return o;
}

using Sources = std::vector<Vec4>;

// Lane k of each instruction's result; the scalar ones give every lane the same value.
const std::map<std::string, float (*)(const Sources&, std::size_t)> kOperations = {
    {"mov", [](const Sources& s, std::size_t k) { return s[0][k]; }},
    {"add", [](const Sources& s, std::size_t k) { return s[0][k] + s[1][k]; }},
    {"mul", [](const Sources& s, std::size_t k) { return s[0][k] * s[1][k]; }},
    {"mad", [](const Sources& s, std::size_t k) { return s[0][k] * s[1][k] + s[2][k]; }},
    {"dp3", [](const Sources& s, std::size_t) { return s[0][0] * s[1][0] + s[0][1] * s[1][1] + s[0][2] * s[1][2]; }},
    {"dp4", [](const Sources& s,
               std::size_t) { return s[0][0] * s[1][0] + s[0][1] * s[1][1] + s[0][2] * s[1][2] + s[0][3] * s[1][3]; }},
    {"rcp", [](const Sources& s, std::size_t) { return 1.0f / s[0][0]; }},
    {"rsq", [](const Sources& s, std::size_t) { return 1.0f / std::sqrt(std::fabs(s[0][0])); }},
    {"pow", [](const Sources& s, std::size_t) { return std::pow(std::fabs(s[0][0]), s[1][0]); }},
    {"min", [](const Sources& s, std::size_t k) { return std::min(s[0][k], s[1][k]); }},
    {"max", [](const Sources& s, std::size_t k) { return std::max(s[0][k], s[1][k]); }},
    {"lrp", [](const Sources& s, std::size_t k) { return s[0][k] * s[1][k] + (1.0f - s[0][k]) * s[2][k]; }},
    {"abs", [](const Sources& s, std::size_t k) { return std::fabs(s[0][k]); }},
    {"frc", [](const Sources& s, std::size_t k) { return s[0][k] - std::floor(s[0][k]); }},
};

} // namespace

void AsmMachine::run(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto comment = line.find("//");
        line = trim(line.substr(0, comment));
        if (line.empty() || line.rfind("vs_", 0) == 0 || line.rfind("ps_", 0) == 0 || line.rfind("dcl", 0) == 0) {
            continue;
        }
        const auto space = line.find(' ');
        std::string op = line.substr(0, space);
        std::vector<std::string> parts;
        std::stringstream rest(line.substr(space + 1));
        std::string part;
        while (std::getline(rest, part, ',')) {
            parts.push_back(part);
        }
        if (op == "def") {
            Vec4 v{};
            for (std::size_t k = 0; k < 4; ++k) {
                v[k] = std::stof(parts.at(k + 1));
            }
            reg[trim(parts.at(0))] = v;
            continue;
        }
        bool saturate = false;
        if (op.size() > 4 && op.substr(op.size() - 4) == "_sat") {
            saturate = true;
            op = op.substr(0, op.size() - 4);
        }
        const Operand dst = parseOperand(parts.at(0), true);
        Sources s;
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const Operand o = parseOperand(parts[i], false);
            if (op == "texld" && i == 2) {
                continue; // the sampler
            }
            if (reg.count(o.name) == 0) {
                throw std::runtime_error("read of unset register " + o.name + " in: " + line);
            }
            const Vec4& r = reg[o.name];
            Vec4 v{};
            for (std::size_t k = 0; k < 4; ++k) {
                v[k] = r[static_cast<std::size_t>(o.swz[k])] * (o.negate ? -1.0f : 1.0f);
            }
            s.push_back(v);
        }
        Vec4 out{};
        if (op == "texld") {
            out = sample(s[0]);
        } else if (const auto found = kOperations.find(op); found != kOperations.end()) {
            for (std::size_t k = 0; k < 4; ++k) {
                out[k] = found->second(s, k);
            }
        } else {
            throw std::runtime_error("unknown instruction: " + line);
        }
        Vec4& d = reg[dst.name];
        for (std::size_t k = 0; k < 4; ++k) {
            if ((dst.mask >> k) & 1) {
                d[k] = saturate ? std::clamp(out[k], 0.0f, 1.0f) : out[k];
            }
        }
    }
}

} // namespace shadercompiler::hlsl::test

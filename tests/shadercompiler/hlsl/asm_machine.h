// Runs shader assembly text on the CPU, one instruction at a time, with the
// instruction reference's arithmetic: enough to check what compiled code
// computes without a device.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>

namespace shadercompiler::hlsl::test {

using Vec4 = std::array<float, 4>;

class AsmMachine {
  public:
    // Registers by their assembly names: "v0", "c3", "t1", "r2", "oPos", "oT0", "oC0".
    std::map<std::string, Vec4> reg;
    // What texld returns for a coordinate (the sampler number is ignored).
    std::function<Vec4(const Vec4&)> sample = [](const Vec4& c) { return c; };

    // Throws std::runtime_error on a line it cannot read or an unknown mnemonic.
    void run(const std::string& text);
};

} // namespace shadercompiler::hlsl::test

// The entry point's semantics: the registers its inputs are read from and
// its outputs written to in the profile, and the declarations of the inputs.
#pragma once

#include "shadercompiler/hlsl/diagnostics.h"
#include "shadercompiler/hlsl/ir.h"

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace shadercompiler::hlsl {

class EntrySemantics {
  public:
    explicit EntrySemantics(const ProfileLimits& profile) : profile_(profile) {}

    // The register an input of `lanes` components with this (non-empty)
    // semantic is read from; CompileError for a semantic the profile lacks.
    Reg input(const std::string& semanticText, int lanes, SourcePos pos);
    // The register an output with this semantic goes to; CompileError for a
    // semantic the profile lacks or one already written.
    Reg output(const std::string& semanticText, SourcePos pos);
    const std::vector<Reg>& outputsWritten() const { return outputsWritten_; }
    // One "dcl" line per input register, vertex inputs in register order.
    void writeDeclarations(std::ostream& out) const;

  private:
    struct VertexInput {
        std::string usage;
        int index = 0;
    };
    const ProfileLimits& profile_;
    std::vector<VertexInput> vertexInputs_;
    std::map<std::pair<bool, int>, std::uint8_t> pixelInputs_; // (is t#, number) -> components read
    std::vector<Reg> outputsWritten_;
};

} // namespace shadercompiler::hlsl

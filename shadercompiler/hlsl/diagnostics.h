// Compile errors of the HLSL compiler: where in the source and what went wrong.
#pragma once

#include <stdexcept>
#include <string>

namespace shadercompiler::hlsl {

struct SourcePos {
    int line = 1;
    int column = 1;
};

// Thrown inside the compiler at the first error; compile() turns it into a result.
class CompileError : public std::runtime_error {
  public:
    CompileError(SourcePos where, const std::string& message) : std::runtime_error(message), pos(where) {}
    SourcePos pos;
};

} // namespace shadercompiler::hlsl

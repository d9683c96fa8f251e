// The intrinsic functions of the subset, as a table from name to handler.
// A handler gets its arguments evaluated and their number checked.
#pragma once

#include "shadercompiler/hlsl/emitter.h"

#include <cstddef>
#include <string>
#include <vector>

namespace shadercompiler::hlsl {

struct IntrinsicCall {
    const std::string& name;
    const std::vector<Value>& args;
    const std::vector<SourcePos>& argPos;
    SourcePos pos;
};

struct Intrinsic {
    const char* name;
    std::size_t arity;
    Value (*handler)(Emitter& g, const IntrinsicCall& call);
};

// The intrinsic called `name`; null when there is none.
const Intrinsic* findIntrinsic(const std::string& name);
// mul(a, b): scalar and vector products, and a vector by a matrix either way.
Value mulProduct(Emitter& g, const Value& a, const Value& b, SourcePos pos);

} // namespace shadercompiler::hlsl

#include "shadercompiler/hlsl/types.h"

#include "shadercompiler/hlsl/parser.h"

namespace shadercompiler::hlsl {

Type vectorType(int n) {
    Type t;
    t.kind = Type::Kind::numeric;
    t.cols = n;
    return t;
}

std::uint8_t laneMask(int n) {
    return static_cast<std::uint8_t>((1u << n) - 1u);
}

int combinedCount(int a, int b) {
    if (a == 1) {
        return b;
    }
    if (b == 1) {
        return a;
    }
    return std::min(a, b);
}

Type resolveType(const Program& program, const TypeRef& ref) {
    Type t;
    const std::string& n = ref.name;
    if (n == "void") {
        return t;
    }
    if (n == "sampler" || n == "sampler2D") {
        t.kind = Type::Kind::sampler;
        return t;
    }
    for (std::size_t i = 0; i < program.structs.size(); ++i) {
        if (program.structs[i].name == n) {
            t.kind = Type::Kind::structure;
            t.structIndex = static_cast<int>(i);
            return t;
        }
    }
    if (!isBuiltinTypeName(n)) {
        throw CompileError(ref.pos, "unknown type '" + n + "'");
    }
    const std::string dims = n.substr(n[0] == 'f' ? 5 : 4);
    t.kind = Type::Kind::numeric;
    if (dims.empty()) {
        t.cols = 1;
    } else if (dims.size() == 1) {
        t.cols = dims[0] - '0';
    } else {
        t.matrix = true;
        t.rows = dims[0] - '0';
        t.cols = dims[2] - '0';
    }
    return t;
}

std::string typeName(const Program& program, const Type& t) {
    switch (t.kind) {
    case Type::Kind::voidType:
        return "void";
    case Type::Kind::sampler:
        return "sampler";
    case Type::Kind::structure:
        return program.structs[static_cast<std::size_t>(t.structIndex)].name;
    case Type::Kind::numeric:
        break;
    }
    if (t.matrix) {
        return "float" + std::to_string(t.rows) + "x" + std::to_string(t.cols);
    }
    return t.cols == 1 ? "float" : "float" + std::to_string(t.cols);
}

Value convert(const Program& program, const Value& v, const Type& to, SourcePos pos) {
    if (v.type == to) {
        return v;
    }
    if (to.isVector() && v.type.isVector()) {
        if (v.count() == 1) {
            Value r = v;
            r.type = to;
            r.src.swz.fill(v.src.swz[0]);
            r.lits.fill(v.lits[0]);
            r.undefinedLanes = (v.undefinedLanes & 1) ? laneMask(to.cols) : 0;
            return r;
        }
        if (v.count() > to.cols) {
            Value r = v;
            r.type = to;
            r.undefinedLanes &= laneMask(to.cols);
            return r;
        }
    }
    throw CompileError(pos,
                       "cannot convert from '" + typeName(program, v.type) + "' to '" + typeName(program, to) + "'");
}

} // namespace shadercompiler::hlsl

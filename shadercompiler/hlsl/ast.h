// Syntax tree of the HLSL subset: what the parser builds and the code
// generator walks.
#pragma once

#include "shadercompiler/hlsl/diagnostics.h"

#include <memory>
#include <string>
#include <vector>

namespace shadercompiler::hlsl {

struct TypeRef {
    std::string name; // "float3", "float4x4", "sampler2D", a struct name, "void"
    SourcePos pos;
};

struct Expr {
    enum class Kind { number, name, unary, binary, call, member, cast };
    Kind kind = Kind::number;
    SourcePos pos;
    double number = 0.0;
    std::string text; // identifier, operator, function or member name, cast type
    std::vector<std::unique_ptr<Expr>> args;
    int height = 1; // levels of the tree from this node down, this one included
};

struct Stmt {
    enum class Kind { declare, assign, expression, ret, block };
    Kind kind = Kind::expression;
    SourcePos pos;
    TypeRef type;                            // declare
    std::string name;                        // declare
    std::string op;                          // assign: "=", "+=", "-=", "*=", "/="
    std::unique_ptr<Expr> target;            // assign
    std::unique_ptr<Expr> value;             // declare initialiser, assign, expression, return (may be null)
    std::vector<std::unique_ptr<Stmt>> body; // block
};

struct Field {
    TypeRef type;
    std::string name;
    std::string semantic;
    SourcePos pos;
};

struct StructDecl {
    std::string name;
    std::vector<Field> fields;
    SourcePos pos;
};

struct Param {
    enum class Direction { in, out, inout };
    Direction direction = Direction::in;
    bool uniform = false;
    TypeRef type;
    std::string name;
    std::string semantic;
    SourcePos pos;
};

struct Function {
    TypeRef returnType;
    std::string name;
    std::vector<Param> params;
    std::string semantic;
    std::vector<std::unique_ptr<Stmt>> body;
    SourcePos pos;
};

struct Global {
    TypeRef type;
    std::string name;
    bool rowMajor = false;
    bool isStatic = false;
    bool isConst = false;
    std::string registerName; // "c4", "s0"; empty when the compiler places it
    SourcePos registerPos;
    std::unique_ptr<Expr> init;
    SourcePos pos;
};

struct Program {
    std::vector<StructDecl> structs;
    std::vector<Global> globals;
    std::vector<Function> functions;
};

} // namespace shadercompiler::hlsl

#include "shadercompiler/hlsl/intrinsics.h"

#include <algorithm>
#include <cstring>

namespace shadercompiler::hlsl {
namespace {

// Argument i, which must be a scalar or vector.
const Value& vecArg(Emitter& g, const IntrinsicCall& c, std::size_t i) {
    g.requireVector(c.args[i], c.argPos[i], "'" + c.name + "'");
    return c.args[i];
}

Value mul(Emitter& g, const IntrinsicCall& c) {
    return mulProduct(g, c.args[0], c.args[1], c.pos);
}

Value dot(Emitter& g, const IntrinsicCall& c) {
    const int n = combinedCount(vecArg(g, c, 0).count(), vecArg(g, c, 1).count());
    return g.dot(c.args[0], c.args[1], n, c.pos);
}

Value normalize(Emitter& g, const IntrinsicCall& c) {
    const Value& a = c.args[0];
    const int n = vecArg(g, c, 0).count();
    const Value inv = g.perComponent(Op::rsq, 1, {g.dot(a, a, n, c.pos)}, c.pos);
    return g.arith('*', a, inv, c.pos);
}

Value length(Emitter& g, const IntrinsicCall& c) {
    const Value& a = c.args[0];
    const int n = vecArg(g, c, 0).count();
    if (n == 1) {
        return g.emit(Op::abs, 1, {g.operand(a, 1, c.pos)}, c.pos);
    }
    const Value inv = g.perComponent(Op::rsq, 1, {g.dot(a, a, n, c.pos)}, c.pos);
    return g.perComponent(Op::rcp, 1, {inv}, c.pos);
}

// One instruction over every lane, saturated for saturate.
template <Op op, bool saturate> Value lanewise(Emitter& g, const IntrinsicCall& c) {
    const int n = vecArg(g, c, 0).count();
    return g.emit(op, n, {g.operand(c.args[0], n, c.pos)}, c.pos, saturate);
}

template <bool reciprocal> Value squareRoot(Emitter& g, const IntrinsicCall& c) {
    const Value inv = g.perComponent(Op::rsq, vecArg(g, c, 0).count(), {c.args[0]}, c.pos);
    return reciprocal ? inv : g.perComponent(Op::rcp, c.args[0].count(), {inv}, c.pos);
}

template <Op op> Value pairwise(Emitter& g, const IntrinsicCall& c) {
    const int n = combinedCount(vecArg(g, c, 0).count(), vecArg(g, c, 1).count());
    return g.emit(op, n, {g.operand(c.args[0], n, c.pos), g.operand(c.args[1], n, c.pos)}, c.pos);
}

Value pow(Emitter& g, const IntrinsicCall& c) {
    const int n = combinedCount(vecArg(g, c, 0).count(), vecArg(g, c, 1).count());
    return g.perComponent(Op::pow, n, {c.args[0], c.args[1]}, c.pos);
}

Value lerp(Emitter& g, const IntrinsicCall& c) {
    const int n =
        combinedCount(combinedCount(vecArg(g, c, 0).count(), vecArg(g, c, 1).count()), vecArg(g, c, 2).count());
    const auto& a = c.args;
    // lrp d, s0, s1, s2 = s0 * s1 + (1 - s0) * s2
    return g.emit(Op::lrp, n, {g.operand(a[2], n, c.pos), g.operand(a[1], n, c.pos), g.operand(a[0], n, c.pos)}, c.pos);
}

Value reflect(Emitter& g, const IntrinsicCall& c) {
    const int n = combinedCount(vecArg(g, c, 0).count(), vecArg(g, c, 1).count());
    const auto& a = c.args;
    // i - 2 dot(n, i) n
    const Value d = g.dot(a[1], a[0], n, c.pos);
    const Value twice = g.arith('+', d, d, c.pos);
    return g.multiplyAdd(g.negate(twice, c.pos), a[1], a[0], c.pos);
}

Value tex2D(Emitter& g, const IntrinsicCall& c) {
    const auto& a = c.args;
    if (g.profile.kind != ShaderKind::pixel) {
        throw CompileError(c.pos, "tex2D is not available in " + g.profile.name);
    }
    if (a[0].type.kind != Type::Kind::sampler) {
        throw CompileError(c.argPos[0], "the first argument of tex2D must be a sampler");
    }
    if (vecArg(g, c, 1).count() < 2) {
        throw CompileError(c.argPos[1], "tex2D needs at least two texture coordinates");
    }
    Src coord = g.operand(a[1], a[1].count(), c.pos);
    for (int k = a[1].count(); k < 4; ++k) {
        coord.swz[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
    }
    Src sampler;
    sampler.reg = Reg{RegFile::sampler, a[0].regBase};
    g.samplersUsed[a[0].regBase] = true;
    return g.emit(Op::texld, 4, {coord, sampler}, c.pos);
}

constexpr Intrinsic kIntrinsics[] = {
    {"mul", 2, mul},
    {"dot", 2, dot},
    {"normalize", 1, normalize},
    {"length", 1, length},
    {"saturate", 1, lanewise<Op::mov, true>},
    {"abs", 1, lanewise<Op::abs, false>},
    {"frac", 1, lanewise<Op::frc, false>},
    {"rsqrt", 1, squareRoot<true>},
    {"sqrt", 1, squareRoot<false>},
    {"min", 2, pairwise<Op::min>},
    {"max", 2, pairwise<Op::max>},
    {"pow", 2, pow},
    {"lerp", 3, lerp},
    {"reflect", 2, reflect},
    {"tex2D", 2, tex2D},
};

} // namespace

Value mulProduct(Emitter& g, const Value& a, const Value& b, SourcePos pos) {
    if (a.type.kind != Type::Kind::numeric || b.type.kind != Type::Kind::numeric) {
        throw CompileError(pos, "mul takes numbers, vectors and matrices");
    }
    if (!a.type.matrix && !b.type.matrix) {
        if (a.count() == 1 || b.count() == 1) {
            return g.arith('*', a, b, pos);
        }
        return g.dot(a, b, std::min(a.count(), b.count()), pos);
    }
    if (a.type.matrix && b.type.matrix) {
        throw CompileError(pos, "matrix by matrix products are not supported");
    }
    const bool vectorFirst = b.type.matrix;
    const Value& v = vectorFirst ? a : b;
    const Value& m = vectorFirst ? b : a;
    const int inner = vectorFirst ? m.type.rows : m.type.cols;
    const int outer = vectorFirst ? m.type.cols : m.type.rows;
    if (v.count() < inner) {
        throw CompileError(pos,
                           "mul of a " + g.typeName(v.type) + " and a " + g.typeName(m.type) + ": sizes do not match");
    }
    const Src vs = g.operand(v, inner, pos);
    Value t = g.newTemp(outer);
    // Registers hold rows (row_major) or columns (column_major). Where a
    // register runs along the product's inner dimension the result is one
    // dot product per lane; otherwise it is a sum of registers scaled by
    // the vector's components.
    const bool dotPerLane = vectorFirst != m.rowMajor;
    if (dotPerLane) {
        for (int j = 0; j < outer; ++j) {
            g.dotInto(t.src.reg, j, vs, g.matrixRegister(m, j), inner, pos);
        }
        return t;
    }
    Src acc;
    acc.reg = t.src.reg;
    for (int i = 0; i < inner; ++i) {
        const Src scale = g.withSwizzle(vs, vs.swz[static_cast<std::size_t>(i)]);
        if (i == 0) {
            g.emitTo(Op::mul, t.src.reg, laneMask(outer), {scale, g.matrixRegister(m, i)}, pos);
        } else {
            g.emitTo(Op::mad, t.src.reg, laneMask(outer), {scale, g.matrixRegister(m, i), acc}, pos);
        }
    }
    return t;
}

const Intrinsic* findIntrinsic(const std::string& name) {
    const auto* found = std::find_if(std::begin(kIntrinsics), std::end(kIntrinsics),
                                     [&](const Intrinsic& i) { return name == i.name; });
    return found != std::end(kIntrinsics) ? found : nullptr;
}

} // namespace shadercompiler::hlsl

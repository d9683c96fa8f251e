#include "shadercompiler/hlsl/emitter.h"

#include <algorithm>

namespace shadercompiler::hlsl {

Value Emitter::literalValue(const std::array<float, 4>& lits, int n) {
    Value v;
    v.type = vectorType(n);
    v.literal = true;
    v.lits = lits;
    return v;
}

void Emitter::requireVector(const Value& v, SourcePos pos, const std::string& what) const {
    if (!v.type.isVector()) {
        throw CompileError(pos, what + " is not defined for '" + typeName(v.type) + "'");
    }
}

Src Emitter::operand(const Value& v, int n, SourcePos pos) {
    requireVector(v, pos, "this operation");
    const int used = v.count() == 1 ? 1 : std::min(n, v.count());
    if ((v.undefinedLanes & laneMask(used)) != 0) {
        throw CompileError(pos, "'" + v.origin + "' is used before it is completely initialised");
    }
    Src s;
    if (v.literal) {
        bool uniform = true;
        for (int k = 1; k < used; ++k) {
            uniform = uniform && sameBits(v.lits[static_cast<std::size_t>(k)], v.lits[0]);
        }
        s = uniform ? constants.scalar(v.lits[0], pos) : constants.vector(v.lits, used, pos);
    } else {
        s = v.src;
    }
    if (v.count() == 1) {
        s.swz.fill(s.swz[0]);
    }
    return s;
}

Value Emitter::newTemp(int n) {
    Value v;
    v.type = vectorType(n);
    v.src.reg = Reg{RegFile::temp, nextTemp++};
    return v;
}

void Emitter::emitTo(Op op, Reg dst, std::uint8_t mask, std::vector<Src> srcs, SourcePos pos, bool sat) {
    code.push_back(Instr{op, dst, mask, sat, std::move(srcs), pos});
}

Value Emitter::emit(Op op, int n, std::vector<Src> srcs, SourcePos pos, bool sat) {
    Value t = newTemp(n);
    emitTo(op, t.src.reg, laneMask(n), std::move(srcs), pos, sat);
    return t;
}

Value Emitter::perComponent(Op op, int n, const std::vector<Value>& args, SourcePos pos) {
    Value t = newTemp(n);
    for (int k = 0; k < n; ++k) {
        std::vector<Src> srcs;
        for (const Value& a : args) {
            Src s = operand(a, n, pos);
            s.swz.fill(s.swz[static_cast<std::size_t>(k)]);
            srcs.push_back(s);
        }
        emitTo(op, t.src.reg, static_cast<std::uint8_t>(1 << k), srcs, pos);
    }
    return t;
}

Src Emitter::withSwizzle(Src s, std::uint8_t component) {
    s.swz.fill(component);
    return s;
}

void Emitter::dotInto(Reg dst, int lane, const Src& a, const Src& b, int n, SourcePos pos) {
    const auto mask = static_cast<std::uint8_t>(1 << lane);
    if (n == 4 || n == 3) {
        emitTo(n == 4 ? Op::dp4 : Op::dp3, dst, mask, {a, b}, pos);
        return;
    }
    emitTo(Op::mul, dst, mask, {withSwizzle(a, a.swz[0]), withSwizzle(b, b.swz[0])}, pos);
    if (n == 2) {
        Src acc;
        acc.reg = dst;
        acc.swz.fill(static_cast<std::uint8_t>(lane));
        emitTo(Op::mad, dst, mask, {withSwizzle(a, a.swz[1]), withSwizzle(b, b.swz[1]), acc}, pos);
    }
}

Value Emitter::negate(Value v, SourcePos pos) {
    requireVector(v, pos, "unary '-'");
    if (v.literal) {
        for (float& f : v.lits) {
            f = -f;
        }
    } else {
        v.src.negate = !v.src.negate;
    }
    return v;
}

Value Emitter::arith(char op, const Value& a, const Value& b, SourcePos pos) {
    const std::string name = std::string("operator '") + op + "'";
    requireVector(a, pos, name);
    requireVector(b, pos, name);
    const int n = combinedCount(a.count(), b.count());
    auto lit = [](const Value& v, int k) { return v.lits[static_cast<std::size_t>(v.count() == 1 ? 0 : k)]; };
    if (a.literal && b.literal) {
        std::array<float, 4> r{};
        for (int k = 0; k < n; ++k) {
            const float x = lit(a, k);
            const float y = lit(b, k);
            r[static_cast<std::size_t>(k)] = op == '+' ? x + y : op == '-' ? x - y : op == '*' ? x * y : x / y;
        }
        return literalValue(r, n);
    }
    switch (op) {
    case '+':
        return emit(Op::add, n, {operand(a, n, pos), operand(b, n, pos)}, pos);
    case '-':
        return emit(Op::add, n, {operand(a, n, pos), operand(negate(b, pos), n, pos)}, pos);
    case '*':
        return emit(Op::mul, n, {operand(a, n, pos), operand(b, n, pos)}, pos);
    default:
        break;
    }
    if (b.literal) {
        std::array<float, 4> r{};
        for (int k = 0; k < b.count(); ++k) {
            r[static_cast<std::size_t>(k)] = 1.0f / b.lits[static_cast<std::size_t>(k)];
        }
        return arith('*', a, literalValue(r, b.count()), pos);
    }
    const Value inverse = perComponent(Op::rcp, b.count() == 1 ? 1 : n, {b}, pos);
    return arith('*', a, inverse, pos);
}

Value Emitter::multiplyAdd(const Value& x, const Value& y, const Value& c, SourcePos pos) {
    requireVector(x, pos, "operator '*'");
    requireVector(y, pos, "operator '*'");
    requireVector(c, pos, "operator '+'");
    if ((x.literal && y.literal) || c.literal) {
        return arith('+', arith('*', x, y, pos), c, pos);
    }
    const int n = combinedCount(combinedCount(x.count(), y.count()), c.count());
    return emit(Op::mad, n, {operand(x, n, pos), operand(y, n, pos), operand(c, n, pos)}, pos);
}

Value Emitter::dot(const Value& a, const Value& b, int n, SourcePos pos) {
    if (a.literal && b.literal) {
        float sum = 0;
        for (int k = 0; k < n; ++k) {
            sum += a.lits[static_cast<std::size_t>(a.count() == 1 ? 0 : k)] *
                   b.lits[static_cast<std::size_t>(b.count() == 1 ? 0 : k)];
        }
        return literalValue({sum, 0, 0, 0}, 1);
    }
    Value t = newTemp(1);
    dotInto(t.src.reg, 0, operand(a, n, pos), operand(b, n, pos), n, pos);
    return t;
}

Src Emitter::matrixRegister(const Value& m, int i) const {
    Src s;
    s.reg = Reg{RegFile::constant, m.regBase + i};
    return s;
}

} // namespace shadercompiler::hlsl

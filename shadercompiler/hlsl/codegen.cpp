#include "shadercompiler/hlsl/codegen.h"

#include "shadercompiler/hlsl/parser.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <sstream>

namespace hlsl {

namespace {

struct Type {
    enum class Kind { voidType, numeric, sampler, structure };
    Kind kind = Kind::voidType;
    int rows = 1;
    int cols = 1; // component count of a scalar or vector
    bool matrix = false;
    int structIndex = -1;

    bool isVector() const { return kind == Kind::numeric && !matrix; }
    bool operator==(const Type&) const = default;
};

Type vectorType(int n) {
    Type t;
    t.kind = Type::Kind::numeric;
    t.cols = n;
    return t;
}

std::uint8_t laneMask(int n) {
    return static_cast<std::uint8_t>((1u << n) - 1u);
}

struct Value {
    Type type;
    Src src;
    std::uint8_t undefinedLanes = 0;
    std::string origin; // the variable a read came from, for messages
    bool literal = false;
    std::array<float, 4> lits{};
    int regBase = 0; // matrix: first constant register; sampler: its number
    bool rowMajor = false;
    std::vector<Value> fields;

    int count() const { return type.cols; }
};

struct Storage {
    Type type;
    std::string name;
    Value value;
    std::vector<Storage> fields;
    bool owned = true;     // false: bound to an input or argument; copied on first write
    bool readOnly = false; // uniforms and constants
    std::uint8_t written = 0;
    std::string semantic;
    SourcePos pos;
};

struct Semantic {
    std::string name; // upper case, digits removed
    int index = 0;
};

Semantic splitSemantic(const std::string& text) {
    Semantic s;
    std::size_t end = text.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(text[end - 1])) != 0) {
        --end;
    }
    for (std::size_t i = 0; i < end; ++i) {
        s.name += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    }
    if (end < text.size()) {
        s.index = std::stoi(text.substr(end));
    }
    return s;
}

std::string formatFloat(float f) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

class Generator {
  public:
    Generator(const Program& p, const ProfileLimits& limits) : program(p), profile(limits) {}

    GeneratedCode run(const std::string& entry) {
        GeneratedCode out;
        const Function* main = findFunction(entry);
        if (main == nullptr) {
            return out;
        }
        out.entryFound = true;
        declareGlobals();
        generateEntry(*main);

        removeDeadCode(code);
        legalizeOperands(code, profile, nextTemp);
        coalesceCopies(code, profile);
        removeDeadCode(code);
        out.temporaries = allocateTemporaries(code, profile);
        removeIdentityMoves(code);
        countSlots(out);
        out.assembly = assemblyText();
        return out;
    }

  private:
    // ---- types -------------------------------------------------------------

    Type resolveType(const TypeRef& ref) const {
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

    std::string typeName(const Type& t) const {
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

    const Function* findFunction(const std::string& name) const {
        for (const Function& f : program.functions) {
            if (f.name == name) {
                return &f;
            }
        }
        return nullptr;
    }

    // ---- globals and constant registers -----------------------------------

    void declareGlobals() {
        struct Pending {
            const Global* global;
            Storage* storage;
            int size;
        };
        std::vector<Pending> automatic;
        for (const Global& g : program.globals) {
            Storage& s = arena.emplace_back();
            s.name = g.name;
            s.type = resolveType(g.type);
            s.readOnly = true;
            s.pos = g.pos;
            s.value.type = s.type;
            s.value.origin = g.name;
            if (globals.count(g.name) != 0) {
                throw CompileError(g.pos, "redefinition of '" + g.name + "'");
            }
            globals[g.name] = &s;
            if (s.type.kind == Type::Kind::structure || s.type.kind == Type::Kind::voidType) {
                throw CompileError(g.type.pos, "global variables of type '" + typeName(s.type) + "' are not supported");
            }
            if (g.isStatic) {
                if (!g.init || s.type.kind != Type::Kind::numeric || s.type.matrix) {
                    throw CompileError(g.pos, "a static global must be a scalar or vector with a constant initialiser");
                }
                Value v = convert(eval(*g.init), s.type, g.init->pos);
                if (!v.literal) {
                    throw CompileError(g.init->pos, "the initialiser of '" + g.name + "' is not a constant");
                }
                v.origin = g.name;
                s.value = v;
                continue;
            }
            const bool isSampler = s.type.kind == Type::Kind::sampler;
            const int size = isSampler ? 1 : s.type.matrix ? (g.rowMajor ? s.type.rows : s.type.cols) : 1;
            s.value.rowMajor = g.rowMajor;
            if (g.registerName.empty()) {
                automatic.push_back({&g, &s, size});
                continue;
            }
            const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(g.registerName[0])));
            const std::string digits = g.registerName.substr(1);
            if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) {
                    return std::isdigit(static_cast<unsigned char>(c)) != 0;
                })) {
                throw CompileError(g.registerPos, "invalid register '" + g.registerName + "'");
            }
            if (letter != (isSampler ? 's' : 'c')) {
                throw CompileError(g.registerPos,
                                   "register '" + g.registerName + "' does not fit a " + typeName(s.type));
            }
            const int index = std::stoi(digits);
            placeRegister(s, isSampler, index, size, g.registerPos);
        }
        for (const Pending& p : automatic) {
            const bool isSampler = p.storage->type.kind == Type::Kind::sampler;
            int index = 0;
            while (!rangeFree(isSampler ? samplerUsed : constantUsed, index, p.size)) {
                ++index;
            }
            placeRegister(*p.storage, isSampler, index, p.size, p.global->pos);
        }
    }

    static bool rangeFree(const std::vector<bool>& used, int index, int size) {
        for (int i = index; i < index + size; ++i) {
            if (i < static_cast<int>(used.size()) && used[static_cast<std::size_t>(i)]) {
                return false;
            }
        }
        return true;
    }

    void placeRegister(Storage& s, bool isSampler, int index, int size, SourcePos pos) {
        std::vector<bool>& used = isSampler ? samplerUsed : constantUsed;
        const int limit = isSampler ? 16 : profile.constants;
        if (index + size > limit) {
            throw CompileError(pos, "'" + s.name + "' does not fit in the " + std::to_string(limit) + " " +
                                        (isSampler ? "samplers" : "constant registers") + " of " + profile.name);
        }
        if (!rangeFree(used, index, size)) {
            throw CompileError(pos, "'" + s.name + "' overlaps the registers of another global");
        }
        if (static_cast<int>(used.size()) < index + size) {
            used.resize(static_cast<std::size_t>(index + size), false);
        }
        for (int i = index; i < index + size; ++i) {
            used[static_cast<std::size_t>(i)] = true;
        }
        s.value.regBase = index;
        if (!isSampler && !s.type.matrix) {
            s.value.src.reg = Reg{RegFile::constant, index};
        }
    }

    struct DefRegister {
        int index = 0;
        std::array<float, 4> values{};
        int used = 0; // lanes holding scalar literals; 4 for a vector literal
    };

    // Literals go above every uniform, never into a gap between them: the
    // application may fill a whole block (c8-c11 for a 3-row matrix) and a
    // def in the gap would override its upload.
    int newConstantRegister(SourcePos pos) {
        const int index = static_cast<int>(constantUsed.size());
        if (index >= profile.constants) {
            throw CompileError(pos, "too many literal constants for the constant registers of " + profile.name);
        }
        if (static_cast<int>(constantUsed.size()) <= index) {
            constantUsed.resize(static_cast<std::size_t>(index + 1), false);
        }
        constantUsed[static_cast<std::size_t>(index)] = true;
        return index;
    }

    static bool sameBits(float a, float b) {
        return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
    }

    static void requireFinite(float f, SourcePos pos) {
        if (!std::isfinite(f)) {
            throw CompileError(pos, "constant arithmetic gives a value that is not a finite number");
        }
    }

    Src scalarConstant(float f, SourcePos pos) {
        requireFinite(f, pos);
        for (const DefRegister& d : defs) {
            for (int k = 0; k < d.used; ++k) {
                if (sameBits(d.values[static_cast<std::size_t>(k)], f)) {
                    Src s;
                    s.reg = Reg{RegFile::constant, d.index};
                    s.swz.fill(static_cast<std::uint8_t>(k));
                    return s;
                }
            }
        }
        auto open = std::find_if(defs.begin(), defs.end(), [](const DefRegister& d) { return d.used < 4; });
        if (open == defs.end()) {
            defs.push_back(DefRegister{newConstantRegister(pos), {}, 0});
            open = defs.end() - 1;
        }
        const int lane = open->used++;
        open->values[static_cast<std::size_t>(lane)] = f;
        Src s;
        s.reg = Reg{RegFile::constant, open->index};
        s.swz.fill(static_cast<std::uint8_t>(lane));
        return s;
    }

    Src vectorConstant(const std::array<float, 4>& values, int n, SourcePos pos) {
        for (int k = 0; k < n; ++k) {
            requireFinite(values[static_cast<std::size_t>(k)], pos);
        }
        for (const DefRegister& d : defs) {
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
        DefRegister d{newConstantRegister(pos), {}, 4};
        for (int k = 0; k < n; ++k) {
            d.values[static_cast<std::size_t>(k)] = values[static_cast<std::size_t>(k)];
        }
        defs.push_back(d);
        Src s;
        s.reg = Reg{RegFile::constant, d.index};
        return s;
    }

    // ---- values and operands ----------------------------------------------

    static Value literalValue(const std::array<float, 4>& lits, int n) {
        Value v;
        v.type = vectorType(n);
        v.literal = true;
        v.lits = lits;
        return v;
    }

    void requireVector(const Value& v, SourcePos pos, const std::string& what) const {
        if (!v.type.isVector()) {
            throw CompileError(pos, what + " is not defined for '" + typeName(v.type) + "'");
        }
    }

    // The operand that reads v on lanes 0..n-1 (a scalar is replicated).
    Src operand(const Value& v, int n, SourcePos pos) {
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
            s = uniform ? scalarConstant(v.lits[0], pos) : vectorConstant(v.lits, used, pos);
        } else {
            s = v.src;
        }
        if (v.count() == 1) {
            s.swz.fill(s.swz[0]);
        }
        return s;
    }

    Value newTemp(int n) {
        Value v;
        v.type = vectorType(n);
        v.src.reg = Reg{RegFile::temp, nextTemp++};
        return v;
    }

    void emitTo(Op op, Reg dst, std::uint8_t mask, std::vector<Src> srcs, SourcePos pos, bool sat = false) {
        code.push_back(Instr{op, dst, mask, sat, std::move(srcs), pos});
    }

    Value emit(Op op, int n, std::vector<Src> srcs, SourcePos pos, bool sat = false) {
        Value t = newTemp(n);
        emitTo(op, t.src.reg, laneMask(n), std::move(srcs), pos, sat);
        return t;
    }

    // Ops that read one component and write it to every lane, done lane by lane.
    Value perComponent(Op op, int n, const std::vector<Value>& args, SourcePos pos) {
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

    static Src withSwizzle(Src s, std::uint8_t component) {
        s.swz.fill(component);
        return s;
    }

    // dst.lane = dot(a, b) over n components.
    void dotInto(Reg dst, int lane, const Src& a, const Src& b, int n, SourcePos pos) {
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

    // Result size of an operation on vectors: a scalar takes the other's
    // size; two vectors meet at the smaller (HLSL's implicit truncation).
    static int combinedCount(int a, int b) {
        if (a == 1) {
            return b;
        }
        if (b == 1) {
            return a;
        }
        return std::min(a, b);
    }

    Value negate(Value v, SourcePos pos) {
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

    Value arith(char op, const Value& a, const Value& b, SourcePos pos) {
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

    Value multiplyAdd(const Value& x, const Value& y, const Value& c, SourcePos pos) {
        requireVector(x, pos, "operator '*'");
        requireVector(y, pos, "operator '*'");
        requireVector(c, pos, "operator '+'");
        if ((x.literal && y.literal) || c.literal) {
            return arith('+', arith('*', x, y, pos), c, pos);
        }
        const int n = combinedCount(combinedCount(x.count(), y.count()), c.count());
        return emit(Op::mad, n, {operand(x, n, pos), operand(y, n, pos), operand(c, n, pos)}, pos);
    }

    Value convert(const Value& v, const Type& to, SourcePos pos) const {
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
        throw CompileError(pos, "cannot convert from '" + typeName(v.type) + "' to '" + typeName(to) + "'");
    }

    // ---- expressions -------------------------------------------------------

    Storage* lookup(const std::string& name) {
        for (auto scope = scopes.rbegin(); scope != scopes.rend(); ++scope) {
            auto it = scope->find(name);
            if (it != scope->end()) {
                return it->second;
            }
        }
        auto it = globals.find(name);
        return it == globals.end() ? nullptr : it->second;
    }

    Value read(const Storage& s) const {
        if (s.type.kind == Type::Kind::structure) {
            Value v;
            v.type = s.type;
            v.origin = s.name;
            for (const Storage& f : s.fields) {
                v.fields.push_back(read(f));
            }
            return v;
        }
        Value v = s.value;
        if (s.owned && !s.readOnly && s.type.isVector()) {
            v.undefinedLanes = static_cast<std::uint8_t>(laneMask(s.type.cols) & ~s.written);
        }
        v.origin = s.name;
        return v;
    }

    Value eval(const Expr& e) {
        switch (e.kind) {
        case Expr::Kind::number:
            return literalValue({static_cast<float>(e.number), 0, 0, 0}, 1);
        case Expr::Kind::name: {
            Storage* s = lookup(e.text);
            if (s == nullptr) {
                throw CompileError(e.pos, "undeclared identifier '" + e.text + "'");
            }
            return read(*s);
        }
        case Expr::Kind::unary:
            if (e.text == "-") {
                return negate(eval(*e.args[0]), e.pos);
            }
            if (e.text == "+") {
                Value v = eval(*e.args[0]);
                requireVector(v, e.pos, "unary '+'");
                return v;
            }
            throw CompileError(e.pos, "operator '" + e.text + "' is not supported");
        case Expr::Kind::binary:
            return evalBinary(e);
        case Expr::Kind::member:
            return evalMember(e);
        case Expr::Kind::cast:
            return evalCast(e);
        case Expr::Kind::call:
            return evalCall(e);
        }
        throw CompileError(e.pos, "unsupported expression");
    }

    static bool isProduct(const Expr& e) { return e.kind == Expr::Kind::binary && e.text == "*"; }

    Value evalBinary(const Expr& e) {
        const std::string& op = e.text;
        if (op != "+" && op != "-" && op != "*" && op != "/") {
            throw CompileError(e.pos, "operator '" + op + "' is not supported");
        }
        const Expr& l = *e.args[0];
        const Expr& r = *e.args[1];
        // a * b + c and c +- a * b become one mad.
        if (op == "+" || op == "-") {
            if (isProduct(l)) {
                const Value x = eval(*l.args[0]);
                const Value y = eval(*l.args[1]);
                Value c = eval(r);
                if (op == "-") {
                    c = negate(c, e.pos);
                }
                if (x.type.isVector() && y.type.isVector()) {
                    return multiplyAdd(x, y, c, e.pos);
                }
                return arith(op[0], mulIntrinsic(x, y, l.pos), c, e.pos);
            }
            if (isProduct(r)) {
                const Value c = eval(l);
                Value x = eval(*r.args[0]);
                const Value y = eval(*r.args[1]);
                if (x.type.isVector() && y.type.isVector()) {
                    if (op == "-") {
                        x = negate(x, e.pos);
                    }
                    return multiplyAdd(x, y, c, e.pos);
                }
                return arith(op[0], c, mulIntrinsic(x, y, r.pos), e.pos);
            }
        }
        const Value a = eval(l);
        const Value b = eval(r);
        if (op == "*" && (a.type.matrix || b.type.matrix)) {
            throw CompileError(e.pos, "operator '*' is not defined for '" + typeName(a.type.matrix ? a.type : b.type) +
                                          "' (use mul for matrix products)");
        }
        return arith(op[0], a, b, e.pos);
    }

    static std::optional<std::vector<std::uint8_t>> parseSwizzle(const std::string& text) {
        if (text.empty() || text.size() > 4) {
            return std::nullopt;
        }
        static constexpr std::string_view sets[] = {"xyzw", "rgba"};
        for (std::string_view set : sets) {
            std::vector<std::uint8_t> comps;
            for (char c : text) {
                const auto at = set.find(c);
                if (at == std::string_view::npos) {
                    break;
                }
                comps.push_back(static_cast<std::uint8_t>(at));
            }
            if (comps.size() == text.size()) {
                return comps;
            }
        }
        return std::nullopt;
    }

    Value evalMember(const Expr& e) {
        Value base = eval(*e.args[0]);
        if (base.type.kind == Type::Kind::structure) {
            const StructDecl& decl = program.structs[static_cast<std::size_t>(base.type.structIndex)];
            for (std::size_t i = 0; i < decl.fields.size(); ++i) {
                if (decl.fields[i].name == e.text) {
                    Value f = base.fields[i];
                    f.origin = base.origin + "." + e.text;
                    return f;
                }
            }
            throw CompileError(e.pos, "'" + e.text + "' is not a member of '" + decl.name + "'");
        }
        if (!base.type.isVector()) {
            throw CompileError(e.pos, "'" + typeName(base.type) + "' has no member '" + e.text + "'");
        }
        const auto comps = parseSwizzle(e.text);
        if (!comps) {
            throw CompileError(e.pos, "invalid swizzle '" + e.text + "'");
        }
        Value r = base;
        r.type = vectorType(static_cast<int>(comps->size()));
        r.undefinedLanes = 0;
        for (std::size_t k = 0; k < comps->size(); ++k) {
            const std::uint8_t c = (*comps)[k];
            if (c >= base.count()) {
                throw CompileError(e.pos, "swizzle '" + e.text + "' reads past the end of a " + typeName(base.type));
            }
            r.src.swz[k] = base.src.swz[c];
            r.lits[k] = base.lits[c];
            if ((base.undefinedLanes >> c) & 1) {
                r.undefinedLanes = static_cast<std::uint8_t>(r.undefinedLanes | (1 << k));
            }
        }
        return r;
    }

    Value evalCast(const Expr& e) {
        const Type to = resolveType(TypeRef{e.text, e.pos});
        Value v = eval(*e.args[0]);
        if (to.kind == Type::Kind::structure && v.literal && v.count() == 1) {
            return structFill(to, v.lits[0]);
        }
        if (to.isVector() && v.type.isVector() && v.count() >= to.cols) {
            Value r = v;
            r.type = to;
            r.undefinedLanes &= laneMask(to.cols);
            return r;
        }
        return convert(v, to, e.pos);
    }

    Value structFill(const Type& t, float f) const {
        Value v;
        v.type = t;
        for (const Field& field : program.structs[static_cast<std::size_t>(t.structIndex)].fields) {
            const Type ft = resolveType(field.type);
            if (ft.kind == Type::Kind::structure) {
                v.fields.push_back(structFill(ft, f));
            } else if (ft.isVector()) {
                Value lit = literalValue({f, f, f, f}, ft.cols);
                v.fields.push_back(lit);
            } else {
                throw CompileError(field.pos, "a '" + typeName(ft) + "' field cannot be filled from a number");
            }
        }
        return v;
    }

    // ---- calls -------------------------------------------------------------

    void expectArgs(const Expr& e, std::size_t n) const {
        if (e.args.size() != n) {
            throw CompileError(e.pos, "'" + e.text + "' takes " + std::to_string(n) + " argument" +
                                          (n == 1 ? "" : "s") + ", not " + std::to_string(e.args.size()));
        }
    }

    Value evalCall(const Expr& e) {
        const std::string& name = e.text;
        if (isBuiltinTypeName(name)) {
            return construct(e);
        }
        if (const Function* f = findFunction(name)) {
            return inlineCall(*f, e);
        }
        std::vector<Value> a;
        for (const auto& arg : e.args) {
            a.push_back(eval(*arg));
        }
        const SourcePos pos = e.pos;
        auto vecArg = [&](std::size_t i) -> const Value& {
            requireVector(a[i], e.args[i]->pos, "'" + name + "'");
            return a[i];
        };
        if (name == "mul") {
            expectArgs(e, 2);
            return mulIntrinsic(a[0], a[1], pos);
        }
        if (name == "dot") {
            expectArgs(e, 2);
            const int n = combinedCount(vecArg(0).count(), vecArg(1).count());
            return dot(a[0], a[1], n, pos);
        }
        if (name == "normalize") {
            expectArgs(e, 1);
            const int n = vecArg(0).count();
            const Value inv = perComponent(Op::rsq, 1, {dot(a[0], a[0], n, pos)}, pos);
            return arith('*', a[0], inv, pos);
        }
        if (name == "length") {
            expectArgs(e, 1);
            const int n = vecArg(0).count();
            if (n == 1) {
                return emit(Op::abs, 1, {operand(a[0], 1, pos)}, pos);
            }
            const Value inv = perComponent(Op::rsq, 1, {dot(a[0], a[0], n, pos)}, pos);
            return perComponent(Op::rcp, 1, {inv}, pos);
        }
        if (name == "saturate" || name == "abs" || name == "frac") {
            expectArgs(e, 1);
            const int n = vecArg(0).count();
            const Op op = name == "abs" ? Op::abs : name == "frac" ? Op::frc : Op::mov;
            return emit(op, n, {operand(a[0], n, pos)}, pos, name == "saturate");
        }
        if (name == "rsqrt" || name == "sqrt") {
            expectArgs(e, 1);
            const Value inv = perComponent(Op::rsq, vecArg(0).count(), {a[0]}, pos);
            return name == "rsqrt" ? inv : perComponent(Op::rcp, a[0].count(), {inv}, pos);
        }
        if (name == "min" || name == "max") {
            expectArgs(e, 2);
            const int n = combinedCount(vecArg(0).count(), vecArg(1).count());
            return emit(name == "min" ? Op::min : Op::max, n, {operand(a[0], n, pos), operand(a[1], n, pos)}, pos);
        }
        if (name == "pow") {
            expectArgs(e, 2);
            const int n = combinedCount(vecArg(0).count(), vecArg(1).count());
            return perComponent(Op::pow, n, {a[0], a[1]}, pos);
        }
        if (name == "lerp") {
            expectArgs(e, 3);
            const int n = combinedCount(combinedCount(vecArg(0).count(), vecArg(1).count()), vecArg(2).count());
            // lrp d, s0, s1, s2 = s0 * s1 + (1 - s0) * s2
            return emit(Op::lrp, n, {operand(a[2], n, pos), operand(a[1], n, pos), operand(a[0], n, pos)}, pos);
        }
        if (name == "reflect") {
            expectArgs(e, 2);
            const int n = combinedCount(vecArg(0).count(), vecArg(1).count());
            // i - 2 dot(n, i) n
            const Value d = dot(a[1], a[0], n, pos);
            const Value twice = arith('+', d, d, pos);
            return multiplyAdd(negate(twice, pos), a[1], a[0], pos);
        }
        if (name == "tex2D") {
            expectArgs(e, 2);
            if (profile.kind != ShaderKind::pixel) {
                throw CompileError(pos, "tex2D is not available in " + profile.name);
            }
            if (a[0].type.kind != Type::Kind::sampler) {
                throw CompileError(e.args[0]->pos, "the first argument of tex2D must be a sampler");
            }
            if (vecArg(1).count() < 2) {
                throw CompileError(e.args[1]->pos, "tex2D needs at least two texture coordinates");
            }
            Src coord = operand(a[1], a[1].count(), pos);
            for (int k = a[1].count(); k < 4; ++k) {
                coord.swz[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
            }
            Src sampler;
            sampler.reg = Reg{RegFile::sampler, a[0].regBase};
            samplersUsed[a[0].regBase] = true;
            return emit(Op::texld, 4, {coord, sampler}, pos);
        }
        throw CompileError(pos, "unknown function '" + name + "'");
    }

    Value dot(const Value& a, const Value& b, int n, SourcePos pos) {
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

    Src matrixRegister(const Value& m, int i) const {
        Src s;
        s.reg = Reg{RegFile::constant, m.regBase + i};
        return s;
    }

    Value mulIntrinsic(const Value& a, const Value& b, SourcePos pos) {
        if (a.type.kind != Type::Kind::numeric || b.type.kind != Type::Kind::numeric) {
            throw CompileError(pos, "mul takes numbers, vectors and matrices");
        }
        if (!a.type.matrix && !b.type.matrix) {
            if (a.count() == 1 || b.count() == 1) {
                return arith('*', a, b, pos);
            }
            return dot(a, b, std::min(a.count(), b.count()), pos);
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
                               "mul of a " + typeName(v.type) + " and a " + typeName(m.type) + ": sizes do not match");
        }
        const Src vs = operand(v, inner, pos);
        Value t = newTemp(outer);
        // Registers hold rows (row_major) or columns (column_major). Where a
        // register runs along the product's inner dimension the result is one
        // dot product per lane; otherwise it is a sum of registers scaled by
        // the vector's components.
        const bool dotPerLane = vectorFirst != m.rowMajor;
        if (dotPerLane) {
            for (int j = 0; j < outer; ++j) {
                dotInto(t.src.reg, j, vs, matrixRegister(m, j), inner, pos);
            }
            return t;
        }
        Src acc;
        acc.reg = t.src.reg;
        for (int i = 0; i < inner; ++i) {
            const Src scale = withSwizzle(vs, vs.swz[static_cast<std::size_t>(i)]);
            if (i == 0) {
                emitTo(Op::mul, t.src.reg, laneMask(outer), {scale, matrixRegister(m, i)}, pos);
            } else {
                emitTo(Op::mad, t.src.reg, laneMask(outer), {scale, matrixRegister(m, i), acc}, pos);
            }
        }
        return t;
    }

    Value construct(const Expr& e) {
        const Type t = resolveType(TypeRef{e.text, e.pos});
        if (!t.isVector()) {
            throw CompileError(e.pos, "constructors of '" + e.text + "' are not supported");
        }
        std::vector<Value> a;
        int total = 0;
        for (const auto& arg : e.args) {
            a.push_back(eval(*arg));
            requireVector(a.back(), arg->pos, "a constructor argument");
            total += a.back().count();
        }
        if (a.size() == 1 && a[0].count() == 1) {
            return convert(a[0], t, e.pos);
        }
        if (total != t.cols) {
            throw CompileError(e.pos, "'" + e.text + "' needs " + std::to_string(t.cols) +
                                          " components, the arguments give " + std::to_string(total));
        }
        if (std::all_of(a.begin(), a.end(), [](const Value& v) { return v.literal; })) {
            std::array<float, 4> lits{};
            int at = 0;
            for (const Value& v : a) {
                for (int k = 0; k < v.count(); ++k) {
                    lits[static_cast<std::size_t>(at++)] = v.lits[static_cast<std::size_t>(k)];
                }
            }
            return literalValue(lits, t.cols);
        }
        Value r = newTemp(t.cols);
        int at = 0;
        for (const Value& v : a) {
            const Src s = operand(v, v.count(), e.pos);
            Src shifted = s;
            std::uint8_t mask = 0;
            for (int k = 0; k < v.count(); ++k) {
                shifted.swz[static_cast<std::size_t>(at + k)] = s.swz[static_cast<std::size_t>(k)];
                mask = static_cast<std::uint8_t>(mask | (1 << (at + k)));
            }
            emitTo(Op::mov, r.src.reg, mask, {shifted}, e.pos);
            at += v.count();
        }
        return r;
    }

    // ---- storage and assignment -------------------------------------------

    void initStorage(Storage& s, const Type& t, const std::string& name, SourcePos pos) {
        s.type = t;
        s.name = name;
        s.pos = pos;
        s.value.type = t;
        if (t.kind == Type::Kind::structure) {
            for (const Field& f : program.structs[static_cast<std::size_t>(t.structIndex)].fields) {
                Storage& field = s.fields.emplace_back();
                initStorage(field, resolveType(f.type), name + "." + f.name, f.pos);
                field.semantic = f.semantic;
            }
            return;
        }
        if (!t.isVector()) {
            throw CompileError(pos, "local variables of type '" + typeName(t) + "' are not supported");
        }
        s.value.src.reg = Reg{RegFile::temp, nextTemp++};
    }

    // Inputs and arguments are copied into registers of their own before a
    // write, so the value they were bound to stays intact.
    void makeOwned(Storage& s, SourcePos pos) {
        if (s.readOnly) {
            throw CompileError(pos, "'" + s.name + "' cannot be assigned to");
        }
        if (s.owned) {
            return;
        }
        s.owned = true;
        if (s.type.kind == Type::Kind::structure) {
            for (Storage& f : s.fields) {
                f.owned = false;
                makeOwned(f, pos);
            }
            return;
        }
        const Value old = s.value;
        s.value.src = Src{};
        s.value.src.reg = Reg{RegFile::temp, nextTemp++};
        s.value.literal = false;
        const int n = s.type.cols;
        emitTo(Op::mov, s.value.src.reg, laneMask(n), {operand(old, n, pos)}, pos);
        s.written = laneMask(n);
    }

    struct LValue {
        Storage* storage = nullptr;
        std::array<std::uint8_t, 4> lanes{0, 1, 2, 3}; // destination lane of value lane k
        int count = 0;
    };

    LValue resolveLValue(const Expr& e) {
        if (e.kind == Expr::Kind::name) {
            Storage* s = lookup(e.text);
            if (s == nullptr) {
                throw CompileError(e.pos, "undeclared identifier '" + e.text + "'");
            }
            if (s->readOnly) {
                throw CompileError(e.pos, "'" + e.text + "' cannot be assigned to");
            }
            return LValue{s, {0, 1, 2, 3}, s->type.isVector() ? s->type.cols : 0};
        }
        if (e.kind == Expr::Kind::member) {
            LValue base = resolveLValue(*e.args[0]);
            if (base.storage->type.kind == Type::Kind::structure && base.count == 0) {
                for (Storage& f : base.storage->fields) {
                    if (f.name == base.storage->name + "." + e.text) {
                        return LValue{&f, {0, 1, 2, 3}, f.type.isVector() ? f.type.cols : 0};
                    }
                }
                throw CompileError(e.pos, "'" + e.text + "' is not a member of '" + typeName(base.storage->type) + "'");
            }
            const auto comps = parseSwizzle(e.text);
            if (!comps) {
                throw CompileError(e.pos, "invalid write mask '" + e.text + "'");
            }
            LValue r{base.storage, {}, static_cast<int>(comps->size())};
            std::uint8_t seen = 0;
            for (std::size_t k = 0; k < comps->size(); ++k) {
                const std::uint8_t c = (*comps)[k];
                if (c >= base.count || ((seen >> c) & 1)) {
                    throw CompileError(e.pos, "invalid write mask '" + e.text + "'");
                }
                seen = static_cast<std::uint8_t>(seen | (1 << c));
                r.lanes[k] = base.lanes[c];
            }
            return r;
        }
        throw CompileError(e.pos, "this expression cannot be assigned to");
    }

    void store(const LValue& target, const Value& v, SourcePos pos) {
        Storage& s = *target.storage;
        makeOwned(s, pos);
        if (s.type.kind == Type::Kind::structure) {
            if (!(v.type == s.type)) {
                throw CompileError(pos, "cannot convert from '" + typeName(v.type) + "' to '" + typeName(s.type) + "'");
            }
            for (std::size_t i = 0; i < s.fields.size(); ++i) {
                Storage& f = s.fields[i];
                store(LValue{&f, {0, 1, 2, 3}, f.type.isVector() ? f.type.cols : 0}, v.fields[i], pos);
            }
            return;
        }
        const Value c = convert(v, vectorType(target.count), pos);
        const Src src = operand(c, target.count, pos);
        Src moved = src;
        std::uint8_t mask = 0;
        for (int k = 0; k < target.count; ++k) {
            const std::uint8_t lane = target.lanes[static_cast<std::size_t>(k)];
            moved.swz[lane] = src.swz[static_cast<std::size_t>(k)];
            mask = static_cast<std::uint8_t>(mask | (1 << lane));
        }
        emitTo(Op::mov, s.value.src.reg, mask, {moved}, pos);
        s.written = static_cast<std::uint8_t>(s.written | mask);
    }

    // ---- statements and functions -----------------------------------------

    using Scope = std::map<std::string, Storage*>;

    Storage& declareLocal(const std::string& name, SourcePos pos) {
        Scope& scope = scopes.back();
        if (scope.count(name) != 0) {
            throw CompileError(pos, "redefinition of '" + name + "'");
        }
        Storage& s = arena.emplace_back();
        scope[name] = &s;
        return s;
    }

    void statement(const Stmt& st) {
        switch (st.kind) {
        case Stmt::Kind::declare: {
            const Type t = resolveType(st.type);
            Value init;
            if (st.value) {
                init = eval(*st.value); // before the name exists: "float x = x;" is an error
            }
            Storage& s = declareLocal(st.name, st.pos);
            initStorage(s, t, st.name, st.pos);
            if (st.value) {
                store(LValue{&s, {0, 1, 2, 3}, t.isVector() ? t.cols : 0}, init, st.value->pos);
            }
            return;
        }
        case Stmt::Kind::assign: {
            const LValue target = resolveLValue(*st.target);
            Value v = eval(*st.value);
            if (st.op != "=") {
                v = arith(st.op[0], eval(*st.target), v, st.pos);
            }
            store(target, v, st.value->pos);
            return;
        }
        case Stmt::Kind::expression:
            eval(*st.value);
            return;
        case Stmt::Kind::ret:
            throw CompileError(st.pos, "'return' is supported only as the last statement of a function");
        case Stmt::Kind::block:
            scopes.emplace_back();
            for (const auto& inner : st.body) {
                statement(*inner);
            }
            scopes.pop_back();
            return;
        }
    }

    // Runs a function body; the value of its final return (if any).
    std::optional<Value> body(const Function& f) {
        std::optional<Value> result;
        const Type returns = resolveType(f.returnType);
        for (std::size_t i = 0; i < f.body.size(); ++i) {
            const Stmt& st = *f.body[i];
            if (st.kind != Stmt::Kind::ret) {
                statement(st);
                continue;
            }
            if (i + 1 != f.body.size()) {
                throw CompileError(st.pos, "'return' is supported only as the last statement of a function");
            }
            if (returns.kind == Type::Kind::voidType) {
                if (st.value) {
                    throw CompileError(st.pos, "'" + f.name + "' returns void");
                }
                return result;
            }
            if (!st.value) {
                throw CompileError(st.pos, "'" + f.name + "' must return a " + typeName(returns));
            }
            result = convert(eval(*st.value), returns, st.value->pos);
            requireDefined(*result, st.value->pos);
        }
        if (returns.kind != Type::Kind::voidType && !result) {
            throw CompileError(f.pos, "'" + f.name + "' must return a " + typeName(returns));
        }
        return result;
    }

    static void requireDefined(const Value& v, SourcePos pos) {
        for (const Value& f : v.fields) {
            requireDefined(f, pos);
        }
        if (v.undefinedLanes != 0) {
            throw CompileError(pos, "'" + v.origin + "' is used before it is completely initialised");
        }
    }

    Value inlineCall(const Function& f, const Expr& call) {
        if (callDepth >= 16) {
            throw CompileError(call.pos, "calls nest too deep (recursion is not supported)");
        }
        if (call.args.size() != f.params.size()) {
            throw CompileError(call.pos, "'" + f.name + "' takes " + std::to_string(f.params.size()) +
                                             " arguments, not " + std::to_string(call.args.size()));
        }
        std::vector<Value> args;
        for (std::size_t i = 0; i < f.params.size(); ++i) {
            const Param& p = f.params[i];
            if (p.direction != Param::Direction::in || p.uniform) {
                throw CompileError(p.pos, "only 'in' parameters are supported on helper functions");
            }
            args.push_back(convert(eval(*call.args[i]), resolveType(p.type), call.args[i]->pos));
        }
        std::vector<Scope> saved;
        saved.swap(scopes);
        scopes.emplace_back();
        ++callDepth;
        for (std::size_t i = 0; i < f.params.size(); ++i) {
            Storage& s = declareLocal(f.params[i].name, f.params[i].pos);
            bindValue(s, resolveType(f.params[i].type), f.params[i].name, args[i]);
        }
        std::optional<Value> result = body(f);
        --callDepth;
        scopes.swap(saved);
        if (!result) {
            Value v;
            return v;
        }
        return *result;
    }

    void bindValue(Storage& s, const Type& t, const std::string& name, const Value& v) {
        s.type = t;
        s.name = name;
        s.owned = false;
        s.value = v;
        s.written = laneMask(t.isVector() ? t.cols : 0);
        if (t.kind == Type::Kind::structure) {
            const StructDecl& decl = program.structs[static_cast<std::size_t>(t.structIndex)];
            for (std::size_t i = 0; i < decl.fields.size(); ++i) {
                Storage& f = s.fields.emplace_back();
                bindValue(f, resolveType(decl.fields[i].type), name + "." + decl.fields[i].name, v.fields[i]);
            }
        }
    }

    // ---- entry point: inputs and outputs ----------------------------------

    struct VertexInput {
        std::string usage;
        int index = 0;
    };

    Value inputValue(const std::string& semanticText, const Type& t, SourcePos pos) {
        if (semanticText.empty()) {
            throw CompileError(pos, "an input of the entry point needs a semantic");
        }
        if (!t.isVector()) {
            throw CompileError(pos, "inputs of type '" + typeName(t) + "' are not supported");
        }
        const Semantic sem = splitSemantic(semanticText);
        Value v;
        v.type = t;
        if (profile.kind == ShaderKind::vertex) {
            static const std::map<std::string, std::string> usages = {{"POSITION", "position"},
                                                                      {"BLENDWEIGHT", "blendweight"},
                                                                      {"BLENDINDICES", "blendindices"},
                                                                      {"NORMAL", "normal"},
                                                                      {"PSIZE", "psize"},
                                                                      {"TEXCOORD", "texcoord"},
                                                                      {"TANGENT", "tangent"},
                                                                      {"BINORMAL", "binormal"},
                                                                      {"COLOR", "color"},
                                                                      {"FOG", "fog"},
                                                                      {"DEPTH", "depth"}};
            const auto it = usages.find(sem.name);
            if (it == usages.end()) {
                throw CompileError(pos, "'" + semanticText + "' is not a vertex input semantic");
            }
            int reg = -1;
            for (std::size_t i = 0; i < vertexInputs.size(); ++i) {
                if (vertexInputs[i].usage == it->second && vertexInputs[i].index == sem.index) {
                    reg = static_cast<int>(i);
                }
            }
            if (reg < 0) {
                if (vertexInputs.size() >= 16) {
                    throw CompileError(pos, "too many vertex inputs (16 at most)");
                }
                reg = static_cast<int>(vertexInputs.size());
                vertexInputs.push_back({it->second, sem.index});
            }
            v.src.reg = Reg{RegFile::input, reg};
            return v;
        }
        if (sem.name == "COLOR" && sem.index < 2) {
            v.src.reg = Reg{RegFile::input, sem.index};
        } else if (sem.name == "TEXCOORD" && sem.index < 8) {
            v.src.reg = Reg{RegFile::texcoord, sem.index};
        } else {
            throw CompileError(pos, "'" + semanticText + "' is not a pixel input semantic of " + profile.name);
        }
        std::uint8_t& mask = pixelInputs[{v.src.reg.file == RegFile::texcoord, v.src.reg.index}];
        mask = static_cast<std::uint8_t>(mask | laneMask(t.cols));
        return v;
    }

    Reg outputRegister(const std::string& semanticText, SourcePos pos) {
        if (semanticText.empty()) {
            throw CompileError(pos, "an output of the entry point needs a semantic");
        }
        const Semantic sem = splitSemantic(semanticText);
        std::optional<Reg> r;
        if (profile.kind == ShaderKind::vertex) {
            if ((sem.name == "POSITION" || sem.name == "SV_POSITION") && sem.index == 0) {
                r = Reg{RegFile::rastOut, 0};
            } else if (sem.name == "FOG" && sem.index == 0) {
                r = Reg{RegFile::rastOut, 1};
            } else if (sem.name == "PSIZE" && sem.index == 0) {
                r = Reg{RegFile::rastOut, 2};
            } else if (sem.name == "COLOR" && sem.index < 2) {
                r = Reg{RegFile::attrOut, sem.index};
            } else if (sem.name == "TEXCOORD" && sem.index < 8) {
                r = Reg{RegFile::texOut, sem.index};
            }
        } else if ((sem.name == "COLOR" || sem.name == "SV_TARGET") && sem.index < 4) {
            r = Reg{RegFile::colorOut, sem.index};
        } else if (sem.name == "DEPTH" && sem.index == 0) {
            r = Reg{RegFile::depthOut, 0};
        }
        if (!r) {
            throw CompileError(pos, "'" + semanticText + "' is not an output semantic of " + profile.name);
        }
        for (const Reg& w : outputsWritten) {
            if (w == *r) {
                throw CompileError(pos, "output semantic '" + semanticText + "' is written twice");
            }
        }
        outputsWritten.push_back(*r);
        return *r;
    }

    void writeOutput(const Value& v, const std::string& semantic, SourcePos pos) {
        if (v.type.kind == Type::Kind::structure) {
            const StructDecl& decl = program.structs[static_cast<std::size_t>(v.type.structIndex)];
            for (std::size_t i = 0; i < decl.fields.size(); ++i) {
                Value f = v.fields[i];
                if (f.origin.empty()) {
                    f.origin = decl.name + "." + decl.fields[i].name;
                }
                writeOutput(f, decl.fields[i].semantic, decl.fields[i].pos);
            }
            return;
        }
        const Reg r = outputRegister(semantic, pos);
        const int n = v.count();
        if (n > 4 || !v.type.isVector()) {
            throw CompileError(pos, "outputs of type '" + typeName(v.type) + "' are not supported");
        }
        if (v.undefinedLanes != 0) {
            throw CompileError(pos, "output '" + v.origin + "' is not completely initialised");
        }
        // ps_2_0 colour outputs are written whole.
        const int lanes = r.file == RegFile::colorOut ? 4 : n;
        Value full = v;
        if (lanes > n) {
            full = newTemp(4);
            emitTo(Op::mov, full.src.reg, laneMask(n), {operand(v, n, pos)}, pos);
            emitTo(Op::mov, full.src.reg, static_cast<std::uint8_t>(laneMask(4) & ~laneMask(n)),
                   {scalarConstant(n == 3 ? 1.0f : 0.0f, pos)}, pos);
            full.type = vectorType(4);
        }
        emitTo(Op::mov, r, laneMask(lanes), {operand(full, lanes, pos)}, pos);
    }

    void generateEntry(const Function& f) {
        scopes.emplace_back();
        std::vector<Storage*> outs;
        for (const Param& p : f.params) {
            const Type t = resolveType(p.type);
            if (p.uniform) {
                throw CompileError(p.pos, "uniform parameters are not supported; declare a global");
            }
            Storage& s = declareLocal(p.name, p.pos);
            if (p.direction == Param::Direction::inout) {
                throw CompileError(p.pos, "inout parameters are not supported on the entry point");
            }
            if (p.direction == Param::Direction::out) {
                initStorage(s, t, p.name, p.pos);
                s.semantic = p.semantic;
                outs.push_back(&s);
                continue;
            }
            Value v;
            v.type = t;
            if (t.kind == Type::Kind::structure) {
                const StructDecl& decl = program.structs[static_cast<std::size_t>(t.structIndex)];
                for (const Field& field : decl.fields) {
                    v.fields.push_back(inputValue(field.semantic, resolveType(field.type), field.pos));
                }
            } else {
                v = inputValue(p.semantic, t, p.pos);
            }
            bindValue(s, t, p.name, v);
        }
        const std::optional<Value> result = body(f);
        if (result) {
            writeOutput(*result, f.semantic, f.pos);
        }
        for (Storage* s : outs) {
            writeOutput(read(*s), s->semantic, s->pos);
        }
        if (profile.kind == ShaderKind::vertex &&
            std::find(outputsWritten.begin(), outputsWritten.end(), Reg{RegFile::rastOut, 0}) == outputsWritten.end()) {
            throw CompileError(f.pos, "a vertex program must write POSITION");
        }
        if (profile.kind == ShaderKind::pixel && outputsWritten.empty()) {
            throw CompileError(f.pos, "a pixel program must write COLOR");
        }
    }

    // ---- output ------------------------------------------------------------

    void countSlots(GeneratedCode& out) const {
        for (const Instr& in : code) {
            if (in.op == Op::texld) {
                out.textureSlots += 1;
            } else {
                out.arithmeticSlots += opSlots(in.op);
            }
        }
        const SourcePos last = code.empty() ? SourcePos{} : code.back().pos;
        if (profile.kind == ShaderKind::vertex) {
            if (out.arithmeticSlots > profile.totalSlots) {
                throw CompileError(last, "the program needs " + std::to_string(out.arithmeticSlots) +
                                             " instruction slots, " + profile.name + " has " +
                                             std::to_string(profile.totalSlots));
            }
            return;
        }
        if (out.arithmeticSlots > profile.arithmeticSlots) {
            throw CompileError(last, "the program needs " + std::to_string(out.arithmeticSlots) +
                                         " arithmetic instruction slots, " + profile.name + " has " +
                                         std::to_string(profile.arithmeticSlots));
        }
        if (out.textureSlots > profile.textureSlots) {
            throw CompileError(last, "the program needs " + std::to_string(out.textureSlots) +
                                         " texture instruction slots, " + profile.name + " has " +
                                         std::to_string(profile.textureSlots));
        }
    }

    std::string assemblyText() const {
        std::ostringstream out;
        out << profile.name << "\n";
        std::vector<DefRegister> sorted = defs;
        std::sort(sorted.begin(), sorted.end(),
                  [](const DefRegister& a, const DefRegister& b) { return a.index < b.index; });
        for (const DefRegister& d : sorted) {
            out << "def c" << d.index;
            for (float f : d.values) {
                out << ", " << formatFloat(f);
            }
            out << "\n";
        }
        for (std::size_t i = 0; i < vertexInputs.size(); ++i) {
            out << "dcl_" << vertexInputs[i].usage;
            if (vertexInputs[i].index != 0) {
                out << vertexInputs[i].index;
            }
            out << " v" << i << "\n";
        }
        for (const auto& [key, mask] : pixelInputs) {
            out << "dcl " << (key.first ? "t" : "v") << key.second;
            if (mask != 0xF) {
                out << ".";
                for (int k = 0; k < 4; ++k) {
                    if ((mask >> k) & 1) {
                        out << "xyzw"[k];
                    }
                }
            }
            out << "\n";
        }
        for (const auto& [index, used] : samplersUsed) {
            if (used) {
                out << "dcl_2d s" << index << "\n";
            }
        }
        for (const Instr& in : code) {
            out << formatInstruction(in, profile) << "\n";
        }
        return out.str();
    }

    const Program& program;
    const ProfileLimits& profile;
    std::vector<Instr> code;
    int nextTemp = 0;
    std::deque<Storage> arena;
    std::map<std::string, Storage*> globals;
    std::vector<Scope> scopes;
    std::vector<bool> constantUsed;
    std::vector<bool> samplerUsed;
    std::vector<DefRegister> defs;
    std::vector<VertexInput> vertexInputs;
    std::map<std::pair<bool, int>, std::uint8_t> pixelInputs; // (is t#, number) -> components read
    std::map<int, bool> samplersUsed;
    std::vector<Reg> outputsWritten;
    int callDepth = 0;
};

} // namespace

GeneratedCode generate(const Program& program, const ProfileLimits& profile, const std::string& entry) {
    return Generator(program, profile).run(entry);
}

} // namespace hlsl

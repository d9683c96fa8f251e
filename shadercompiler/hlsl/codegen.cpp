#include "shadercompiler/hlsl/codegen.h"

#include "shadercompiler/hlsl/emitter.h"
#include "shadercompiler/hlsl/intrinsics.h"
#include "shadercompiler/hlsl/parser.h"
#include "shadercompiler/hlsl/semantics.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <map>
#include <optional>
#include <sstream>

namespace shadercompiler::hlsl {

namespace {

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

// Expressions, statements, storage and the entry point, over the emitter's
// values and instructions.
class Generator : private Emitter {
  public:
    Generator(const Program& p, const ProfileLimits& limits) : Emitter(p, limits), semantics(limits) {}

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
            placeRegister(*p.storage, isSampler, constants.firstFree(isSampler, p.size), p.size, p.global->pos);
        }
    }

    void placeRegister(Storage& s, bool isSampler, int index, int size, SourcePos pos) {
        constants.place(s.name, isSampler, index, size, pos);
        s.value.regBase = index;
        if (!isSampler && !s.type.matrix) {
            s.value.src.reg = Reg{RegFile::constant, index};
        }
    }

    // ---- values and operands ----------------------------------------------

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
                return arith(op[0], mulProduct(*this, x, y, l.pos), c, e.pos);
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
                return arith(op[0], c, mulProduct(*this, x, y, r.pos), e.pos);
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
        std::vector<SourcePos> argPos;
        for (const auto& arg : e.args) {
            a.push_back(eval(*arg));
            argPos.push_back(arg->pos);
        }
        const Intrinsic* intrinsic = findIntrinsic(name);
        if (intrinsic == nullptr) {
            throw CompileError(e.pos, "unknown function '" + name + "'");
        }
        expectArgs(e, intrinsic->arity);
        return intrinsic->handler(*this, IntrinsicCall{name, a, argPos, e.pos});
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

    Value inputValue(const std::string& semanticText, const Type& t, SourcePos pos) {
        if (semanticText.empty()) {
            throw CompileError(pos, "an input of the entry point needs a semantic");
        }
        if (!t.isVector()) {
            throw CompileError(pos, "inputs of type '" + typeName(t) + "' are not supported");
        }
        Value v;
        v.type = t;
        v.src.reg = semantics.input(semanticText, t.cols, pos);
        return v;
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
        const Reg r = semantics.output(semantic, pos);
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
                   {constants.scalar(n == 3 ? 1.0f : 0.0f, pos)}, pos);
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
            std::find(semantics.outputsWritten().begin(), semantics.outputsWritten().end(), Reg{RegFile::rastOut, 0}) ==
                semantics.outputsWritten().end()) {
            throw CompileError(f.pos, "a vertex program must write POSITION");
        }
        if (profile.kind == ShaderKind::pixel && semantics.outputsWritten().empty()) {
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
        constants.writeDefs(out);
        semantics.writeDeclarations(out);
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

    std::deque<Storage> arena;
    std::map<std::string, Storage*> globals;
    std::vector<Scope> scopes;
    EntrySemantics semantics;
    int callDepth = 0;
};

} // namespace

GeneratedCode generate(const Program& program, const ProfileLimits& profile, const std::string& entry) {
    return Generator(program, profile).run(entry);
}

} // namespace shadercompiler::hlsl

#include "shadercompiler/hlsl/parser.h"

#include "shadercompiler/hlsl/lexer.h"

#include <algorithm>
#include <set>
#include <string>

namespace shadercompiler::hlsl {

bool isBuiltinTypeName(std::string_view name) {
    if (name == "void" || name == "sampler" || name == "sampler2D" || name == "float" || name == "half") {
        return true;
    }
    std::string_view rest;
    if (name.starts_with("float")) {
        rest = name.substr(5);
    } else if (name.starts_with("half")) {
        rest = name.substr(4);
    } else {
        return false;
    }
    auto dim = [](char c) { return c >= '1' && c <= '4'; };
    return (rest.size() == 1 && dim(rest[0])) || (rest.size() == 3 && dim(rest[0]) && rest[1] == 'x' && dim(rest[2]));
}

namespace {

// Statement keywords of HLSL that this compiler does not take yet: named so
// the error says what is missing rather than "unexpected identifier".
const std::set<std::string, std::less<>> kUnsupportedStatements = {"if",     "else",  "for",      "while",   "do",
                                                                   "switch", "break", "continue", "discard", "clip"};

class Parser {
  public:
    explicit Parser(std::string_view source) : tokens(tokenize(source)) {}

    Program run() {
        Program program;
        while (peek().kind != TokenKind::end) {
            topLevel(program);
        }
        return program;
    }

  private:
    // Nesting deeper than any shader needs is refused while parsing, before it
    // can exhaust the stack of this recursive parser, of the code generator
    // that walks the tree, or of the tree's destruction.
    static constexpr int kMaxNesting = 256;

    // One level of nested parsing (a block, a parenthesis, a call's argument,
    // a prefix operator) for as long as it lasts.
    class Nesting {
      public:
        Nesting(Parser& parser, const Token& at) : owner(parser) {
            if (owner.nestingLevel == kMaxNesting) {
                throw CompileError(at.pos,
                                   "nesting deeper than " + std::to_string(kMaxNesting) + " levels is not supported");
            }
            ++owner.nestingLevel;
        }
        ~Nesting() { --owner.nestingLevel; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

      private:
        Parser& owner;
    };

    // Gives a new node its height; chains that the loops below build to the
    // left ("a + b + c ...", "v.x.y ...") grow deep without nesting the parse.
    std::unique_ptr<Expr> measured(std::unique_ptr<Expr> e) const {
        for (const auto& a : e->args) {
            e->height = std::max(e->height, a->height + 1);
        }
        if (e->height > kMaxNesting) {
            throw CompileError(e->pos,
                               "an expression deeper than " + std::to_string(kMaxNesting) + " levels is not supported");
        }
        return e;
    }

    const Token& peek(std::size_t ahead = 0) const {
        const std::size_t i = at + ahead;
        return i < tokens.size() ? tokens[i] : tokens.back();
    }
    const Token& next() {
        const Token& t = tokens[at];
        if (at + 1 < tokens.size()) {
            ++at;
        }
        return t;
    }
    bool isPunct(std::string_view p, std::size_t ahead = 0) const {
        return peek(ahead).kind == TokenKind::punct && peek(ahead).text == p;
    }
    bool isWord(std::string_view w, std::size_t ahead = 0) const {
        return peek(ahead).kind == TokenKind::identifier && peek(ahead).text == w;
    }
    bool accept(std::string_view p) {
        if (isPunct(p)) {
            next();
            return true;
        }
        return false;
    }
    [[noreturn]] void fail(const Token& t, const std::string& what) const {
        const std::string found = t.kind == TokenKind::end ? "end of file" : "'" + t.text + "'";
        throw CompileError(t.pos, what + ", found " + found);
    }
    void expect(std::string_view p) {
        if (!accept(p)) {
            fail(peek(), "expected '" + std::string(p) + "'");
        }
    }
    std::string identifier(const char* what) {
        if (peek().kind != TokenKind::identifier) {
            fail(peek(), std::string("expected ") + what);
        }
        return next().text;
    }
    bool isTypeName(std::size_t ahead = 0) const {
        const Token& t = peek(ahead);
        return t.kind == TokenKind::identifier && (isBuiltinTypeName(t.text) || structNames.count(t.text) != 0);
    }
    TypeRef typeRef() {
        if (!isTypeName()) {
            fail(peek(), "expected a type");
        }
        TypeRef t;
        t.pos = peek().pos;
        t.name = next().text;
        return t;
    }
    void rejectArray() {
        if (isPunct("[")) {
            throw CompileError(peek().pos, "arrays are not supported");
        }
    }

    void topLevel(Program& program) {
        if (isWord("struct")) {
            program.structs.push_back(structDecl());
            return;
        }
        Global g;
        g.pos = peek().pos;
        for (;;) {
            if (isWord("static")) {
                g.isStatic = true;
            } else if (isWord("const")) {
                g.isConst = true;
            } else if (isWord("uniform") || isWord("extern")) {
                // the default for globals
            } else if (isWord("row_major")) {
                g.rowMajor = true;
            } else if (isWord("column_major")) {
                g.rowMajor = false;
            } else {
                break;
            }
            next();
        }
        if (peek().kind == TokenKind::identifier && !isTypeName()) {
            throw CompileError(peek().pos, "unknown type '" + peek().text + "'");
        }
        g.type = typeRef();
        const SourcePos namePos = peek().pos;
        g.name = identifier("a name");
        if (isPunct("(")) {
            program.functions.push_back(function(std::move(g.type), std::move(g.name), namePos));
            return;
        }
        rejectArray();
        if (accept(":")) {
            if (!isWord("register")) {
                fail(peek(), "expected 'register' after ':' on a global");
            }
            next();
            expect("(");
            g.registerPos = peek().pos;
            g.registerName = identifier("a register name");
            expect(")");
        }
        if (accept("=")) {
            g.init = expression();
        }
        expect(";");
        program.globals.push_back(std::move(g));
    }

    StructDecl structDecl() {
        StructDecl s;
        s.pos = next().pos;
        s.name = identifier("a struct name");
        structNames.insert(s.name);
        expect("{");
        while (!accept("}")) {
            Field f;
            f.pos = peek().pos;
            f.type = typeRef();
            f.name = identifier("a field name");
            rejectArray();
            if (accept(":")) {
                f.semantic = identifier("a semantic");
            }
            expect(";");
            s.fields.push_back(std::move(f));
        }
        expect(";");
        return s;
    }

    Function function(TypeRef returnType, std::string name, SourcePos pos) {
        Function f;
        f.returnType = std::move(returnType);
        f.name = std::move(name);
        f.pos = pos;
        expect("(");
        if (!isPunct(")")) {
            do {
                Param p;
                p.pos = peek().pos;
                for (;;) {
                    if (isWord("in")) {
                        p.direction = Param::Direction::in;
                    } else if (isWord("out")) {
                        p.direction = Param::Direction::out;
                    } else if (isWord("inout")) {
                        p.direction = Param::Direction::inout;
                    } else if (isWord("uniform")) {
                        p.uniform = true;
                    } else {
                        break;
                    }
                    next();
                }
                p.type = typeRef();
                p.name = identifier("a parameter name");
                rejectArray();
                if (accept(":")) {
                    p.semantic = identifier("a semantic");
                }
                f.params.push_back(std::move(p));
            } while (accept(","));
        }
        expect(")");
        if (accept(":")) {
            f.semantic = identifier("a semantic");
        }
        expect("{");
        while (!accept("}")) {
            if (peek().kind == TokenKind::end) {
                fail(peek(), "expected '}'");
            }
            statement(f.body);
        }
        return f;
    }

    void statement(std::vector<std::unique_ptr<Stmt>>& out) {
        const Token& first = peek();
        if (first.kind == TokenKind::identifier && kUnsupportedStatements.count(first.text) != 0) {
            throw CompileError(first.pos, "'" + first.text + "' statements are not supported");
        }
        auto s = std::make_unique<Stmt>();
        s->pos = first.pos;
        if (isPunct("{")) {
            const Nesting block(*this, next());
            s->kind = Stmt::Kind::block;
            while (!accept("}")) {
                if (peek().kind == TokenKind::end) {
                    fail(peek(), "expected '}'");
                }
                statement(s->body);
            }
            out.push_back(std::move(s));
            return;
        }
        if (accept(";")) {
            return;
        }
        if (isWord("return")) {
            next();
            s->kind = Stmt::Kind::ret;
            if (!isPunct(";")) {
                s->value = expression();
            }
            expect(";");
            out.push_back(std::move(s));
            return;
        }
        while (isWord("const") || isWord("static")) {
            next();
        }
        // "float3(...)" starts an expression, "float3 x" a declaration.
        if (isTypeName() && peek(1).kind == TokenKind::identifier) {
            TypeRef type = typeRef();
            do {
                auto d = std::make_unique<Stmt>();
                d->kind = Stmt::Kind::declare;
                d->pos = peek().pos;
                d->type = type;
                d->name = identifier("a variable name");
                rejectArray();
                if (accept("=")) {
                    d->value = expression();
                }
                out.push_back(std::move(d));
            } while (accept(","));
            expect(";");
            return;
        }
        auto e = expression();
        static constexpr std::string_view assignOps[] = {"=", "+=", "-=", "*=", "/="};
        for (std::string_view op : assignOps) {
            if (isPunct(op)) {
                s->kind = Stmt::Kind::assign;
                s->op = next().text;
                s->target = std::move(e);
                s->value = expression();
                expect(";");
                out.push_back(std::move(s));
                return;
            }
        }
        s->kind = Stmt::Kind::expression;
        s->value = std::move(e);
        expect(";");
        out.push_back(std::move(s));
    }

    std::unique_ptr<Expr> expression() {
        const Nesting level(*this, peek());
        auto e = binary(0);
        if (isPunct("?")) {
            throw CompileError(peek().pos, "the conditional operator is not supported");
        }
        return e;
    }

    static int precedence(const Token& t) {
        if (t.kind != TokenKind::punct) {
            return -1;
        }
        const std::string& p = t.text;
        if (p == "||")
            return 1;
        if (p == "&&")
            return 2;
        if (p == "==" || p == "!=")
            return 3;
        if (p == "<" || p == ">" || p == "<=" || p == ">=")
            return 4;
        if (p == "+" || p == "-")
            return 5;
        if (p == "*" || p == "/" || p == "%")
            return 6;
        return -1;
    }

    std::unique_ptr<Expr> binary(int minPrecedence) {
        auto left = unary();
        for (;;) {
            const int prec = precedence(peek());
            if (prec < 0 || prec < minPrecedence) {
                return left;
            }
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::binary;
            e->pos = peek().pos;
            e->text = next().text;
            e->args.push_back(std::move(left));
            e->args.push_back(binary(prec + 1));
            left = measured(std::move(e));
        }
    }

    std::unique_ptr<Expr> unary() {
        if (isPunct("-") || isPunct("+") || isPunct("!") || isPunct("~")) {
            const Nesting level(*this, peek());
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::unary;
            e->pos = peek().pos;
            e->text = next().text;
            e->args.push_back(unary());
            return measured(std::move(e));
        }
        if (isPunct("++") || isPunct("--")) {
            throw CompileError(peek().pos, "increment and decrement operators are not supported");
        }
        // A cast: "(" type ")" followed by an operand.
        if (isPunct("(") && isTypeName(1) && isPunct(")", 2)) {
            const Nesting level(*this, peek());
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::cast;
            e->pos = next().pos;
            e->text = next().text;
            next();
            e->args.push_back(unary());
            return measured(std::move(e));
        }
        return postfix(primary());
    }

    std::unique_ptr<Expr> primary() {
        const Token& t = peek();
        auto e = std::make_unique<Expr>();
        e->pos = t.pos;
        if (t.kind == TokenKind::number) {
            e->kind = Expr::Kind::number;
            e->number = next().number;
            return e;
        }
        if (accept("(")) {
            auto inner = expression();
            expect(")");
            return inner;
        }
        if (t.kind == TokenKind::identifier) {
            e->text = next().text;
            if (isPunct("(")) {
                next();
                e->kind = Expr::Kind::call;
                if (!isPunct(")")) {
                    do {
                        e->args.push_back(expression());
                    } while (accept(","));
                }
                expect(")");
            } else {
                e->kind = Expr::Kind::name;
            }
            return measured(std::move(e));
        }
        fail(t, "expected an expression");
    }

    std::unique_ptr<Expr> postfix(std::unique_ptr<Expr> e) {
        for (;;) {
            if (isPunct(".")) {
                auto m = std::make_unique<Expr>();
                m->kind = Expr::Kind::member;
                m->pos = next().pos;
                m->text = identifier("a member name or swizzle");
                m->args.push_back(std::move(e));
                e = measured(std::move(m));
            } else if (isPunct("[")) {
                throw CompileError(peek().pos, "indexing is not supported");
            } else if (isPunct("++") || isPunct("--")) {
                throw CompileError(peek().pos, "increment and decrement operators are not supported");
            } else {
                return e;
            }
        }
    }

    std::vector<Token> tokens;
    std::size_t at = 0;
    int nestingLevel = 0;
    std::set<std::string, std::less<>> structNames;
};

} // namespace

Program parse(std::string_view source) {
    return Parser(source).run();
}

} // namespace shadercompiler::hlsl

#include "shadercompiler/hlsl/lexer.h"

#include <cctype>
#include <cstdlib>

namespace shadercompiler::hlsl {

namespace {

bool isIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}
bool isIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}
bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

class Lexer {
  public:
    explicit Lexer(std::string_view text) : src(text) {}

    std::vector<Token> run() {
        std::vector<Token> out;
        for (;;) {
            skipSpaceAndComments();
            Token t;
            t.pos = pos;
            if (at >= src.size()) {
                out.push_back(t);
                return out;
            }
            const char c = src[at];
            if (c == '#') {
                throw CompileError(pos, "preprocessor directives are not supported");
            }
            if (isIdentStart(c)) {
                t.kind = TokenKind::identifier;
                while (at < src.size() && isIdentChar(src[at])) {
                    t.text += advance();
                }
            } else if (isDigit(c) || (c == '.' && at + 1 < src.size() && isDigit(src[at + 1]))) {
                lexNumber(t);
            } else {
                lexPunct(t);
            }
            out.push_back(std::move(t));
        }
    }

  private:
    char advance() {
        const char c = src[at++];
        if (c == '\n') {
            ++pos.line;
            pos.column = 1;
        } else {
            ++pos.column;
        }
        return c;
    }

    void skipSpaceAndComments() {
        while (at < src.size()) {
            const char c = src[at];
            if (std::isspace(static_cast<unsigned char>(c)) != 0) {
                advance();
            } else if (c == '/' && at + 1 < src.size() && src[at + 1] == '/') {
                while (at < src.size() && src[at] != '\n') {
                    advance();
                }
            } else if (c == '/' && at + 1 < src.size() && src[at + 1] == '*') {
                const SourcePos start = pos;
                advance();
                advance();
                while (at + 1 < src.size() && !(src[at] == '*' && src[at + 1] == '/')) {
                    advance();
                }
                if (at + 1 >= src.size()) {
                    throw CompileError(start, "unterminated comment");
                }
                advance();
                advance();
            } else {
                return;
            }
        }
    }

    void lexNumber(Token& t) {
        t.kind = TokenKind::number;
        bool fraction = false;
        while (at < src.size() && isDigit(src[at])) {
            t.text += advance();
        }
        if (at < src.size() && src[at] == '.') {
            fraction = true;
            t.text += advance();
            while (at < src.size() && isDigit(src[at])) {
                t.text += advance();
            }
        }
        if (at < src.size() && (src[at] == 'e' || src[at] == 'E')) {
            std::size_t look = at + 1;
            if (look < src.size() && (src[look] == '+' || src[look] == '-')) {
                ++look;
            }
            if (look < src.size() && isDigit(src[look])) {
                fraction = true;
                while (at < look) {
                    t.text += advance();
                }
                while (at < src.size() && isDigit(src[at])) {
                    t.text += advance();
                }
            }
        }
        // HLSL literal suffixes: f and h for floats, no effect on the value here.
        if (at < src.size() && (src[at] == 'f' || src[at] == 'F' || src[at] == 'h' || src[at] == 'H')) {
            fraction = true;
            advance();
        }
        if (at < src.size() && isIdentChar(src[at])) {
            throw CompileError(pos, "invalid character '" + std::string(1, src[at]) + "' in a number");
        }
        t.isInteger = !fraction;
        t.number = std::strtod(t.text.c_str(), nullptr);
    }

    void lexPunct(Token& t) {
        static constexpr std::string_view twoChar[] = {
            "+=", "-=", "*=", "/=", "==", "!=", "<=", ">=", "&&", "||", "++", "--"};
        t.kind = TokenKind::punct;
        if (at + 1 < src.size()) {
            const std::string_view pair = src.substr(at, 2);
            for (std::string_view p : twoChar) {
                if (pair == p) {
                    t.text += advance();
                    t.text += advance();
                    return;
                }
            }
        }
        static constexpr std::string_view single = "{}()[];,.:=+-*/<>!?&|%~^";
        if (single.find(src[at]) == std::string_view::npos) {
            throw CompileError(pos, "unexpected character '" + std::string(1, src[at]) + "'");
        }
        t.text += advance();
    }

    std::string_view src;
    std::size_t at = 0;
    SourcePos pos;
};

} // namespace

std::vector<Token> tokenize(std::string_view source) {
    return Lexer(source).run();
}

} // namespace shadercompiler::hlsl

// Writes the ES form of the checked programs (esprograms.h) as a script for
// the browser check in tests/web: `const riza3vPrograms = [{name, vertex,
// pixel}, ...];`.
//
// Usage: esprograms_js <source dir> <output.js>
#include "platform/d3d9/glsldialect.h"
#include "tests/platform/d3d9/esprograms.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A JavaScript string literal (JSON escapes) of text.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: esprograms_js <source dir> <output.js>\n");
        return 1;
    }
    std::vector<platform::d3d9::test::ProgramPair> pairs;
    std::string error;
    if (!platform::d3d9::test::esCheckPrograms(argv[1], pairs, error)) {
        std::fprintf(stderr, "esprograms_js: %s\n", error.c_str());
        return 1;
    }
    std::string script = "const riza3vPrograms = [\n";
    for (const auto& p : pairs) {
        std::string vertex;
        std::string pixel;
        if (!platform::d3d9::toGlslDialect(platform::d3d9::GlslDialect::es300, p.vertex, vertex, error) ||
            !platform::d3d9::toGlslDialect(platform::d3d9::GlslDialect::es300, p.pixel, pixel, error)) {
            std::fprintf(stderr, "esprograms_js: %s: %s\n", p.name.c_str(), error.c_str());
            return 1;
        }
        script +=
            "  {name: " + quoted(p.name) + ",\n   vertex: " + quoted(vertex) + ",\n   pixel: " + quoted(pixel) + "},\n";
    }
    script += "];\n";
    std::ofstream out(argv[2], std::ios::binary);
    out << script;
    out.close();
    if (!out) {
        std::fprintf(stderr, "esprograms_js: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

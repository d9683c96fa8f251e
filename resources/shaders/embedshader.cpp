// Build step: assembles one shader assembly file and writes a C++ source
// that defines its token code as resources::<name>[] and <name>TokenCount.
//   riza3v_embed_shader <input.vsh> <name> <output.cpp>
#include "shadercompiler/asm/assembler.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: riza3v_embed_shader <input> <name> <output.cpp>\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << argv[1] << ": cannot open\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<shadercompiler::assembler::Token> tokens;
    std::string error;
    if (!shadercompiler::assembler::assemble(text.str(), tokens, error)) {
        std::cerr << argv[1] << ": " << error << "\n";
        return 1;
    }
    const std::string input = argv[1];
    std::ostringstream out;
    out << "// Assembled from " << input.substr(input.find_last_of('/') + 1) << " at build time.\n"
        << "#include \"resources/shaders/shaderprograms.h\"\n\n"
        << "namespace resources {\n\n"
        << "extern const DWORD " << argv[2] << "[] = {";
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        char word[16];
        std::snprintf(word, sizeof word, "0x%08Xu", tokens[i]);
        out << (i % 6 == 0 ? "\n    " : " ") << word << ",";
    }
    out << "\n};\nextern const UINT " << argv[2] << "TokenCount = " << tokens.size()
        << ";\n\n} // namespace resources\n";
    std::ofstream file(argv[3]);
    file << out.str();
    if (!file) {
        std::cerr << argv[3] << ": cannot write\n";
        return 1;
    }
    return 0;
}

// Writes the shader assembly that the HLSL compiler makes of the show's four
// shader files, one after the other, to standard output. The desktop and the
// browser build of this program must write the same bytes: the compiler
// formats its literals itself, so both standard libraries give the same text.
#include "shadercompiler/hlsl/compiler.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gfxshaders <source folder>\n");
        return 2;
    }
    const struct {
        const char* file;
        const char* profile;
    } shaders[] = {{"shaders/vshader_mojs.vhl", "vs_2_0"},
                   {"shaders/pshader_mojs.phl", "ps_2_0"},
                   {"shaders/vshader_mojs2.vhl", "vs_2_0"},
                   {"shaders/pshader_mojs2.phl", "ps_2_0"}};
    for (const auto& shader : shaders) {
        std::ifstream in(std::string(argv[1]) + "/" + shader.file);
        std::stringstream source;
        source << in.rdbuf();
        const hlsl::CompileResult r = hlsl::compile(source.str(), shader.file, "main", shader.profile);
        if (!in || !r.ok) {
            std::fprintf(stderr, "%s: %s\n", shader.file, in ? r.message.c_str() : "cannot be read");
            return 1;
        }
        std::printf("; %s\n%s", shader.file, r.assembly.c_str());
    }
    return 0;
}

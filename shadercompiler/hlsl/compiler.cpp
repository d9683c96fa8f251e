#include "shadercompiler/hlsl/compiler.h"

#include "shadercompiler/hlsl/codegen.h"
#include "shadercompiler/hlsl/parser.h"

namespace shadercompiler::hlsl {

namespace {

// An error without a place in the source (unknown entry, unknown profile).
class PlainError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

} // namespace

CompileResult compile(std::string_view source, std::string_view fileName, std::string_view entry,
                      std::string_view profile) {
    CompileResult result;
    const std::string file(fileName);
    try {
        const ProfileLimits* limits = findProfile(std::string(profile));
        if (limits == nullptr) {
            throw PlainError("unsupported profile '" + std::string(profile) + "' (vs_2_0 and ps_2_0 are supported)");
        }
        const Program program = parse(source);
        GeneratedCode code = generate(program, *limits, std::string(entry));
        if (!code.entryFound) {
            throw PlainError("entry point '" + std::string(entry) + "' not found");
        }
        result.ok = true;
        result.assembly = std::move(code.assembly);
        result.arithmeticSlots = code.arithmeticSlots;
        result.textureSlots = code.textureSlots;
        result.instructionSlots = code.arithmeticSlots + code.textureSlots;
        result.temporaries = code.temporaries;
    } catch (const CompileError& e) {
        result.errorLine = e.pos.line;
        result.errorColumn = e.pos.column;
        result.message =
            file + "(" + std::to_string(e.pos.line) + "," + std::to_string(e.pos.column) + "): error: " + e.what();
    } catch (const PlainError& e) {
        result.message = file + ": error: " + e.what();
    }
    return result;
}

} // namespace shadercompiler::hlsl

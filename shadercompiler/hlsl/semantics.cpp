#include "shadercompiler/hlsl/semantics.h"

#include "shadercompiler/hlsl/types.h"

#include <cctype>
#include <optional>

namespace shadercompiler::hlsl {
namespace {

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

} // namespace

Reg EntrySemantics::input(const std::string& semanticText, int lanes, SourcePos pos) {
    const Semantic sem = splitSemantic(semanticText);
    if (profile_.kind == ShaderKind::vertex) {
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
        for (std::size_t i = 0; i < vertexInputs_.size(); ++i) {
            if (vertexInputs_[i].usage == it->second && vertexInputs_[i].index == sem.index) {
                reg = static_cast<int>(i);
            }
        }
        if (reg < 0) {
            if (vertexInputs_.size() >= 16) {
                throw CompileError(pos, "too many vertex inputs (16 at most)");
            }
            reg = static_cast<int>(vertexInputs_.size());
            vertexInputs_.push_back({it->second, sem.index});
        }
        return Reg{RegFile::input, reg};
    }
    Reg r;
    if (sem.name == "COLOR" && sem.index < 2) {
        r = Reg{RegFile::input, sem.index};
    } else if (sem.name == "TEXCOORD" && sem.index < 8) {
        r = Reg{RegFile::texcoord, sem.index};
    } else {
        throw CompileError(pos, "'" + semanticText + "' is not a pixel input semantic of " + profile_.name);
    }
    std::uint8_t& mask = pixelInputs_[{r.file == RegFile::texcoord, r.index}];
    mask = static_cast<std::uint8_t>(mask | laneMask(lanes));
    return r;
}

Reg EntrySemantics::output(const std::string& semanticText, SourcePos pos) {
    if (semanticText.empty()) {
        throw CompileError(pos, "an output of the entry point needs a semantic");
    }
    const Semantic sem = splitSemantic(semanticText);
    std::optional<Reg> r;
    if (profile_.kind == ShaderKind::vertex) {
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
        throw CompileError(pos, "'" + semanticText + "' is not an output semantic of " + profile_.name);
    }
    for (const Reg& w : outputsWritten_) {
        if (w == *r) {
            throw CompileError(pos, "output semantic '" + semanticText + "' is written twice");
        }
    }
    outputsWritten_.push_back(*r);
    return *r;
}

void EntrySemantics::writeDeclarations(std::ostream& out) const {
    for (std::size_t i = 0; i < vertexInputs_.size(); ++i) {
        out << "dcl_" << vertexInputs_[i].usage;
        if (vertexInputs_[i].index != 0) {
            out << vertexInputs_[i].index;
        }
        out << " v" << i << "\n";
    }
    for (const auto& [key, mask] : pixelInputs_) {
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
}

} // namespace shadercompiler::hlsl

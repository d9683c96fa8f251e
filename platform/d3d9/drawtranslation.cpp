// The draw calls, their validation, and the draw-time translation of the
// device's captured Direct3D state into GL:
// raster state, the fixed-function program keys, the program cache and
// linking, uniform uploads, texture and sampler bindings, vertex input.
// Each piece sends only what differs from what GL already holds.
#include "platform/d3d9/device.h"
#include "platform/d3d9/glsldialect.h"
#include "platform/kernel/refusal.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace platform::d3d9 {
namespace {

float bitsFloat(DWORD d) {
    return __builtin_bit_cast(float, d);
}

// The vertex count is worked out in 64 bits: a primitive count near 2^32
// must not wrap into a small draw. Counts beyond what GLsizei holds are refused.
bool primitiveInfo(D3DPRIMITIVETYPE type, UINT primitives, GLenum& mode, GLsizei& vertices) {
    const std::uint64_t n = primitives;
    std::uint64_t count = 0;
    switch (type) {
    case D3DPT_POINTLIST:
        mode = GL_POINTS;
        count = n;
        break;
    case D3DPT_LINELIST:
        mode = GL_LINES;
        count = n * 2;
        break;
    case D3DPT_LINESTRIP:
        mode = GL_LINE_STRIP;
        count = n + 1;
        break;
    case D3DPT_TRIANGLELIST:
        mode = GL_TRIANGLES;
        count = n * 3;
        break;
    case D3DPT_TRIANGLESTRIP:
        mode = GL_TRIANGLE_STRIP;
        count = n + 2;
        break;
    case D3DPT_TRIANGLEFAN:
        mode = GL_TRIANGLE_FAN;
        count = n + 2;
        break;
    default:
        return false;
    }
    if (count > 0x7FFFFFFFu) {
        return false;
    }
    vertices = static_cast<GLsizei>(count);
    return true;
}

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(a.m[i][k]) * b.m[k][j];
            }
            r.m[i][j] = static_cast<float>(sum);
        }
    }
    return r;
}

// Normals go through the inverse transpose of the upper 3 x 3 of world x view
// (the lighting documentation's rule): with row vectors, n' = n x (M^-1)^T.
// GLSL multiplies column vectors, and a mat3 uploaded without transposing
// reads the array as columns, so a row-major array R gives n x R: the array
// holds (M^-1)^T row by row, which is the cofactor matrix over the determinant.
std::array<float, 9> normalMatrix(const D3DMATRIX& m) {
    const double a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
    const double d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
    const double g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
    const double cofactors[9] = {e * i - f * h, f * g - d * i, d * h - e * g, c * h - b * i, a * i - c * g,
                                 b * g - a * h, b * f - c * e, c * d - a * f, a * e - b * d};
    const double det = a * cofactors[0] + b * cofactors[1] + c * cofactors[2];
    const double inv = det != 0.0 ? 1.0 / det : 0.0;
    std::array<float, 9> r{};
    for (int k = 0; k < 9; ++k) {
        r[k] = static_cast<float>(cofactors[k] * inv);
    }
    return r;
}

GLenum glCompare(DWORD f) {
    return static_cast<GLenum>(GL_NEVER + (f - D3DCMP_NEVER));
}

// The device keeps what it last set in GL: a setting is sent, and counted as
// `calls` state changes, only when it differs from that.
template <typename T, typename Call>
void changeState(T& applied, const T& wanted, std::uint64_t& count, Call&& call, unsigned calls = 1) {
    if (applied != wanted) {
        call();
        applied = wanted;
        count += calls;
    }
}

GLenum glBlend(DWORD b) {
    switch (b) {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_ONE:
        return GL_ONE;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    default:
        return GL_ONE_MINUS_DST_COLOR;
    }
}

GLenum glBlendOp(DWORD op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
        return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
        return GL_MIN;
    case D3DBLENDOP_MAX:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

const char* const kUniformNames[] = {
    "uWorldView",
    "uProjection",
    "uNormalMatrix",
    "uViewport",
    "uMaterial",
    "uPower",
    "uAmbient",
    "uLightPosition",
    "uLightDiffuse",
    "uLightSpecular",
    "uLightAmbient",
    "uLightAttenuation",
    "uTextureFactor",
    "uPointSize",
    "uPointScale",
    "c",
    "pc",
};

// Names of the uniforms before the samplers, in the order of UniformIndex.
static_assert(std::size(kUniformNames) == uSampler0);

} // namespace

const VertexLayout* Device::currentLayout() const {
    if (useFvf_) {
        return &fvfLayout_;
    }
    return declaration_ != nullptr ? &declaration_->layout() : nullptr;
}

void Device::applyRasterState(const VertexLayout& layout) {
    const auto& rs = renderStates_;
    auto& a = applied_;
    auto& count = shared_->counters.stateChanges;
    auto capability = [&](int& applied, bool wanted, GLenum cap) {
        changeState(applied, wanted ? 1 : 0, count, [&] { wanted ? gl::Enable(cap) : gl::Disable(cap); });
    };
    capability(a.depthTest, rs[D3DRS_ZENABLE] != D3DZB_FALSE, GL_DEPTH_TEST);
    // Pre-transformed vertices drawn with no depth test (off, or no depth
    // surface to test against) are not clipped in depth: screen text sits at
    // z 3 or 10 and still shows. Depth clamping turns off GL's near and far
    // clipping; with the depth test on, z outside 0..1 is clipped as usual.
    // OpenGL ES has no depth clamping: there the generated vertex program
    // clamps z instead (buildFfKeys).
    if (gl::isDesktop()) {
        capability(a.depthClamp, layout.pretransformed && !depthTested(), GL_DEPTH_CLAMP);
    }
    const int depthMask = rs[D3DRS_ZWRITEENABLE] != FALSE ? 1 : 0;
    changeState(a.depthMask, depthMask, count, [&] { gl::DepthMask(depthMask != 0 ? GL_TRUE : GL_FALSE); });
    const GLenum depthFunc = glCompare(rs[D3DRS_ZFUNC]);
    changeState(a.depthFunc, depthFunc, count, [&] { gl::DepthFunc(depthFunc); });
    const bool blend = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
    capability(a.blend, blend, GL_BLEND);
    if (blend) {
        const std::array<GLenum, 2> func = {glBlend(rs[D3DRS_SRCBLEND]), glBlend(rs[D3DRS_DESTBLEND])};
        changeState(a.blendFunc, func, count, [&] { gl::BlendFunc(func[0], func[1]); });
        const GLenum op = glBlendOp(rs[D3DRS_BLENDOP]);
        changeState(a.blendEquation, op, count, [&] { gl::BlendEquation(op); });
    }
    const bool cull = rs[D3DRS_CULLMODE] != D3DCULL_NONE;
    capability(a.cull, cull, GL_CULL_FACE);
    if (cull) {
        // Front faces are GL_CCW here (see initialise): CCW culling drops back faces.
        const GLenum face = rs[D3DRS_CULLMODE] == D3DCULL_CCW ? GL_BACK : GL_FRONT;
        changeState(a.cullFace, face, count, [&] { gl::CullFace(face); });
    }
    const GLenum mode = rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                        : rs[D3DRS_FILLMODE] == D3DFILL_POINT   ? GL_POINT
                                                                : GL_FILL;
    changeState(a.polygonMode, mode, count, [&] {
        if (gl::isDesktop()) {
            gl::PolygonMode(GL_FRONT_AND_BACK, mode);
        } else if (mode != GL_FILL) {
            // OpenGL ES fills only; the show draws solid, so lines and points
            // are refused, not emulated.
            platform::logRefusal("d3d9", "D3DRS_FILLMODE %u: OpenGL ES draws solid only",
                                 static_cast<unsigned>(rs[D3DRS_FILLMODE]));
        }
    });
    const DWORD mask = rs[D3DRS_COLORWRITEENABLE] & (alphaKeptAtOne() ? 0x7u : 0xFu);
    changeState(a.colorMask, mask, count, [&] {
        // D3DCOLORWRITEENABLE: red 1, green 2, blue 4, alpha 8.
        gl::ColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
    });
    const std::array<GLint, 4> vp = {static_cast<GLint>(viewport_.X), static_cast<GLint>(viewport_.Y),
                                     static_cast<GLint>(viewport_.Width), static_cast<GLint>(viewport_.Height)};
    changeState(
        a.viewport, vp, count,
        [&] {
            // Targets are stored top row first, so the viewport's top is GL's y.
            // The scissor keeps wide points and lines inside the viewport.
            gl::Viewport(vp[0], vp[1], vp[2], vp[3]);
            gl::Scissor(vp[0], vp[1], vp[2], vp[3]);
        },
        2);
    const std::array<float, 2> range = {viewport_.MinZ, viewport_.MaxZ};
    changeState(a.depthRange, range, count, [&] { gl::depthRange(range[0], range[1]); });
}

bool Device::alphaKeptAtOne() const {
    return !gl::isDesktop() && renderTarget_ != nullptr && colorFormat(renderTarget_->format())->alphaIsOne;
}

bool Device::depthTested() const {
    return renderStates_[D3DRS_ZENABLE] != D3DZB_FALSE && depthStencil_ != nullptr;
}

void Device::buildFfKeys(const VertexLayout& layout, bool points, FfVertexKey& v, FfPixelKey& p) const {
    const auto& rs = renderStates_;
    v = FfVertexKey{};
    // 2: pre-transformed, drawn without a depth test, on a context without
    // depth clamping: the program clamps z so that nothing is clipped in depth.
    v.pretransformed = !layout.pretransformed ? 0 : (gl::isDesktop() || depthTested() ? 1 : 2);
    v.hasNormal = layout.hasNormal;
    v.hasDiffuse = layout.hasDiffuse;
    v.hasSpecular = layout.hasSpecular;
    v.hasPointSize = layout.hasPointSize;
    v.texcoordSets = static_cast<std::uint8_t>(layout.texcoordSets);
    v.pointScale = !layout.pretransformed && rs[D3DRS_POINTSCALEENABLE] != FALSE;
    v.lighting = !layout.pretransformed && rs[D3DRS_LIGHTING] != FALSE;
    if (v.lighting != 0) {
        v.localViewer = rs[D3DRS_LOCALVIEWER] != FALSE;
        v.normalizeNormals = rs[D3DRS_NORMALIZENORMALS] != FALSE;
        v.colorVertex = rs[D3DRS_COLORVERTEX] != FALSE;
        v.diffuseSource = static_cast<std::uint8_t>(rs[D3DRS_DIFFUSEMATERIALSOURCE]);
        v.specularSource = static_cast<std::uint8_t>(rs[D3DRS_SPECULARMATERIALSOURCE]);
        v.ambientSource = static_cast<std::uint8_t>(rs[D3DRS_AMBIENTMATERIALSOURCE]);
        v.emissiveSource = static_cast<std::uint8_t>(rs[D3DRS_EMISSIVEMATERIALSOURCE]);
        for (unsigned i = 0; i < kMaxLights; ++i) {
            if (lightEnabled_[i]) {
                v.lightDirectional[v.lightCount++] = lights_[i].Type == D3DLIGHT_DIRECTIONAL;
            }
        }
    }
    p = FfPixelKey{};
    p.specularEnable = rs[D3DRS_SPECULARENABLE] != FALSE;
    // Sprite coordinates exist only for point primitives.
    p.pointSprite = points && rs[D3DRS_POINTSPRITEENABLE] != FALSE;
    for (unsigned s = 0; s < kMaxStages; ++s) {
        const auto& st = stageStates_[s];
        if (st[D3DTSS_COLOROP] == D3DTOP_DISABLE) {
            break;
        }
        auto usesTexture = [&](DWORD arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
        const bool alphaOn = st[D3DTSS_ALPHAOP] != D3DTOP_DISABLE;
        const bool needsTexture =
            usesTexture(st[D3DTSS_COLORARG1]) || usesTexture(st[D3DTSS_COLORARG2]) ||
            (alphaOn && (usesTexture(st[D3DTSS_ALPHAARG1]) || usesTexture(st[D3DTSS_ALPHAARG2]))) ||
            st[D3DTSS_COLOROP] == D3DTOP_BLENDTEXTUREALPHA || st[D3DTSS_ALPHAOP] == D3DTOP_BLENDTEXTUREALPHA;
        // A stage that reads a texture when none is bound ends the cascade
        // here, so untextured geometry shows the colour so far (as DXVK does).
        if (needsTexture && textures_[s] == nullptr) {
            break;
        }
        auto& k = p.stages[p.stageCount++];
        k.colorOp = static_cast<std::uint8_t>(st[D3DTSS_COLOROP]);
        k.colorArg1 = static_cast<std::uint8_t>(st[D3DTSS_COLORARG1]);
        k.colorArg2 = static_cast<std::uint8_t>(st[D3DTSS_COLORARG2]);
        k.alphaOp = static_cast<std::uint8_t>(st[D3DTSS_ALPHAOP]);
        k.alphaArg1 = static_cast<std::uint8_t>(st[D3DTSS_ALPHAARG1]);
        k.alphaArg2 = static_cast<std::uint8_t>(st[D3DTSS_ALPHAARG2]);
        k.texcoordIndex = static_cast<std::uint8_t>(st[D3DTSS_TEXCOORDINDEX]);
    }
    // Translated pixel shaders may read any set.
    v.texcoordOutputs = static_cast<std::uint8_t>(pixelShader_ != nullptr ? 0xFFu : ffPixelTexcoordInputs(p));
}

GLuint Device::compileShader(GLenum stage, const std::string& source, std::string& error) {
    ++shared_->counters.shadersCompiled;
    std::string dialectSource;
    if (!toGlslDialect(shared_->context->glslDialect(), source, dialectSource, error)) {
        return 0;
    }
    GLuint shader = gl::CreateShader(stage);
    const char* text = dialectSource.c_str();
    gl::ShaderSource(shader, 1, &text, nullptr);
    gl::CompileShader(shader);
    GLint ok = 0;
    gl::GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == 0) {
        char log[1024] = {};
        gl::GetShaderInfoLog(shader, sizeof log, nullptr, log);
        error = log;
        gl::DeleteShader(shader);
        return 0;
    }
    return shader;
}

bool Device::linkProgram(GLuint vertexShader, GLuint pixelShader, std::uint64_t vsId, std::uint64_t psId,
                         LinkedProgram& linked, std::string& error) {
    GLuint program = gl::CreateProgram();
    gl::AttachShader(program, vertexShader);
    gl::AttachShader(program, pixelShader);
    gl::LinkProgram(program);
    GLint ok = 0;
    gl::GetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok == 0) {
        char log[1024] = {};
        gl::GetProgramInfoLog(program, sizeof log, nullptr, log);
        error = log;
        gl::DeleteProgram(program);
        return false;
    }
    ++shared_->counters.programsBuilt;
    linked = LinkedProgram{};
    linked.program = program;
    linked.vertexShaderId = vsId;
    linked.pixelShaderId = psId;
    for (std::size_t i = 0; i < std::size(kUniformNames); ++i) {
        linked.locations[i] = gl::GetUniformLocation(program, kUniformNames[i]);
    }
    gl::UseProgram(program);
    for (GLint s = 0; s < kMaxStages; ++s) {
        std::string name = "uSampler" + std::to_string(s);
        GLint location = gl::GetUniformLocation(program, name.c_str());
        linked.locations.at(uSampler0 + static_cast<std::size_t>(s)) = location;
        if (location >= 0) {
            gl::Uniform1i(location, s);
        }
    }
    return true;
}

bool Device::applyProgram(const VertexLayout& layout, bool points) {
    FfVertexKey vk;
    FfPixelKey pk;
    buildFfKeys(layout, points, vk, pk);
    // Direct3D runs no vertex shader on pre-transformed vertices: they take the
    // fixed-function path, and a bound pixel shader still colours them.
    const VertexShader* vertexShader = layout.pretransformed ? nullptr : vertexShader_;
    std::string key;
    if (vertexShader != nullptr) {
        key += "V" + std::to_string(vertexShader->shader().id);
    } else {
        key += "v";
        key.append(reinterpret_cast<const char*>(&vk), sizeof vk);
    }
    if (pixelShader_ != nullptr) {
        key += "P" + std::to_string(pixelShader_->shader().id);
    } else {
        key += "p";
        key.append(reinterpret_cast<const char*>(&pk), sizeof pk);
    }
    if (currentProgram_ != nullptr && key == currentProgramKey_) {
        return true;
    }
    auto found = programs_.find(key);
    LinkedProgram* program = found != programs_.end() ? &found->second : nullptr;
    if (program == nullptr) {
        std::string error;
        auto stageShader = [&](GLenum stage, const std::string& source) -> GLuint {
            auto it = compiledShaders_.find(source);
            if (it != compiledShaders_.end()) {
                return it->second;
            }
            GLuint shader = compileShader(stage, source, error);
            if (shader != 0) {
                compiledShaders_.emplace(source, shader);
            }
            return shader;
        };
        GLuint vs = vertexShader != nullptr ? vertexShader->shader().glShader
                                            : stageShader(GL_VERTEX_SHADER, ffVertexSource(vk));
        GLuint ps = pixelShader_ != nullptr ? pixelShader_->shader().glShader
                                            : stageShader(GL_FRAGMENT_SHADER, ffPixelSource(pk));
        LinkedProgram linked;
        if (vs == 0 || ps == 0 ||
            !linkProgram(vs, ps, vertexShader != nullptr ? vertexShader->shader().id : 0,
                         pixelShader_ != nullptr ? pixelShader_->shader().id : 0, linked, error)) {
            logFailure("no GL program for this state: %s", error.c_str());
            return false;
        }
        program = &programs_.emplace(key, linked).first->second;
    }
    gl::UseProgram(program->program);
    ++shared_->counters.programSwitches;
    ++shared_->counters.stateChanges;
    currentProgram_ = program;
    currentProgramKey_ = key;
    return true;
}

void Device::uploadUniforms(LinkedProgram& p) {
    auto& count = shared_->counters.stateChanges;
    auto stale = [&](UniformGroup g) {
        if (p.uploaded[g] == serial_[g]) {
            return false;
        }
        p.uploaded[g] = serial_[g];
        return true;
    };
    const auto& loc = p.locations;
    if (stale(kTransforms)) {
        D3DMATRIX worldView = multiply(world_, view_);
        if (loc[uWorldView] >= 0) {
            gl::UniformMatrix4fv(loc[uWorldView], 1, GL_FALSE, &worldView.m[0][0]);
            gl::UniformMatrix4fv(loc[uProjection], 1, GL_FALSE, &projection_.m[0][0]);
            auto normal = normalMatrix(worldView);
            gl::UniformMatrix3fv(loc[uNormalMatrix], 1, GL_FALSE, normal.data());
            count += 3;
        }
    }
    if (stale(kViewport) && loc[uViewport] >= 0) {
        float vp[4] = {static_cast<float>(viewport_.X), static_cast<float>(viewport_.Y),
                       static_cast<float>(viewport_.Width), static_cast<float>(viewport_.Height)};
        gl::Uniform4fv(loc[uViewport], 1, vp);
        ++count;
    }
    if (stale(kMaterial) && loc[uMaterial] >= 0) {
        const D3DCOLORVALUE colours[4] = {material_.Diffuse, material_.Ambient, material_.Specular, material_.Emissive};
        gl::Uniform4fv(loc[uMaterial], 4, &colours[0].r);
        gl::Uniform1f(loc[uPower], material_.Power);
        auto ambient = colorOf(renderStates_[D3DRS_AMBIENT]);
        gl::Uniform4fv(loc[uAmbient], 1, ambient.data());
        count += 3;
    }
    if (stale(kLights) && loc[uLightPosition] >= 0) {
        float position[kMaxLights][4] = {};
        float diffuse[kMaxLights][4] = {};
        float specular[kMaxLights][4] = {};
        float ambient[kMaxLights][4] = {};
        float attenuation[kMaxLights][4] = {};
        unsigned n = 0;
        for (unsigned i = 0; i < kMaxLights; ++i) {
            if (!lightEnabled_[i]) {
                continue;
            }
            const D3DLIGHT9& l = lights_[i];
            const auto& m = view_.m;
            if (l.Type == D3DLIGHT_DIRECTIONAL) {
                // Towards the light, in camera space.
                for (int c = 0; c < 3; ++c) {
                    position[n][c] = -(l.Direction.x * m[0][c] + l.Direction.y * m[1][c] + l.Direction.z * m[2][c]);
                }
            } else {
                for (int c = 0; c < 3; ++c) {
                    position[n][c] = l.Position.x * m[0][c] + l.Position.y * m[1][c] + l.Position.z * m[2][c] + m[3][c];
                }
            }
            position[n][3] = 1.0f;
            std::memcpy(diffuse[n], &l.Diffuse, sizeof diffuse[n]);
            std::memcpy(specular[n], &l.Specular, sizeof specular[n]);
            std::memcpy(ambient[n], &l.Ambient, sizeof ambient[n]);
            attenuation[n][0] = l.Attenuation0;
            attenuation[n][1] = l.Attenuation1;
            attenuation[n][2] = l.Attenuation2;
            attenuation[n][3] = l.Range;
            ++n;
        }
        if (n > 0) {
            auto count4 = static_cast<GLsizei>(n);
            gl::Uniform4fv(loc[uLightPosition], count4, &position[0][0]);
            gl::Uniform4fv(loc[uLightDiffuse], count4, &diffuse[0][0]);
            gl::Uniform4fv(loc[uLightSpecular], count4, &specular[0][0]);
            gl::Uniform4fv(loc[uLightAmbient], count4, &ambient[0][0]);
            gl::Uniform4fv(loc[uLightAttenuation], count4, &attenuation[0][0]);
            count += 5;
        }
    }
    if (stale(kTextureFactor) && loc[uTextureFactor] >= 0) {
        auto factor = colorOf(renderStates_[D3DRS_TEXTUREFACTOR]);
        gl::Uniform4fv(loc[uTextureFactor], 1, factor.data());
        ++count;
    }
    if (stale(kPoints) && loc[uPointSize] >= 0) {
        float size[4] = {bitsFloat(renderStates_[D3DRS_POINTSIZE]), bitsFloat(renderStates_[D3DRS_POINTSIZE_MIN]),
                         bitsFloat(renderStates_[D3DRS_POINTSIZE_MAX]), 0.0f};
        float scale[4] = {bitsFloat(renderStates_[D3DRS_POINTSCALE_A]), bitsFloat(renderStates_[D3DRS_POINTSCALE_B]),
                          bitsFloat(renderStates_[D3DRS_POINTSCALE_C]), 0.0f};
        gl::Uniform4fv(loc[uPointSize], 1, size);
        if (loc[uPointScale] >= 0) {
            gl::Uniform4fv(loc[uPointScale], 1, scale);
        }
        count += 2;
    }
    if (stale(kVsConstants) && loc[uVsConstants] >= 0) {
        gl::Uniform4fv(loc[uVsConstants], static_cast<GLsizei>(vsConstants_.size()), vsConstants_[0].data());
        ++count;
    }
    if (stale(kPsConstants) && loc[uPsConstants] >= 0) {
        gl::Uniform4fv(loc[uPsConstants], static_cast<GLsizei>(psConstants_.size()), psConstants_[0].data());
        ++count;
    }
}

GLuint Device::feedbackCopy(const Texture& texture) {
    auto& count = shared_->counters.stateChanges;
    if (feedbackCopied_) {
        return feedback_.texture;
    }
    const FormatInfo& format = texture.format();
    if (feedback_.texture == 0 || feedback_.width != texture.width() || feedback_.height != texture.height() ||
        feedback_.format != format.format) {
        if (feedback_.texture == 0) {
            gl::GenTextures(1, &feedback_.texture);
            gl::GenFramebuffers(1, &feedback_.framebuffer);
        }
        gl::ActiveTexture(GL_TEXTURE0);
        gl::BindTexture(GL_TEXTURE_2D, feedback_.texture);
        GLenum pixelFormat = 0;
        GLenum pixelType = 0;
        glPixelFormat(format, pixelFormat, pixelType);
        gl::TexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format.internalFormat),
                       static_cast<GLsizei>(texture.width()), static_cast<GLsizei>(texture.height()), 0, pixelFormat,
                       pixelType, nullptr);
        gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        if (gl::isDesktop()) {
            gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, format.alphaIsOne ? GL_ONE : GL_ALPHA);
            gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, format.blueIsOne ? GL_ONE : GL_BLUE);
        }
        textureBindingChanged();
        gl::BindFramebuffer(GL_DRAW_FRAMEBUFFER, feedback_.framebuffer);
        gl::FramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, feedback_.texture, 0);
        feedback_.width = texture.width();
        feedback_.height = texture.height();
        feedback_.format = format.format;
        count += 6;
    }
    const auto w = static_cast<GLint>(texture.width());
    const auto h = static_cast<GLint>(texture.height());
    gl::BindFramebuffer(GL_READ_FRAMEBUFFER, boundFramebuffer_);
    gl::BindFramebuffer(GL_DRAW_FRAMEBUFFER, feedback_.framebuffer);
    gl::Disable(GL_SCISSOR_TEST); // a blit honours the scissor
    gl::BlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl::Enable(GL_SCISSOR_TEST);
    gl::BindFramebuffer(GL_FRAMEBUFFER, boundFramebuffer_);
    count += 6;
    feedbackCopied_ = true;
    return feedback_.texture;
}

bool Device::applyTextures() {
    auto& count = shared_->counters.stateChanges;
    auto isTarget = [&](const Texture* t) {
        return t != nullptr && t->isRenderTarget() && renderTarget_ != nullptr &&
               renderTarget_->glTexture() == t->glTexture();
    };
    // Copies are made before any binding below, since making one may rebind a unit.
    feedbackCopied_ = false;
    for (GLuint s = 0; s < kMaxStages; ++s) {
        if (currentProgram_->locations.at(uSampler0 + s) >= 0 && isTarget(textures_[s])) {
            feedbackCopy(*textures_[s]);
        }
    }
    for (GLuint s = 0; s < kMaxStages; ++s) {
        if (currentProgram_->locations.at(uSampler0 + s) < 0) {
            continue;
        }
        Texture* texture = textures_[s];
        GLuint name = texture != nullptr ? texture->glTexture() : 0;
        if (isTarget(texture)) {
            // Reading the target being drawn (a feedback pass): GL leaves that
            // undefined, so the draw samples a copy of the target as it was
            // before the draw, which is what such passes expect.
            name = feedback_.texture;
        }
        if (boundTextures_[s] != name) {
            gl::ActiveTexture(GL_TEXTURE0 + s);
            gl::BindTexture(GL_TEXTURE_2D, name);
            boundTextures_[s] = name;
            count += 2;
        }
        if (samplerDirty_[s]) {
            const auto& sm = samplerStates_[s];
            auto wrap = [](DWORD a) {
                return static_cast<GLint>(a == D3DTADDRESS_CLAMP    ? GL_CLAMP_TO_EDGE
                                          : a == D3DTADDRESS_MIRROR ? GL_MIRRORED_REPEAT
                                                                    : GL_REPEAT);
            };
            const bool linearMin = sm[D3DSAMP_MINFILTER] == D3DTEXF_LINEAR;
            GLint minFilter = 0;
            switch (sm[D3DSAMP_MIPFILTER]) {
            case D3DTEXF_NONE:
                minFilter = linearMin ? GL_LINEAR : GL_NEAREST;
                break;
            case D3DTEXF_POINT:
                minFilter = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
                break;
            default:
                minFilter = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
                break;
            }
            gl::SamplerParameteri(samplers_[s], GL_TEXTURE_WRAP_S, wrap(sm[D3DSAMP_ADDRESSU]));
            gl::SamplerParameteri(samplers_[s], GL_TEXTURE_WRAP_T, wrap(sm[D3DSAMP_ADDRESSV]));
            gl::SamplerParameteri(samplers_[s], GL_TEXTURE_MIN_FILTER, minFilter);
            gl::SamplerParameteri(samplers_[s], GL_TEXTURE_MAG_FILTER,
                                  sm[D3DSAMP_MAGFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
            samplerDirty_[s] = false;
            count += 4;
        }
    }
    return true;
}

bool Device::applyVertexInput(const VertexLayout& layout, GLuint buffer, UINT baseOffset, UINT stride) {
    if (!vertexInputDirty_ && appliedInput_.layout == &layout && appliedInput_.buffer == buffer &&
        appliedInput_.offset == baseOffset && appliedInput_.stride == stride) {
        return true;
    }
    auto& count = shared_->counters.stateChanges;
    gl::BindBuffer(GL_ARRAY_BUFFER, buffer);
    ++count;
    unsigned enabled = 0;
    for (const auto& a : layout.attributes) {
        const bool colour = a.location == kAttrColor0 || a.location == kAttrColor1;
        GLint size = a.size;
        if (!gl::isDesktop() && colour) {
            // OpenGL ES takes no GL_BGRA size: colours come in as bytes B, G,
            // R, A and the ES form of the program swaps them (glsldialect.h),
            // so a colour of another type cannot be drawn.
            if (a.size != GL_BGRA) {
                logFailure("vertex colours other than D3DCOLOR are outside the OpenGL ES subset");
                return false;
            }
            size = 4;
        }
        gl::VertexAttribPointer(a.location, size, a.type, a.normalized, static_cast<GLsizei>(stride),
                                reinterpret_cast<const void*>(static_cast<std::uintptr_t>(baseOffset + a.offset)));
        enabled |= 1u << a.location;
        ++count;
    }
    for (GLuint l = 0; l < kAttrCount; ++l) {
        const unsigned bit = 1u << l;
        if ((enabled & bit) == (appliedInput_.enabled & bit)) {
            continue;
        }
        if ((enabled & bit) != 0) {
            gl::EnableVertexAttribArray(l);
        } else {
            // Inputs a vertex does not supply read (0, 0, 0, 1).
            gl::DisableVertexAttribArray(l);
            gl::VertexAttrib4f(l, 0.0f, 0.0f, 0.0f, 1.0f);
        }
        ++count;
    }
    appliedInput_ = AppliedInput{&layout, buffer, baseOffset, stride, enabled};
    vertexInputDirty_ = false;
    return true;
}

const VertexLayout* Device::prepareDraw(const char* call, GLenum mode) {
    // The retail runtime draws outside BeginScene/EndScene as well (only its
    // debug version objects), and callers rely on it; say so once.
    if (!inScene_ && !warnedOutsideScene_) {
        logFailure("%s outside BeginScene/EndScene (drawn)", call);
        warnedOutsideScene_ = true;
    }
    const VertexLayout* layout = currentLayout();
    if (layout == nullptr) {
        logFailure("%s without a vertex declaration or FVF", call);
        return nullptr;
    }
    shared_->context->makeCurrent();
    if (!applyFramebuffer()) {
        return nullptr;
    }
    applyRasterState(*layout);
    if (!applyProgram(*layout, mode == GL_POINTS)) {
        return nullptr;
    }
    uploadUniforms(*currentProgram_);
    return applyTextures() ? layout : nullptr;
}

// ---- drawing ----

Device::DrawCheck Device::checkDraw(const DrawRequest& draw, GLenum& mode, GLsizei& count) {
    const char* call = draw.call;
    if (!primitiveInfo(draw.type, draw.primitives, mode, count)) {
        logFailure("%s with primitive type %lu", call, static_cast<unsigned long>(draw.type));
        return DrawCheck::refused;
    }
    if (draw.source == DrawSource::userPointer) {
        if (draw.userData == nullptr || draw.userStride == 0) {
            logFailure("%s without vertex data or a stride", call);
            return DrawCheck::refused;
        }
        return draw.primitives == 0 ? DrawCheck::nothing : DrawCheck::draw;
    }
    const bool indexed = draw.source == DrawSource::indexed;
    if (stream0_ == nullptr || (indexed && indices_ == nullptr)) {
        logFailure("%s without a vertex buffer on stream 0%s", call, indexed ? " or an index buffer" : "");
        return DrawCheck::refused;
    }
    if (draw.primitives == 0) {
        return DrawCheck::nothing;
    }
    if (stream0_->locked() || (indexed && indices_->locked())) {
        logFailure("%s from a buffer that is locked", call);
        return DrawCheck::refused;
    }
    // Summed in 64 bits: a start near 2^32 must not wrap around into range.
    const auto last = std::uint64_t{draw.first} + static_cast<std::uint64_t>(count);
    const bool inside = indexed ? last * 2 <= indices_->size()
                                : std::uint64_t{streamOffset_} + last * streamStride_ <= stream0_->size();
    if (streamStride_ == 0 || !inside) {
        logFailure("%s reads past the end of the %s buffer", call, indexed ? "index" : "vertex");
        return DrawCheck::refused;
    }
    return DrawCheck::draw;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) {
    GLenum mode = 0;
    GLsizei vertices = 0;
    const DrawCheck check =
        checkDraw({"DrawPrimitive", DrawSource::stream0, PrimitiveType, PrimitiveCount, StartVertex}, mode, vertices);
    if (check != DrawCheck::draw) {
        return check == DrawCheck::nothing ? D3D_OK : D3DERR_INVALIDCALL;
    }
    const VertexLayout* layout = prepareDraw("DrawPrimitive", mode);
    if (layout == nullptr || !applyVertexInput(*layout, stream0_->glBuffer(), streamOffset_, streamStride_)) {
        return D3DERR_INVALIDCALL;
    }
    gl::DrawArrays(mode, static_cast<GLint>(StartVertex), vertices);
    ++shared_->counters.draws;
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                     UINT NumVertices, UINT startIndex, UINT primCount) {
    (void)MinVertexIndex;
    (void)NumVertices; // hints for software vertex processing only
    GLenum mode = 0;
    GLsizei count = 0;
    const DrawCheck check =
        checkDraw({"DrawIndexedPrimitive", DrawSource::indexed, PrimitiveType, primCount, startIndex}, mode, count);
    if (check != DrawCheck::draw) {
        return check == DrawCheck::nothing ? D3D_OK : D3DERR_INVALIDCALL;
    }
    // OpenGL ES 3.0 has no base vertex for indexed draws: there the vertex
    // input starts BaseVertexIndex vertices further into the stream instead.
    const bool baseInInput = !gl::isDesktop();
    const long long start = static_cast<long long>(streamOffset_) +
                            (baseInInput ? static_cast<long long>(BaseVertexIndex) * streamStride_ : 0);
    if (start < 0) {
        logFailure("DrawIndexedPrimitive: BaseVertexIndex %d starts before the stream", BaseVertexIndex);
        return D3DERR_INVALIDCALL;
    }
    const VertexLayout* layout = prepareDraw("DrawIndexedPrimitive", mode);
    if (layout == nullptr ||
        !applyVertexInput(*layout, stream0_->glBuffer(), static_cast<UINT>(start), streamStride_)) {
        return D3DERR_INVALIDCALL;
    }
    if (boundIndexBuffer_ != indices_->glBuffer()) {
        gl::BindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices_->glBuffer());
        boundIndexBuffer_ = indices_->glBuffer();
        ++shared_->counters.stateChanges;
    }
    const void* firstIndex = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(startIndex) * 2);
    if (baseInInput) {
        gl::DrawElements(mode, count, GL_UNSIGNED_SHORT, firstIndex);
    } else {
        gl::DrawElementsBaseVertex(mode, count, GL_UNSIGNED_SHORT, firstIndex, BaseVertexIndex);
    }
    ++shared_->counters.draws;
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, const void* pVertexStreamZeroData,
                                UINT VertexStreamZeroStride) {
    GLenum mode = 0;
    GLsizei vertices = 0;
    const DrawCheck check = checkDraw({"DrawPrimitiveUP", DrawSource::userPointer, PrimitiveType, PrimitiveCount, 0,
                                       pVertexStreamZeroData, VertexStreamZeroStride},
                                      mode, vertices);
    if (check == DrawCheck::refused) {
        return D3DERR_INVALIDCALL;
    }
    // The platform leaves stream 0 unset after a user-pointer draw.
    stream0_ = nullptr;
    streamOffset_ = 0;
    streamStride_ = 0;
    if (check == DrawCheck::nothing) {
        return D3D_OK;
    }
    const VertexLayout* layout = prepareDraw("DrawPrimitiveUP", mode);
    if (layout == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    applyVertexInput(*layout, upBuffer_, 0, VertexStreamZeroStride);
    gl::BindBuffer(GL_ARRAY_BUFFER, upBuffer_);
    // A fresh store each time, so earlier draws keep the data they were given;
    // the vertex array keeps pointing at the same buffer name.
    gl::BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices) * VertexStreamZeroStride, pVertexStreamZeroData,
                   GL_STREAM_DRAW);
    ++shared_->counters.uploads;
    ++shared_->counters.stateChanges;
    gl::DrawArrays(mode, 0, vertices);
    ++shared_->counters.draws;
    return D3D_OK;
}

} // namespace platform::d3d9

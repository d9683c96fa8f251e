// The Direct3D 9 layer beside plain OpenGL 3.3 programs doing the same GL
// work (the same textures, targets, blending and pixel counts), in the same
// process on the headless context, 800 x 600, one read-back per frame:
//   fullScreenTwoStageQuads  100 two-stage full-screen quads into the back buffer
//   zoomBlurChain            10 additive two-stage passes ping-ponging between two
//                            render targets, then one pass into the back buffer
//   pointSprites             1,000 scaled, textured point sprites, additive
//   litMesh                  an indexed mesh of 4,000 triangles lit by one point light
// Each reports vs_raw_gl (layer time / raw time), both frame times, the
// calling thread's CPU per draw call on each side, and the GL work the layer
// issues per draw call once the state has settled.
#include "dx/dxmath.h"
#include "platform/d3d9/context.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9ext.h"
#include "platform/d3d9/gl.h"
#include "tools/headless/headless.h"

#include <benchmark/benchmark.h>

#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

std::vector<std::uint32_t> texels(DWORD seed) {
    std::vector<std::uint32_t> t(256 * 256);
    for (UINT y = 0; y < 256; ++y) {
        for (UINT x = 0; x < 256; ++x) {
            t[y * 256 + x] = 0xFF000000u | ((x * seed) & 0xFF) << 16 | ((y * seed) & 0xFF) << 8 | ((x ^ y) & 0xFF);
        }
    }
    return t;
}

// CPU time of the calling thread: the submitting side's work, not llvmpipe's
// rasteriser threads.
double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// ---- matrices, Direct3D's row-vector convention ----

D3DMATRIX identity() {
    D3DMATRIX m{};
    for (int i = 0; i < 4; ++i) {
        m.m[i][i] = 1.0f;
    }
    return m;
}

D3DMATRIX translation(float x, float y, float z) {
    D3DMATRIX m = identity();
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

// The math library's product (Matrix has D3DMATRIX's layout).
D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    Matrix product{};
    ::multiply(std::bit_cast<Matrix>(a), product, std::bit_cast<Matrix>(b));
    return std::bit_cast<D3DMATRIX>(product);
}

// About y (D3DXMatrixRotationY), then about x (D3DXMatrixRotationX).
D3DMATRIX rotation(float yaw, float pitch) {
    D3DMATRIX y = identity();
    y.m[0][0] = y.m[2][2] = std::cos(yaw);
    y.m[2][0] = std::sin(yaw);
    y.m[0][2] = -y.m[2][0];
    D3DMATRIX x = identity();
    x.m[1][1] = x.m[2][2] = std::cos(pitch);
    x.m[1][2] = std::sin(pitch);
    x.m[2][1] = -x.m[1][2];
    return multiply(y, x);
}

// The left-handed perspective of D3DXMatrixPerspectiveFovLH's documentation.
D3DMATRIX perspective(float fovY, float aspect, float zn, float zf) {
    const float ys = 1.0f / std::tan(fovY / 2.0f);
    D3DMATRIX m{};
    m.m[0][0] = ys / aspect;
    m.m[1][1] = ys;
    m.m[2][2] = zf / (zf - zn);
    m.m[2][3] = 1.0f;
    m.m[3][2] = -zn * zf / (zf - zn);
    return m;
}

// ---- the raw side: a GL 3.3 context of its own ----

// Vertex code shared by the raw programs that take Direct3D clip space: they
// render into textures upside down as the layer does, so faces keep the same
// winding and the same pixels are covered.
const char* const kRawClipFixup = "vec4 fixup(vec4 c) { return vec4(c.x, -c.y, 2.0 * c.z - c.w, c.w); }\n";

class RawGl {
  public:
    bool open() {
        std::string error;
        context_ = platform::d3d9::createGlContext(false, nullptr, {}, error);
        if (!context_) {
            return false;
        }
        context_->makeCurrent();
        platform::d3d9::gl::GenVertexArrays(1, &vertexArray_);
        platform::d3d9::gl::BindVertexArray(vertexArray_);
        platform::d3d9::gl::GenRenderbuffers(1, &depth_);
        platform::d3d9::gl::BindRenderbuffer(GL_RENDERBUFFER, depth_);
        platform::d3d9::gl::RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, kWidth, kHeight);
        back_ = target();
        platform::d3d9::gl::Viewport(0, 0, kWidth, kHeight);
        platform::d3d9::gl::FrontFace(GL_CCW);
        pixels_.resize(static_cast<std::size_t>(kWidth) * kHeight);
        return true;
    }
    void makeCurrent() { context_->makeCurrent(); }

    // Linked and in use, sampler uniforms uT0.. on units 0..; 0 on failure.
    GLuint program(const char* vs, const char* fs, int samplers) {
        GLuint program = platform::d3d9::gl::CreateProgram();
        for (auto [stage, text] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
            GLuint shader = platform::d3d9::gl::CreateShader(stage);
            platform::d3d9::gl::ShaderSource(shader, 1, &text, nullptr);
            platform::d3d9::gl::CompileShader(shader);
            platform::d3d9::gl::AttachShader(program, shader);
        }
        platform::d3d9::gl::LinkProgram(program);
        GLint ok = 0;
        platform::d3d9::gl::GetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok == 0) {
            return 0;
        }
        platform::d3d9::gl::UseProgram(program);
        for (int s = 0; s < samplers; ++s) {
            platform::d3d9::gl::Uniform1i(
                platform::d3d9::gl::GetUniformLocation(program, ("uT" + std::to_string(s)).c_str()), s);
        }
        return program;
    }
    // A 256 x 256 linear-filtered RGBA8 texture, as the layer makes A8R8G8B8.
    GLuint texture(const std::vector<std::uint32_t>& data) {
        GLuint t = 0;
        platform::d3d9::gl::GenTextures(1, &t);
        platform::d3d9::gl::BindTexture(GL_TEXTURE_2D, t);
        platform::d3d9::gl::TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                                       data.data());
        platform::d3d9::gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        platform::d3d9::gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        platform::d3d9::gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        return t;
    }
    struct Target {
        GLuint texture = 0;
        GLuint framebuffer = 0;
    };
    // An 800 x 600 RGBA8 colour texture with the shared depth-stencil
    // attached: the layer's back buffer and render targets are made so.
    Target target() {
        Target t;
        platform::d3d9::gl::GenTextures(1, &t.texture);
        platform::d3d9::gl::BindTexture(GL_TEXTURE_2D, t.texture);
        platform::d3d9::gl::TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_BGRA,
                                       GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
        platform::d3d9::gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        platform::d3d9::gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        platform::d3d9::gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        platform::d3d9::gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        platform::d3d9::gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        platform::d3d9::gl::GenFramebuffers(1, &t.framebuffer);
        platform::d3d9::gl::BindFramebuffer(GL_FRAMEBUFFER, t.framebuffer);
        platform::d3d9::gl::FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.texture, 0);
        platform::d3d9::gl::FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                                    depth_);
        return t;
    }
    GLuint buffer(GLenum kind, const void* data, std::size_t bytes) {
        GLuint b = 0;
        platform::d3d9::gl::GenBuffers(1, &b);
        platform::d3d9::gl::BindBuffer(kind, b);
        platform::d3d9::gl::BufferData(kind, static_cast<GLsizeiptr>(bytes), data, GL_STATIC_DRAW);
        return b;
    }
    // Attributes of one interleaved buffer: location, components, byte offset, type.
    struct Attribute {
        GLuint location;
        GLint size;
        std::size_t offset;
        GLenum type = GL_FLOAT;
        GLboolean normalized = GL_FALSE;
    };
    void attributes(GLuint buffer, GLsizei stride, std::initializer_list<Attribute> list) {
        platform::d3d9::gl::BindBuffer(GL_ARRAY_BUFFER, buffer);
        for (const Attribute& a : list) {
            platform::d3d9::gl::VertexAttribPointer(a.location, a.size, a.type, a.normalized, stride,
                                                    reinterpret_cast<const void*>(a.offset));
            platform::d3d9::gl::EnableVertexAttribArray(a.location);
        }
    }
    const Target& back() const { return back_; }
    void readBack() {
        platform::d3d9::gl::BindFramebuffer(GL_READ_FRAMEBUFFER, back_.framebuffer);
        platform::d3d9::gl::ReadPixels(0, 0, kWidth, kHeight, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels_.data());
    }

  private:
    std::unique_ptr<platform::d3d9::GlContext> context_;
    GLuint vertexArray_ = 0;
    GLuint depth_ = 0;
    Target back_;
    std::vector<std::uint32_t> pixels_;
};

// ---- the layer's side ----

class LayerDevice {
  public:
    ~LayerDevice() {
        if (device_ != nullptr) {
            for (DWORD s = 0; s < 2; ++s) {
                device_->SetTexture(s, nullptr);
            }
            device_->SetStreamSource(0, nullptr, 0, 0);
            device_->SetIndices(nullptr);
        }
        for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) {
            (*it)->Release();
        }
        if (back_ != nullptr) {
            back_->Release();
        }
        if (device_ != nullptr) {
            device_->Release();
        }
        if (d3d_ != nullptr) {
            d3d_->Release();
        }
    }
    bool open() {
        d3d_ = headless::openVirtualLayer();
        D3DPRESENT_PARAMETERS params = headless::presentParameters(kWidth, kHeight);
        if (d3d_ == nullptr || headless::createDevice(d3d_, params, &device_) != D3D_OK) {
            return false;
        }
        device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back_);
        return true;
    }
    IDirect3DDevice9* operator->() const { return device_; }
    IDirect3DDevice9* get() const { return device_; }
    IDirect3DSurface9* back() const { return back_; }
    // Released with the device.
    template <class T> T* own(T* object) {
        owned_.push_back(object);
        return object;
    }
    IDirect3DTexture9* texture(DWORD seed) {
        IDirect3DTexture9* texture = nullptr;
        device_->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
        D3DLOCKED_RECT locked{};
        texture->LockRect(0, &locked, nullptr, 0);
        const auto data = texels(seed);
        for (UINT y = 0; y < 256; ++y) {
            std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &data[y * 256], 256 * 4);
        }
        texture->UnlockRect(0);
        return own(texture);
    }
    // Reading one frame back waits for GL to finish it.
    void readBack() {
        UINT w = 0;
        UINT h = 0;
        platform::d3d9::readBack(back_, w, h, pixels_);
    }

  private:
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DSurface9* back_ = nullptr;
    std::vector<IUnknown*> owned_;
    std::vector<D3DCOLOR> pixels_;
};

// Runs the layer's frame and the raw frame alternately, so that a machine
// loaded by others slows both alike. `layerDraws` runs between BeginScene and
// EndScene and `rawDraws` on the raw context; each frame then reads its back
// buffer back. CPU per draw counts the draw calls' part of the frame only.
void runPaired(benchmark::State& state, LayerDevice& layer, RawGl& raw, int drawsPerFrame,
               const std::function<void()>& layerDraws, const std::function<void()>& rawDraws) {
    double layerCpu = 0;
    double rawCpu = 0;
    auto layerFrame = [&] {
        const double c0 = threadCpuSeconds();
        layer->BeginScene();
        layerDraws();
        layer->EndScene();
        layerCpu += threadCpuSeconds() - c0;
        layer.readBack();
    };
    auto rawFrame = [&] {
        const double c0 = threadCpuSeconds();
        raw.makeCurrent();
        rawDraws();
        rawCpu += threadCpuSeconds() - c0;
        raw.readBack();
    };
    // The first frames build the programs and settle the state.
    for (int i = 0; i < 2; ++i) {
        layerFrame();
        rawFrame();
    }
    const auto before = platform::d3d9::countersOf(layer.get());
    layerFrame();
    const auto after = platform::d3d9::countersOf(layer.get());
    layerCpu = 0;
    rawCpu = 0;
    using Clock = std::chrono::steady_clock;
    Clock::duration layerTime{};
    Clock::duration rawTime{};
    for (auto _ : state) {
        const auto start = Clock::now();
        layerFrame();
        const auto layerEnd = Clock::now();
        rawFrame();
        rawTime += Clock::now() - layerEnd;
        layerTime += layerEnd - start;
    }
    const double frames = static_cast<double>(state.iterations());
    const double draws = frames * drawsPerFrame;
    state.counters["vs_raw_gl"] =
        std::chrono::duration<double>(layerTime).count() / std::chrono::duration<double>(rawTime).count();
    state.counters["layer_ms"] = std::chrono::duration<double, std::milli>(layerTime).count() / frames;
    state.counters["raw_ms"] = std::chrono::duration<double, std::milli>(rawTime).count() / frames;
    state.counters["cpu_us_per_draw"] = 1e6 * layerCpu / draws;
    state.counters["raw_cpu_us_per_draw"] = 1e6 * rawCpu / draws;
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    // GL work per draw call in a settled frame; the frame's read-back adds
    // one framebuffer binding, which shows in the first draw's state changes.
    const double n = drawsPerFrame;
    state.counters["gl_draws_per_draw"] = static_cast<double>(after.draws - before.draws) / n;
    state.counters["state_changes_per_draw"] = static_cast<double>(after.stateChanges - before.stateChanges) / n;
    state.counters["uploads_per_draw"] = static_cast<double>(after.uploads - before.uploads) / n;
    state.counters["program_switches_per_draw"] =
        static_cast<double>(after.programSwitches - before.programSwitches) / n;
}

// ---- 1: two-stage full-screen quads ----

struct QuadVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u0, v0, u1, v1;
};

// The raw program for the layer's two-stage quads: texture 0 at set 0 times
// the vertex colour, texture 1 at set 1 mixed in by 0.5.
const char* const kRawTwoStageVs =
    "#version 330 core\n"
    "layout(location = 0) in vec2 aPosition;\nlayout(location = 1) in vec4 aColor;\n"
    "layout(location = 2) in vec4 aTex;\nout vec4 vColor;\nout vec4 vTex;\n"
    "void main() { gl_Position = vec4(aPosition, 0.0, 1.0); vColor = aColor; vTex = aTex; }\n";
const char* const kRawTwoStageFs = "#version 330 core\nin vec4 vColor;\nin vec4 vTex;\n"
                                   "uniform sampler2D uT0;\nuniform sampler2D uT1;\nout vec4 fragColor;\n"
                                   "void main() { vec4 c = texture(uT0, vTex.xy) * vColor;\n"
                                   "  fragColor = vec4(mix(c.rgb, texture(uT1, vTex.zw).rgb, 0.5), c.a); }\n";

// The layer's pre-transformed quad vertices for the raw program, in one
// static buffer: x, y in clip space, the colour as floats, both coordinate sets.
void rawQuads(RawGl& raw, std::initializer_list<const QuadVertex*> quads) {
    std::vector<float> data;
    for (const QuadVertex* quad : quads) {
        for (int v = 0; v < 4; ++v) {
            const QuadVertex& q = quad[v];
            const auto c = [&](int shift) { return static_cast<float>((q.colour >> shift) & 0xFF) / 255.0f; };
            data.insert(data.end(), {q.x * 2.0f / kWidth - 1.0f, q.y * 2.0f / kHeight - 1.0f, c(16), c(8), c(0), c(24),
                                     q.u0, q.v0, q.u1, q.v1});
        }
    }
    const GLsizei stride = 10 * sizeof(float);
    raw.attributes(raw.buffer(GL_ARRAY_BUFFER, data.data(), data.size() * sizeof(float)), stride,
                   {{0, 2, 0}, {1, 4, 2 * sizeof(float)}, {2, 4, 6 * sizeof(float)}});
}

// Texture 0 times the vertex colour, texture 1 mixed in by 0.5.
void fullScreenTwoStageQuads(benchmark::State& state) {
    LayerDevice layer;
    RawGl raw;
    if (!layer.open() || !raw.open()) {
        state.SkipWithError("no headless device");
        return;
    }
    IDirect3DTexture9* t0 = layer.texture(3);
    IDirect3DTexture9* t1 = layer.texture(7);
    layer->SetRenderState(D3DRS_LIGHTING, FALSE);
    layer->SetRenderState(D3DRS_ZENABLE, FALSE);
    layer->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    layer->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80808080u);
    layer->SetTexture(0, t0);
    layer->SetTexture(1, t1);
    for (DWORD s = 0; s < 2; ++s) {
        layer->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        layer->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    }
    layer->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    layer->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    layer->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDFACTORALPHA);
    layer->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    layer->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    layer->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2);
    const QuadVertex quad[4] = {{0, 0, 0, 1, 0xFFFFFFFFu, 0, 0, 0, 0},
                                {kWidth, 0, 0, 1, 0xFFFFFFFFu, 1, 0, 1, 0},
                                {kWidth, kHeight, 0, 1, 0xFFFFFFFFu, 1, 1, 1, 1},
                                {0, kHeight, 0, 1, 0xFFFFFFFFu, 0, 1, 0, 1}};

    raw.makeCurrent(); // the layer's calls above made its own context current
    if (raw.program(kRawTwoStageVs, kRawTwoStageFs, 2) == 0) {
        state.SkipWithError("raw program does not link");
        return;
    }
    const std::vector<std::uint32_t> data[2] = {texels(3), texels(7)};
    for (GLenum i = 0; i < 2; ++i) {
        platform::d3d9::gl::ActiveTexture(GL_TEXTURE0 + i);
        platform::d3d9::gl::BindTexture(GL_TEXTURE_2D, raw.texture(data[i]));
    }
    rawQuads(raw, {quad});
    platform::d3d9::gl::BindFramebuffer(GL_FRAMEBUFFER, raw.back().framebuffer);

    runPaired(
        state, layer, raw, 100,
        [&] {
            for (int i = 0; i < 100; ++i) {
                layer->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(QuadVertex));
            }
        },
        [&] {
            for (int i = 0; i < 100; ++i) {
                platform::d3d9::gl::DrawArrays(GL_TRIANGLE_FAN, 0, 4);
            }
        });
}
BENCHMARK(fullScreenTwoStageQuads)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// ---- 2: a zoom-blur chain ----

// Each pass samples the other target twice (the picture, and a copy zoomed
// towards the centre mixed in by 0.5) and adds the result to its target.
// Nothing seeds the targets, so the picture stays black: llvmpipe's cost
// does not depend on the values it samples and blends.
void zoomBlurChain(benchmark::State& state) {
    constexpr int kPasses = 10;
    LayerDevice layer;
    RawGl raw;
    if (!layer.open() || !raw.open()) {
        state.SkipWithError("no headless device");
        return;
    }
    IDirect3DTexture9* targets[2] = {};
    IDirect3DSurface9* surfaces[2] = {};
    for (int i = 0; i < 2; ++i) {
        layer->CreateTexture(kWidth, kHeight, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &targets[i],
                             nullptr);
        layer.own(targets[i]);
        targets[i]->GetSurfaceLevel(0, &surfaces[i]);
        layer.own(surfaces[i]);
    }
    layer->SetRenderState(D3DRS_LIGHTING, FALSE);
    layer->SetRenderState(D3DRS_ZENABLE, FALSE);
    layer->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    layer->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    layer->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    layer->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    layer->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80808080u);
    for (DWORD s = 0; s < 2; ++s) {
        layer->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        layer->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        layer->SetSamplerState(s, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        layer->SetSamplerState(s, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    }
    layer->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    layer->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    layer->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDFACTORALPHA);
    layer->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    layer->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    layer->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2);
    auto quadOf = [](D3DCOLOR c, std::array<QuadVertex, 4>& q) {
        q = {{{0, 0, 0, 1, c, 0, 0, 0.05f, 0.05f},
              {kWidth, 0, 0, 1, c, 1, 0, 0.95f, 0.05f},
              {kWidth, kHeight, 0, 1, c, 1, 1, 0.95f, 0.95f},
              {0, kHeight, 0, 1, c, 0, 1, 0.05f, 0.95f}}};
    };
    std::array<QuadVertex, 4> passQuad{};
    std::array<QuadVertex, 4> finalQuad{};
    quadOf(0xFF7F7F7Fu, passQuad);
    quadOf(0x7F7F7F7Fu, finalQuad);

    raw.makeCurrent(); // the layer's calls above made its own context current
    if (raw.program(kRawTwoStageVs, kRawTwoStageFs, 2) == 0) {
        state.SkipWithError("raw program does not link");
        return;
    }
    const RawGl::Target rawTargets[2] = {raw.target(), raw.target()};
    rawQuads(raw, {passQuad.data(), finalQuad.data()});
    platform::d3d9::gl::Enable(GL_BLEND);
    platform::d3d9::gl::BlendFunc(GL_ONE, GL_ONE);

    runPaired(
        state, layer, raw, kPasses + 1,
        [&] {
            for (int pass = 0; pass < kPasses; ++pass) {
                layer->SetRenderTarget(0, surfaces[pass & 1]);
                layer->SetTexture(0, targets[(pass + 1) & 1]);
                layer->SetTexture(1, targets[(pass + 1) & 1]);
                layer->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, passQuad.data(), sizeof(QuadVertex));
            }
            layer->SetRenderTarget(0, layer.back());
            layer->SetTexture(0, targets[(kPasses - 1) & 1]);
            layer->SetTexture(1, targets[(kPasses - 1) & 1]);
            layer->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, finalQuad.data(), sizeof(QuadVertex));
        },
        [&] {
            for (int pass = 0; pass < kPasses; ++pass) {
                platform::d3d9::gl::BindFramebuffer(GL_FRAMEBUFFER, rawTargets[pass & 1].framebuffer);
                for (GLenum unit = 0; unit < 2; ++unit) {
                    platform::d3d9::gl::ActiveTexture(GL_TEXTURE0 + unit);
                    platform::d3d9::gl::BindTexture(GL_TEXTURE_2D, rawTargets[(pass + 1) & 1].texture);
                }
                platform::d3d9::gl::DrawArrays(GL_TRIANGLE_FAN, 0, 4);
            }
            platform::d3d9::gl::BindFramebuffer(GL_FRAMEBUFFER, raw.back().framebuffer);
            for (GLenum unit = 0; unit < 2; ++unit) {
                platform::d3d9::gl::ActiveTexture(GL_TEXTURE0 + unit);
                platform::d3d9::gl::BindTexture(GL_TEXTURE_2D, rawTargets[(kPasses - 1) & 1].texture);
            }
            platform::d3d9::gl::DrawArrays(GL_TRIANGLE_FAN, 4, 4);
        });
}
BENCHMARK(zoomBlurChain)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// ---- 3: point sprites ----

struct PointVertex {
    float x, y, z;
    D3DCOLOR colour;
};

// 1,000 sprites in a 4 x 4 x 4 box 4 to 8 units in front of the camera, the
// texture times the vertex colour, added to the back buffer; sizes follow
// the point-scale rule with A = B = 0, C = 1 (about 20 pixels across).
void pointSprites(benchmark::State& state) {
    constexpr int kPoints = 1000;
    constexpr float kPointSize = 0.2f;
    LayerDevice layer;
    RawGl raw;
    if (!layer.open() || !raw.open()) {
        state.SkipWithError("no headless device");
        return;
    }
    std::vector<PointVertex> points(kPoints);
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.0f;
    };
    for (auto& p : points) {
        p.x = 4.0f * next() - 2.0f;
        p.y = 4.0f * next() - 2.0f;
        p.z = 4.0f * next() - 2.0f;
        p.colour = 0xFF000000u | static_cast<D3DCOLOR>(next() * 255.0f) << 16 |
                   static_cast<D3DCOLOR>(next() * 255.0f) << 8 | static_cast<D3DCOLOR>(next() * 255.0f);
    }
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
    IDirect3DVertexBuffer9* vb = nullptr;
    layer->CreateVertexBuffer(kPoints * sizeof(PointVertex), D3DUSAGE_WRITEONLY | D3DUSAGE_POINTS, fvf, D3DPOOL_MANAGED,
                              &vb, nullptr);
    layer.own(vb);
    void* bytes = nullptr;
    vb->Lock(0, 0, &bytes, 0);
    std::memcpy(bytes, points.data(), kPoints * sizeof(PointVertex));
    vb->Unlock();
    const D3DMATRIX world = identity();
    const D3DMATRIX view = translation(0, 0, 6);
    const D3DMATRIX projection = perspective(1.0471976f, static_cast<float>(kWidth) / kHeight, 0.5f, 50.0f);
    layer->SetTransform(D3DTS_WORLD, &world);
    layer->SetTransform(D3DTS_VIEW, &view);
    layer->SetTransform(D3DTS_PROJECTION, &projection);
    layer->SetTexture(0, layer.texture(5));
    layer->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    layer->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    layer->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    layer->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    layer->SetRenderState(D3DRS_LIGHTING, FALSE);
    layer->SetRenderState(D3DRS_ZENABLE, FALSE);
    layer->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    layer->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    layer->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    auto floatState = [&](D3DRENDERSTATETYPE s, float f) { layer->SetRenderState(s, std::bit_cast<DWORD>(f)); };
    layer->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    layer->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    floatState(D3DRS_POINTSIZE, kPointSize);
    floatState(D3DRS_POINTSIZE_MIN, 0.0f);
    floatState(D3DRS_POINTSCALE_A, 0.0f);
    floatState(D3DRS_POINTSCALE_B, 0.0f);
    floatState(D3DRS_POINTSCALE_C, 1.0f);
    layer->SetFVF(fvf);
    layer->SetStreamSource(0, vb, 0, sizeof(PointVertex));

    raw.makeCurrent(); // the layer's calls above made its own context current
    std::string vs = "#version 330 core\n"
                     "layout(location = 0) in vec3 aPosition;\nlayout(location = 1) in vec4 aColor;\n"
                     "uniform mat4 uWorldView;\nuniform mat4 uProjection;\nuniform vec4 uSize; // size, min, max, Vh\n"
                     "out vec4 vColor;\n";
    vs += kRawClipFixup;
    vs += "void main() {\n"
          "    vec4 eye = uWorldView * vec4(aPosition, 1.0);\n"
          "    gl_Position = fixup(uProjection * eye);\n"
          "    float de = length(eye.xyz);\n"
          "    gl_PointSize = clamp(uSize.w * uSize.x / de, uSize.y, uSize.z);\n"
          "    vColor = aColor;\n}\n";
    const char* fs = "#version 330 core\nin vec4 vColor;\nuniform sampler2D uT0;\nout vec4 fragColor;\n"
                     "void main() { fragColor = texture(uT0, gl_PointCoord) * vColor; }\n";
    GLuint program = raw.program(vs.c_str(), fs, 1);
    if (program == 0) {
        state.SkipWithError("raw program does not link");
        return;
    }
    const D3DMATRIX worldView = multiply(world, view);
    platform::d3d9::gl::UniformMatrix4fv(platform::d3d9::gl::GetUniformLocation(program, "uWorldView"), 1, GL_FALSE,
                                         &worldView.m[0][0]);
    platform::d3d9::gl::UniformMatrix4fv(platform::d3d9::gl::GetUniformLocation(program, "uProjection"), 1, GL_FALSE,
                                         &projection.m[0][0]);
    const float size[4] = {kPointSize, 0.0f, 64.0f, static_cast<float>(kHeight)};
    platform::d3d9::gl::Uniform4fv(platform::d3d9::gl::GetUniformLocation(program, "uSize"), 1, size);
    platform::d3d9::gl::ActiveTexture(GL_TEXTURE0);
    platform::d3d9::gl::BindTexture(GL_TEXTURE_2D, raw.texture(texels(5)));
    raw.attributes(raw.buffer(GL_ARRAY_BUFFER, points.data(), kPoints * sizeof(PointVertex)), sizeof(PointVertex),
                   // D3DCOLOR is B, G, R, A in memory.
                   {{0, 3, 0}, {1, GL_BGRA, 3 * sizeof(float), GL_UNSIGNED_BYTE, GL_TRUE}});
    platform::d3d9::gl::BindFramebuffer(GL_FRAMEBUFFER, raw.back().framebuffer);
    platform::d3d9::gl::Enable(GL_PROGRAM_POINT_SIZE);
    platform::d3d9::gl::PointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
    platform::d3d9::gl::Enable(GL_BLEND);
    platform::d3d9::gl::BlendFunc(GL_ONE, GL_ONE);
    platform::d3d9::gl::ClearColor(0, 0, 0, 1);

    runPaired(
        state, layer, raw, 1,
        [&] {
            layer->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
            layer->DrawPrimitive(D3DPT_POINTLIST, 0, kPoints);
        },
        [&] {
            platform::d3d9::gl::Clear(GL_COLOR_BUFFER_BIT);
            platform::d3d9::gl::DrawArrays(GL_POINTS, 0, kPoints);
        });
}
BENCHMARK(pointSprites)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// ---- 4: an indexed lit mesh ----

struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;
};

// A sphere of 40 x 50 quads (4,000 triangles, 16-bit indices) turning a
// little every frame, lit by one point light with diffuse and specular
// terms, depth-tested into a cleared back buffer; it covers about a third
// of the picture.
void litMesh(benchmark::State& state) {
    constexpr int kStacks = 40;
    constexpr int kSlices = 50;
    constexpr float kRadius = 2.5f;
    LayerDevice layer;
    RawGl raw;
    if (!layer.open() || !raw.open()) {
        state.SkipWithError("no headless device");
        return;
    }
    std::vector<MeshVertex> vertices;
    for (int i = 0; i <= kStacks; ++i) {
        const float t = 3.14159265f * static_cast<float>(i) / kStacks;
        for (int j = 0; j <= kSlices; ++j) {
            const float f = 6.28318531f * static_cast<float>(j) / kSlices;
            const float nx = std::sin(t) * std::cos(f), ny = std::cos(t), nz = std::sin(t) * std::sin(f);
            vertices.push_back({kRadius * nx, kRadius * ny, kRadius * nz, nx, ny, nz});
        }
    }
    // Clockwise seen from outside, Direct3D's front faces.
    std::vector<std::uint16_t> indices;
    for (int i = 0; i < kStacks; ++i) {
        for (int j = 0; j < kSlices; ++j) {
            const auto a = static_cast<std::uint16_t>(i * (kSlices + 1) + j);
            const auto b = static_cast<std::uint16_t>(a + 1);
            const auto c = static_cast<std::uint16_t>(a + kSlices + 1);
            const auto d = static_cast<std::uint16_t>(c + 1);
            indices.insert(indices.end(), {a, b, d, a, d, c});
        }
    }
    const UINT triangles = static_cast<UINT>(indices.size() / 3);
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL;
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    const UINT vbBytes = static_cast<UINT>(vertices.size() * sizeof(MeshVertex));
    const UINT ibBytes = static_cast<UINT>(indices.size() * 2);
    layer->CreateVertexBuffer(vbBytes, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED, &vb, nullptr);
    layer->CreateIndexBuffer(ibBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr);
    layer.own(vb);
    layer.own(ib);
    void* bytes = nullptr;
    vb->Lock(0, 0, &bytes, 0);
    std::memcpy(bytes, vertices.data(), vbBytes);
    vb->Unlock();
    ib->Lock(0, 0, &bytes, 0);
    std::memcpy(bytes, indices.data(), ibBytes);
    ib->Unlock();

    const D3DMATRIX view = translation(0, 0, 6);
    const D3DMATRIX projection = perspective(1.0471976f, static_cast<float>(kWidth) / kHeight, 0.5f, 50.0f);
    D3DMATERIAL9 material{};
    material.Diffuse = {0.8f, 0.5f, 0.3f, 1.0f};
    material.Ambient = {0.8f, 0.5f, 0.3f, 1.0f};
    material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Power = 20.0f;
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    light.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    light.Position = {3.0f, 3.0f, -5.0f};
    light.Range = 100.0f;
    light.Attenuation0 = 1.0f;
    light.Attenuation1 = 0.05f;
    layer->SetTransform(D3DTS_VIEW, &view);
    layer->SetTransform(D3DTS_PROJECTION, &projection);
    layer->SetMaterial(&material);
    layer->SetLight(0, &light);
    layer->LightEnable(0, TRUE);
    layer->SetRenderState(D3DRS_LIGHTING, TRUE);
    layer->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    layer->SetRenderState(D3DRS_AMBIENT, 0xFF202020u);
    layer->SetFVF(fvf);
    layer->SetStreamSource(0, vb, 0, sizeof(MeshVertex));
    layer->SetIndices(ib);

    raw.makeCurrent(); // the layer's calls above made its own context current
    std::string vs = "#version 330 core\n"
                     "layout(location = 0) in vec3 aPosition;\nlayout(location = 1) in vec3 aNormal;\n"
                     "uniform mat4 uWorldView;\nuniform mat4 uProjection;\nuniform mat3 uNormalMatrix;\n"
                     "uniform vec4 uMaterial[4]; // diffuse, ambient, specular, emissive\n"
                     "uniform float uPower;\nuniform vec4 uAmbient;\n"
                     "uniform vec3 uLightPosition;\nuniform vec4 uLightAttenuation; // a0, a1, a2, range\n"
                     "out vec4 vColor0;\nout vec4 vColor1;\n";
    vs += kRawClipFixup;
    // A white light with no ambient part; the local viewer's halfway vector.
    vs += "void main() {\n"
          "    vec4 eye = uWorldView * vec4(aPosition, 1.0);\n"
          "    gl_Position = fixup(uProjection * eye);\n"
          "    vec3 n = uNormalMatrix * aNormal;\n"
          "    vec3 toLight = uLightPosition - eye.xyz;\n"
          "    float d = length(toLight);\n"
          "    vec3 dir = toLight / d;\n"
          "    vec4 a = uLightAttenuation;\n"
          "    float att = d > a.w ? 0.0 : 1.0 / (a.x + a.y * d + a.z * d * d);\n"
          "    float nDotL = clamp(dot(n, dir), 0.0, 1.0);\n"
          "    float nDotH = dot(n, normalize(dir - normalize(eye.xyz)));\n"
          "    float s = nDotL > 0.0 && nDotH > 0.0 ? pow(nDotH, uPower) * att : 0.0;\n"
          "    vec3 lit = uMaterial[3].rgb + uMaterial[1].rgb * uAmbient.rgb + uMaterial[0].rgb * nDotL * att;\n"
          "    vColor0 = clamp(vec4(lit, uMaterial[0].a), 0.0, 1.0);\n"
          "    vColor1 = clamp(vec4(uMaterial[2].rgb * s, uMaterial[2].a), 0.0, 1.0);\n}\n";
    const char* fs = "#version 330 core\nin vec4 vColor0;\nin vec4 vColor1;\nout vec4 fragColor;\n"
                     "void main() { fragColor = vec4(clamp(vColor0.rgb + vColor1.rgb, 0.0, 1.0), vColor0.a); }\n";
    GLuint program = raw.program(vs.c_str(), fs, 0);
    if (program == 0) {
        state.SkipWithError("raw program does not link");
        return;
    }
    const GLint worldViewAt = platform::d3d9::gl::GetUniformLocation(program, "uWorldView");
    const GLint normalAt = platform::d3d9::gl::GetUniformLocation(program, "uNormalMatrix");
    platform::d3d9::gl::UniformMatrix4fv(platform::d3d9::gl::GetUniformLocation(program, "uProjection"), 1, GL_FALSE,
                                         &projection.m[0][0]);
    const D3DCOLORVALUE colours[4] = {material.Diffuse, material.Ambient, material.Specular, material.Emissive};
    platform::d3d9::gl::Uniform4fv(platform::d3d9::gl::GetUniformLocation(program, "uMaterial"), 4, &colours[0].r);
    platform::d3d9::gl::Uniform1f(platform::d3d9::gl::GetUniformLocation(program, "uPower"), material.Power);
    const float ambient[4] = {32.0f / 255.0f, 32.0f / 255.0f, 32.0f / 255.0f, 1.0f};
    platform::d3d9::gl::Uniform4fv(platform::d3d9::gl::GetUniformLocation(program, "uAmbient"), 1, ambient);
    // The view only translates, so the light's camera-space position is a sum.
    const float lightAt[3] = {light.Position.x + view.m[3][0], light.Position.y + view.m[3][1],
                              light.Position.z + view.m[3][2]};
    platform::d3d9::gl::Uniform3fv(platform::d3d9::gl::GetUniformLocation(program, "uLightPosition"), 1, lightAt);
    const float attenuation[4] = {light.Attenuation0, light.Attenuation1, light.Attenuation2, light.Range};
    platform::d3d9::gl::Uniform4fv(platform::d3d9::gl::GetUniformLocation(program, "uLightAttenuation"), 1,
                                   attenuation);
    raw.attributes(raw.buffer(GL_ARRAY_BUFFER, vertices.data(), vbBytes), sizeof(MeshVertex),
                   {{0, 3, 0}, {1, 3, 3 * sizeof(float)}});
    raw.buffer(GL_ELEMENT_ARRAY_BUFFER, indices.data(), ibBytes);
    platform::d3d9::gl::BindFramebuffer(GL_FRAMEBUFFER, raw.back().framebuffer);
    platform::d3d9::gl::Enable(GL_DEPTH_TEST);
    platform::d3d9::gl::DepthFunc(GL_LEQUAL);
    platform::d3d9::gl::Enable(GL_CULL_FACE);
    platform::d3d9::gl::CullFace(GL_BACK);
    platform::d3d9::gl::ClearColor(0, 0, 0, 1);

    float angle = 0;
    runPaired(
        state, layer, raw, 1,
        [&] {
            angle += 0.01f;
            const D3DMATRIX world = rotation(angle, 0.3f);
            layer->SetTransform(D3DTS_WORLD, &world);
            layer->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
            layer->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(vertices.size()), 0, triangles);
        },
        [&] {
            // The same turn; a rotation is its own inverse transpose.
            const D3DMATRIX worldView = multiply(rotation(angle, 0.3f), view);
            const float normal[9] = {worldView.m[0][0], worldView.m[0][1], worldView.m[0][2],
                                     worldView.m[1][0], worldView.m[1][1], worldView.m[1][2],
                                     worldView.m[2][0], worldView.m[2][1], worldView.m[2][2]};
            platform::d3d9::gl::UniformMatrix4fv(worldViewAt, 1, GL_FALSE, &worldView.m[0][0]);
            platform::d3d9::gl::UniformMatrix3fv(normalAt, 1, GL_FALSE, normal);
            platform::d3d9::gl::Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            platform::d3d9::gl::DrawElementsBaseVertex(GL_TRIANGLES, static_cast<GLsizei>(indices.size()),
                                                       GL_UNSIGNED_SHORT, nullptr, 0);
        });
}
BENCHMARK(litMesh)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

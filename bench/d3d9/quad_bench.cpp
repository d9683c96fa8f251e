// A full-screen quad with two texture stages (modulate, then blend factor
// alpha) into an 800 x 600 target, 100 quads a frame, on the headless
// context. Reports frames per second and the GL work the layer issues per
// quad once the state has settled.
#include "platform/d3d9/context.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9ext.h"
#include "platform/d3d9/gl.h"
#include "platform/kernel/runmode.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

// The same frame written as a plain OpenGL 3.3 program on a context of its
// own: two 256 x 256 linear-filtered RGBA8 textures, texture 0 times the
// vertex colour, texture 1 mixed in by 0.5, 100 quads from one static buffer
// into an 800 x 600 colour texture with a depth-stencil attachment, one
// glReadPixels per frame.
class RawTwoStageQuads {
  public:
    bool create(const std::vector<std::uint32_t>& texel0, const std::vector<std::uint32_t>& texel1) {
        std::string error;
        context_ = platform::d3d9::createGlContext(false, nullptr, {}, error);
        if (!context_) {
            return false;
        }
        context_->makeCurrent();
        const char* vs = "#version 330 core\n"
                         "layout(location = 0) in vec2 aPosition;\nlayout(location = 1) in vec4 aColor;\n"
                         "layout(location = 2) in vec4 aTex;\nout vec4 vColor;\nout vec4 vTex;\n"
                         "void main() { gl_Position = vec4(aPosition, 0.0, 1.0); vColor = aColor; vTex = aTex; }\n";
        const char* fs = "#version 330 core\nin vec4 vColor;\nin vec4 vTex;\n"
                         "uniform sampler2D uT0;\nuniform sampler2D uT1;\nout vec4 fragColor;\n"
                         "void main() { vec4 c = texture(uT0, vTex.xy) * vColor;\n"
                         "  fragColor = vec4(mix(c.rgb, texture(uT1, vTex.zw).rgb, 0.5), c.a); }\n";
        program_ = gl::CreateProgram();
        for (auto [stage, text] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
            GLuint shader = gl::CreateShader(stage);
            gl::ShaderSource(shader, 1, &text, nullptr);
            gl::CompileShader(shader);
            gl::AttachShader(program_, shader);
        }
        gl::LinkProgram(program_);
        GLint ok = 0;
        gl::GetProgramiv(program_, GL_LINK_STATUS, &ok);
        if (ok == 0) {
            return false;
        }
        gl::UseProgram(program_);
        gl::Uniform1i(gl::GetUniformLocation(program_, "uT0"), 0);
        gl::Uniform1i(gl::GetUniformLocation(program_, "uT1"), 1);
        gl::GenTextures(3, textures_);
        const std::vector<std::uint32_t>* data[2] = {&texel0, &texel1};
        for (int i = 0; i < 2; ++i) {
            gl::ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
            gl::BindTexture(GL_TEXTURE_2D, textures_[i]);
            gl::TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                           data[i]->data());
            gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            gl::TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        }
        gl::ActiveTexture(GL_TEXTURE2);
        gl::BindTexture(GL_TEXTURE_2D, textures_[2]);
        gl::TexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 800, 600, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        gl::GenRenderbuffers(1, &depth_);
        gl::BindRenderbuffer(GL_RENDERBUFFER, depth_);
        gl::RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, 800, 600);
        gl::GenFramebuffers(1, &framebuffer_);
        gl::BindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        gl::FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textures_[2], 0);
        gl::FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth_);
        const float quad[4][8] = {
            {-1, -1, 1, 1, 1, 1, 0, 0}, {1, -1, 1, 1, 1, 1, 1, 0}, {1, 1, 1, 1, 1, 1, 1, 1}, {-1, 1, 1, 1, 1, 1, 0, 1}};
        gl::GenVertexArrays(1, &vertexArray_);
        gl::BindVertexArray(vertexArray_);
        gl::GenBuffers(1, &buffer_);
        gl::BindBuffer(GL_ARRAY_BUFFER, buffer_);
        gl::BufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
        gl::VertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof quad[0], nullptr);
        gl::VertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, sizeof quad[0], reinterpret_cast<void*>(2 * sizeof(float)));
        gl::VertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof quad[0], reinterpret_cast<void*>(6 * sizeof(float)));
        for (GLuint l = 0; l < 3; ++l) {
            gl::EnableVertexAttribArray(l);
        }
        gl::Viewport(0, 0, 800, 600);
        pixels_.resize(800 * 600);
        return true;
    }
    void frame() {
        context_->makeCurrent();
        for (int i = 0; i < 100; ++i) {
            gl::DrawArrays(GL_TRIANGLE_FAN, 0, 4);
        }
        gl::ReadPixels(0, 0, 800, 600, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels_.data());
    }

  private:
    std::unique_ptr<platform::d3d9::GlContext> context_;
    GLuint program_ = 0;
    GLuint textures_[3] = {};
    GLuint depth_ = 0;
    GLuint framebuffer_ = 0;
    GLuint vertexArray_ = 0;
    GLuint buffer_ = 0;
    std::vector<std::uint32_t> pixels_;
};

std::vector<std::uint32_t> texels(DWORD seed) {
    std::vector<std::uint32_t> t(256 * 256);
    for (UINT y = 0; y < 256; ++y) {
        for (UINT x = 0; x < 256; ++x) {
            t[y * 256 + x] = 0xFF000000u | ((x * seed) & 0xFF) << 16 | ((y * seed) & 0xFF) << 8 | ((x ^ y) & 0xFF);
        }
    }
    return t;
}

// CPU time of the calling thread: the layer's own work, not llvmpipe's threads.
double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Vertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u0, v0, u1, v1;
};

IDirect3DTexture9* makeTexture(IDirect3DDevice9* device, DWORD seed) {
    IDirect3DTexture9* texture = nullptr;
    device->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    for (UINT y = 0; y < 256; ++y) {
        auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
        for (UINT x = 0; x < 256; ++x) {
            row[x] = 0xFF000000u | ((x * seed) & 0xFF) << 16 | ((y * seed) & 0xFF) << 8 | ((x ^ y) & 0xFF);
        }
    }
    texture->UnlockRect(0);
    return texture;
}

void fullScreenTwoStageQuads(benchmark::State& state) {
    platform::setRunMode(platform::RunMode::virtualRun);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 800;
    params.BackBufferHeight = 600;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* device = nullptr;
    if (d3d == nullptr || d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                                            &device) != D3D_OK) {
        state.SkipWithError("no headless device");
        return;
    }
    IDirect3DTexture9* t0 = makeTexture(device, 3);
    IDirect3DTexture9* t1 = makeTexture(device, 7);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80808080u);
    device->SetTexture(0, t0);
    device->SetTexture(1, t1);
    for (DWORD s = 0; s < 2; ++s) {
        device->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    }
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDFACTORALPHA);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2);
    const Vertex quad[4] = {{0, 0, 0, 1, 0xFFFFFFFFu, 0, 0, 0, 0},
                            {800, 0, 0, 1, 0xFFFFFFFFu, 1, 0, 1, 0},
                            {800, 600, 0, 1, 0xFFFFFFFFu, 1, 1, 1, 1},
                            {0, 600, 0, 1, 0xFFFFFFFFu, 0, 1, 0, 1}};
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    std::vector<D3DCOLOR> pixels;
    auto frame = [&] {
        device->BeginScene();
        for (int i = 0; i < 100; ++i) {
            device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(Vertex));
        }
        device->EndScene();
        // Reading one frame back waits for GL to finish it.
        UINT w = 0;
        UINT h = 0;
        platform::d3d9::readBack(back, w, h, pixels);
    };
    RawTwoStageQuads raw;
    if (!raw.create(texels(3), texels(7))) {
        state.SkipWithError("no raw GL context");
        return;
    }
    frame(); // builds the program and settles the state
    raw.frame();
    const auto before = platform::d3d9::countersOf(device);
    frame();
    const auto after = platform::d3d9::countersOf(device);
    // The two run alternately, so a machine loaded by others slows both alike.
    using Clock = std::chrono::steady_clock;
    Clock::duration layerTime{};
    Clock::duration rawTime{};
    double layerCpu = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const double c0 = threadCpuSeconds();
        frame();
        const double c1 = threadCpuSeconds();
        const auto layerEnd = Clock::now();
        raw.frame();
        const auto rawEnd = Clock::now();
        layerTime += layerEnd - start;
        rawTime += rawEnd - layerEnd;
        layerCpu += c1 - c0;
    }
    const double frames = static_cast<double>(state.iterations());
    state.counters["vs_raw_gl"] =
        std::chrono::duration<double>(layerTime).count() / std::chrono::duration<double>(rawTime).count();
    state.counters["layer_ms"] = std::chrono::duration<double, std::milli>(layerTime).count() / frames;
    state.counters["raw_ms"] = std::chrono::duration<double, std::milli>(rawTime).count() / frames;
    // The calling thread's CPU in the layer's frame per draw (the read-back's wait included).
    state.counters["cpu_us_per_draw"] = 1e6 * layerCpu / frames / 100.0;
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    // Per quad in a settled frame; the frame's read-back adds one framebuffer binding.
    state.counters["draws_per_quad"] = static_cast<double>(after.draws - before.draws) / 100.0;
    state.counters["state_changes_per_quad"] = static_cast<double>(after.stateChanges - before.stateChanges) / 100.0;
    state.counters["uploads_per_quad"] = static_cast<double>(after.uploads - before.uploads) / 100.0;
    back->Release();
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    t0->Release();
    t1->Release();
    device->Release();
    d3d->Release();
}
BENCHMARK(fullScreenTwoStageQuads)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

} // namespace

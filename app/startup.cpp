#include "app/scenes/compose.h"
#include "app/show.h"

#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "dx/dxvertexbuffer.h"
#include "effects/blobscene.h"
#include "effects/blobsculpture.h"
#include "effects/particlefield.h"
#include "effects/tubes.h"
#include "errors/errors.h"
#include "geometry/genmesh.h"
#include "music/songclock.h"
#include "resources/pictures/pictures.h"
#include "resources/song/song.h"
#include "resources/texprograms/texprograms.h"
#include "texgen/program.h"
#include "text/fontatlas.h"

#include <cstdint>
#include <iterator>
#include <vector>

namespace {

constexpr const char* kFile = "startup";
constexpr int kTextureSide = 256;
constexpr std::size_t kTexturePitch = kTextureSide * 4;

void runProgram(int number, std::vector<std::uint32_t>& pixels) {
    texgen::runTextureProgram(resources::textureProgram(number), pixels.data(), kTexturePitch);
}

texture* pictureTexture(device* dev, const std::uint8_t* rgb, int width, int height) {
    return new texture(dev, resources::toPixels32(rgb, width, height).data(), width, height, 0, 0);
}

} // namespace

namespace app {

void turnGrey(std::uint32_t* pixels, std::size_t count) {
    constexpr float third = 0.33333334f;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = pixels[i];
        const auto red = static_cast<float>((p >> 16) & 0xFF);
        const auto green = static_cast<float>((p >> 8) & 0xFF);
        const auto blue = static_cast<float>(p & 0xFF);
        const auto grey = static_cast<std::uint32_t>(red * third + blue * third + green * third);
        pixels[i] = grey << 16 | grey << 8 | grey;
    }
}

void buildShow(Show& show, device* dev) {
    show.dev = dev;

    show.atlas = new fontAtlas(dev);
    // Screen text would have no quads to draw from: a failed atlas is a failed start-up.
    if (FAILED(show.atlas->create())) {
        errors::raiseError(errors::kAutoThrowD3d, kFile, 55);
    }

    show.quad = new QuadObject{dev};
    show.blur = new BlurContext{dev, show.quad};

    show.tunnel = new effects::Tubes;
    show.tunnel->createTubes(*dev);
    show.sculpture = new effects::BlobSculpture;
    show.sculpture->buildBlobSculpture(*dev);
    dev->compileVertexShader("shaders/vshader_mojs.vhl", "main", "vs_2_0");
    show.blobs = new effects::BlobScene;
    show.blobs->buildBlobScene(*dev);

    show.pool = new vertexbuffer(dev, 1000, true, 1, false, true);
    show.generator = new genmesh(dev, 1000);

    const auto backWidth = static_cast<int>(dev->presentParameters.BackBufferWidth);
    const auto backHeight = static_cast<int>(dev->presentParameters.BackBufferHeight);
    for (std::size_t t = 0; t < show.targets.size(); ++t) {
        const bool screenSized = t < 3;
        show.targets[t] = dev->createRenderTarget(screenSized ? backWidth : 512, screenSized ? backHeight : 256, 1,
                                                  D3DFMT_A8R8G8B8, 0);
    }

    const bool weakShaders =
        dev->caps.VertexShaderVersion < D3DVS_VERSION(1, 1) || dev->caps.PixelShaderVersion < D3DPS_VERSION(1, 3);
    std::vector<std::uint32_t> pixels(std::size_t{kTextureSide} * kTextureSide);
    for (int number = 1; number <= 4; ++number) {
        runProgram(number, pixels);
        if (number == 1 && weakShaders) {
            turnGrey(pixels.data(), pixels.size());
        }
        show.programs[static_cast<std::size_t>(number - 1)] =
            new texture(dev, pixels.data(), kTextureSide, kTextureSide, -1, 0);
    }

    show.logo = pictureTexture(dev, resources::logoPicture().data(), resources::kLogoWidth, resources::kLogoHeight);
    const std::vector<std::uint8_t> strips = resources::stripPictures();
    for (std::size_t i = 0; i < std::size(resources::kCaptionStrips); ++i) {
        const std::size_t offset = std::size_t{resources::kStripWidth} * resources::kStripHeight * 3 *
                                   static_cast<std::size_t>(resources::kCaptionStrips[i]);
        show.captions[i] = pictureTexture(dev, strips.data() + offset, resources::kStripWidth, resources::kStripHeight);
    }

    app::scenes::setNormalizeNormals(*dev, true);
    dev->useFixedFunction();
    identity(show.view);
    perspective(show.projection, 90.4f);

    show.music = new music::SongClock(resources::kSongModule, resources::kSongModuleSize);
    show.demoClock.restart();

    show.cloth = new particleField(dev);
    show.cloth->wind = Vector3{0.0f, 0.0f, 600.0f};
    show.cloth->buildLattice(25);
    show.cloth->buildBuffers();

    show.sphere = show.generator->createSphere(4000, 1.0f, true, 1, false).release();
    show.part = 4;
}

} // namespace app

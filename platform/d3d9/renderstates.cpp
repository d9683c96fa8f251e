#include "platform/d3d9/renderstates.h"

#include "platform/d3d9/ffpipeline.h"

namespace platform::d3d9 {
namespace {

constexpr DWORD floatBits(float f) {
    return __builtin_bit_cast(DWORD, f);
}

constexpr DWORD kAny = 0xFFFFFFFFu;
// The depth test's default (D3DZB_TRUE with an automatic depth surface) is
// the device's to set.
constexpr RenderStateRule kRenderStates[] = {
    {D3DRS_ZENABLE, 0, 1, 0, kNoUniformGroup},
    {D3DRS_FILLMODE, 1, 3, D3DFILL_SOLID, kNoUniformGroup},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD, D3DSHADE_GOURAUD, D3DSHADE_GOURAUD, kNoUniformGroup},
    {D3DRS_ZWRITEENABLE, 0, 1, TRUE, kNoUniformGroup},
    {D3DRS_ALPHATESTENABLE, 0, 0, 0, kNoUniformGroup},
    {D3DRS_LASTPIXEL, 0, 1, TRUE, kNoUniformGroup},
    {D3DRS_SRCBLEND, 1, 10, D3DBLEND_ONE, kNoUniformGroup},
    {D3DRS_DESTBLEND, 1, 10, D3DBLEND_ZERO, kNoUniformGroup},
    {D3DRS_CULLMODE, 1, 3, D3DCULL_CCW, kNoUniformGroup},
    {D3DRS_ZFUNC, 1, 8, D3DCMP_LESSEQUAL, kNoUniformGroup},
    {D3DRS_ALPHAREF, 0, kAny, 0, kNoUniformGroup},
    {D3DRS_ALPHAFUNC, 1, 8, D3DCMP_ALWAYS, kNoUniformGroup},
    {D3DRS_DITHERENABLE, 0, 1, 0, kNoUniformGroup},
    {D3DRS_ALPHABLENDENABLE, 0, 1, 0, kNoUniformGroup},
    {D3DRS_FOGENABLE, 0, 0, 0, kNoUniformGroup},
    {D3DRS_SPECULARENABLE, 0, 1, 0, kNoUniformGroup},
    {D3DRS_FOGCOLOR, 0, kAny, 0, kNoUniformGroup},
    {D3DRS_FOGTABLEMODE, 0, 3, 0, kNoUniformGroup},
    {D3DRS_FOGSTART, 0, kAny, 0, kNoUniformGroup},
    {D3DRS_FOGEND, 0, kAny, floatBits(1.0f), kNoUniformGroup},
    {D3DRS_FOGDENSITY, 0, kAny, floatBits(1.0f), kNoUniformGroup},
    {D3DRS_RANGEFOGENABLE, 0, 1, 0, kNoUniformGroup},
    {D3DRS_STENCILENABLE, 0, 0, 0, kNoUniformGroup},
    {D3DRS_TEXTUREFACTOR, 0, kAny, 0xFFFFFFFFu, kTextureFactor},
    {D3DRS_WRAP0, 0, 0, 0, kNoUniformGroup},
    {D3DRS_CLIPPING, 0, 1, TRUE, kNoUniformGroup},
    {D3DRS_LIGHTING, 0, 1, TRUE, kNoUniformGroup},
    {D3DRS_AMBIENT, 0, kAny, 0, kMaterial},
    {D3DRS_FOGVERTEXMODE, 0, 3, 0, kNoUniformGroup},
    {D3DRS_COLORVERTEX, 0, 1, TRUE, kNoUniformGroup},
    {D3DRS_LOCALVIEWER, 0, 1, TRUE, kNoUniformGroup},
    {D3DRS_NORMALIZENORMALS, 0, 1, 0, kNoUniformGroup},
    {D3DRS_DIFFUSEMATERIALSOURCE, 0, 2, D3DMCS_COLOR1, kNoUniformGroup},
    {D3DRS_SPECULARMATERIALSOURCE, 0, 2, D3DMCS_COLOR2, kNoUniformGroup},
    {D3DRS_AMBIENTMATERIALSOURCE, 0, 2, 0, kNoUniformGroup},
    {D3DRS_EMISSIVEMATERIALSOURCE, 0, 2, 0, kNoUniformGroup},
    {D3DRS_VERTEXBLEND, 0, 0, 0, kNoUniformGroup},
    {D3DRS_CLIPPLANEENABLE, 0, 0, 0, kNoUniformGroup},
    {D3DRS_POINTSIZE, 0, kAny, floatBits(1.0f), kPoints},
    {D3DRS_POINTSIZE_MIN, 0, kAny, floatBits(1.0f), kPoints},
    {D3DRS_POINTSPRITEENABLE, 0, 1, 0, kNoUniformGroup},
    {D3DRS_POINTSCALEENABLE, 0, 1, 0, kNoUniformGroup},
    {D3DRS_POINTSCALE_A, 0, kAny, floatBits(1.0f), kPoints},
    {D3DRS_POINTSCALE_B, 0, kAny, 0, kPoints},
    {D3DRS_POINTSCALE_C, 0, kAny, 0, kPoints},
    {D3DRS_MULTISAMPLEANTIALIAS, 0, 1, TRUE, kNoUniformGroup},
    {D3DRS_MULTISAMPLEMASK, 0, kAny, 0xFFFFFFFFu, kNoUniformGroup},
    {D3DRS_POINTSIZE_MAX, 0, kAny, floatBits(64.0f), kPoints},
    {D3DRS_COLORWRITEENABLE, 0, 0xF, 0xF, kNoUniformGroup},
    {D3DRS_BLENDOP, 1, 5, D3DBLENDOP_ADD, kNoUniformGroup},
    {D3DRS_SCISSORTESTENABLE, 0, 0, 0, kNoUniformGroup},
    {D3DRS_ANTIALIASEDLINEENABLE, 0, 1, 0, kNoUniformGroup},
    {D3DRS_SRGBWRITEENABLE, 0, 0, 0, kNoUniformGroup},
    {D3DRS_SEPARATEALPHABLENDENABLE, 0, 0, 0, kNoUniformGroup},
};

bool supportedTextureOp(DWORD op) {
    switch (op) {
    case D3DTOP_DISABLE:
    case D3DTOP_SELECTARG1:
    case D3DTOP_SELECTARG2:
    case D3DTOP_MODULATE:
    case D3DTOP_MODULATE2X:
    case D3DTOP_MODULATE4X:
    case D3DTOP_ADD:
    case D3DTOP_ADDSIGNED:
    case D3DTOP_SUBTRACT:
    case D3DTOP_BLENDDIFFUSEALPHA:
    case D3DTOP_BLENDTEXTUREALPHA:
    case D3DTOP_BLENDFACTORALPHA:
        return true;
    default:
        return false;
    }
}

bool supportedTextureArg(DWORD arg) {
    return (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0 &&
           (arg & D3DTA_SELECTMASK) <= D3DTA_SPECULAR;
}

} // namespace

const RenderStateRule* renderStateRule(D3DRENDERSTATETYPE state) {
    for (const auto& r : kRenderStates) {
        if (r.state == state) {
            return &r;
        }
    }
    return nullptr;
}

void renderStateDefaults(RenderStates& states) {
    states.fill(0);
    for (const auto& r : kRenderStates) {
        states[r.state] = r.initial;
    }
}

bool stageStateAccepted(D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    switch (type) {
    case D3DTSS_COLOROP:
    case D3DTSS_ALPHAOP:
        return supportedTextureOp(value);
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2:
        return supportedTextureArg(value);
    case D3DTSS_COLORARG0:
    case D3DTSS_ALPHAARG0:
        return true;
    case D3DTSS_TEXCOORDINDEX:
        return value < 8;
    case D3DTSS_TEXTURETRANSFORMFLAGS:
        return value == D3DTTFF_DISABLE;
    case D3DTSS_RESULTARG:
        return value == D3DTA_CURRENT;
    default:
        return false;
    }
}

bool samplerStateAccepted(D3DSAMPLERSTATETYPE type, DWORD value) {
    switch (type) {
    case D3DSAMP_ADDRESSU:
    case D3DSAMP_ADDRESSV:
    case D3DSAMP_ADDRESSW:
        return value == D3DTADDRESS_WRAP || value == D3DTADDRESS_MIRROR || value == D3DTADDRESS_CLAMP;
    case D3DSAMP_MAGFILTER:
    case D3DSAMP_MINFILTER:
        return value == D3DTEXF_POINT || value == D3DTEXF_LINEAR;
    case D3DSAMP_MIPFILTER:
        return value <= D3DTEXF_LINEAR;
    case D3DSAMP_MAXANISOTROPY:
    case D3DSAMP_BORDERCOLOR:
        return true;
    case D3DSAMP_MIPMAPLODBIAS:
    case D3DSAMP_MAXMIPLEVEL:
        return value == 0;
    default:
        return false;
    }
}

void stageStateDefaults(DWORD stage, StageStates& st) {
    st.fill(0);
    st[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    st[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    st[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    st[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    st[D3DTSS_TEXCOORDINDEX] = stage;
    st[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
    st[D3DTSS_COLORARG0] = D3DTA_CURRENT;
    st[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
    st[D3DTSS_RESULTARG] = D3DTA_CURRENT;
}

void samplerStateDefaults(SamplerStates& sm) {
    sm.fill(0);
    sm[D3DSAMP_ADDRESSU] = sm[D3DSAMP_ADDRESSV] = sm[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    sm[D3DSAMP_MAGFILTER] = sm[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    sm[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    sm[D3DSAMP_MAXANISOTROPY] = 1;
}

} // namespace platform::d3d9
